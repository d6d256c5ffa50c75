// Helpers for tests that run whole programs: a fresh router root, private queue keys, child
// processes started through the cross-compiling emulator when there is one, pseudo-terminals,
// and bounded waits. Test code only.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// A fresh temporary directory set as ROUTER_ROOT for this process and its children, with
// dev/, tmp/ and var/run/ made. Removed with everything in it on destruction.
class TempRouterRoot {
  public:
    TempRouterRoot();
    ~TempRouterRoot();
    TempRouterRoot(const TempRouterRoot &) = delete;
    TempRouterRoot &operator=(const TempRouterRoot &) = delete;

    const std::string &path() const { return path_; }
    // The host path of a system path, e.g. host("/dev/console").
    std::string host(const std::string &system_path) const { return path_ + system_path; }

  private:
    std::string path_;
};

// A System V key with no queue behind it, unlikely to be chosen by a concurrent test.
int unused_ipc_key();

// A loopback port free now for sockets of `type` (SOCK_DGRAM or SOCK_STREAM): the kernel's
// choice, released again. -1 when none could be had.
int free_loopback_port(int type);

// Path of a program built by this project (ROUTER_BIN_DIR).
std::string program_path(const std::string &name);

// A shell command line that runs a project program as spawn_program does (through the
// emulator on a cross build), for wrapper scripts put in a PATH directory.
std::string program_command(const std::string &name);

struct SpawnOptions {
    std::string stdout_path;       // empty: inherit
    std::string stderr_path;       // empty: inherit
    std::vector<std::string> env;  // extra NAME=VALUE pairs
    std::string path_prefix;       // directory put first in PATH
    int stdin_fd = -1;             // -1: /dev/null
};

// Starts a project program (through ROUTER_TEST_EMULATOR when set). Returns its pid.
pid_t spawn_program(const std::string &name, const std::vector<std::string> &args,
                    const SpawnOptions &opts = {});

// Waits up to `timeout_ms` for the child to end. Returns its wait status, or -1 on time-out.
int wait_child(pid_t pid, int timeout_ms);

// SIGTERM, then SIGKILL after a grace period; reaps the child.
void stop_child(pid_t pid);

// User plus system CPU time of a process so far, in clock ticks (-1 when unknown).
long process_cpu_ticks(pid_t pid);

// True when over `ms` the process takes at most `max_ticks` of CPU: asleep, not spinning (a
// spinning loop takes its whole share even on a loaded host).
bool stays_idle(pid_t pid, int ms, long max_ticks);

// A program driven by lines on its standard input (a simulated server, a ring writer), stopped
// when the object goes.
struct FedProgram {
    pid_t pid = -1;
    int in = -1;
    // Starts `name` with its standard input on a pipe and its standard output in `out`; `base`
    // gives the other options. False when the pipe cannot be made.
    [[nodiscard]] bool start(const std::string &name, const std::vector<std::string> &args,
                             const std::string &out, const SpawnOptions &base = {});
    // Writes `line` and a newline. False on a short write.
    [[nodiscard]] bool say(const std::string &line) const;
    FedProgram() = default;
    FedProgram(const FedProgram &) = delete;
    FedProgram &operator=(const FedProgram &) = delete;
    ~FedProgram();
};

struct RunResult {
    int status = -1;  // wait status, -1 when it timed out (then it was killed)
    std::string out;
    std::string err;
    int exit_code() const;
};

// Runs a project program to completion, at most `timeout_ms`.
RunResult run_program(const std::string &name, const std::vector<std::string> &args,
                      const SpawnOptions &opts = {}, int timeout_ms = 30000);

std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &text);

// Polls `done` every 5 ms until it holds or `timeout_ms` passes; returns its last answer.
[[nodiscard]] bool wait_until(const std::function<bool()> &done, int timeout_ms);

// A pseudo-terminal in raw mode: the test holds the master, the program opens `slave`.
struct Pty {
    int master = -1;
    int slave_fd = -1;  // kept open so the line stays configured while the program opens it
    std::string slave;
    Pty();
    ~Pty();
};

}  // namespace testsupport
