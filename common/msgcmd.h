// The command message of modemd's System V queue, shared by the daemon and its clients.
//
// Offsets below are within the message text, i.e. after the native `long mtype`. On the
// 32-bit board mtype is 4 bytes, so add 4 to get the board's buffer offsets; every message
// size that "counts mtype" (as msgsnd_with_keyid does) is the text size plus kMtypeWire.
//
//   text off  size  field    encoding    meaning
//   0         4     keyid    host order  System V key of the sender's reply queue
//   4         4     -        -           reserved, echoed
//   8         2     cmd      big-endian  command number
//   10        2     -        -           reserved, echoed
//   12        4     len      big-endian  12 + number of data bytes
//   16        4     result   host order  reply: 0 ok, 1 handler failed, 2 no handler
//   20        1016  data     per cmd     request parameters, then reply data
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bytes.h"

inline constexpr int kModemdQueueKey = 23232;

inline constexpr size_t kMsgcmdTextSize = 1036;
inline constexpr size_t kMsgcmdDataMax = 1016;
inline constexpr size_t kMsgcmdHeaderText = 20;
inline constexpr size_t kMsgcmdMinText = 24;    // a request carries at least 4 data bytes
inline constexpr size_t kMtypeWire = 4;         // mtype as the board counts it
inline constexpr uint32_t kMsgcmdLenBase = 12;  // len counts cmd..result: 12 bytes

inline constexpr size_t kMsgcmdOffKeyid = 0;
inline constexpr size_t kMsgcmdOffCmd = 8;
inline constexpr size_t kMsgcmdOffLen = 12;
inline constexpr size_t kMsgcmdOffResult = 16;
inline constexpr size_t kMsgcmdOffData = 20;

enum MsgcmdResult : uint32_t { kResultOk = 0, kResultFailed = 1, kResultNoHandler = 2 };

struct msgcmd {
    long mtype;
    uint8_t text[kMsgcmdTextSize];
};

inline int32_t msgcmd_keyid(const msgcmd &m) {
    return static_cast<int32_t>(get_host32(m.text + kMsgcmdOffKeyid));
}
inline uint16_t msgcmd_cmd(const msgcmd &m) {
    return get_be16(m.text + kMsgcmdOffCmd);
}
inline uint32_t msgcmd_len(const msgcmd &m) {
    return get_be32(m.text + kMsgcmdOffLen);
}
inline uint32_t msgcmd_result(const msgcmd &m) {
    return get_host32(m.text + kMsgcmdOffResult);
}
inline uint8_t *msgcmd_data(msgcmd &m) {
    return m.text + kMsgcmdOffData;
}
inline const uint8_t *msgcmd_data(const msgcmd &m) {
    return m.text + kMsgcmdOffData;
}

inline void msgcmd_set_keyid(msgcmd &m, int32_t key) {
    put_host32(m.text + kMsgcmdOffKeyid, static_cast<uint32_t>(key));
}
inline void msgcmd_set_cmd(msgcmd &m, uint16_t cmd) {
    put_be16(m.text + kMsgcmdOffCmd, cmd);
}
inline void msgcmd_set_len(msgcmd &m, uint32_t len) {
    put_be32(m.text + kMsgcmdOffLen, len);
}
inline void msgcmd_set_result(msgcmd &m, uint32_t r) {
    put_host32(m.text + kMsgcmdOffResult, r);
}
