// modemd under a long mixed load: COUNT commands (default 1,000,000) from 4 clients at once,
// on the Sierra family with a simulated card. Among ordinary commands the clients send
// requests whose `len` is below 12 or beyond what was sent, messages larger than the daemon's
// buffer, requests too short to serve, card commands, and requests naming a reply queue that is
// full or that no longer exists. Every answer is checked field by field and in order; the
// unanswerable ones must leave no trace. Resident memory is sampled from /proc while it runs.
// Prints one PASS or FAIL line.
//   modemd_soak [COUNT]
#include <signal.h>
#include <sys/msg.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/msgcmd.h"
#include "sim/cardsim/cardsim_thread.h"
#include "soak/soak_util.h"
#include "tests/support/testsupport.h"

namespace {

using namespace testsupport;

constexpr int kClients = 4;
constexpr size_t kWindow = 8;                 // requests in flight per client
constexpr uint32_t kSimCardEsn = 0x8A1B2C3D;  // the simulated card's
constexpr long kWarmUp = 10000;               // commands before the first memory sample

enum Kind {
    kUnhandled,  // a command no family registers: result 2
    kSmsCounts,  // command 7, answered from the daemon's own store
    kSmsWrite,   // command 9 with data: result 0
    kLenLow,     // command 9 with len 5: result 1
    kLenHigh,    // command 9 with len far beyond the message: result 1
    kOversized,  // 3000 bytes of text: taken cut to the buffer, served
    kTooShort,   // 23 bytes of text: dropped, no answer
    kVanished,   // the reply queue was removed: no answer anywhere
    kFullQueue,  // the reply queue has no room: no answer, the daemon goes on
    kCardEsn,    // command 1, asked of the card
};

Kind kind_of(long i) {
    if (i % 1000 == 0) return kCardEsn;
    switch (i % 100) {
        case 1:
            return kLenLow;
        case 2:
            return kLenHigh;
        case 3:
            return kOversized;
        case 4:
            return kVanished;
        case 5:
            return kFullQueue;
        case 6:
            return kSmsCounts;
        case 7:
            return kSmsWrite;
        case 8:
            return kTooShort;
        default:
            return kUnhandled;
    }
}

struct Expect {
    long mtype;
    Kind kind;
    uint16_t cmd;
    uint8_t reserved[6];
};

struct Shared {
    int server_key = 0;
    long per_client = 0;
    std::atomic<long> progress{0};  // requests sent, all clients
    std::atomic<long> answered{0};
    std::atomic<bool> stop{false};
    std::atomic<int> finished{0};  // clients done
    std::mutex mutex;
    std::vector<std::string> faults;  // the first few, for the verdict
    std::atomic<long> fault_count{0};
    std::vector<uint8_t> sms_counts;  // the first answer to command 7; later ones must match
    bool have_sms_counts = false;
};

void fault(Shared *sh, const std::string &what) {
    sh->fault_count++;
    std::lock_guard<std::mutex> lock(sh->mutex);
    if (sh->faults.size() < 5) sh->faults.push_back(what);
}

class Client {
  public:
    Client(Shared *sh, int id) : sh_(sh), id_(id) {
        own_key_ = unused_ipc_key();
        own_ = msgget(own_key_, IPC_CREAT | IPC_EXCL | 0600);
        full_key_ = unused_ipc_key();
        full_ = msgget(full_key_, IPC_CREAT | IPC_EXCL | 0600);
        msqid_ds ds{};
        if (full_ >= 0 && msgctl(full_, IPC_STAT, &ds) == 0) {
            ds.msg_qbytes = 64;  // one 60-byte message fills it
            (void)msgctl(full_, IPC_SET, &ds);
            struct {
                long mtype;
                char text[60];
            } filler{1, {}};
            (void)msgsnd(full_, &filler, sizeof filler.text, IPC_NOWAIT);
        }
        vanished_key_ = unused_ipc_key();
        int gone = msgget(vanished_key_, IPC_CREAT | IPC_EXCL | 0600);
        if (gone >= 0) msgctl(gone, IPC_RMID, nullptr);
    }
    ~Client() {
        if (own_ >= 0) msgctl(own_, IPC_RMID, nullptr);
        if (full_ >= 0) msgctl(full_, IPC_RMID, nullptr);
    }
    bool ok() const { return own_ >= 0 && full_ >= 0; }
    // Wakes a client blocked on its queue after a stall.
    void unblock() {
        if (own_ >= 0) msgctl(own_, IPC_RMID, nullptr);
        own_ = -1;
    }

    void run() {
        int server = msgget(sh_->server_key, 0);
        if (server < 0) {
            fault(sh_, "client " + std::to_string(id_) + ": no server queue");
            sh_->finished++;
            return;
        }
        for (long i = 0; i < sh_->per_client && !sh_->stop; ++i) {
            send_one(server, i);
            sh_->progress++;
            while (pending_.size() >= kWindow && !sh_->stop)
                receive_one();
        }
        while (!pending_.empty() && !sh_->stop)
            receive_one();
        sh_->finished++;
    }

