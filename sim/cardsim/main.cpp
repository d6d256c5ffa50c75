// cardsim: a simulated Sierra, KPC650 or CDU card behind a pseudo-terminal.
//   cardsim --family sierra|kpc650|cdu [-o PATHFILE] [-l LOG] [-c FIFO] [-s SCRIPT] [-w CAPTURE]
//           [-e LINE]...
// Writes the pty's slave path (to PATHFILE, or standard output), runs the control lines of
// SCRIPT and of each -e, then answers the card's port until killed or until the card vanishes.
// Control lines written to FIFO (created when missing) are run as they come; LOG gets the log
// lines. Both languages are described in sim/cardsim/cardsim.h and in the README. CAPTURE
// gets what passes on the port as a capture file (sim/card_capture.h).
#include <fcntl.h>
#include <getopt.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "common/pcap_file.h"
#include "sim/card_capture.h"
#include "sim/cardsim/cardsim.h"

namespace {

int usage() {
    fprintf(stderr,
            "usage: cardsim --family sierra|kpc650|cdu [-o PATHFILE] [-l LOG] [-c FIFO]\n"
            "               [-s SCRIPT] [-w CAPTURE] [-e LINE]...\n");
    return 2;
}

bool run_line(cardsim::CardSim &sim, const std::string &line) {
    std::string err = sim.control(line);
    if (!err.empty()) fprintf(stderr, "cardsim: %s\n", err.c_str());
    return err.empty();
}

}  // namespace

int main(int argc, char **argv) {
    static const option kLong[] = {{"family", required_argument, nullptr, 'f'},
                                   {nullptr, 0, nullptr, 0}};
    std::string family_name, path_file, log_path, fifo_path, script, capture_path;
    std::vector<std::string> lines;
    int opt;
    while ((opt = getopt_long(argc, argv, "f:o:l:c:s:w:e:", kLong, nullptr)) != -1) {
        switch (opt) {
            case 'f':
                family_name = optarg;
                break;
            case 'o':
                path_file = optarg;
                break;
            case 'l':
                log_path = optarg;
                break;
            case 'c':
                fifo_path = optarg;
                break;
            case 's':
                script = optarg;
                break;
            case 'e':
                lines.push_back(optarg);
                break;
            case 'w':
                capture_path = optarg;
                break;
            default:
                return usage();
        }
    }
    cardsim::Family family;
    if (optind != argc || !cardsim::parse_family(family_name, &family)) return usage();

    cardsim::CardSim sim(family);
    FILE *log = nullptr;
    if (!log_path.empty()) {
        log = fopen(log_path.c_str(), "a");
        if (!log) {
            perror(log_path.c_str());
            return 1;
        }
        sim.set_log_file(log);
    }
    std::string error;
    CardCapture capture;
    if (!capture_path.empty()) {
        uint8_t framing = family == cardsim::Family::kSierra   ? kPcapCns
                          : family == cardsim::Family::kKpc650 ? kPcapKpc650
                                                               : kPcapCdu;
        if (!capture.open(capture_path, framing, &error)) {
            fprintf(stderr, "cardsim: capture %s\n", error.c_str());
            return 1;
        }
        sim.set_capture(&capture);
    }
    if (!sim.open_pty(&error)) {
        fprintf(stderr, "cardsim: %s\n", error.c_str());
        return 1;
    }
    if (!script.empty()) {
        std::ifstream in(script);
        if (!in) {
            fprintf(stderr, "cardsim: cannot read %s\n", script.c_str());
            return 1;
        }
        for (std::string line; std::getline(in, line);)
            if (!run_line(sim, line)) return 1;
    }
    for (const std::string &line : lines)
        if (!run_line(sim, line)) return 1;

    int control = -1;
    if (!fifo_path.empty()) {
        if (mkfifo(fifo_path.c_str(), 0600) < 0 && errno != EEXIST) {
            perror(fifo_path.c_str());
            return 1;
        }
        // Read and write, so the pipe never reports end of file between writers.
        control = open(fifo_path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (control < 0) {
            perror(fifo_path.c_str());
            return 1;
        }
    }
    // The path last: whoever waits for it finds the card ready.
    if (path_file.empty()) {
        printf("%s\n", sim.slave_path().c_str());
        fflush(stdout);
    } else {
        std::string tmp = path_file + ".tmp";
        FILE *f = fopen(tmp.c_str(), "w");
        if (!f || fprintf(f, "%s\n", sim.slave_path().c_str()) < 0 || fclose(f) != 0 ||
            rename(tmp.c_str(), path_file.c_str()) != 0) {
            perror(path_file.c_str());
            return 1;
        }
    }

    std::string pending;
    while (!sim.gone()) {
        pollfd p[2] = {{sim.master_fd(), POLLIN, 0}, {control, POLLIN, 0}};
        poll(p, control >= 0 ? 2 : 1, sim.next_due_ms());
        // Control lines first: a line written before a request is in force for it.
        if (control >= 0 && (p[1].revents & POLLIN)) {
            char buf[4096];
            ssize_t n;
            while ((n = read(control, buf, sizeof buf)) > 0)
                pending.append(buf, static_cast<size_t>(n));
            for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
                run_line(sim, pending.substr(0, nl));
                pending.erase(0, nl + 1);
            }
        }
        if (!sim.gone() && (p[0].revents & POLLIN)) sim.on_readable();
        sim.run_due();
    }
    if (log) fclose(log);
    return 0;
}
