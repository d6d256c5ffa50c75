#include "platform/msgq.h"

#include <pthread.h>
#include <signal.h>
#include <sys/msg.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kMtypeWire = 4;            // the board's mtype, which `len` counts
constexpr size_t kBridgeTextMax = 8192;     // the kernel's default largest message
constexpr size_t kBridgeStack = 64 * 1024;  // the thread only moves bytes

struct Bridge {
    int qid;
    int sock;
    struct {
        long mtype;
        char text[kBridgeTextMax];
    } msg;
};

void *bridge_main(void *arg) {
    Bridge *b = static_cast<Bridge *>(arg);
    for (;;) {
        ssize_t n = msgrcv(b->qid, &b->msg, kBridgeTextMax, 0, MSG_NOERROR);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;  // queue removed: the daemon sees end of file
        }
        // Blocks while the daemon is behind; the message is held here, not lost.
        ssize_t sent;
        do {
            sent =
                send(b->sock, &b->msg, sizeof b->msg.mtype + static_cast<size_t>(n), MSG_NOSIGNAL);
        } while (sent < 0 && errno == EINTR);
        if (sent < 0) break;  // the daemon closed its end
    }
    close(b->sock);
    free(b);
    return nullptr;
}

}  // namespace

int msgqToFd(int qid) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) < 0) return -1;
    Bridge *b = static_cast<Bridge *>(malloc(sizeof(Bridge)));
    if (!b) {
        close(pair[0]);
        close(pair[1]);
        return -1;
    }
    b->qid = qid;
    b->sock = pair[1];

    // Signals stay with the program's own threads.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_attr_setstacksize(&attr, kBridgeStack);
    pthread_t tid;
    int rc = pthread_create(&tid, &attr, bridge_main, b);
    pthread_attr_destroy(&attr);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (rc != 0) {
        free(b);
        close(pair[0]);
        close(pair[1]);
        return -1;
    }
    return pair[0];
}

int msgq_create_fresh(int key) {
    int qid = msgget(key, IPC_CREAT | IPC_EXCL | 0660);
    if (qid >= 0 || errno != EEXIST) return qid;
    // Left by an earlier run: discard it with whatever it holds.
    int old = msgget(key, 0);
    if (old < 0 || msgctl(old, IPC_RMID, nullptr) < 0) return -1;
    return msgget(key, IPC_CREAT | IPC_EXCL | 0660);
}

ssize_t msgq_receive(int fd, void *msgbuf, size_t text_cap) {
    ssize_t n;
    do {
        n = recv(fd, msgbuf, sizeof(long) + text_cap, 0);  // excess of a longer message is dropped
    } while (n < 0 && errno == EINTR);
    if (n == 0) {
        errno = EIDRM;
        return -1;
    }
    if (n < static_cast<ssize_t>(sizeof(long))) {
        if (n >= 0) errno = EPROTO;
        return -1;
    }
    return n - static_cast<ssize_t>(sizeof(long));
}

int msgsnd_with_keyid(int keyid, const void *msgbuf, int len) {
    if (len < static_cast<int>(kMtypeWire)) return -1;
    int qid = msgget(keyid, 0);
    if (qid < 0) return -1;
    // A client that stopped reading must not stall the daemon: never wait for room.
    if (msgsnd(qid, msgbuf, static_cast<size_t>(len) - kMtypeWire, IPC_NOWAIT) < 0) return -1;
    return len;
}
