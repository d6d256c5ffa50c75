#include "modemd/diag/wms_codec.h"

#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/diag_status.h"

namespace {

constexpr uint8_t kParamTeleservice = 0;
constexpr uint8_t kParamCategory = 1;
constexpr uint8_t kParamOrigAddress = 2;
constexpr uint8_t kParamOrigSubaddress = 3;
constexpr uint8_t kParamDestAddress = 4;
constexpr uint8_t kParamDestSubaddress = 5;
constexpr uint8_t kParamReplyOption = 6;
constexpr uint8_t kParamCauseCodes = 7;
constexpr uint8_t kParamBearerData = 8;
constexpr int kParamIds = 9;

constexpr uint8_t kTypePointToPoint = 0;
constexpr uint8_t kTypeBroadcast = 1;
constexpr uint8_t kTypeAcknowledge = 2;

bool already_encoded(uint32_t format) {
    return format == 0x10000 || format == 0x20000 || format == 0x30000 || format == 0x40000;
}

size_t bits_to_bytes(size_t bits) {
    return (bits + 7) / 8;
}

size_t address_bits(const wms_tl_message *m) {
    size_t bits = 2;
    if (m->digit_mode) {
        bits += 3;
        if (!m->number_mode) bits += 4;
    }
    return bits + 8 + static_cast<size_t>(m->num_digits) * (m->digit_mode ? 8 : 4);
}

size_t subaddress_bytes(const wms_tl_message *m) {
    return bits_to_bytes(3 + 1 + 8 + static_cast<size_t>(m->subaddress_len) * 8 + 4);
}

}  // namespace

void b_packb(uint8_t value, uint8_t *buffer, size_t bit_offset, unsigned bit_count) {
    b_packw(value, buffer, bit_offset, bit_count > 8 ? 8 : bit_count);
}

void b_packw(uint16_t value, uint8_t *buffer, size_t bit_offset, unsigned bit_count) {
    if (bit_count == 0 || bit_count > 16) return;
    for (unsigned i = 0; i < bit_count; ++i) {
        size_t at = bit_offset + i;
        uint8_t mask = static_cast<uint8_t>(0x80u >> (at % 8));
        if ((value >> (bit_count - 1 - i)) & 1u)
            buffer[at / 8] = static_cast<uint8_t>(buffer[at / 8] | mask);
        else
            buffer[at / 8] = static_cast<uint8_t>(buffer[at / 8] & ~mask);
    }
}

uint8_t b_unpackb(const uint8_t *buffer, size_t bit_offset, unsigned bit_count) {
    return static_cast<uint8_t>(b_unpackw(buffer, bit_offset, bit_count > 8 ? 8 : bit_count));
}

uint16_t b_unpackw(const uint8_t *buffer, size_t bit_offset, unsigned bit_count) {
    if (bit_count > 16) bit_count = 16;
    unsigned value = 0;
    for (unsigned i = 0; i < bit_count; ++i) {
        size_t at = bit_offset + i;
        value = (value << 1) | ((buffer[at / 8] >> (7 - at % 8)) & 1u);
    }
    return static_cast<uint16_t>(value);
}

int wms_ts_cdma_encode_address(const wms_tl_message *m, uint8_t *length_out, uint8_t *out) {
    if (!m || !length_out || !out) return kDiagNullArgument;
    if (m->num_digits > kWmsMaxDigits) return kDiagNullArgument;
    size_t len = bits_to_bytes(address_bits(m));
    std::memset(out, 0, len);
    size_t pos = 0;
    b_packb(m->digit_mode ? 1 : 0, out, pos++, 1);
    b_packb(m->number_mode ? 1 : 0, out, pos++, 1);
    if (m->digit_mode) {
        b_packb(m->number_type, out, pos, 3);
        pos += 3;
        if (!m->number_mode) {
            b_packb(m->number_plan, out, pos, 4);
            pos += 4;
        }
    }
    b_packb(m->num_digits, out, pos, 8);
    pos += 8;
    unsigned width = m->digit_mode ? 8 : 4;
    for (size_t i = 0; i < m->num_digits; ++i, pos += width)
        b_packb(m->data[i], out, pos, width);
    *length_out = static_cast<uint8_t>(len);
    return kDiagOk;
}

int wms_ts_cdma_decode_address(const uint8_t *in, uint8_t length, wms_tl_message *m) {
    if (!in || !m) return kDiagNullArgument;
    size_t have = static_cast<size_t>(length) * 8;
    size_t pos = 0;
    if (have < 2 + 8) return kDiagMismatch;
    m->digit_mode = b_unpackb(in, pos++, 1);
    m->number_mode = b_unpackb(in, pos++, 1);
    m->number_type = 0;
    m->number_plan = 0;
    if (m->digit_mode) {
        size_t need = 3 + (m->number_mode ? 0 : 4) + 8;
        if (have < pos + need) return kDiagMismatch;
        m->number_type = b_unpackb(in, pos, 3);
        pos += 3;
        if (!m->number_mode) {
            m->number_plan = b_unpackb(in, pos, 4);
            pos += 4;
        }
    }
    uint8_t count = b_unpackb(in, pos, 8);
    pos += 8;
    if (count > kWmsMaxDigits) return kDiagNullArgument;
    unsigned width = m->digit_mode ? 8 : 4;
    if (have < pos + static_cast<size_t>(count) * width) return kDiagMismatch;
    m->num_digits = count;
    for (size_t i = 0; i < count; ++i, pos += width)
        m->data[i] = b_unpackb(in, pos, width);
    return kDiagOk;
}

