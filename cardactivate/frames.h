// The fixed frames the activation tool sends to a KPC650 card. Each is a body, its FCS-16
// (common/fcs16.h, low byte first) and the flag 0x7E; none holds 0x7E or 0x7D before the flag,
// so none needs stuffing. The startup frame carries one byte more, a 00 after its flag, and
// all eight are sent.
//
//   frame                  body: channel (byte 8), type (bytes 10-11, big-endian), payload
//   command_startup        4B 00 10 04 (handshake)
//   command_hello          channel 0, type 0, payload 01 21 1B 01 00
//   commandGetPRLVersion   channel 10, type 9
//   commandActivtionQuery  channel 10, type 1, payload 00
//   commandActivtion       channel 10, type 1, payload 01
//   commandKeepAlive       channel 0, type 3
//   commandBye             channel 0, type 1, payload 01
#pragma once

#include <cstddef>
#include <cstdint>

struct CardCommand {
    const uint8_t *bytes;
    size_t len;
};

extern const CardCommand command_startup;
extern const CardCommand command_hello;
extern const CardCommand commandGetPRLVersion;
extern const CardCommand commandActivtionQuery;
extern const CardCommand commandActivtion;
extern const CardCommand commandKeepAlive;
extern const CardCommand commandBye;
