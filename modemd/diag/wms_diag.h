// Short messages in the card's message store, over DIAG subsystem 0x0E: list, read, tag,
// delete, delete all and write. Each is one request transaction (5-second wait); a read also
// waits, in the same transaction, for the card's log packet of the message (code 0x1160,
// 10 seconds). Any thread but the reader thread.
//
// Request (little-endian):
//   off  size  field
//   0    1     0x4B          1  1  0x0E          2  2  command
//   4    1     transaction id (a process-wide counter, incremented before each use: 1, 2, ...
//              255, 0, 1, ...)
//   5    3     0
//   8..  u32 arguments:  1 clear: index, 6 (16 bytes)   2 clear all: 6 (12)   3 list: 6 (12)
//                        4 read: 6, index (16)          5 tag: 6, index, 1 read / 2 unread (20)
//                        0 write: the caller's record from byte 4 (record length + 4)
// Every answer repeats 0x4B 0x0E and the command word, else 11.
// List answer: u32 count at 4, count 8-byte entries from 24 (u32 index first).
// Read: the answer's byte 4 is 0 when the message is there; then the log packet:
//   0x10, more, u16 L at 2, u16 length, u16 log code 0x1160 at 6, 8-byte time stamp,
//   the message (L - 12 bytes) from byte 16.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr uint8_t kWmsSubsys = 0x0E;
inline constexpr size_t kWmsWriteRecordHeader = 16;  // the record bytes the write fills in
inline constexpr size_t kWmsListEntrySize = 8;
inline constexpr int kWmsNoMessages = 45;    // WMSDIAG_IsValidSMSIndex on an empty store
inline constexpr int kWmsBadLogPacket = 46;  // the read's log packet is not what it must be

// Record of a write: byte 0 = transaction id, byte 4 = 2, 5 = 0, 6 = 1, 7 = 0, u32 3 at 8,
// u32 6 at 12 are set here (bytes 1-3 and from 16 on are the caller's). 8 for a NULL pointer
// or a record below 16 bytes; 44 when the request cannot be allocated. *txn_out = the id sent.
[[nodiscard]] int WMSDiag_SendWriteCmd(uint8_t *txn_out, uint8_t *record, size_t record_length);
[[nodiscard]] int WMSDiag_ClearMsg(uint8_t *txn_out, uint32_t index);
[[nodiscard]] int WMSDiag_ClearAllMsgs(uint8_t *txn_out);
// flag nonzero marks the message read, zero unread.
[[nodiscard]] int WMSDiag_SetMessageTag(uint8_t *txn_out, uint32_t index, int flag);
// *count_out = number of messages; when nonzero *list_out is a new array of count 8-byte
// entries (free() it). 11 when the answer does not hold the count it claims (or above 255).
[[nodiscard]] int WMSDiag_GetMsgList(uint8_t *txn_out, uint8_t **list_out, uint8_t *count_out);
// *valid_out = 1 when the store holds `index`; 45 when the store is empty.
[[nodiscard]] int WMSDIAG_IsValidSMSIndex(uint32_t index, uint8_t *valid_out);
// The stored message (its transport-layer bytes, as the card logs them) into message_out.
// 46 when the log packet's length is below 12 or its message runs past the packet; 13 when
// the message is longer than capacity (*length_out = its length); the wait's status when the
// log packet does not come. A nonzero answer byte 4 (no such message) gives 0 with
// *length_out = 0. Log capture is off again on every return.
[[nodiscard]] int WMSDiag_ReadMsg(uint8_t *txn_out, uint32_t index, uint8_t *message_out,
                                  size_t capacity, size_t *length_out);

// The checks of the card's answers on their own (r[0..len) is the whole packet):
// the read's log packet: 46 unless it is 0x10 with code 0x1160, L >= 12 and L - 12 message bytes
// within the packet; 13 when they exceed capacity (*length_out set either way on 0 and 13).
[[nodiscard]] int wms_take_log_packet(const uint8_t *r, size_t len, uint8_t *message_out,
                                      size_t capacity, size_t *length_out);
// The list answer's count: 11 when it is above 255 or the answer does not hold its entries.
[[nodiscard]] int wms_take_list_count(const uint8_t *r, size_t len, uint8_t *count_out);

// The last transaction id used (tests set it to see the counter wrap).
uint8_t wms_diag_transaction_id();
void wms_diag_set_transaction_id(uint8_t id);
