#include "tools/modem_client.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/msg.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/env.h"
#include "platform/msgq.h"
#include "platform/router_root.h"

namespace {

// Four random bytes from the kernel's pool. Read from the device rather than through
// getrandom(), which a small C library or an older board kernel may not offer.
bool random_word(uint32_t *r) {
    RouterPath path("/dev/urandom");
    int fd = path.ok() ? open(path.c_str(), O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) return false;
    bool ok = read(fd, r, sizeof *r) == static_cast<ssize_t>(sizeof *r);
    close(fd);
    return ok;
}

int pick_key(int avoid) {
    static uint32_t picks;  // without the device, each attempt of a process tries another key
    uint32_t r = 0;
    if (!random_word(&r))
        r = (static_cast<uint32_t>(getpid()) + ++picks * 40503u) * 2654435761u ^
            static_cast<uint32_t>(time(nullptr));
    int key = static_cast<int>(0x4D430000u | (r & 0xFFFFu));  // "MC" + 16 random bits
    return key == avoid ? key + 1 : key;
}

// Waits up to `ms` for `fd` to become readable, to the millisecond (waitfor() counts whole
// seconds). 1 readable (or hung up: the read tells), 0 time-out or signal, -1 error.
int wait_readable_ms(int fd, long ms) {
    pollfd p = {fd, POLLIN, 0};
    int n = poll(&p, 1, ms > INT_MAX ? INT_MAX : static_cast<int>(ms));
    if (n < 0 && errno == EINTR) return 0;  // the caller's loop looks at the clock again
    if (n > 0 && (p.revents & POLLNVAL)) {
        errno = EBADF;
        return -1;
    }
    return n;
}

}  // namespace

int modem_client_open(ModemClient *client, int server_key) {
    client->server_key = server_key;
    client->next_mtype = 1;
    for (int attempt = 0; attempt < 64; ++attempt) {
        int key = pick_key(server_key);
        int qid = msgget(key, IPC_CREAT | IPC_EXCL | 0600);
        if (qid < 0) {
            if (errno == EEXIST) continue;
            return -1;
        }
        int fd = msgqToFd(qid);
        if (fd < 0) {
            msgctl(qid, IPC_RMID, nullptr);
            return -1;
        }
        client->reply_key = key;
        client->reply_qid = qid;
        client->reply_fd = fd;
        return 0;
    }
    errno = EEXIST;
    return -1;
}

int modem_client_call(ModemClient *client, uint16_t cmd, const uint8_t *data, size_t len,
                      int timeout_s, ModemReply *reply) {
    return modem_client_call_ms(client, cmd, data, len, static_cast<long>(timeout_s) * 1000l,
                                reply);
}

int modem_client_call_ms(ModemClient *client, uint16_t cmd, const uint8_t *data, size_t len,
                         long timeout_ms, ModemReply *reply) {
    if (len > kMsgcmdDataMax) {
        errno = EINVAL;
        return -1;
    }
    int server = msgget(client->server_key, 0);
    if (server < 0) {
        errno = ENOENT;
        return -1;
    }
    msgcmd msg{};
    long mtype = client->next_mtype++;
    if (client->next_mtype <= 0) client->next_mtype = 1;
    msg.mtype = mtype;
    msgcmd_set_keyid(msg, client->reply_key);
    msgcmd_set_cmd(msg, cmd);
    msgcmd_set_len(msg, static_cast<uint32_t>(kMsgcmdLenBase + len));
    if (len) std::memcpy(msgcmd_data(msg), data, len);
    size_t text = kMsgcmdHeaderText + (len < 4 ? 4 : len);
    unsigned long deadline =
        env_now_ms() + static_cast<unsigned long>(timeout_ms < 0 ? 0 : timeout_ms);
    // A full queue means modemd is behind (or gone): retry briefly, but never past the
    // deadline, so a wedged daemon cannot hang the client.
    while (msgsnd(server, &msg, text, IPC_NOWAIT) < 0) {
        if (errno != EAGAIN && errno != EINTR) return -1;
        if (env_ms_until(deadline, env_now_ms()) <= 0) {
            errno = ETIMEDOUT;
            return -1;
        }
        env_sleep_ms(10);
    }
    for (;;) {
        long left = env_ms_until(deadline, env_now_ms());
        if (left <= 0) {
            errno = ETIMEDOUT;
            return -1;
        }
        int ready = wait_readable_ms(client->reply_fd, left);
        if (ready < 0) return -1;
        if (ready == 0) continue;  // time-out or a signal: the clock above decides
        msgcmd answer{};
        ssize_t got = msgq_receive(client->reply_fd, &answer, kMsgcmdTextSize);
        if (got < 0) return -1;
        if (answer.mtype != mtype || static_cast<size_t>(got) < kMsgcmdHeaderText)
            continue;  // a late answer
        reply->result = msgcmd_result(answer);
        reply->len = msgcmd_len(answer);
        size_t claimed = reply->len > kMsgcmdLenBase ? reply->len - kMsgcmdLenBase : 0;
        size_t received = static_cast<size_t>(got) - kMsgcmdHeaderText;
        reply->data_len = claimed < received ? claimed : received;
        std::memcpy(reply->data, msgcmd_data(answer), reply->data_len);
        return 0;
    }
}

void modem_client_close(ModemClient *client) {
    if (client->reply_qid >= 0) msgctl(client->reply_qid, IPC_RMID, nullptr);
    if (client->reply_fd >= 0) close(client->reply_fd);
    client->reply_qid = client->reply_fd = -1;
}
