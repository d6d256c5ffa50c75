// Radio status of the card: snapshots, call-manager and HDR state, signal strength, ERI, build
// id, TA graph, FER, network time, PRL version, and the mode change. Each is one request
// transaction into a zeroed 141-byte buffer; the answer is checked and a fixed part copied. A
// NULL output gives 8 before anything is sent. Any thread but the reader thread.
//
//   operation                  request (bytes sent)                 wait  answer, copied part
//   Diag_Get_New_Snapshot      4B id 07 00 07 ff ff 00 00 (9)       7 s   header; 43 from 13
//   Diag_Get_RSSI              4B id 1f 00, zeros (141)             2 s   header; 8 from 4
//   Diag_Get_Status            0C (1)                               1 s   exactly 48; 47 from 1
//   Diag_Get_Status_Snapshot   63 (1)                               1 s   exactly 36; 35 from 1
//   ..._CM_State_Info          4B 0F 00 00 (4)                      1 s   header; 40 from 4
//   ..._HDR_State_Info         4B 05 08 00 (4)                      1 s   header; 9 from 4
//   Diag_Get_ERI               4B id 08 00 00 (5)                   1 s   header; see below
//   Diag_Ext_Build_ID          7C (1)                               1 s   see below
//   Diag_TAGraph_Read          19 (1)                               1 s   exactly 13; 12 from 1
//   Diag_FER_Read              55 (1)                               1 s   exactly 65; 64 from 1
//   ..._Network_Time           4B id 09 00 (4)                      1 s   header; 17 from 4
//   Diag_Read_PRL_Version      4B id 0c 00 (4)                      1 s   header; u16 at 4
//   Diag_Mode_Change           29, u16 mode, zeros (141)            given 29, mode echoed
// "header": the answer repeats the request's 0x4B, subsystem id and command. An answer shorter
// than the part copied gives 11.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kDiagSnapshotSize = 43;
inline constexpr size_t kDiagRssiSize = 8;
inline constexpr size_t kDiagStatusSize = 47;
inline constexpr size_t kDiagStatusSnapshotSize = 35;
inline constexpr size_t kDiagCmStateSize = 40;
inline constexpr size_t kDiagHdrStateSize = 9;
inline constexpr size_t kDiagEriSize = 87;
inline constexpr size_t kDiagTaGraphSize = 12;
inline constexpr size_t kDiagFerSize = 64;
inline constexpr size_t kDiagNetworkTimeSize = 17;
inline constexpr size_t kDiagStatusWordOffset = 33;  // u16 in the status payload

// Firmware revision from which a card with the model flag set answers the RSSI request.
inline constexpr uint32_t kDiagRssiFirstRevision = 134;

[[nodiscard]] int Diag_Get_New_Snapshot(uint8_t *out43);
// 40 without sending anything when the card does not answer the request: model flag 0, or
// model flag 1 and firmware revision below 134.
[[nodiscard]] int Diag_Get_RSSI(uint8_t *out8);
[[nodiscard]] int Diag_Get_Status(uint8_t *out47);
[[nodiscard]] int Diag_Get_Status_Snapshot(uint8_t *out35);
[[nodiscard]] int Diag_Subsys_Get_CM_State_Info(uint8_t *out40);
[[nodiscard]] int Diag_Subsys_Get_HDR_State_Info(uint8_t *out9);

// When answer byte 4 is nonzero the card refused: status 1 and byte 5 into *error_out (when
// given). Otherwise the answer must be exactly 91 bytes (else 11) and its 87 bytes from byte 4
// are copied.
[[nodiscard]] int Diag_Get_ERI(uint8_t *out87, uint8_t *error_out);

// Answer: 7C, 3 bytes, u32 msm at 4, u32 model at 8, the build text from 12 and the model text
// after it, each NUL-terminated. Each text is bounded by the end of the answer; it is copied
// with a NUL when its length is below its cap, else 13. msm_out and model_out are optional;
// NULL build or model_text gives 8. Answers shorter than 12 bytes give 11.
[[nodiscard]] int Diag_Ext_Build_ID(uint32_t *msm_out, uint32_t *model_out, char *build,
                                    size_t build_cap, char *model_text, size_t model_cap);

// The checks of the two answers above on their own: r[0..len) is the whole answer.
[[nodiscard]] int diag_eri_parse(const uint8_t *r, size_t len, uint8_t *out87, uint8_t *error_out);
[[nodiscard]] int diag_build_id_parse(const uint8_t *r, size_t len, uint32_t *msm_out,
                                      uint32_t *model_out, char *build, size_t build_cap,
                                      char *model_text, size_t model_cap);

[[nodiscard]] int Diag_TAGraph_Read(uint8_t *out12);
[[nodiscard]] int Diag_FER_Read(uint8_t *out64);
[[nodiscard]] int Diag_Get_Local_CDMA_Network_Time(uint8_t *out17);
[[nodiscard]] int Diag_Read_PRL_Version(uint16_t *out);

// 11 when the answer is not 0x29 (or too short), 12 when it echoes another mode.
[[nodiscard]] int Diag_Mode_Change(uint16_t mode, int timeout_seconds);
[[nodiscard]] int Mode_Change_Radio_Offline_Digital();  // mode 1, 5 s
[[nodiscard]] int Mode_Change_Radio_Reset();            // mode 2, 5 s
