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
