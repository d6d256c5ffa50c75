// The "sierra_module" family: the open function's start-up report, the command handlers of
// the queue and the dispatch of the card's notifications. Main thread only.
#pragma once

#include <cstdint>

#include "modemd/msg2cmd.h"

struct fd_desc;

// The card's port, -1 until sierra_init() opened it.
extern int sierra_fd;

// CnS objects of the family.
inline constexpr uint16_t kObjHeartbeat = 0x0000;
inline constexpr uint16_t kObjEsn = 0x1000;
inline constexpr uint16_t kObjRssi = 0x1001;
inline constexpr uint16_t kObjPhoneNumber = 0x1002;
inline constexpr uint16_t kObjChannel = 0x1004;
inline constexpr uint16_t kObjChannelStatus = 0x1005;
inline constexpr uint16_t kObjServiceIndication = 0x1006;
inline constexpr uint16_t kObjActivationStatus = 0x1009;
inline constexpr uint16_t kObjHandsetMute = 0x1027;
inline constexpr uint16_t kObjMdn = 0x1038;
inline constexpr uint16_t kObjImsi = 0x1039;
inline constexpr uint16_t kObjSmsStatus = 0x2000;
inline constexpr uint16_t kObjSmsChunk = 0x2001;
inline constexpr uint16_t kObjSmsAck = 0x2002;
inline constexpr uint16_t kObjSmsSendStatus = 0x2005;
inline constexpr uint16_t kObjTemperature = 0x4004;
inline constexpr uint16_t kObjBandClass = 0x4008;
inline constexpr uint16_t kObjSecondPortRate = 0x5001;

// Prints the start-up report of the card on `fd` to standard output (Hardware, Configuration,
// Account, Radio, Voice and SMS sections); a value whose read fails is left out. Writes the
// second port rate back and toggles the handset mute, as the card's set-up expects.
void sierra_startup_report(int fd);

// Registers the family's command handlers on sierra_msg2cmd_node_list (emptied first), in
// the order 1 to 9, 11, 10, 200.
void sierra_register_handlers(void);

// Command handlers (contract in modemd/msg2cmd.h).
[[nodiscard]] int sierra_esn_get(uint8_t *req, int req_len, uint8_t *reply, int cap);
[[nodiscard]] int sierra_rssi_get(uint8_t *req, int req_len, uint8_t *reply, int cap);
[[nodiscard]] int sierra_band_get(uint8_t *req, int req_len, uint8_t *reply, int cap);
[[nodiscard]] int sierra_activation_get(uint8_t *req, int req_len, uint8_t *reply, int cap);
[[nodiscard]] int sierra_service_get(uint8_t *req, int req_len, uint8_t *reply, int cap);
[[nodiscard]] int sierra_phone_get(uint8_t *req, int req_len, uint8_t *reply, int cap);
[[nodiscard]] int sierra_diag_passthrough(uint8_t *req, int req_len, uint8_t *reply, int cap);

// Event-loop handler of the port: reads one frame (capacity 256) and hands it to
// sierra_cns_notice_hander(). -1 when the frame cannot be read.
[[nodiscard]] int sierra_cns_notice(fd_desc *desc);

// Writes the console line for a notification `frame` (header still in front: the object id
// is at bytes 4-5). Returns `len`, or -1 for an object without a line of its own or a frame
// too short to carry what its object needs.
[[nodiscard]] int sierra_cns_notice_hander(int fd, const uint8_t *frame, int len);
