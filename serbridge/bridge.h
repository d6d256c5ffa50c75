// serbridge's context record and program-wide values. The bridge is single-threaded: every
// handler and timer callback runs on the main thread and receives the one `bridge_ctx`.
#pragma once

struct bridge_ctx {
    char serial_dev[16];          // -s: the serial terminal towards the host
    char modem_dev[256];          // -m: the modem's data terminal; matched to wan<N>_devname
    int always_ppp;               // -a: the serial side speaks PPP from start, no AT phase
    char connect_script[256];     // -c: shell command bringing the data call up
    char disconnect_script[256];  // -q: shell command taking it down
    int modem_fd;                 // modem terminal; open only when above 0
    int modem_ppp_fd;             // PPP channel bound to the modem terminal
    int serial_fd;                // serial terminal
    int serial_ppp_fd;            // PPP channel bound to the serial terminal
    int serial_speed;             // -p: serial line speed in bit/s
    int idle_secs;                // -i: host inactivity delay; 0 when not given
};

extern int verbose;      // -d: dumps of the frames from the host and of the AT input
extern int wan_unit;     // index N of the WAN unit served
extern char prefix[15];  // "wan<N>_"
extern char tmp[256];    // where nvram key names are built

// Both terminals and both channels open: the data call is up and relayed.
inline bool modem_up(const bridge_ctx *ctx) {
    return ctx->modem_ppp_fd > 0 && ctx->modem_fd > 0;
}
