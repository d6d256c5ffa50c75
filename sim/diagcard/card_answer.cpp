#include "sim/diagcard/card_answer.h"

#include <cstring>

#include "common/bytes.h"
#include "sim/diagcard/card_frames.h"

namespace {

constexpr uint8_t kSubsys = 0x4B;
constexpr uint8_t kGpsSubsys = 0x0D;
constexpr uint8_t kCmSubsys = 0x0F;
constexpr uint8_t kHdrSubsys = 0x05;
constexpr uint8_t kWmsSubsys = 0x0E;
constexpr uint8_t kBadCommand = 0x13;
constexpr int kSplitPauseMs = 30;  // long enough for the reader to take the halves apart

std::vector<uint8_t> error_response(uint8_t code, const uint8_t *request, size_t len) {
    std::vector<uint8_t> p(1 + len);
    p[0] = code;
    if (len) std::memcpy(p.data() + 1, request, len);
    return p;
}

std::vector<uint8_t> subsys_answer(const uint8_t *request, size_t body_len) {
    std::vector<uint8_t> p(4 + body_len, 0);
    std::memcpy(p.data(), request, 4);
    return p;
}

std::vector<uint8_t> version_answer(const CardConfig &c) {
    std::vector<uint8_t> p(c.version_length > 55 ? c.version_length : 55, 0);
    const char text[] = "Jan 01 200812:00:00Dec 31 200723:59:59SIMFW1.0";  // 47 bytes and NUL
    std::memcpy(p.data() + 1, text, sizeof text);
    p[1 + 48] = c.model;
    put_le16(p.data() + 1 + 49, c.firmware);
    p.resize(c.version_length, 0);
    return p;
}

std::vector<uint8_t> gps_answer(const CardConfig &c, const uint8_t *request, size_t len) {
    std::vector<uint8_t> p;
    switch (get_le16(request + 2)) {
        case 0:
            p = subsys_answer(request, 4);
            put_le32(p.data() + 4, c.gps_start_result);
            break;
        case 1:
            p = subsys_answer(request, 8);
            put_le32(p.data() + 8, c.gps_end_result);
            break;
        case 3:
            p = subsys_answer(request, 8);
            put_le32(p.data() + 4, c.gps_config_status);
            put_le32(p.data() + 8, c.gps_config_result);
            break;
        case 4:
            p = subsys_answer(request, kCardPositionSize);
            std::memcpy(p.data() + 4, c.position, kCardPositionSize);
            break;
        default:
            p = error_response(kBadCommand, request, len);
            break;
    }
    return p;
}

// Splits the frame right after its first escape byte (after its first byte when it has none).
size_t escape_split_point(const std::vector<uint8_t> &frame) {
    for (size_t i = 0; i + 1 < frame.size(); ++i)
        if (frame[i] == 0x7D) return i + 1;
    return 1;
}

// Flips one bit of the first byte where that makes and undoes no flag or escape, so the frame
// keeps its shape and only fails its check.
void corrupt(std::vector<uint8_t> *frame) {
    auto special = [](uint8_t b) { return b == 0x7E || b == 0x7D; };
    for (uint8_t &b : *frame) {
        if (!special(b) && !special(static_cast<uint8_t>(b ^ 0x01))) {
            b ^= 0x01;
            return;
        }
    }
}

// Requests of one command byte's kind.
CardTarget plain_target(uint8_t command) {
    switch (command) {
        case 0x00:
            return kTargetVersion;
        case 0x60:
            return kTargetEvents;
        case 0x26:
            return kTargetNvRead;
        case 0x27:
            return kTargetNvWrite;
        case 0x41:
            return kTargetSpc;
        case 0x48:
            return kTargetPrl;
        case 0x29:
            return kTargetMode;
        case 0x0C:
            return kTargetStatus;
        case 0x63:
            return kTargetStatusSnapshot;
        case 0x7C:
            return kTargetBuildId;
        case 0x19:
            return kTargetTaGraph;
        case 0x55:
            return kTargetFer;
        case 0x35:
            return kTargetOrigination;
        case 0x73:
            return kTargetLogConfig;
        default:
            return kTargetOther;
    }
}

CardTarget vendor_target(uint16_t command) {
    switch (command) {
        case 7:
            return kTargetSnapshot;
        case 8:
            return kTargetEri;
        case 9:
            return kTargetNetworkTime;
        case 10:
            return kTargetLock;
        case 11:
            return kTargetDeviceInfo;
        case 12:
            return kTargetPrlVersion;
        case 31:
            return kTargetRssi;
        case 13:
            return kTargetIota;
        case 38:
            return kTargetOma;
        default:
            return kTargetOther;
    }
}

// The status records answered as stored, by kind.
const char *record_name(CardTarget t) {
    switch (t) {
        case kTargetStatus:
            return "status";
        case kTargetStatusSnapshot:
            return "status-snapshot";
        case kTargetSnapshot:
            return "snapshot";
        case kTargetCmState:
            return "cm-state";
        case kTargetHdrState:
            return "hdr-state";
        case kTargetRssi:
            return "rssi";
        case kTargetTaGraph:
            return "ta-graph";
        case kTargetFer:
            return "fer";
        case kTargetNetworkTime:
            return "network-time";
        default:
            return nullptr;
    }
}

bool is_vendor_target(CardTarget t) {
    switch (t) {
        case kTargetDeviceInfo:
        case kTargetSnapshot:
        case kTargetEri:
        case kTargetNetworkTime:
        case kTargetLock:
        case kTargetPrlVersion:
        case kTargetRssi:
        case kTargetIota:
        case kTargetOma:
            return true;
        default:
            return false;
    }
}

// The answer's writes, then the packets that follow it (each framed, at its delay after it).
std::vector<CardWrite> with_followers(
    std::vector<CardWrite> writes, const std::vector<std::pair<int, std::vector<uint8_t>>> &after,
    int base_ms) {
    for (const auto &f : after)
        writes.push_back({card_frame(f.second.data(), f.second.size()), base_ms + f.first});
    return writes;
}

}  // namespace

