#include "modemd/diag/diag_loader.h"

#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/diag_activation.h"
#include "modemd/diag/diag_device_info.h"
#include "modemd/diag/diag_engine.h"
#include "modemd/diag/diag_events.h"
#include "modemd/diag/diag_port.h"
#include "modemd/diag/diag_reader.h"
#include "modemd/diag/diag_status.h"

namespace {

constexpr uint8_t kModelWideId1 = 0xAC;
constexpr uint8_t kModelWideId2 = 0xEE;
constexpr uint8_t kModelPlain = 0x99;
constexpr uint8_t kWideSubsysId = 0xFA;
constexpr size_t kCarrierTextStart = 24;
// Last log item of each equipment id, for the log mask offsets.
constexpr uint16_t kLastLogItem[kDiagLogMaskEquipments - 1] = {0, 403, 0, 0, 0, 0, 0, 0, 0};

void take_model(const uint8_t *version) {
    g_diag.model_code = version[kDiagVersionModelOffset];
    g_diag.firmware_revision = get_le16(version + kDiagVersionFirmwareOffset);
    if (g_diag.model_code == kModelWideId1 || g_diag.model_code == kModelWideId2) {
        g_diag.vendor_subsys_id = kWideSubsysId;
        g_diag.model_flag = 1;
    } else {
        g_diag.vendor_subsys_id = kDiagDefaultSubsysId;
        if (g_diag.model_code == kModelPlain) g_diag.model_flag = 0;
    }
}

// The carrier shows in the device information text from its 25th byte on.
uint32_t carrier_from(const uint8_t *info) {
    const uint8_t *text = info + kCarrierTextStart;
    size_t len =
        strnlen(reinterpret_cast<const char *>(text), kDiagDeviceInfoSize - kCarrierTextStart);
    if (memchr(text, 'V', len)) return 1;
    if (memchr(text, 'S', len)) return 2;
    return 0;
}

void compute_log_mask_offsets() {
    g_diag.log_mask_offsets[0] = 0;
    for (int i = 0; i + 1 < kDiagLogMaskEquipments; ++i)
        g_diag.log_mask_offsets[i + 1] =
            static_cast<uint16_t>(g_diag.log_mask_offsets[i] + kLastLogItem[i] / 8 + 1);
}

// Steps up to a running reader, with the send mutex held. 0 or a loader status.
int open_port_and_reader(const char *port_path) {
    int fd = diag_port_open(port_path, &g_diag.saved_tio, &g_diag.saved_tio_valid);
    if (fd < 0) return -fd;
    g_diag.port_fd = fd;
    if (diag_reader_start(fd) != 0) {
        diag_port_close(fd, &g_diag.saved_tio, g_diag.saved_tio_valid);
        g_diag.port_fd = -1;
        return kLoaderThreadFailed;
    }
    return kDiagOk;
}

int start_locked(const char *port_path) {
    if (g_diag.loader_started) return kLoaderAlreadyStarted;
    diag_reader_join();  // the reader of an earlier start has been told to stop
    g_diag.packets.init();
    g_bSendInProcess = 0;
    diag_activation_init();  // event reports are parsed from the first one on

    if (pthread_mutex_lock(&g_diag.send_mutex) != 0) return kLoaderOpenFailed;
    int status = open_port_and_reader(port_path);
    pthread_mutex_unlock(&g_diag.send_mutex);
    if (status != kDiagOk) return status;

    uint8_t version[kDiagVersionPayloadSize];
    if (Diag_Get_Software_Version(version) != kDiagOk) {
        (void)ShutdownLoader();
        g_diag.loader_started = 0;
        return kLoaderPortBusy;
    }
    take_model(version);
    uint8_t info[kDiagDeviceInfoSize];
    if (Diag_Read_Device_Info(info) == kDiagOk) g_diag.carrier_id = carrier_from(info);
    compute_log_mask_offsets();
    (void)EnableEventReport(1);
    g_diag.loader_started = 1;
    return kDiagOk;
}

}  // namespace

int StartupLoader(const char *port_path) {
    if (pthread_mutex_lock(&g_diag.loader_mutex) != 0) return kLoaderOpenFailed;
    int status = start_locked(port_path);
    pthread_mutex_unlock(&g_diag.loader_mutex);
    return status;
}

int Startup(diag_start_record *record) {
    if (!record || record->start_option > kDiagMaxStartOption) return kStartupBadRecord;
    size_t path_len = strnlen(record->port_path, kDiagPortPathSize);
    if (path_len == 0 || path_len == kDiagPortPathSize) return kStartupBadRecord;
    if (g_diag.loader_started) return kStartupAlreadyStarted;
    if (record->record_version == 0) {
        record->record_version = 1;
        return kStartupBadVersion;
    }
    int status = StartupLoader(record->port_path);
    record->record_version = 1;
    switch (status) {
        case kDiagOk:
            return kDiagOk;
        case kLoaderPortNotFound:
            return kStartupPortNotFound;
        case kLoaderPortBusy:
            return kStartupPortBusy;
        default:
            return kStartupFailed;
    }
}

int ShutdownLoader() {
    (void)EnableEventReport(0);
    if (pthread_mutex_lock(&g_diag.send_mutex) != 0) return kDiagLockFailed;
    diag_reader_stop();
    if (g_diag.port_fd >= 0) {
        diag_port_close(g_diag.port_fd, &g_diag.saved_tio, g_diag.saved_tio_valid);
        g_diag.port_fd = -1;  // later requests fail at once instead of writing to a reused number
    }
    g_diag.loader_started = 0;
    pthread_mutex_unlock(&g_diag.send_mutex);
    return kDiagOk;
}

void diag_set_trace(bool on) {
    diag_trace = on;
}

uint8_t IsLoaderStarted() {
    return g_diag.loader_started;
}

uint32_t GetCarrierID() {
    return g_diag.carrier_id;
}
