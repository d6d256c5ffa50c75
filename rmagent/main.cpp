// rmagent: the router's remote-management agent. Registers with the management server over
// UDP, reports configuration, status, new syslog lines and GPS positions, keeps the session
// alive and carries out the server's requests.
//   rmagent [-d] -s SERVER -m DOMAIN
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/console.h"
#include "platform/env.h"
#include "platform/eventloop.h"
#include "platform/netaddr.h"
#include "rmagent/deskmgr.h"
#include "rmagent/ports.h"
#include "rmagent/register.h"
#include "rmagent/scantools.h"
#include "rmagent/session.h"

int main(int argc, char **argv) {
    rcm_session *s = rcm_session_new();
    if (!s) return -1;
    rcm_read_gps_interval();

    const char *server = nullptr, *domain = nullptr;
    opterr = 0;
    int opt;
    while ((opt = getopt(argc, argv, "m:ds:")) != -1) {
        switch (opt) {
            case 'd':
                debug = 1;
                break;
            case 'm':
                domain = optarg;
                break;
            case 's':
                server = optarg;
                break;
            default:
                return 1;
        }
    }
    if (optind < argc) return 1;
    if (!server) {
        console_printf("miss rcm server ... \n");
        return 1;
    }
    int server_port = rcm_env_port("RMAGENT_SERVER_PORT", kRcmServerPort);
    in_addr bind_addr;
    if (server_port < 0 || rcm_syslog_key() < 0 || rcm_env_port("RMAGENT_PORT", 0) < 0 ||
        !rcm_bind_addr(&bind_addr) || rcm_env_port("RMAGENT_DESKMGR_PORT", 0) < 0 ||
        rcm_env_port("RMAGENT_DISCOVERY_PORT", 0) < 0) {
        fprintf(stderr, "rmagent: bad RMAGENT_* port, address or key in the environment\n");
        return 1;
    }
    for (;;) {
        const char *why = atoaddr(server, static_cast<unsigned short>(server_port), &s->server);
        if (!why) break;
        env_sleep(1);
        if (strcmp(why, kLookupRetry) != 0) {
            console_printf("can not resolve %s \n", server);
            return 1;
        }
    }
    if (!domain) {
        console_printf("miss rcm domain ... \n");
        return 1;
    }
    snprintf(s->domain, sizeof s->domain, "%s", domain);
    if (s->server.sin_addr.s_addr == 0) return 1;
    // The LAN services first; the agent carries on without one that cannot be opened (its
    // console line says why).
    (void)deskmgr_open(2);
    (void)scantools_open(1);
    // On failure the debug stream says why; the agent runs on without a server session.
    (void)rcm_open(s);
    do_fd();
    return 0;
}