CardTarget card_classify(const uint8_t *request, size_t len) {
    if (len == 0) return kTargetOther;
    if (request[0] != kSubsys) return plain_target(request[0]);
    if (len < 4) return kTargetOther;
    uint16_t command = get_le16(request + 2);
    if (request[1] == kCmSubsys) return command == 0 ? kTargetCmState : kTargetOther;
    if (request[1] == kWmsSubsys) return kTargetWms;
    if (request[1] == kHdrSubsys) return command == 8 ? kTargetHdrState : kTargetOther;
    if (request[1] == kGpsSubsys) {
        switch (command) {
            case 0:
                return kTargetGpsStart;
            case 1:
                return kTargetGpsEnd;
            case 3:
                return kTargetGpsConfig;
            case 4:
                return kTargetGpsPosition;
            default:
                return kTargetOther;
        }
    }
    return vendor_target(command);
}

namespace {

// The activation script and CM word after the answer that starts an activation.
void start_activation(CardConfig &c, std::vector<std::pair<int, std::vector<uint8_t>>> *after) {
    if (c.async.activation_sets_cm) {
        std::vector<uint8_t> &cm = c.records.bytes["cm-state"];
        if (cm.size() >= 4) put_le32(cm.data(), c.async.activation_cm);
    }
    for (const auto &item : c.async.activation_script)
        after->push_back(item);
}

}  // namespace