    // After the run: nothing was posted where no answer was due.
    void check_traces() {
        msqid_ds ds{};
        if (msgctl(full_, IPC_STAT, &ds) != 0 || ds.msg_qnum != 1)
            fault(sh_, "client " + std::to_string(id_) + ": the full queue holds " +
                           std::to_string(ds.msg_qnum) + " messages, not its filler alone");
        if (msgget(vanished_key_, 0) >= 0)
            fault(sh_,
                  "client " + std::to_string(id_) + ": a queue was created for a vanished key");
        msgcmd m;
        if (msgrcv(own_, &m, kMsgcmdTextSize, 0, IPC_NOWAIT | MSG_NOERROR) >= 0)
            fault(sh_, "client " + std::to_string(id_) + ": an answer nobody asked for, mtype " +
                           std::to_string(m.mtype));
    }

  private:
    void send_one(int server, long i) {
        struct {
            msgcmd m;
            uint8_t beyond[4096];
        } big{};
        msgcmd &m = big.m;
        Expect e{};
        e.kind = kind_of(i);
        e.mtype = (static_cast<long>(id_) << 24 | (i & 0xFFFFFF)) + 1;
        m.mtype = e.mtype;
        for (int k = 0; k < 6; ++k)
            e.reserved[k] = static_cast<uint8_t>(i * 7 + k * 31 + id_);
        memcpy(m.text + 4, e.reserved, 4);
        memcpy(m.text + 10, e.reserved + 4, 2);
        int key = own_key_;
        size_t text = kMsgcmdMinText;
        uint32_t len = kMsgcmdLenBase + 4;
        switch (e.kind) {
            case kUnhandled:
                e.cmd = 999;
                text = kMsgcmdMinText + static_cast<size_t>(i % 61);
                len = kMsgcmdLenBase + static_cast<uint32_t>(text - kMsgcmdHeaderText);
                break;
            case kSmsCounts:
                e.cmd = 7;
                break;
            case kSmsWrite:
                e.cmd = 9;
                text = kMsgcmdMinText + 4;
                len = kMsgcmdLenBase + 8;
                break;
            case kLenLow:
                e.cmd = 9;
                len = 5;
                break;
            case kLenHigh:
                e.cmd = 9;
                len = 0x7FFFFFF0u;
                break;
            case kOversized:
                e.cmd = 9;
                text = 3000;
                break;
            case kTooShort:
                e.cmd = 999;
                text = kMsgcmdMinText - 1;
                break;
            case kVanished:
                e.cmd = 999;
                key = vanished_key_;
                break;
            case kFullQueue:
                e.cmd = 999;
                key = full_key_;
                break;
            case kCardEsn:
                e.cmd = 1;
                break;
        }
        msgcmd_set_keyid(m, key);
        msgcmd_set_cmd(m, e.cmd);
        msgcmd_set_len(m, len);
        for (size_t k = kMsgcmdOffData; k < text && k < sizeof big - sizeof(long); ++k)
            m.text[k] = static_cast<uint8_t>(k + i);
        if (msgsnd(server, &big, text, 0) != 0) {
            fault(sh_, "client " + std::to_string(id_) + ": cannot post: " + strerror(errno));
            sh_->stop = true;
            return;
        }
        if (e.kind != kTooShort && e.kind != kVanished && e.kind != kFullQueue)
            pending_.push_back(e);
    }

    void receive_one() {
        msgcmd m;
        ssize_t n = msgrcv(own_, &m, kMsgcmdTextSize, 0, MSG_NOERROR);
        if (n < 0) {
            if (errno != EINTR && errno != EIDRM) {
                fault(sh_, "client " + std::to_string(id_) + ": receive: " + strerror(errno));
                sh_->stop = true;
            }
            return;
        }
        Expect e = pending_.front();
        pending_.pop_front();
        sh_->answered++;
        std::string where = "client " + std::to_string(id_) + " mtype " + std::to_string(e.mtype);
        if (m.mtype != e.mtype) {
            fault(sh_, where + ": answer with mtype " + std::to_string(m.mtype) +
                           " (lost or out of order)");
            return;
        }
        uint32_t want_result = kResultNoHandler, want_len = kMsgcmdLenBase;
        switch (e.kind) {
            case kSmsCounts:
                want_result = kResultOk;
                want_len = kMsgcmdLenBase + 4;
                break;
            case kSmsWrite:
            case kOversized:
                want_result = kResultOk;
                break;
            case kLenLow:
            case kLenHigh:
                want_result = kResultFailed;
                break;
            case kCardEsn:
                want_result = kResultOk;
                want_len = kMsgcmdLenBase + 4;
                break;
            default:
                break;
        }
        size_t want_text = kMsgcmdMinText - kMtypeWire + ((want_len - kMsgcmdLenBase + 3) & ~3u);
        bool right = static_cast<size_t>(n) == want_text && msgcmd_keyid(m) == own_key_ &&
                     msgcmd_cmd(m) == e.cmd && msgcmd_len(m) == want_len &&
                     msgcmd_result(m) == want_result && memcmp(m.text + 4, e.reserved, 4) == 0 &&
                     memcmp(m.text + 10, e.reserved + 4, 2) == 0;
        if (right && e.kind == kCardEsn) right = get_host32(msgcmd_data(m)) == kSimCardEsn;
        if (right && e.kind == kSmsCounts) {
            std::vector<uint8_t> counts(msgcmd_data(m), msgcmd_data(m) + 4);
            std::lock_guard<std::mutex> lock(sh_->mutex);
            if (!sh_->have_sms_counts) {
                sh_->sms_counts = counts;
                sh_->have_sms_counts = true;
            }
            right = counts == sh_->sms_counts;
        }
        if (!right) {
            char text[160];
            snprintf(text, sizeof text, ": kind %d answered %zd bytes, cmd %u, len %u, result %u",
                     e.kind, n, msgcmd_cmd(m), msgcmd_len(m), msgcmd_result(m));
            fault(sh_, where + text);
        }
    }

