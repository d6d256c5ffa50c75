// The simulated DIAG card of the engine's benchmarks: `diagcard` on a pseudo-terminal with one
// control line, and this process's DIAG engine started on its port.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "modemd/diag/diag_loader.h"
#include "tests/support/testsupport.h"

// Returns the card's pid (after ShutdownLoader(), end it with testsupport::stop_child), or -1
// with a line on standard error when the card or the engine did not start.
inline pid_t bench_start_diag_card(const testsupport::TempRouterRoot &root, const char *control) {
    std::string path_file = root.host("/card.path");
    testsupport::SpawnOptions o;
    o.stdout_path = "/dev/null";
    pid_t card = testsupport::spawn_program("diagcard", {"-o", path_file, "-e", control}, o);
    if (!testsupport::wait_until([&] { return !testsupport::read_file(path_file).empty(); },
                                 10000)) {
        fprintf(stderr, "diagcard did not start\n");
        testsupport::stop_child(card);
        return -1;
    }
    std::string port = testsupport::read_file(path_file);
    port.pop_back();
    diag_start_record start{};
    start.record_version = 1;
    std::strncpy(start.port_path, port.c_str(), sizeof start.port_path - 1);
    if (Startup(&start) != 0) {
        fprintf(stderr, "engine did not start on %s\n", port.c_str());
        testsupport::stop_child(card);
        return -1;
    }
    return card;
}