std::vector<uint8_t> card_answer(CardConfig &c, const uint8_t *request, size_t len,
                                 std::vector<std::pair<int, std::vector<uint8_t>>> *after) {
    CardTarget target = card_classify(request, len);
    if (is_vendor_target(target) && request[1] != c.vendor_id())
        return error_response(kBadCommand, request, len);
    if (const char *record = record_name(target))
        return card_record_answer(c.records, record, request, len);
    switch (target) {
        case kTargetNvRead:
        case kTargetNvWrite:
            return card_nv_answer(c.items, request, len);
        case kTargetSpc:
            return card_spc_answer(c.items, request, len);
        case kTargetLock:
            return card_lock_answer(c.items, request, len);
        case kTargetPrl:
            return card_prl_answer(c.items, request, len);
        case kTargetPrlVersion:
            return card_prl_version_answer(c.items, request);
        case kTargetEri:
            return card_eri_answer(c.records, request);
        case kTargetBuildId:
            return card_build_id_answer(c.records);
        case kTargetMode:
            return card_mode_answer(c.records, request, len);
        case kTargetWms:
            return card_wms_answer(c.async, request, len, after);
        case kTargetLogConfig:
            return card_log_config_answer(c.async, request, len);
        case kTargetOrigination: {
            start_activation(c, after);
            return std::vector<uint8_t>(request, request + len);
        }
        case kTargetIota: {
            std::vector<uint8_t> p = subsys_answer(request, 256);
            for (size_t i = 0; i < 256; ++i)
                p[4 + i] = static_cast<uint8_t>(i);
            if (len > 4) p[4] = request[4];  // the operation echoed
            start_activation(c, after);
            return p;
        }
        case kTargetOma: {
            std::vector<uint8_t> p = subsys_answer(request, 5);
            if (len > 4) p[4] = request[4];
            p[5] = 0x4F;
            p[6] = 0x4D;
            p[7] = 0x41;
            return p;
        }
        default:
            break;
    }
    switch (target) {
        case kTargetVersion:
            return version_answer(c);
        case kTargetEvents:
            return {0x60, 0x00, 0x00};
        case kTargetDeviceInfo: {
            std::vector<uint8_t> p = subsys_answer(request, kCardDeviceInfoSize);
            std::memcpy(p.data() + 4, c.device_info, kCardDeviceInfoSize);
            return p;
        }
        case kTargetGpsStart:
        case kTargetGpsEnd:
        case kTargetGpsConfig:
        case kTargetGpsPosition:
            return gps_answer(c, request, len);
        default:
            break;
    }
    return error_response(kBadCommand, request, len);
}

std::vector<CardWrite> card_plan(CardConfig &c, const uint8_t *request, size_t len) {
    const CardBehaviour &b = c.behaviour[card_classify(request, len)];
    std::vector<std::pair<int, std::vector<uint8_t>>> after;
    std::vector<uint8_t> packet = b.mode == CardBehaviour::kError
                                      ? error_response(b.error_code, request, len)
                                      : card_answer(c, request, len, &after);
    if (b.mode == CardBehaviour::kTruncate && packet.size() > b.amount) packet.resize(b.amount);
    std::vector<uint8_t> frame = card_frame(packet.data(), packet.size());
    switch (b.mode) {
        case CardBehaviour::kSilent:
            return {};
        case CardBehaviour::kCorrupt:
            corrupt(&frame);
            return {{frame, 0}};
        case CardBehaviour::kGlue: {
            std::vector<uint8_t> both =
                card_frame(card_event_report().data(), card_event_report().size());
            both.insert(both.end(), frame.begin(), frame.end());
            return {{both, 0}};
        }
        case CardBehaviour::kSplit:
        case CardBehaviour::kSplitEscape: {
            size_t at = b.mode == CardBehaviour::kSplit ? b.amount : escape_split_point(frame);
            if (at >= frame.size()) return {{frame, 0}};
            return {{std::vector<uint8_t>(frame.begin(), frame.begin() + static_cast<long>(at)), 0},
                    {std::vector<uint8_t>(frame.begin() + static_cast<long>(at), frame.end()),
                     kSplitPauseMs}};
        }
        case CardBehaviour::kDelay:
            return with_followers({{frame, b.delay_ms}}, after, b.delay_ms);
        default:
            return with_followers({{frame, 0}}, after, 0);
    }
}
