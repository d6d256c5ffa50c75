// The DIAG engine's state: one instance per process, shared by the requesting threads and the
// reader thread. Internal to modemd/diag. Who may touch what:
//   - port_fd, saved_tio, wake_fd: with send_mutex held (transactions, start, shutdown);
//   - response_ready: with response_mutex held (the reader sets it, the requester clears it);
//   - the card's identity (model code .. log mask offsets): written by StartupLoader before it
//     sets loader_started, read by request functions afterwards;
//   - loader_started, reader_stop, g_bSendInProcess: atomics, any thread.
#pragma once

#include <pthread.h>
#include <termios.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "modemd/diag/packet_list.h"

inline constexpr uint8_t kDiagDefaultSubsysId = 0x32;
inline constexpr int kDiagLogMaskEquipments = 10;

struct DiagEngine {
    DiagEngine();
    DiagEngine(const DiagEngine &) = delete;
    DiagEngine &operator=(const DiagEngine &) = delete;

    pthread_mutex_t send_mutex;      // one whole transaction at a time; also start and shutdown
    pthread_mutex_t loader_mutex;    // one StartupLoader at a time
    pthread_mutex_t response_mutex;  // hand-over from the reader to the requester
    pthread_cond_t response_cond;    // on the monotonic clock
    uint8_t response_ready;

    int port_fd;  // -1 while no port is open
    termios saved_tio;
    bool saved_tio_valid;
    std::atomic<uint8_t> loader_started;

    // The reader thread of the last start, its stop flag and the descriptor that wakes it.
    std::atomic<bool> reader_stop;
    int wake_fd;
    pthread_t reader;
    bool reader_joinable;

    uint8_t model_code;
    uint32_t firmware_revision;
    uint8_t vendor_subsys_id;
    uint32_t model_flag;
    uint32_t carrier_id;
    uint16_t log_mask_offsets[kDiagLogMaskEquipments];

    PacketList packets;
};

extern DiagEngine g_diag;

// Nonzero while a request transaction is open: only then are response packets stored.
extern std::atomic<uint8_t> g_bSendInProcess;

// When true, every request sent and every packet received is hex-dumped on the trace stream
// (standard output unless diag_set_trace_stream chose another).
extern std::atomic<bool> diag_trace;

// One hex dump on the trace stream: the label and byte count, then 16 bytes a line.
void diag_trace_dump(const char *label, const uint8_t *buf, size_t len);
