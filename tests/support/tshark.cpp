#include "tests/support/tshark.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "tests/support/testsupport.h"

#ifndef ROUTER_WIRESHARK_DIR
#error "ROUTER_WIRESHARK_DIR names tools/wireshark of the source tree"
#endif

namespace testsupport {

std::string tshark_path() {
    const char *path = getenv("PATH");
    std::istringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        std::string candidate = (dir.empty() ? "." : dir) + "/tshark";
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

TsharkRun run_tshark(const std::string &dir, const std::string &pcap,
                     const std::vector<std::string> &scripts, const std::vector<std::string> &args,
                     int timeout_ms) {
    TsharkRun run;
    std::string tshark = tshark_path();
    if (tshark.empty()) return run;
    std::vector<std::string> argv = {tshark, "-n", "-r", pcap};
    for (const std::string &s : scripts)
        argv.insert(argv.end(),
                    {"-X", "lua_script:" + std::string(ROUTER_WIRESHARK_DIR) + "/" + s});
    argv.insert(argv.end(), args.begin(), args.end());
    std::string out = dir + "/tshark.out", err = dir + "/tshark.err";
    pid_t pid = fork();
    if (pid == 0) {
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (o < 0 || e < 0) _exit(127);
        dup2(o, 1);
        dup2(e, 2);
        std::vector<char *> cargv;
        for (std::string &a : argv)
            cargv.push_back(a.data());
        cargv.push_back(nullptr);
        execv(cargv[0], cargv.data());
        _exit(127);
    }
    if (pid < 0) return run;
    int status = wait_child(pid, timeout_ms);
    if (status == -1) {
        stop_child(pid);
    } else if (WIFEXITED(status)) {
        run.status = WEXITSTATUS(status);
    }
    run.out = read_file(out);
    run.err = read_file(err);
    return run;
}

std::vector<std::vector<std::string>> tshark_rows(const std::string &out) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> row;
        size_t start = 0;
        for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            row.push_back(line.substr(start, tab - start));
        row.push_back(line.substr(start));
        rows.push_back(row);
    }
    return rows;
}

}  // namespace testsupport
