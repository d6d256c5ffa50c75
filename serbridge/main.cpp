// serbridge: lets a host on a serial line dial through the cellular modem as if it were a
// dial-up modem. It answers the host's AT commands, brings the modem's data call up with the
// connect script on a dial, and relays PPP frames between the serial and the modem channel.
//   serbridge -s SERIAL -m MODEM -c CONNECT -q DISCONNECT [-p SPEED] [-i SECONDS] [-a] [-d]
#include <cstdlib>

#include "common/slprintf.h"
#include "platform/eventloop.h"
#include "platform/router_syslog.h"
#include "serbridge/handlers.h"
#include "serbridge/log.h"
#include "serbridge/options.h"
#include "serbridge/ports.h"
#include "serbridge/ppp_channel.h"
#include "serbridge/wan_unit.h"

int main(int argc, char **argv) {
    auto *ctx = static_cast<bridge_ctx *>(calloc(1, sizeof(bridge_ctx)));
    if (!ctx) return 255;
    if (log_open() < 0) return 255;
    slprintf_set_clock(router_local_time);
    if (parse_options(ctx, argc, argv) < 0) poe_die(-1);
    loginfo("build on %s-%s \n", __DATE__, __TIME__);
    if (ppp_channel_select() < 0)
        poe_fatal(ctx, "SERBRIDGE_PPP_CHANNEL: no channel named \"%s\"",
                  getenv("SERBRIDGE_PPP_CHANNEL"));

    int unit = find_wan_unit(ctx);
    if (unit < 0) poe_fatal(ctx, "why no dev matched %s ", ctx->modem_dev);
    wan_unit = unit;
    loginfo("serbridge: bridge on wan%d", unit);
    snprintf(prefix, sizeof prefix, "wan%d_", unit);

    if (initSerialport(ctx) < 0) {
        loginfo("initSerialport fail . \n");
        exit(255);
    }
    termreq_event.ctx = ctx;
    timeout_event.ctx = ctx;
    do_fd();
    router_closelog();
    return 0;
}
