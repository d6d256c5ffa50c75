// syslogring: the platform's syslog daemon as far as the management agent sees it. Creates
// the shared-memory ring and its two semaphores, then appends the lines it is told on its
// standard input, honouring the reader lock. Removes the ring when it ends.
//   syslogring [-k KEY] [-s SIZE] [-t CHAR]
//     -k  IPC key (decimal or 0x hex; default 0x414E4547)   -s  data area bytes (default 16384)
//     -t  the character after the sent flag (default a space)
// Commands, one a line:
//   log TEXT        one line, in one string
//   split A|B|C     one line over several strings, split where "|" stands
//   at OFFSET       on an empty ring, the next line starts at OFFSET (to wrap around the end)
//   header SIZE HEAD TAIL   writes the header words as given (a damaged ring)
//   dump            prints size, head, tail and every string with its offset
//   quit
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/syslog_ring_writer.h"

namespace {

RingWriter g_ring;

void on_signal(int) {
    ring_destroy(&g_ring);
    _exit(0);
}

void dump() {
    uint32_t head = ring_head(&g_ring), tail = ring_tail(&g_ring);
    printf("size=%u head=%u tail=%u\n", g_ring.size, head, tail);
    const char *data = reinterpret_cast<const char *>(g_ring.ring + 12);
    for (uint32_t off = head; off != tail;) {
        size_t n = strnlen(data + off, g_ring.size - off);
        if (n) printf("  %u: \"%.*s\"\n", off, static_cast<int>(n), data + off);
        off += static_cast<uint32_t>(n) + 1;
        if (off >= g_ring.size) off = 0;
    }
}

}  // namespace

int main(int argc, char **argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    long key = 0x414E4547, size = 16384;
    char tag = ' ';
    int opt;
    while ((opt = getopt(argc, argv, "k:s:t:")) != -1) {
        if (opt == 'k')
            key = strtol(optarg, nullptr, 0);
        else if (opt == 's')
            size = strtol(optarg, nullptr, 0);
        else if (opt == 't')
            tag = optarg[0];
        else {
            fprintf(stderr, "usage: syslogring [-k KEY] [-s SIZE] [-t CHAR]\n");
            return 2;
        }
    }
    if (ring_create(&g_ring, static_cast<int>(key), static_cast<uint32_t>(size)) < 0) {
        perror("syslogring: cannot create the ring");
        return 1;
    }
    signal(SIGTERM, on_signal);
    signal(SIGINT, on_signal);
    printf("ready key=0x%lx size=%ld\n", key, size);
    char line[4096];
    while (fgets(line, sizeof line, stdin)) {
        line[strcspn(line, "\n")] = '\0';
        char *arg = strchr(line, ' ');
        if (arg) *arg++ = '\0';
        const char *rest = arg ? arg : "";
        int rc = 0;
        if (!strcmp(line, "log")) {
            rc = ring_log(&g_ring, rest, tag);
        } else if (!strcmp(line, "split")) {
            rc = ring_log(&g_ring, rest, tag, '|');
        } else if (!strcmp(line, "at")) {
            rc = ring_place(&g_ring, static_cast<uint32_t>(strtoul(rest, nullptr, 0)));
        } else if (!strcmp(line, "header")) {
            unsigned s = 0, h = 0, t = 0;
            rc = sscanf(rest, "%u %u %u", &s, &h, &t) == 3 ? 0 : -1;
            if (rc == 0) ring_set_header(&g_ring, s, h, t);
        } else if (!strcmp(line, "dump")) {
            dump();
        } else if (!strcmp(line, "quit")) {
            break;
        } else if (line[0]) {
            rc = -1;
        }
        printf("%s %s\n", rc == 0 ? "ok" : "error", line);
    }
    ring_destroy(&g_ring);
    return 0;
}
