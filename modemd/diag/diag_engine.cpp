#include "modemd/diag/diag_engine.h"

#include <time.h>

#include "modemd/diag/diag_loader.h"

DiagEngine g_diag;
std::atomic<uint8_t> g_bSendInProcess{0};
std::atomic<bool> diag_trace{false};

namespace {
std::atomic<FILE *> g_trace_stream{nullptr};  // nullptr: standard output
}  // namespace

void diag_set_trace_stream(FILE *stream) {
    g_trace_stream = stream;
}

void diag_trace_dump(const char *label, const uint8_t *buf, size_t len) {
    FILE *out = g_trace_stream.load();
    if (!out) out = stdout;
    fprintf(out, "%s (%zu bytes):\n", label, len);
    for (size_t row = 0; row < len; row += 16) {
        fprintf(out, "%04zx:", row);
        for (size_t i = row; i < len && i < row + 16; ++i)
            fprintf(out, " %02x", buf[i]);
        fputc('\n', out);
    }
    fflush(out);
}

DiagEngine::DiagEngine()
    : response_ready(0),
      port_fd(-1),
      saved_tio{},
      saved_tio_valid(false),
      loader_started(0),
      reader_stop(false),
      wake_fd(-1),
      reader{},
      reader_joinable(false),
      model_code(0),
      firmware_revision(0),
      vendor_subsys_id(kDiagDefaultSubsysId),
      model_flag(0),
      carrier_id(0),
      log_mask_offsets{} {
    pthread_mutex_init(&send_mutex, nullptr);
    pthread_mutex_init(&loader_mutex, nullptr);
    pthread_mutex_init(&response_mutex, nullptr);
    // Deadlines run on the monotonic clock: a wall clock set from the network after boot must
    // neither expire every waiting transaction at once nor stretch one for hours.
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&response_cond, &attr);
    pthread_condattr_destroy(&attr);
}