    Shared *sh_;
    int id_;
    int own_key_ = 0, own_ = -1, full_key_ = 0, full_ = -1, vanished_key_ = 0;
    std::deque<Expect> pending_;
};

}  // namespace

int main(int argc, char **argv) {
    long count = argc > 1 ? atol(argv[1]) : 1000000;
    if (count < kClients) count = 1000000;
    Shared sh;
    sh.per_client = count / kClients;
    TempRouterRoot root;
    cardsim::CardSimThread card(cardsim::Family::kSierra);
    if (!card.ok()) return soak_verdict(false, "modemd", "the simulated card did not start");
    sh.server_key = unused_ipc_key();
    SpawnOptions o;
    o.stdout_path = root.host("/modemd.out");
    o.env = {"MODEMD_QUEUE_KEY=" + std::to_string(sh.server_key)};
    pid_t daemon = spawn_program("modemd", {"-t", "sierra_module", "-f", card.slave()}, o);
    auto cleanup = [&] {
        stop_child(daemon);
        int q = msgget(sh.server_key, 0);
        if (q >= 0) msgctl(q, IPC_RMID, nullptr);
    };
    if (!soak_queue_serving(sh.server_key, 60000)) {
        cleanup();
        return soak_verdict(false, "modemd", "not serving its queue within 60 s");
    }

    std::vector<Client *> clients;
    for (int c = 0; c < kClients; ++c)
        clients.push_back(new Client(&sh, c));
    for (Client *c : clients)
        if (!c->ok()) {
            cleanup();
            return soak_verdict(false, "modemd", "cannot make the clients' queues");
        }
    auto t0 = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (Client *c : clients)
        threads.emplace_back([c] { c->run(); });

    // Memory samples every 250 ms once every kind of command has been served; a stall of
    // 30 s (no request sent, no answer taken) ends the run.
    std::vector<long> rss;
    long last_progress = -1;
    auto last_move = std::chrono::steady_clock::now();
    bool stalled = false;
    while (sh.finished < kClients) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        long moved = sh.progress + sh.answered;
        auto now = std::chrono::steady_clock::now();
        if (moved != last_progress) {
            last_progress = moved;
            last_move = now;
        } else if (sh.finished < kClients && now - last_move > std::chrono::seconds(30)) {
            stalled = true;
            break;
        }
        if (sh.progress >= kWarmUp) rss.push_back(soak_rss_kib(daemon));
    }
    if (stalled) {
        sh.stop = true;
        cleanup();  // removes the server queue: a client blocked on it gets EIDRM
        for (Client *c : clients)
            c->unblock();
    }
    for (std::thread &t : threads)
        t.join();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    rss.push_back(soak_rss_kib(daemon));
    bool alive = kill(daemon, 0) == 0;
    for (Client *c : clients) {
        c->check_traces();
        delete c;
    }
    if (!stalled) cleanup();

    long first = rss.front(), last = rss.back(), peak = 0;
    for (long r : rss)
        peak = r > peak ? r : peak;
    bool flat = first > 0 && last > 0 && last - first <= 64;
    char text[512];
    snprintf(text, sizeof text,
             "%ld commands from %d clients in %.1f s (%.0f/s), %ld answered, %ld wrong or lost; "
             "VmRSS first %ld KiB, last %ld KiB, peak %ld KiB (%zu samples, goal: last - first "
             "<= 64 KiB)%s%s",
             sh.progress.load(), kClients, seconds, seconds > 0 ? sh.progress / seconds : 0,
             sh.answered.load(), sh.fault_count.load(), first, last, peak, rss.size(),
             stalled ? "; STALLED" : "", alive ? "" : "; the daemon died");
    std::string verdict = text;
    for (const std::string &f : sh.faults)
        verdict += "\n  " + f;
    return soak_verdict(
        !stalled && alive && flat && sh.fault_count == 0 && sh.progress == sh.per_client * kClients,
        "modemd", verdict);
}