int wms_ts_cdma_encode_subaddress(const wms_tl_message *m, uint8_t *length_out, uint8_t *out) {
    if (!m || !length_out || !out) return kDiagNullArgument;
    if (m->subaddress_len > kWmsMaxSubaddress || m->num_digits > kWmsMaxDigits)
        return kDiagNullArgument;
    size_t len = subaddress_bytes(m);
    std::memset(out, 0, len);
    size_t pos = 0;
    b_packb(m->subaddress_type, out, pos, 3);
    pos += 3;
    b_packb(m->subaddress_odd ? 1 : 0, out, pos++, 1);
    b_packb(m->subaddress_len, out, pos, 8);
    pos += 8;
    const uint8_t *bytes = m->data + m->num_digits;
    for (size_t i = 0; i < m->subaddress_len; ++i, pos += 8)
        b_packb(bytes[i], out, pos, 8);
    *length_out = static_cast<uint8_t>(len);  // the four reserved bits are already zero
    return kDiagOk;
}

int wms_ts_cdma_decode_subaddress(const uint8_t *in, uint8_t length, wms_tl_message *m) {
    if (!in || !m) return kDiagNullArgument;
    size_t have = static_cast<size_t>(length) * 8;
    if (have < 12) return kDiagMismatch;
    m->subaddress_type = b_unpackb(in, 0, 3);
    m->subaddress_odd = b_unpackb(in, 3, 1);
    uint8_t count = b_unpackb(in, 4, 8);
    if (count > kWmsMaxSubaddress || m->num_digits > kWmsMaxDigits) return kDiagNullArgument;
    if (have < 12 + static_cast<size_t>(count) * 8) return kDiagMismatch;
    m->subaddress_len = count;
    uint8_t *bytes = m->data + m->num_digits;
    for (size_t i = 0; i < count; ++i)
        bytes[i] = b_unpackb(in, 12 + i * 8, 8);
    return kDiagOk;
}

int wms_ts_encode_CDMA_tl(const wms_tl_message *m, size_t capacity, uint8_t *out,
                          size_t *length_out) {
    if (!m || !out || !length_out) return kDiagNullArgument;
    if (already_encoded(m->format)) {
        if (m->bearer_len > kWmsDataSize) return kDiagNullArgument;
        *length_out = m->bearer_len;
        if (capacity < m->bearer_len) return kDiagNoRoom;
        std::memcpy(out, m->data, m->bearer_len);
        return kDiagOk;
    }
    if (m->num_digits > kWmsMaxDigits || m->subaddress_len > kWmsMaxSubaddress ||
        m->bearer_len > kWmsMaxBearer)
        return kDiagNullArgument;
    // The bytes that will be written, parameter headers included: a capacity check against an
    // estimate without them would let the writer run past the caller's buffer.
    size_t addr_len = bits_to_bytes(address_bits(m));
    size_t need = 1 + 2 + 2 + 2 + addr_len;
    if (m->category_present) need += 4;
    if (m->subaddress_len) need += 2 + subaddress_bytes(m);
    bool reply = m->destination && m->reply_requested;
    if (reply) need += 3;
    if (m->bearer_len) need += 2 + m->bearer_len;
    if (capacity < need) {
        *length_out = need;
        return kDiagNoRoom;
    }
    size_t pos = 0;
    out[pos++] = kTypePointToPoint;
    out[pos++] = kParamTeleservice;
    out[pos++] = 2;
    put_be16(out + pos, m->teleservice);
    pos += 2;
    if (m->category_present) {
        out[pos++] = kParamCategory;
        out[pos++] = 2;
        put_be16(out + pos, m->category);
        pos += 2;
    }
    uint8_t body_len = 0;
    out[pos++] = m->destination ? kParamDestAddress : kParamOrigAddress;
    int status = wms_ts_cdma_encode_address(m, &body_len, out + pos + 1);
    if (status != kDiagOk) return status;
    out[pos++] = body_len;
    pos += body_len;
    if (m->subaddress_len) {
        out[pos++] = m->destination ? kParamDestSubaddress : kParamOrigSubaddress;
        status = wms_ts_cdma_encode_subaddress(m, &body_len, out + pos + 1);
        if (status != kDiagOk) return status;
        out[pos++] = body_len;
        pos += body_len;
    }
    if (reply) {
        out[pos++] = kParamReplyOption;
        out[pos++] = 1;
        out[pos++] = static_cast<uint8_t>((m->reply_seq & 0x3F) << 2);
    }
    if (m->bearer_len) {
        out[pos++] = kParamBearerData;
        out[pos++] = static_cast<uint8_t>(m->bearer_len);
        std::memcpy(out + pos, m->data + m->num_digits + m->subaddress_len, m->bearer_len);
        pos += m->bearer_len;
    }
    *length_out = pos;
    return kDiagOk;
}

