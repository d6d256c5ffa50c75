#include "serbridge/options.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "serbridge/log.h"

int verbose;
int wan_unit;
char prefix[15];
char tmp[256];

namespace {

template <size_t N>
void copy_field(char (&field)[N], const char *text) {
    std::strncpy(field, text, N - 1);
    field[N - 1] = '\0';
}

}  // namespace

int parse_options(bridge_ctx *ctx, int argc, char **argv) {
    ctx->serial_speed = 115200;
    int opt;
    while ((opt = getopt(argc, argv, "adc:q:s:m:p:i:")) != -1) {
        switch (opt) {
            case 'a':
                ctx->always_ppp = 1;
                break;
            case 'c':
                copy_field(ctx->connect_script, optarg);
                break;
            case 'd':
                verbose = 1;
                break;
            case 'i':
                ctx->idle_secs = atoi(optarg);
                break;
            case 'm':
                copy_field(ctx->modem_dev, optarg);
                break;
            case 'p':
                ctx->serial_speed = atoi(optarg);
                break;
            case 'q':
                copy_field(ctx->disconnect_script, optarg);
                break;
            case 's':
                copy_field(ctx->serial_dev, optarg);
                break;
            default:
                poe_error(ctx, "Unknown option '%c'", optopt);
                return -1;
        }
    }
    if (!ctx->serial_dev[0] || !ctx->modem_dev[0] || !ctx->connect_script[0] ||
        !ctx->disconnect_script[0])
        return -1;
    return 0;
}
