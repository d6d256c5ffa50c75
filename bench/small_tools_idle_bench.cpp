// What idle resident tools cost: system calls and wake-ups of resetbtn (its button device a
// FIFO) and statpipe (its card a simulated Sierra card on a pty) over a quiet window.
//   small_tools_idle_bench [SECONDS]
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/bench_util.h"
#include "sim/cardsim/cardsim_thread.h"
#include "tests/support/testsupport.h"

namespace {

using namespace testsupport;

long context_switches(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    long total = 0;
    while (std::getline(in, line))
        if (line.find("ctxt_switches:") != std::string::npos)
            total += atol(line.substr(line.find(':') + 1).c_str());
    return total;
}

// Calls strace sees completed in the window (a call already blocked when it attached is not).
long traced_syscalls(pid_t pid, int seconds, const std::string &log) {
    if (system("command -v strace >/dev/null 2>&1") != 0) return -1;
    std::string cmd = "timeout -s INT " + std::to_string(seconds) + " strace -qq -o " + log +
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

void measure(const char *name, pid_t pid, int seconds, const TempRouterRoot &root) {
    sleep(1);
    long before = context_switches(pid);
    sleep(static_cast<unsigned>(seconds));
    long switches = context_switches(pid) - before;
    long calls = traced_syscalls(pid, seconds, root.host("/strace.log"));
    char what[80], text[64];
    if (wait_child(pid, 0) != -1) {  // a program that ended costs nothing: say so instead
        snprintf(what, sizeof what, "idle %s", name);
        bench_row(what, "ended early: not measured", "0");
        return;
    }
    snprintf(what, sizeof what, "idle %s: wake-ups (context switches)", name);
    snprintf(text, sizeof text, "%ld in %d s", switches, seconds);
    bench_row(what, text, "0");
    snprintf(what, sizeof what, "idle %s: system calls (strace)", name);
    if (calls >= 0)
        snprintf(text, sizeof text, "%ld in %d s", calls, seconds);
    else
        snprintf(text, sizeof text, "strace not found");
    bench_row(what, text, "0");
}

}  // namespace

int main(int argc, char **argv) {
    int seconds = argc > 1 ? atoi(argv[1]) : 10;
    SpawnOptions o;
    o.stdout_path = "/dev/null";
    {
        TempRouterRoot root;
        mkdir(root.host("/dev/gpio").c_str(), 0755);
        mkfifo(root.host("/dev/gpio/in").c_str(), 0600);
        pid_t pid = spawn_program("resetbtn", {}, o);
        measure("resetbtn", pid, seconds, root);
        stop_child(pid);
    }
    {
        TempRouterRoot root;
        cardsim::CardSimThread card(cardsim::Family::kSierra);
        mkdir(root.host("/dev/usb").c_str(), 0755);
        mkdir(root.host("/dev/usb/tts").c_str(), 0755);
        if (!card.ok() || symlink(card.slave().c_str(), root.host("/dev/usb/tts/1").c_str()) < 0)
            return 1;
        pid_t pid = spawn_program("statpipe", {}, o);
        measure("statpipe", pid, seconds, root);
        stop_child(pid);
    }
    return 0;
}
