// diagctl: the DIAG device library from the command line. Opens the card's diagnostic port
// with the engine (Startup), runs one operation, shuts the engine down (also on Ctrl-C).
//   diagctl [-p PORT] [-j] [-d] COMMAND [ARG...]      (diagctl help lists the commands)
// Exit status: 0 done; 1 the operation failed or the card refused; 2 usage (found before the
// port is opened); 3 the engine did not start.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "modemd/diag/diag_loader.h"
#include "platform/router_root.h"
#include "tools/diagctl_commands.h"

namespace {

constexpr int kExitNoEngine = 3;
constexpr int kExitInterrupted = 130;

sigset_t g_stop_signals;
// Set by the watcher once a stop signal came: from then on the watcher alone ends the program.
std::atomic<bool> g_stopping{false};

// Ctrl-C (or SIGTERM) while the engine runs: shut it down, so the port gets its settings back,
// and leave. Runs on its own thread: the engine's locks are no place for a signal handler.
void *stop_on_signal(void *) {
    int sig = 0;
    if (sigwait(&g_stop_signals, &sig) != 0) return nullptr;
    g_stopping = true;
    (void)ShutdownLoader();  // nothing more to do if it cannot: we leave either way
    _exit(kExitInterrupted);
}

bool watch_signals() {
    sigemptyset(&g_stop_signals);
    sigaddset(&g_stop_signals, SIGINT);
    sigaddset(&g_stop_signals, SIGTERM);
    // Blocked before the engine starts its reader, so every thread leaves them to the watcher.
    if (pthread_sigmask(SIG_BLOCK, &g_stop_signals, nullptr) != 0) return false;
    pthread_t watcher;
    if (pthread_create(&watcher, nullptr, stop_on_signal, nullptr) != 0) return false;
    pthread_detach(watcher);
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    const char *port = getenv("DIAGCTL_PORT");
    bool json = false, trace = false;
    int opt;
    while ((opt = getopt(argc, argv, "+p:jd")) != -1) {
        if (opt == 'p')
            port = optarg;
        else if (opt == 'j')
            json = true;
        else if (opt == 'd')
            trace = true;
        else
            return diagctl_usage("bad option");
    }
    if (optind >= argc) return diagctl_usage("no command");
    const DiagctlCommand *command = diagctl_find(argv[optind]);
    if (!command) return diagctl_usage("unknown command", argv[optind]);

    DiagctlOut out(json, stdout, stderr);
    DiagctlCtx ctx{true, &out};
    int cmd_argc = argc - optind;
    char **cmd_argv = argv + optind;
    // The dry pass may take "-n NAM" out of argv; the real pass works on the same arguments.
    char *saved[64];
    if (cmd_argc > 64) return diagctl_usage("too many arguments");
    std::memcpy(saved, cmd_argv, sizeof(char *) * static_cast<size_t>(cmd_argc));
    int rc = command->run(ctx, cmd_argc, cmd_argv);
    if (rc != 0) return rc;
    std::memcpy(cmd_argv, saved, sizeof(char *) * static_cast<size_t>(cmd_argc));
    ctx.dry = false;
    if (!command->needs_port) return command->run(ctx, cmd_argc, cmd_argv);

    RouterPath default_port("/dev/usb/tts/2");
    if (!port || !*port) port = default_port.c_str();
    if (strlen(port) >= kDiagPortPathSize) return diagctl_usage("port path too long", port);
    if (!watch_signals()) {
        perror("diagctl: signals");
        return kExitNoEngine;
    }
    diag_set_trace_stream(stderr);
    diag_set_trace(trace);
    diag_start_record start{};
    start.record_version = 1;
    std::memcpy(start.port_path, port, strlen(port) + 1);  // its length checked above
    int status = Startup(&start);
    if (status != 0) {
        (void)out.fail("start", status);
        return kExitNoEngine;
    }
    rc = command->run(ctx, cmd_argc, cmd_argv);
    // Interrupted while the operation ran (it may have ended by its own time-out meanwhile):
    // the watcher is shutting the engine down and leaves with 130; leaving here first would
    // report the operation's status for an interrupted run.
    while (g_stopping)
        pause();
    (void)ShutdownLoader();  // the port is closed at exit regardless
    return rc;
}
