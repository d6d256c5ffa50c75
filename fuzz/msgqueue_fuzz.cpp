// modemd's dispatch of a command message (modemd/msgqueue.h) whatever a client put in it. A
// handler never sees more request data than arrived; a reply never exceeds 1040 bytes
// (counting mtype), never claims more data than it carries, and says "no handler" or "failed"
// when it should.
//
// Input: text length (u16, taken into 24..1036), then the message text. Commands 1 to 3 are
// the target's own handlers (echo; a reply length taken from the request; the whole room),
// 7 to 11 the SMS store's.
#include <cstring>

#include "common/msgcmd.h"
#include "fuzz/fuzz_support.h"
#include "modemd/msgqueue.h"
#include "modemd/sms.h"
#include "modemd/sms_testing.h"

namespace {

int g_received;  // request data that arrived, for the handlers to check against

int echo(uint8_t *req, int req_len, uint8_t *reply, int cap) {
    FUZZ_CHECK(req_len >= 0 && req_len <= g_received && req_len <= cap);
    memmove(reply, req, static_cast<size_t>(req_len));
    return req_len;
}

// Replies with as many bytes as the request's first two bytes say (clamped to the room).
int claimed(uint8_t *req, int req_len, uint8_t *, int cap) {
    FUZZ_CHECK(req_len >= 0 && req_len <= g_received);
    if (req_len < 2) return -1;
    int want = static_cast<int16_t>(req[0] | req[1] << 8);
    return want > cap ? cap : want;
}

int fill(uint8_t *, int req_len, uint8_t *reply, int cap) {
    FUZZ_CHECK(req_len >= 0 && req_len <= g_received);
    memset(reply, 0xA5, static_cast<size_t>(cap));
    return cap;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_init();
    static msgcmd_link handlers;
    static bool registered;
    if (!registered) {
        msg2cmd_init(&handlers);
        FUZZ_CHECK(register_msgcmd_handler(&handlers, 1, echo));
        FUZZ_CHECK(register_msgcmd_handler(&handlers, 2, claimed));
        FUZZ_CHECK(register_msgcmd_handler(&handlers, 3, fill));
        FUZZ_CHECK(register_msgcmd_handler(&handlers, 7, sms_get_status));
        FUZZ_CHECK(register_msgcmd_handler(&handlers, 8, sms_read));
        FUZZ_CHECK(register_msgcmd_handler(&handlers, 9, sms_write));
        FUZZ_CHECK(register_msgcmd_handler(&handlers, 10, sms_remove));
        FUZZ_CHECK(register_msgcmd_handler(&handlers, 11, sms_flag));
        registered = true;
    }
    sms_free_all();
    sms_init();
    FuzzInput in(data, size);
    size_t text_len = kMsgcmdMinText + in.u16() % (kMsgcmdTextSize - kMsgcmdMinText + 1);
    FuzzBytes text = in.bytes(text_len);
    text_len = text.size() < kMsgcmdMinText ? kMsgcmdMinText : text.size();

    msgcmd msg;
    memset(&msg, 0, sizeof msg);
    msg.mtype = 1;
    if (!text.empty()) memcpy(msg.text, text.data(), text.size());
    uint16_t cmd = msgcmd_cmd(msg);
    uint32_t len_in = msgcmd_len(msg);
    g_received = static_cast<int>(text_len - kMsgcmdHeaderText);
    bool has_handler = find_msgcmd_handler(&handlers, cmd) != nullptr;

    int out = msgqueue_dispatch(msg, text_len, &handlers);
    FUZZ_CHECK(out >= static_cast<int>(kMtypeWire + kMsgcmdHeaderText));
    FUZZ_CHECK(out <= static_cast<int>(kMtypeWire + kMsgcmdTextSize));
    FUZZ_CHECK(out % 4 == 0);
    uint32_t result = msgcmd_result(msg);
    uint32_t len = msgcmd_len(msg);
    if (!has_handler) {
        FUZZ_CHECK(result == kResultNoHandler);
    } else if (len_in < kMsgcmdLenBase ||
               len_in - kMsgcmdLenBase > static_cast<uint32_t>(g_received)) {
        FUZZ_CHECK(result == kResultFailed);
    } else {
        FUZZ_CHECK(result == kResultOk || result == kResultFailed);
    }
    if (result == kResultOk) {
        // The data the reply claims is all inside what is posted.
        FUZZ_CHECK(len >= kMsgcmdLenBase);
        size_t data_bytes = len - kMsgcmdLenBase;
        FUZZ_CHECK(data_bytes <= kMsgcmdDataMax);
        FUZZ_CHECK(kMtypeWire + kMsgcmdHeaderText + data_bytes <= static_cast<size_t>(out));
    }
    sms_free_all();
    return 0;
}
