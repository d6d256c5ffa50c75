#include "modemd/diag/diag_events.h"

#include "modemd/diag/diag_status.h"
#include "modemd/diag/diag_transaction.h"

std::atomic<diag_callback_t> gCallbacks[kDiagEventSlots];

namespace {

constexpr uint8_t kEventReportControl = 0x60;
constexpr int kEventReportWait = 1;

}  // namespace

void diag_raise_event(uint16_t type, uint16_t code, uint32_t value, void *data) {
    if (type >= kDiagEventSlots) return;
    diag_callback_t handler = gCallbacks[type].load();
    if (!handler) return;
    diag_event event{1, type, 0, code, value, data};
    handler(&event);
}

int EnableEventReport(int on) {
    uint8_t request[kDiagRequestBuffer] = {kEventReportControl, static_cast<uint8_t>(on ? 1 : 0)};
    DiagResponse response;
    return diag_transact(request, 2, kEventReportWait, &response);
}
