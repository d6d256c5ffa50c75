// The GPS operations the daemon uses: starting the position stream and reading the position.
#include "modemd/diag/diag_loader.h"
#include "modemd/diag/diag_status.h"
#include "modemd/diag/gps.h"

namespace {

// A refusal by the card (bad command or bad parameters) apart from every other failure.
int stream_status(int request_status) {
    if (request_status == kDiagOk) return kDiagOk;
    if (request_status == kDiagBadCommand || request_status == kDiagBadParams) return kGpsRefused;
    return kGpsRequestFailed;
}

}  // namespace

int StartGPSStream(const gps_stream_record *stream_record) {
    if (!stream_record) return kGpsBadRecord;
    if (stream_record->port_path[0] == '\0') return kGpsEmptyPath;
    gps_session_block block;
    (void)DiagPrepareDefaultGpsSessionStartPacket(&block, stream_record->session_value_1,
                                                  stream_record->session_value_2);
    return stream_status(DiagStartGPS(&block, nullptr));
}

int EndGPSStream() {
    gps_session_block block;
    (void)DiagPrepareDefaultGpsSessionStartPacket(&block, 0, 0);
    int status = stream_status(DiagStartGPS(&block, nullptr));
    if (status != kDiagOk) return status;
    return DiagGPSEndCmd(nullptr) == kDiagOk ? kDiagOk : kGpsRequestFailed;
}

int GetLastPositionFix(gps_fix *fix_out) {
    if (!IsLoaderStarted()) return kGpsNotStarted;
    if (!fix_out) return kGpsBadRecord;
    gps_raw_position raw;
    int status = stream_status(DiagGPSGetLastKnownPosition(&raw));
    if (status != kDiagOk) return status;
    return GetStdGPSFix(fix_out, &raw) == kDiagOk ? kDiagOk : kGpsConversionFailed;
}
