// What an idle modemd costs: system calls and wake-ups over 10 seconds, and resident memory.
//   idle_bench [SECONDS]
#include <dirent.h>
#include <sys/msg.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "bench/bench_util.h"
#include "tests/support/testsupport.h"

namespace {

using namespace testsupport;

// Voluntary plus involuntary context switches of every thread of `pid`.
long context_switches(pid_t pid) {
    long total = 0;
    std::string dir = "/proc/" + std::to_string(pid) + "/task";
    DIR *d = opendir(dir.c_str());
    if (!d) return -1;
    while (dirent *e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        std::ifstream in(dir + "/" + e->d_name + "/status");
        std::string line;
        while (std::getline(in, line))
            if (line.find("ctxt_switches:") != std::string::npos)
                total += atol(line.substr(line.find(':') + 1).c_str());
    }
    closedir(d);
    return total;
}

std::string status_field(pid_t pid, const char *field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) {
            std::string v = line.substr(line.find(':') + 1);
            return v.substr(v.find_first_not_of(" \t"));
        }
    return "?";
}

// System calls strace sees made during the window. The calls already blocked when strace
// attached show as "<unfinished ...>" or a restart, and are not counted.
long traced_syscalls(pid_t pid, int seconds, const std::string &log) {
    if (system("command -v strace >/dev/null 2>&1") != 0) return -1;
    std::string cmd = "timeout -s INT " + std::to_string(seconds) + " strace -f -qq -o " + log +
                      " -p " + std::to_string(pid) + " 2>/dev/null";
    if (system(cmd.c_str()) < 0) return -1;
    std::ifstream in(log);
    std::string line;
    long calls = 0;
    while (std::getline(in, line))
        if (line.find("<unfinished") == std::string::npos &&
            line.find("resumed>") == std::string::npos &&
            line.find("restart_syscall") == std::string::npos &&
            line.find("detached") == std::string::npos && line.find("+++") == std::string::npos &&
            line.find("---") == std::string::npos)
            ++calls;
    return calls;
}

}  // namespace

int main(int argc, char **argv) {
    int seconds = argc > 1 ? atoi(argv[1]) : 10;
    TempRouterRoot root;
    Pty pty;
    int key = unused_ipc_key();
    SpawnOptions o;
    o.env = {"MODEMD_QUEUE_KEY=" + std::to_string(key)};
    o.stdout_path = "/dev/null";
    pid_t daemon = spawn_program("modemd", {"-t", "kpc650", "-f", pty.slave}, o);
    if (!wait_until([&] { return msgget(key, 0) >= 0; }, 10000)) {
        stop_child(daemon);
        fprintf(stderr, "idle modemd: its queue never appeared\n");
        return 1;
    }
    sleep(1);
    long before = context_switches(daemon);
    sleep(static_cast<unsigned>(seconds));
    long switches = context_switches(daemon) - before;
    long calls = traced_syscalls(daemon, seconds, root.host("/strace.log"));
    std::string rss = status_field(daemon, "VmRSS");
    stop_child(daemon);

    char text[64];
    snprintf(text, sizeof text, "%ld in %d s", switches, seconds);
    bench_row("idle modemd: wake-ups (context switches)", text, "0");
    if (calls >= 0)
        snprintf(text, sizeof text, "%ld in %d s", calls, seconds);
    else
        snprintf(text, sizeof text, "strace not found");
    bench_row("idle modemd: system calls (strace)", text, "0");
    bench_row("idle modemd: resident memory (native)", rss.c_str(), "");
    return 0;
}
