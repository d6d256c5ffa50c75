// The simulated card's message store, activation, event reports and log mask. Plain data,
// changed by control lines (README.md) and by the requests that reach them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

inline constexpr size_t kCardLogMaskSize = 51;  // equipment 1, items 0-403

struct CardSmsMessage {
    std::vector<uint8_t> bytes;  // the transport-layer message as stored
    uint8_t tag = 0;             // 1 read, 2 unread (as the tag request sets it)
};

struct CardAsync {
    // Message store by index.
    std::map<uint32_t, CardSmsMessage> sms;
    uint32_t sms_next_index = 0;
    enum SmsFault { kSmsNormal, kSmsNoLog, kSmsOverclaim, kSmsRefuse };
    SmsFault sms_fault = kSmsNormal;
    // Activation: event reports sent after the answer to 0x35 or vendor command 13, each at
    // its delay (milliseconds after the answer); the CM call word set when it starts.
    std::vector<std::pair<int, std::vector<uint8_t>>> activation_script;
    bool activation_sets_cm = false;
    uint32_t activation_cm = 0;
    // Log mask of equipment 1; reads refused (status word 1) when set.
    uint8_t log_mask[kCardLogMaskSize] = {};
    bool log_read_refused = false;
};

// One event of a report: "ID" (no payload), "ID:HEX" (1 or 2 bytes as such, more
// length-coded) or "ID=HEX" (length-coded whatever its length).
bool card_event_item(const std::string &text, std::vector<uint8_t> *event_body, bool long_stamp);
// A whole event report (0x60, u16 length, the events) of items as above.
bool card_event_report_of(const std::vector<std::string> &items, bool long_stamp,
                          std::vector<uint8_t> *report);

bool card_async_control(CardAsync &a, const std::string &word, const std::string &rest, bool *known,
                        std::string *error, std::vector<uint8_t> *send_now);

// Answers: the packet, and packets that follow it (delay in ms, packet) in *after.
std::vector<uint8_t> card_wms_answer(CardAsync &a, const uint8_t *request, size_t len,
                                     std::vector<std::pair<int, std::vector<uint8_t>>> *after);
std::vector<uint8_t> card_log_config_answer(CardAsync &a, const uint8_t *request, size_t len);
