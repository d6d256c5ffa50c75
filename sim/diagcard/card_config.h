// What the simulated card is and how it misbehaves: its identity, its GPS answers, and a
// behaviour per kind of request. Changed by control lines (see README.md); plain data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/diagcard/card_async.h"
#include "sim/diagcard/card_items.h"

// The kinds of request the card tells apart.
enum CardTarget {
    kTargetVersion,         // 0x00 software version
    kTargetDeviceInfo,      // 0x4B vendor 11
    kTargetEvents,          // 0x60 event-report control
    kTargetGpsStart,        // 0x4B 0x0D 0
    kTargetGpsEnd,          // 0x4B 0x0D 1
    kTargetGpsConfig,       // 0x4B 0x0D 3
    kTargetGpsPosition,     // 0x4B 0x0D 4
    kTargetNvRead,          // 0x26
    kTargetNvWrite,         // 0x27
    kTargetSpc,             // 0x41
    kTargetLock,            // 0x4B vendor 10
    kTargetPrl,             // 0x48
    kTargetMode,            // 0x29
    kTargetStatus,          // 0x0C
    kTargetStatusSnapshot,  // 0x63
    kTargetSnapshot,        // 0x4B vendor 7
    kTargetCmState,         // 0x4B 0x0F 0
    kTargetHdrState,        // 0x4B 0x05 8
    kTargetRssi,            // 0x4B vendor 31
    kTargetEri,             // 0x4B vendor 8
    kTargetBuildId,         // 0x7C
    kTargetTaGraph,         // 0x19
    kTargetFer,             // 0x55
    kTargetNetworkTime,     // 0x4B vendor 9
    kTargetPrlVersion,      // 0x4B vendor 12
    kTargetWms,             // 0x4B 0x0E: the message store
    kTargetOrigination,     // 0x35 call origination
    kTargetIota,            // 0x4B vendor 13
    kTargetOma,             // 0x4B vendor 38
    kTargetLogConfig,       // 0x73
    kTargetOther,           // anything else (answered "bad command")
    kTargetCount
};

const char *card_target_name(CardTarget t);

// How the card answers one kind of request.
struct CardBehaviour {
    enum Mode {
        kNormal,
        kError,
        kSilent,
        kCorrupt,
        kTruncate,
        kSplit,
        kSplitEscape,
        kGlue,
        kDelay
    };
    Mode mode = kNormal;
    uint8_t error_code = 0;  // kError: 0x13, 0x14, 0x15, 0x18, 0x42 or 0x47
    size_t amount = 0;       // kTruncate: packet bytes kept; kSplit: frame bytes in the first write
    int delay_ms = 0;        // kDelay
};

inline constexpr size_t kCardDeviceInfoSize = 100;
inline constexpr size_t kCardPositionSize = 32;

struct CardConfig {
    uint8_t model = 0x99;
    uint16_t firmware = 134;
    size_t version_length = 55;  // the whole answer, command byte included
    uint8_t device_info[kCardDeviceInfoSize] = {};
    uint32_t gps_config_status = 0;
    uint32_t gps_config_result = 0;
    uint32_t gps_start_result = 0;
    uint32_t gps_end_result = 0;
    uint8_t position[kCardPositionSize] = {};  // the raw record, as the card sends it
    CardBehaviour behaviour[kTargetCount];
    CardItems items;      // NV store, SPC, lock, PRL (card_items.h)
    CardRecords records;  // status records (card_items.h)
    CardAsync async;      // message store, activation, event reports, log mask

    CardConfig();
    // The vendor subsystem id this card answers to: 0xFA for models 0xAC and 0xEE, else 0x32.
    uint8_t vendor_id() const;
};

// Something a control line asks to happen at once on the port.
struct CardAction {
    enum Kind { kNone, kSendBytes, kPull };
    Kind kind = kNone;
    std::vector<uint8_t> bytes;  // kSendBytes: written as they are (already framed)
};

// Applies one control line. Returns true, or false with a reason in *error.
bool card_control(CardConfig &config, const std::string &line, CardAction *action,
                  std::string *error);

// Hex pairs ("7e7d01", spaces allowed) into bytes; false on anything else.
bool card_parse_hex(const std::string &text, std::vector<uint8_t> *out);
std::string card_hex(const uint8_t *data, size_t len);
