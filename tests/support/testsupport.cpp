#include "tests/support/testsupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ftw.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/msg.h>
#include <sys/prctl.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

namespace {

int remove_entry(const char *path, const struct stat *, int, struct FTW *) {
    return remove(path);
}

std::vector<std::string> split_words(const std::string &text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    std::string w;
    while (in >> w)
        words.push_back(w);
    return words;
}

long now_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

}  // namespace

TempRouterRoot::TempRouterRoot() {
    const char *tmp = getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/router-root-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
    for (const char *dir : {"/dev", "/tmp", "/var", "/var/run", "/proc"})
        mkdir((path_ + dir).c_str(), 0755);
    setenv("ROUTER_ROOT", path_.c_str(), 1);
}

TempRouterRoot::~TempRouterRoot() {
    unsetenv("ROUTER_ROOT");
    nftw(path_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

int unused_ipc_key() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint32_t r = 0;
        if (getrandom(&r, sizeof r, 0) != sizeof r)
            r = static_cast<uint32_t>(getpid() * 7919 + attempt);
        int key = static_cast<int>(0x54000000u | (r & 0x00FFFFFFu));  // "T" + 24 random bits
        if (msgget(key, 0) < 0 && errno == ENOENT) return key;
    }
    throw std::runtime_error("no free IPC key");
}

int free_loopback_port(int type) {
    int s = socket(AF_INET, type, 0);
    if (s < 0) return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = -1;
    if (bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(s);
    return port;
}

std::string program_path(const std::string &name) {
    const char *dir = getenv("ROUTER_BIN_DIR");
    return std::string(dir && *dir ? dir : ROUTER_BIN_DIR_DEFAULT) + "/" + name;
}

std::string program_command(const std::string &name) {
    const char *emu = getenv("ROUTER_TEST_EMULATOR");
    std::string line;
    for (const std::string &w : split_words(emu ? emu : ROUTER_TEST_EMULATOR_DEFAULT))
        line += "'" + w + "' ";
    return line + "'" + program_path(name) + "'";
}

pid_t spawn_program(const std::string &name, const std::vector<std::string> &args,
                    const SpawnOptions &opts) {
    std::vector<std::string> argv;
    const char *emu = getenv("ROUTER_TEST_EMULATOR");
    argv = split_words(emu ? emu : ROUTER_TEST_EMULATOR_DEFAULT);
    argv.push_back(program_path(name));
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char *> cargv;
    for (std::string &a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive a test that crashed
        int in = opts.stdin_fd >= 0 ? opts.stdin_fd : open("/dev/null", O_RDONLY);
        dup2(in, STDIN_FILENO);
        if (!opts.stdout_path.empty()) {
            int fd = open(opts.stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, STDOUT_FILENO);
        }
        if (!opts.stderr_path.empty()) {
            int fd = open(opts.stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, STDERR_FILENO);
        }
        for (const std::string &kv : opts.env)
            putenv(strdup(kv.c_str()));
        if (!opts.path_prefix.empty()) {
            const char *path = getenv("PATH");
            setenv("PATH", (opts.path_prefix + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
        }
        execvp(cargv[0], cargv.data());
        _exit(127);
    }
    return pid;
}

int wait_child(pid_t pid, int timeout_ms) {
    long deadline = now_ms() + timeout_ms;
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return status;
        if (r < 0) return -1;
        if (now_ms() >= deadline) return -1;
        usleep(5000);
    }
}

void stop_child(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (wait_child(pid, 3000) == -1) {
        kill(pid, SIGKILL);
        wait_child(pid, 3000);
    }
}

long process_cpu_ticks(pid_t pid) {
    std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
    size_t paren = stat.rfind(')');
    if (paren == std::string::npos) return -1;
    long utime = 0, stime = 0;
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    if (sscanf(stat.c_str() + paren + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %ld %ld",
               &utime, &stime) != 2)
        return -1;
    return utime + stime;
}

bool stays_idle(pid_t pid, int ms, long max_ticks) {
    long before = process_cpu_ticks(pid);
    usleep(static_cast<useconds_t>(ms) * 1000);
    long after = process_cpu_ticks(pid);
    return before >= 0 && after >= 0 && after - before <= max_ticks;
}

bool FedProgram::start(const std::string &name, const std::vector<std::string> &args,
                       const std::string &out, const SpawnOptions &base) {
    int p[2];
    if (pipe2(p, O_CLOEXEC) < 0) return false;
    SpawnOptions o = base;
    o.stdin_fd = p[0];
    o.stdout_path = out;
    pid = spawn_program(name, args, o);
    close(p[0]);
    in = p[1];
    return true;
}

bool FedProgram::say(const std::string &line) const {
    std::string l = line + "\n";
    return write(in, l.data(), l.size()) == static_cast<ssize_t>(l.size());
}

FedProgram::~FedProgram() {
    if (in >= 0) close(in);
    stop_child(pid);
}

int RunResult::exit_code() const {
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

RunResult run_program(const std::string &name, const std::vector<std::string> &args,
                      const SpawnOptions &opts, int timeout_ms) {
    char out_templ[] = "/tmp/run-out-XXXXXX";
    char err_templ[] = "/tmp/run-err-XXXXXX";
    int out_fd = mkstemp(out_templ);
    int err_fd = mkstemp(err_templ);
    close(out_fd);
    close(err_fd);
    SpawnOptions o = opts;
    o.stdout_path = out_templ;
    o.stderr_path = err_templ;
    RunResult result;
    pid_t pid = spawn_program(name, args, o);
    result.status = wait_child(pid, timeout_ms);
    if (result.status == -1) stop_child(pid);
    result.out = read_file(out_templ);
    result.err = read_file(err_templ);
    unlink(out_templ);
    unlink(err_templ);
    return result;
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

bool wait_until(const std::function<bool()> &done, int timeout_ms) {
    long deadline = now_ms() + timeout_ms;
    for (;;) {
        if (done()) return true;
        if (now_ms() >= deadline) return done();
        usleep(5000);
    }
}

Pty::Pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) < 0 || unlockpt(master) < 0)
        throw std::runtime_error("no pty");
    slave = ptsname(master);
    slave_fd = open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio;
    tcgetattr(slave_fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave_fd, TCSANOW, &tio);
}

Pty::~Pty() {
    if (slave_fd >= 0) close(slave_fd);
    if (master >= 0) close(master);
}

}  // namespace testsupport
