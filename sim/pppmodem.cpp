// pppmodem: the PPP peer behind a modem's data terminal. Creates a raw pseudo-terminal, writes
// the path of its slave side (to standard output, or to FILE with -o) and answers framed PPP
// (RFC 1662) on it until killed:
//   LCP Configure-Request  -> Configure-Ack with the same identifier and options
//   LCP Terminate-Request  -> Terminate-Ack with the same identifier
//   other LCP packets      -> nothing
//   any other frame        -> echoed back unchanged
// Bytes outside frames (what the connect and disconnect scripts write) are ignored.
//   SIGUSR1  sends an LCP Terminate-Request (identifier 0x42, "modem request")
//   SIGUSR2  toggles silence: while silent, nothing is answered or echoed
//   pppmodem [-o FILE] [-l LOG] [-s]      (-s: start silent; LOG: one line per frame)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/ppp_link.h"

namespace {

int g_sigpipe[2] = {-1, -1};

void on_signal(int sig) {
    char c = static_cast<char>(sig);
    ssize_t ignored = write(g_sigpipe[1], &c, 1);
    (void)ignored;
}

const char *describe(const Frame &f) {
    switch (lcp_code(f)) {
        case 1:
            return "LCP Configure-Request";
        case 2:
            return "LCP Configure-Ack";
        case 5:
            return "LCP Terminate-Request";
        case 6:
            return "LCP Terminate-Ack";
        case 0:
            return "data frame";
        default:
            return "LCP packet";
    }
}

}  // namespace

int main(int argc, char **argv) {
    const char *path_file = nullptr, *log_file = nullptr;
    bool silent = false;
    int opt;
    while ((opt = getopt(argc, argv, "o:l:s")) != -1) {
        if (opt == 'o')
            path_file = optarg;
        else if (opt == 'l')
            log_file = optarg;
        else if (opt == 's')
            silent = true;
        else {
            fprintf(stderr, "usage: pppmodem [-o FILE] [-l LOG] [-s]\n");
            return 2;
        }
    }
    SimPty pty;
    if (!pty.open()) return 1;
    if (pipe2(g_sigpipe, O_CLOEXEC | O_NONBLOCK) < 0) return 1;
    struct sigaction sa = {};
    sa.sa_handler = on_signal;
    sigaction(SIGUSR1, &sa, nullptr);
    sigaction(SIGUSR2, &sa, nullptr);

    FILE *log = log_file ? fopen(log_file, "a") : nullptr;
    if (log) setvbuf(log, nullptr, _IOLBF, 0);
    if (path_file) {
        FILE *f = fopen(path_file, "w");
        if (!f) {
            perror(path_file);
            return 1;
        }
        fprintf(f, "%s\n", pty.path.c_str());
        fclose(f);
    } else {
        printf("%s\n", pty.path.c_str());
        fflush(stdout);
    }

    PppLink link(pty.master);
    for (;;) {
        pollfd p[2] = {{pty.master, POLLIN, 0}, {g_sigpipe[0], POLLIN, 0}};
        if (poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return 1;
        }
        if (p[1].revents) {
            char sig = 0;
            while (read(g_sigpipe[0], &sig, 1) == 1) {
                if (sig == SIGUSR2) {
                    silent = !silent;
                    if (log) fprintf(log, "modem: %s\n", silent ? "silent" : "answering");
                } else if (sig == SIGUSR1) {
                    const char why[] = "modem request";
                    link.send(lcp_frame(5, 0x42, {why, why + sizeof why - 1}));
                    if (log) fprintf(log, "modem: sent LCP Terminate-Request\n");
                }
            }
        }
        if (!p[0].revents) continue;
        link.pump(0);
        Frame f;
        while (link.receive(&f, 0)) {
            if (log)
                fprintf(log, "modem: got %s (%zu bytes)%s\n", describe(f), f.size(),
                        silent ? ", silent" : "");
            if (silent) continue;
            switch (lcp_code(f)) {
                case 1:
                    f[2] = 2;
                    link.send(f);
                    break;
                case 5:
                    link.send(lcp_frame(6, f[3]));
                    break;
                case 0:
                    link.send(f);
                    break;
                default:
                    break;
            }
        }
    }
}
