#include "modemd/msgqueue.h"

#include <sys/msg.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "modemd/cnsport.h"
#include "modemd/globals.h"
#include "platform/console.h"
#include "platform/eventloop.h"
#include "platform/msgq.h"
#include "platform/utils.h"

namespace {

int g_queue_key;

constexpr size_t kReplyHeader = kMtypeWire + kMsgcmdHeaderText;  // 24: what a reply always carries

int msgqueue_receive(fd_desc *desc) {
    msgcmd msg{};  // zeroed: reply padding never carries stale stack bytes
    ssize_t text_len = msgq_receive(desc->fd, &msg, kMsgcmdTextSize);
    if (text_len < 0) {
        if (errno == EIDRM) {
            // The queue was removed under us: stop watching an end-of-file descriptor.
            (void)unregister_fd_desc(desc->fd);  // it is registered: this handler runs for it
            close(desc->fd);
            console_printf("modemd: command queue %d removed, no longer serving commands\n",
                           g_queue_key);
        }
        return -1;
    }
    if (static_cast<size_t>(text_len) < kMsgcmdMinText) return -1;
    if (debug > 0) dump_buf("MSGQUEUE", msg.text, static_cast<size_t>(text_len));
    // Key 0 is IPC_PRIVATE: a reply there would create a queue that nobody reads or removes.
    if (msgcmd_keyid(msg) == 0) {
        if (debug > 0) printf("modemd: command %u names reply key 0: dropped\n", msgcmd_cmd(msg));
        return -1;
    }

    msgcmd_link *handlers = cnsport_ctx ? cnsport_ctx->handlers : nullptr;
    int size = msgqueue_dispatch(msg, static_cast<size_t>(text_len), handlers);
    return msgsnd_with_keyid(msgcmd_keyid(msg), &msg, size) == size ? 0 : -1;
}

}  // namespace

int msgqueue_dispatch(msgcmd &msg, size_t text_len, msgcmd_link *handlers) {
    msgcmd_node *node = handlers ? find_msgcmd_handler(handlers, msgcmd_cmd(msg)) : nullptr;
    int r = 0;
    if (!node) {
        msgcmd_set_result(msg, kResultNoHandler);
    } else {
        // `len` comes from the client: the data it claims must have been received.
        uint32_t len = msgcmd_len(msg);
        size_t received = text_len - kMsgcmdHeaderText;
        if (len < kMsgcmdLenBase || len - kMsgcmdLenBase > received) {
            msgcmd_set_result(msg, kResultFailed);
        } else {
            uint8_t *data = msgcmd_data(msg);
            r = node->handler(data, static_cast<int>(len - kMsgcmdLenBase), data,
                              static_cast<int>(kMsgcmdDataMax));
            if (r > static_cast<int>(kMsgcmdDataMax)) r = static_cast<int>(kMsgcmdDataMax);
            msgcmd_set_result(msg, r >= 0 ? kResultOk : kResultFailed);
        }
    }
    msgcmd_set_len(msg, static_cast<uint32_t>(r + static_cast<int>(kMsgcmdLenBase)));
    size_t data_bytes = r > 0 ? static_cast<size_t>(r) : 0;
    return static_cast<int>(kReplyHeader + ((data_bytes + 3) & ~size_t{3}));
}

int msgqueue_open(int key) {
    g_queue_key = key;
    int qid = msgq_create_fresh(key);
    if (qid < 0) return -1;
    int fd = msgqToFd(qid);
    if (fd < 0) return -1;
    if (register_fd_desc(fd, msgqueue_receive, nullptr) < 0) {
        close(fd);
        return -1;
    }
    return fd;
}
