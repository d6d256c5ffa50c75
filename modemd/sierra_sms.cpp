// The Sierra loader of the SMS store: the card's waiting messages, chunk by chunk over CnS.
#include <cstdio>
#include <cstring>

#include "common/bytes.h"
#include "modemd/sierra.h"
#include "modemd/sierra_transport.h"
#include "modemd/sms.h"
#include "platform/console.h"

namespace {

constexpr int kChunkHeader = 6;
constexpr int kOffSenderCount = 14;
constexpr int kOffSender = 15;
constexpr int kOffLanguage = 153;
constexpr int kOffTimestamp = 161;

void print_header(const uint8_t *msg) {
    const uint8_t *t = msg + kOffTimestamp;
    printf("%-30s\n", "SMS HDR information: ");
    printf("%-30s%08x\n", "        paraBitMask: ", get_host32(msg));
    printf("%-30s%02x\n", "        msgLanguage: ", msg[kOffLanguage]);
    printf("%-30s%02x-%02x-%02x %02x:%02x:%02x\n", "        timeStamp: ", t[0], t[1], t[2], t[3],
           t[4], t[5]);
}

}  // namespace

int sierra_sms_read_chunk(int fd, bool first, uint16_t arg, uint8_t *out, int out_room,
                          int *data_len) {
    uint8_t a[kSierraAnswerCap];
    int rec = first ? sierra_cns_get_xxx(fd, a, sizeof a, kObjSmsChunk)
                    : sierra_cns_get_xxx_arg(fd, a, sizeof a, kObjSmsChunk, arg);
    if (rec < 0) return kSmsNoAnswer;
    if (rec < kChunkHeader) return kSmsBadChunk;
    uint16_t msgid = get_be16(a);
    int pkttype = a[3], length = a[5];
    printf("rec = %04x \n", rec);
    printf("%-30s\n", "SMS Envelope information: ");
    printf("%-30s%04x\n", "                   msgid: ", msgid);
    printf("%-30s%02x\n", "                  seqnum: ", a[2]);
    printf("%-30s%02x\n", "                 pkttype: ", pkttype);
    printf("%-30s%02x\n", "                  remain: ", a[4]);
    printf("%-30s%02x(%d)\n", "                  length: ", length, length);
    if (rec < kChunkHeader + length || (first && pkttype != 1)) return kSmsBadChunk;
    int keep = length < out_room ? length : (out_room > 0 ? out_room : 0);
    memcpy(out, a + kChunkHeader, static_cast<size_t>(keep));
    *data_len = length;
    if (pkttype == 2 || pkttype == 3) {
        (void)sierra_cns_set_int16(fd, msgid, kObjSmsAck);
        return 1;
    }
    return 0;
}

int sierra_sms_read_msg(int fd, uint8_t *buf) {
    int total = 0;
    // Chunk numbers are 16-bit: a card that never says "last" ends the message there.
    for (int chunk = 0; chunk <= 0x10000; ++chunk) {
        int room = kSmsAssemblyMax - (total < kSmsAssemblyMax ? total : kSmsAssemblyMax);
        uint8_t *at = buf + (kSmsAssemblyMax - room);
        int len = 0;
        int r =
            sierra_sms_read_chunk(fd, chunk == 0, static_cast<uint16_t>(chunk - 1), at, room, &len);
        if (r < 0) return r;
        total += len;
        if (r == 1) return total;
    }
    return kSmsBadChunk;
}

void sms_fill_from_sierra(sms_node *node, const uint8_t *msg, int len) {
    if (len > kSmsAssemblyMax) len = kSmsAssemblyMax;
    int digits = msg[kOffSenderCount];
    if (digits > static_cast<int>(sizeof node->sender) - 1) {
        printf("sms: sender of %d digits cut to %zu\n", digits, sizeof node->sender - 1);
        digits = static_cast<int>(sizeof node->sender) - 1;
    }
    memcpy(node->sender, msg + kOffSender, static_cast<size_t>(digits));
    node->sender[digits] = '\0';
    node->flags = 0;
    memcpy(node->timestamp, msg + kOffTimestamp, sizeof node->timestamp);
    int body = len - kSmsHeaderLen;
    if (body > static_cast<int>(sizeof node->body) - 1) {
        printf("sms: text of %d bytes cut to %zu\n", body, sizeof node->body - 1);
        body = static_cast<int>(sizeof node->body) - 1;
    }
    memcpy(node->body, msg + kSmsHeaderLen, static_cast<size_t>(body));
    node->body[body] = '\0';
}

void sierra_sms_load(int fd) {
    uint8_t status[kSierraAnswerCap];
    if (sierra_cns_get_xxx(fd, status, sizeof status, kObjSmsStatus) < 4) return;
    int count = get_be16(status + 2);
    uint8_t msg[kSmsAssemblyMax];
    for (int i = 0; i < count; ++i) {
        if (!sms_free_list) {
            printf("sms: store full, %d message(s) left in the card\n", count - i);
            return;
        }
        memset(msg, 0, sizeof msg);
        int len = sierra_sms_read_msg(fd, msg);
        if (len == kSmsNoAnswer) {
            console_printf("sms: card stopped answering at message %d of %d: loading stopped\n",
                           i + 1, count);
            return;
        }
        if (len < 0) continue;
        if (len < kSmsHeaderLen) {
            printf("sms: message of %d bytes has no text: skipped\n", len);
            continue;
        }
        if (len > kSmsAssemblyMax)
            printf("sms: message of %d bytes cut to %d\n", len, kSmsAssemblyMax);
        print_header(msg);
        sms_node *node = sms_malloc_one();
        sms_fill_from_sierra(node, msg, len);
        printf("node->sender = %s \n", node->sender);
        printf("node->body = %s \n", node->body);
        sms_store(node);
    }
}
