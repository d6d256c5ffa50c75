// The CDMA SMS transport-layer message (TIA/EIA-637) and its address and subaddress
// parameters, with the MSB-first bit packers they are built on. Pure code: no engine state,
// callable from any thread.
//
// Transport-layer message: a message-type byte (0 point-to-point, 1 broadcast, 2 acknowledge),
// then parameters, each an id byte, a length byte and that many body bytes:
//   0 teleservice (u16 big-endian)    1 broadcast category (u16 big-endian)
//   2 originating / 4 destination address     3 originating / 5 destination subaddress
//   6 bearer reply option (reply sequence in bits 7-2)
//   7 cause codes (reply sequence 6 bits, error class 2 bits, cause code 8 bits unless class 0)
//   8 bearer data
// Address body: digit mode (1 bit), number mode (1 bit); with digit mode 1 the number type
// (3 bits) and, with number mode 0, the number plan (4 bits); the number of fields (8 bits);
// the digits, 4 bits each (digit mode 0, DTMF codes) or 8 bits each; zero bits to the byte.
// Subaddress body: type (3 bits), odd flag (1 bit), number of fields (8 bits), the bytes, four
// reserved zero bits.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kWmsMaxDigits = 32;
inline constexpr size_t kWmsMaxSubaddress = 32;
inline constexpr size_t kWmsMaxBearer = 255;
// The shared array: address digits, then subaddress bytes, then bearer data.
inline constexpr size_t kWmsDataSize = kWmsMaxDigits + kWmsMaxSubaddress + kWmsMaxBearer;
inline constexpr size_t kWmsMaxTlLength = 255;
inline constexpr int kWmsSizeBase = 49;  // size_out = digits + subaddress + bearer + this

struct wms_tl_message {
    // 0x10000, 0x20000, 0x30000 or 0x40000: the message is already encoded, its bytes are the
    // bearer data (bearer_len of them at data[0]). Anything else: the fields below.
    uint32_t format;
    uint8_t message_type;
    uint16_t teleservice;
    uint8_t category_present;
    uint16_t category;
    uint8_t digit_mode;
    uint8_t number_mode;
    uint8_t number_type;
    uint8_t number_plan;
    uint8_t num_digits;  // at most 32
    uint8_t subaddress_type;
    uint8_t subaddress_odd;
    uint8_t subaddress_len;   // at most 32
    uint8_t destination;      // address and subaddress as parameters 4/5 rather than 2/3
    uint8_t reply_requested;  // encoding: parameter 6 when destination is set; decoding: seen
    uint8_t reply_seq;        // 6 bits
    uint8_t cause_present;    // parameter 7 seen (acknowledge messages)
    uint8_t cause_reply_seq;
    uint8_t error_class;
    uint8_t cause_code;  // 0 when the error class is 0 (the field is absent then)
    uint16_t bearer_len;
    uint8_t data[kWmsDataSize];
};

// Bit packers: bit offset 0 is the most significant bit of buffer[0]. The other bits of the
// bytes touched are kept. b_packb takes 1-8 bits, b_packw 1-16.
void b_packb(uint8_t value, uint8_t *buffer, size_t bit_offset, unsigned bit_count);
void b_packw(uint16_t value, uint8_t *buffer, size_t bit_offset, unsigned bit_count);
uint8_t b_unpackb(const uint8_t *buffer, size_t bit_offset, unsigned bit_count);
uint16_t b_unpackw(const uint8_t *buffer, size_t bit_offset, unsigned bit_count);

// The address body of `message` into out (room for 2 + 32 * 8 + 7 bits: 35 bytes), its length
// in *length_out. 8 when it has more than 32 digits.
[[nodiscard]] int wms_ts_cdma_encode_address(const wms_tl_message *message, uint8_t *length_out,
                                             uint8_t *out);
// Decodes an address body into the message's address fields and data[0..digits). 8 for more
// than 32 digits, 11 for a body shorter than its fields need.
[[nodiscard]] int wms_ts_cdma_decode_address(const uint8_t *in, uint8_t length,
                                             wms_tl_message *message);
// The subaddress (bytes at data[num_digits]). 8 for more than 32 bytes.
[[nodiscard]] int wms_ts_cdma_encode_subaddress(const wms_tl_message *message, uint8_t *length_out,
                                                uint8_t *out);
// Decodes into the subaddress fields and data[num_digits..]: 8 for more than 32 bytes, 11 for
// a short body.
[[nodiscard]] int wms_ts_cdma_decode_subaddress(const uint8_t *in, uint8_t length,
                                                wms_tl_message *message);

// Encodes a point-to-point message into out[0..capacity). 13 with *length_out = the bytes it
// needs when capacity is short (checked against what is written, parameter headers included);
// 8 for more than 32 digits or subaddress bytes. 0 with *length_out = bytes written.
[[nodiscard]] int wms_ts_encode_CDMA_tl(const wms_tl_message *message, size_t capacity,
                                        uint8_t *out, size_t *length_out);

// Decodes in[0..length) into *message (zeroed first). `capacity` is the room of the shared
// array the caller grants (at most kWmsDataSize counts). 13 when capacity is below length or a
// store would pass it; 8 for a length outside 2-255, a parameter past the end, a bad body, a
// missing required parameter or an unknown type; 11 for a short address or subaddress body.
// On 0, *size_out = digits + subaddress bytes + bearer bytes + 49.
[[nodiscard]] int wms_ts_decode_CDMA_tl(const uint8_t *in, size_t length, wms_tl_message *message,
                                        size_t capacity, size_t *size_out);

// The character of an address digit: DTMF codes 1-9 as '1'-'9', 10 as '0', 11 '*', 12 '#'
// (others '?'); in 8-bit digit mode the code itself.
char wms_digit_char(uint8_t digit_mode, uint8_t code);
// The DTMF code of a character, or 0 when it has none.
uint8_t wms_dtmf_code(char c);