int wms_ts_decode_CDMA_tl(const uint8_t *in, size_t length, wms_tl_message *m, size_t capacity,
                          size_t *size_out) {
    if (!in || !m || !size_out) return kDiagNullArgument;
    if (capacity < length) return kDiagNoRoom;
    if (length < 2 || length > kWmsMaxTlLength) return kDiagNullArgument;
    std::memset(m, 0, sizeof *m);
    size_t room = capacity < kWmsDataSize ? capacity : kWmsDataSize;
    // The walk only takes note of where each parameter is; the address, subaddress and bearer
    // data are decoded afterwards in the order the shared array holds them, whatever order they
    // came in.
    const uint8_t *body[kParamIds] = {};
    uint8_t body_len[kParamIds] = {};
    m->message_type = in[0];
    for (size_t pos = 1; pos < length;) {
        if (length - pos < 2) return kDiagNullArgument;
        uint8_t id = in[pos], len = in[pos + 1];
        if (static_cast<size_t>(len) > length - pos - 2) return kDiagNullArgument;
        if (id < kParamIds && !body[id]) {
            body[id] = in + pos + 2;
            body_len[id] = len;
        }
        pos += 2 + static_cast<size_t>(len);
    }
    if (body[kParamTeleservice]) {
        if (body_len[kParamTeleservice] != 2) return kDiagNullArgument;
        m->teleservice = get_be16(body[kParamTeleservice]);
    }
    if (body[kParamCategory]) {
        if (body_len[kParamCategory] != 2) return kDiagNullArgument;
        m->category = get_be16(body[kParamCategory]);
        m->category_present = 1;
    }
    // One address: the destination's when both came (a message carries one or the other).
    uint8_t addr_id = body[kParamDestAddress] ? kParamDestAddress : kParamOrigAddress;
    bool have_address = body[addr_id] != nullptr;
    if (have_address) {
        m->destination = addr_id == kParamDestAddress;
        // Each digit takes a byte of the shared array, whatever its width on the wire.
        int status = wms_ts_cdma_decode_address(body[addr_id], body_len[addr_id], m);
        if (status != kDiagOk) return status;
        if (m->num_digits > room) return kDiagNoRoom;
    }
    uint8_t sub_id = body[kParamDestSubaddress] ? kParamDestSubaddress : kParamOrigSubaddress;
    if (body[sub_id]) {
        if (body_len[sub_id] >= 2) {
            uint8_t count = b_unpackb(body[sub_id], 4, 8);
            if (count <= kWmsMaxSubaddress && m->num_digits + static_cast<size_t>(count) > room)
                return kDiagNoRoom;
        }
        int status = wms_ts_cdma_decode_subaddress(body[sub_id], body_len[sub_id], m);
        if (status != kDiagOk) return status;
    }
    if (body[kParamReplyOption]) {
        if (body_len[kParamReplyOption] < 1) return kDiagNullArgument;
        m->reply_requested = 1;
        m->reply_seq = static_cast<uint8_t>(body[kParamReplyOption][0] >> 2);
    }
    if (body[kParamCauseCodes]) {
        const uint8_t *c = body[kParamCauseCodes];
        if (body_len[kParamCauseCodes] < 1) return kDiagNullArgument;
        m->cause_reply_seq = static_cast<uint8_t>(c[0] >> 2);
        m->error_class = static_cast<uint8_t>(c[0] & 3);
        if (m->error_class != 0) {
            if (body_len[kParamCauseCodes] < 2) return kDiagNullArgument;
            m->cause_code = c[1];
        }
        m->cause_present = 1;
    }
    if (body[kParamBearerData]) {
        uint8_t n = body_len[kParamBearerData];
        if (n == 0) return kDiagNullArgument;
        size_t at = static_cast<size_t>(m->num_digits) + m->subaddress_len;
        if (at + n > room) return kDiagNoRoom;
        std::memcpy(m->data + at, body[kParamBearerData], n);
        m->bearer_len = n;
    }
    switch (m->message_type) {
        case kTypePointToPoint:
            if (!have_address) return kDiagNullArgument;
            break;
        case kTypeBroadcast:
            if (!m->category_present) return kDiagNullArgument;
            break;
        case kTypeAcknowledge:
            if (!m->cause_present) return kDiagNullArgument;
            break;
        default:
            return kDiagNullArgument;
    }
    *size_out =
        static_cast<size_t>(m->num_digits) + m->subaddress_len + m->bearer_len + kWmsSizeBase;
    return kDiagOk;
}

char wms_digit_char(uint8_t digit_mode, uint8_t code) {
    if (digit_mode) return static_cast<char>(code);
    if (code >= 1 && code <= 9) return static_cast<char>('0' + code);
    if (code == 10) return '0';
    if (code == 11) return '*';
    if (code == 12) return '#';
    return '?';
}

uint8_t wms_dtmf_code(char c) {
    if (c >= '1' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c == '0') return 10;
    if (c == '*') return 11;
    if (c == '#') return 12;
    return 0;
}
