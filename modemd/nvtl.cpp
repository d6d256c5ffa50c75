// The "novatel" family: the card is driven over DIAG by the engine in modemd/diag. Opening
// starts the engine on the port and the card's GPS stream, and offers one command, 210: the
// last GPS position. The engine's reader thread reads the card; nothing is registered with
// the event loop.
#include "modemd/nvtl.h"

#include <cstdio>
#include <cstring>

#include "common/gps_record.h"
#include "modemd/diag/diag_loader.h"
#include "modemd/diag/diag_status.h"
#include "modemd/diag/gps.h"
#include "modemd/families.h"
#include "modemd/globals.h"
#include "platform/console.h"

msgcmd_link nvtl_msg2cmd_node_list = {&nvtl_msg2cmd_node_list, &nvtl_msg2cmd_node_list};

namespace {

constexpr char kGpsPort[] = "/dev/usb/tts/2";  // the card's own name for its GPS port
constexpr char kOpenedMessage[] = "\tDevice diag port opened successfully";

}  // namespace

int nvtl_gps_position(uint8_t *, int, uint8_t *reply, int reply_cap) {
    gps_fix fix{};
    if (GetLastPositionFix(&fix) != kDiagOk) return 0;  // answered as an empty success
    if (reply_cap < kNvtlGpsReplySize) return -1;
    gps_record_encode(
        {fix.timestamp, fix.latitude, fix.longitude, static_cast<double>(fix.altitude)}, reply);
    return kNvtlGpsReplySize;
}

int nvtl_init(const char *port) {
    diag_set_trace(debug > 0);
    diag_start_record start{};
    start.record_version = 1;
    start.start_option = 0;
    // A path that does not fit the field leaves it unterminated, and Startup refuses it.
    std::memcpy(start.port_path, port, strnlen(port, sizeof start.port_path));
    int status = Startup(&start);
    if (status != kDiagOk && status != kStartupAlreadyStarted) return -1;
    console_write(kOpenedMessage, sizeof kOpenedMessage - 1);

    gps_stream_record stream{};
    stream.field0 = 1;
    std::strncpy(stream.port_path, kGpsPort, sizeof stream.port_path - 1);
    stream.field258 = 1;
    stream.session_value_1 = 1;
    stream.session_value_2 = 0xFFFFFFFF;
    if (StartGPSStream(&stream) == kDiagOk) printf("\tGPS Stream Started\n");

    if (!register_msgcmd_handler(&nvtl_msg2cmd_node_list, kNvtlGpsCommand, nvtl_gps_position))
        return -1;
    return 0;
}
