// ppphost: the host on the serial line. Creates a raw pseudo-terminal, writes the path of its
// slave side (the bridge's serial port; to standard output, or to FILE with -o), then runs its
// steps in order on the master side, printing one line per step:
//   ready        "AT" CR until "OK" comes back (the bridge has opened the line)
//   chat         runs the system's `chat -S -s -v -t 10 '' AT OK ATD#777 CONNECT` on the line
//   lcp          LCP Configure-Request until the matching Configure-Ack comes back
//   data=N       N data frames (protocol 0x0021), each expected back unchanged
//   term         LCP Terminate-Request; expects the Terminate-Ack
//   answer-term  waits for an LCP Terminate-Request and answers it with a Terminate-Ack
//   at           "AT" CR; expects "OK" (the line is back in the AT phase)
//   quiet=S      sends nothing for S seconds (frames that arrive are reported)
// Every wait is bounded by -t SECONDS (default 10). Exit status 0 when every step passed,
// 1 at the first that failed.
//   ppphost [-o FILE] [-t SECONDS] STEP...
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/ppp_link.h"

namespace {

int g_timeout_ms = 10000;
uint8_t g_id = 1;

bool step_ready(PppLink &link) {
    for (int waited = 0; waited < g_timeout_ms; waited += 500) {
        link.clear_text();
        link.send_text("AT\r");
        if (link.wait_text("OK\r\n", 500)) return true;
    }
    return false;
}

bool step_chat(PppLink &link) {
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(link.fd(), 0);
        dup2(link.fd(), 1);
        execlp("chat", "chat", "-S", "-s", "-v", "-t", "10", "", "AT", "OK", "ATD#777", "CONNECT",
               static_cast<char *>(nullptr));
        perror("chat");
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) < 0) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Sends `f` until a frame satisfying `answers` arrives (retrying each second, as PPP does).
template <typename Pred>
bool exchange(PppLink &link, const Frame &f, Pred answers) {
    for (int waited = 0; waited < g_timeout_ms; waited += 1000) {
        if (!link.send(f)) return false;
        Frame got;
        while (link.receive(&got, 1000))
            if (answers(got)) return true;
    }
    return false;
}

bool step_lcp(PppLink &link) {
    uint8_t id = g_id++;
    const std::vector<uint8_t> mru = {0x01, 0x04, 0x05, 0xDC};  // MRU 1500
    return exchange(link, lcp_frame(1, id, mru),
                    [&](const Frame &g) { return lcp_code(g) == 2 && g[3] == id; });
}

bool step_data(PppLink &link, int count) {
    for (int i = 0; i < count; ++i) {
        Frame f = {0x00, 0x21};
        for (int k = 0; k < 64 + i; ++k)
            f.push_back(static_cast<uint8_t>(k * 7 + i));  // control bytes, flags, escapes
        if (!link.send(f)) return false;
        Frame got;
        if (!link.receive(&got, g_timeout_ms) || got != f) return false;
    }
    return true;
}

bool step_term(PppLink &link) {
    uint8_t id = g_id++;
    const char why[] = "host request";
    Frame req = lcp_frame(5, id, {why, why + sizeof why - 1});
    if (!link.send(req)) return false;
    Frame got;
    while (link.receive(&got, g_timeout_ms))
        if (lcp_code(got) == 6 && got[3] == id) return true;
    return false;
}

bool step_answer_term(PppLink &link) {
    Frame got;
    while (link.receive(&got, g_timeout_ms))
        if (lcp_code(got) == 5) return link.send(lcp_frame(6, got[3]));
    return false;
}

bool step_at(PppLink &link) {
    link.clear_text();
    link.send_text("AT\r");
    return link.wait_text("OK\r\n", g_timeout_ms);
}

bool step_quiet(PppLink &link, int secs) {
    Frame got;
    int frames = 0;
    for (int i = 0; i < secs * 10; ++i)
        while (link.receive(&got, 100))
            ++frames;
    printf("ppphost:   %d frames arrived meanwhile\n", frames);
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const char *path_file = nullptr;
    int opt;
    while ((opt = getopt(argc, argv, "o:t:")) != -1) {
        if (opt == 'o')
            path_file = optarg;
        else if (opt == 't')
            g_timeout_ms = atoi(optarg) * 1000;
        else {
            fprintf(stderr, "usage: ppphost [-o FILE] [-t SECONDS] STEP...\n");
            return 2;
        }
    }
    SimPty pty;
    if (!pty.open()) return 1;
    if (path_file) {
        FILE *f = fopen(path_file, "w");
        if (!f) return 1;
        fprintf(f, "%s\n", pty.path.c_str());
        fclose(f);
    } else {
        printf("%s\n", pty.path.c_str());
    }
    PppLink link(pty.master);
    for (int i = optind; i < argc; ++i) {
        std::string step = argv[i];
        bool ok = false;
        if (step == "ready")
            ok = step_ready(link);
        else if (step == "chat")
            ok = step_chat(link);
        else if (step == "lcp")
            ok = step_lcp(link);
        else if (step.rfind("data=", 0) == 0)
            ok = step_data(link, atoi(step.c_str() + 5));
        else if (step == "term")
            ok = step_term(link);
        else if (step == "answer-term")
            ok = step_answer_term(link);
        else if (step == "at")
            ok = step_at(link);
        else if (step.rfind("quiet=", 0) == 0)
            ok = step_quiet(link, atoi(step.c_str() + 6));
        else
            fprintf(stderr, "ppphost: unknown step %s\n", step.c_str());
        printf("ppphost: %-12s %s\n", step.c_str(), ok ? "ok" : "FAILED");
        if (!ok) return 1;
    }
    return 0;
}
