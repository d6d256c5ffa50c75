#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "platform/console.h"
#include "platform/router_root.h"

namespace {

[[nodiscard]] int wait_child(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return status;
}

// Child side of _eval: only async-signal-safe calls until exec.
[[noreturn]] void exec_child(char *const argv[], int out_fd, int timeout, int report_fd) {
    if (out_fd >= 0) {
        dup2(out_fd, STDOUT_FILENO);
        dup2(out_fd, STDERR_FILENO);
    }
    if (timeout > 0) alarm(static_cast<unsigned>(timeout));  // survives exec
    execvp(argv[0], argv);
    int err = errno;
    ssize_t ignored = write(report_fd, &err, sizeof err);
    (void)ignored;
    _exit(127);
}

// Child side of process_spawn: descriptors 0 to 2 taken first, so that the duplicates of the
// given ones land above them and no dup2 below overwrites a descriptor still to be moved.
[[noreturn]] void spawn_child(const char *path, char *const argv[], const int stdio[3]) {
    int fd;
    while ((fd = open("/dev/null", O_RDWR)) >= 0 && fd <= 2) {
    }
    if (fd > 2) close(fd);
    int copies[3];
    for (int i = 0; i < 3; ++i)
        copies[i] = stdio[i] >= 0 ? dup(stdio[i]) : -1;
    for (int i = 0; i < 3; ++i)
        if (copies[i] >= 0) dup2(copies[i], i);
    for (int extra : copies)
        if (extra > 2) close(extra);
    if (setgid(getgid()) < 0) _exit(99);  // never run a script with a set-group-id left
    execv(path, argv);
    const char *why = strerror(errno);
    for (const char *part : {"could not exec ", path, ": ", why, "\n"}) {
        ssize_t ignored = write(2, part, strlen(part));
        (void)ignored;
    }
    _exit(99);
}

}  // namespace

int process_spawn(const char *path, char *const argv[], const int stdio[3], pid_t *ppid) {
    if (!path || !argv || !argv[0]) return -1;
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) spawn_child(path, argv, stdio);
    if (ppid) {
        *ppid = pid;
        return 0;
    }
    return wait_child(pid);
}

int process_eval(char *const argv[], const char *redirect, int timeout, pid_t *ppid) {
    if (!argv || !argv[0]) return -1;
    int out_fd = -1;
    if (redirect && redirect[0] == '>') {
        const char *target = redirect + (redirect[1] == '>' ? 2 : 1);
        RouterPath path(target);
        // Appended, never truncated: under a router root the console is a plain file.
        int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY;
        // A console that cannot be opened loses the output, never the command.
        if (path.ok()) out_fd = open(path.c_str(), flags, 0644);
    }
    // The child reports a failed exec through this pipe; it closes unread on success.
    int report[2];
    if (pipe2(report, O_CLOEXEC) < 0) {
        if (out_fd >= 0) close(out_fd);
        return -1;
    }
    pid_t pid = fork();
    if (pid == 0) exec_child(argv, out_fd, timeout, report[1]);
    close(report[1]);
    if (out_fd >= 0) close(out_fd);
    if (pid < 0) {
        close(report[0]);
        return -1;
    }
    int err = 0;
    ssize_t n;
    do {
        n = read(report[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    close(report[0]);
    if (n > 0) {                // exec failed: reap the child, report a start failure
        (void)wait_child(pid);  // only reaps it: the failed start is what is reported
        return -1;
    }
    if (ppid) {
        *ppid = pid;
        return 0;
    }
    return wait_child(pid);
}

int process_signal_init(int sig) {
    if (!router_root()) return kill(1, sig);

    RouterPath path("/var/run/init.pid");
    int fd = path.ok() ? open(path.c_str(), O_RDONLY | O_CLOEXEC) : -1;
    char text[32] = {};
    ssize_t n = -1;
    if (fd >= 0) {
        n = read(fd, text, sizeof text - 1);
        close(fd);
    }
    long pid = 0;
    if (n > 0) {
        text[n] = '\0';
        char *end = nullptr;
        pid = std::strtol(text, &end, 10);
        if (end == text || (*end && *end != '\n')) pid = 0;
    }
    // Never process 1, 0 (our group) or a negative pid (every process we may signal).
    if (pid > 1) return kill(static_cast<pid_t>(pid), sig);
    console_printf("init: signal %d not sent: no init pid under the router root\n", sig);
    return -1;
}
