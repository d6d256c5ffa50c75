// diagcard: a Novatel card's diagnostic port behind a pseudo-terminal, for tests and people.
// See README.md beside this file for the control lines.
//   diagcard [-o FILE] [-r FILE] [-n FILE] [-w FILE] [-e LINE]...
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/pcap_file.h"
#include "sim/card_capture.h"
#include "sim/diagcard/diag_card.h"

namespace {

int usage() {
    fprintf(stderr,
            "usage: diagcard [-o FILE] [-r FILE] [-n FILE] [-w FILE] [-e LINE]...\n"
            "  -o FILE  write the card's port path to FILE (default: first line of output)\n"
            "  -r FILE  append every frame received (\"rx HEX\" or \"rx-bad HEX\")\n"
            "  -n FILE  the NV item store: loaded at start, saved after every write\n"
            "  -w FILE  write what passes on the port as a capture file (link type 147)\n"
            "  -e LINE  a control line applied before the port is offered (repeatable)\n"
            "  Control lines are read from standard input; each is answered \"ok\" or\n"
            "  \"error: ...\" on standard output.\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    const char *path_file = nullptr, *record_file = nullptr, *store_file = nullptr,
               *capture_file = nullptr;
    std::vector<std::string> lines;
    int opt;
    while ((opt = getopt(argc, argv, "o:r:n:w:e:")) != -1) {
        if (opt == 'o')
            path_file = optarg;
        else if (opt == 'r')
            record_file = optarg;
        else if (opt == 'n')
            store_file = optarg;
        else if (opt == 'w')
            capture_file = optarg;
        else if (opt == 'e')
            lines.push_back(optarg);
        else
            return usage();
    }
    if (optind < argc) return usage();

    DiagCard card;
    CardCapture capture;
    if (capture_file) {
        std::string error;
        if (!capture.open(capture_file, kPcapDiag, &error)) {
            fprintf(stderr, "diagcard: capture %s\n", error.c_str());
            return 1;
        }
        card.set_capture(&capture);
    }
    if (store_file) {
        std::string error;
        if (!card.control(std::string("nv-store ") + store_file, &error)) {
            fprintf(stderr, "diagcard: -n %s: %s\n", store_file, error.c_str());
            return 2;
        }
    }
    for (const std::string &line : lines) {
        std::string error;
        if (!card.control(line, &error)) {
            fprintf(stderr, "diagcard: -e \"%s\": %s\n", line.c_str(), error.c_str());
            return 2;
        }
    }
    if (record_file) {
        int fd = open(record_file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0) {
            perror(record_file);
            return 1;
        }
        card.set_record_fd(fd);
    }
    if (!card.open()) {
        perror("diagcard: pseudo-terminal");
        return 1;
    }
    if (path_file) {
        // Written aside and renamed, so a reader never sees half a path.
        std::string tmp = std::string(path_file) + ".tmp";
        FILE *f = fopen(tmp.c_str(), "w");
        if (!f || fprintf(f, "%s\n", card.slave_path().c_str()) < 0 || fclose(f) != 0 ||
            rename(tmp.c_str(), path_file) != 0) {
            perror(path_file);
            return 1;
        }
    } else {
        printf("%s\n", card.slave_path().c_str());
        fflush(stdout);
    }
    card.run(STDIN_FILENO, STDOUT_FILENO);
    return 0;
}
