#include "modemd/diag/field_test.h"

#include <pthread.h>
#include <time.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/diag_device_info.h"
#include "modemd/diag/diag_nv.h"
#include "modemd/diag/diag_radio.h"
#include "modemd/diag/nam_items.h"
#include "modemd/diag/nv_items.h"
#include "platform/env.h"

const char *const pFieldEntries[kFieldTestRows] = {
    "Warranty Date",
    "Slot Cycle Index",
    "Current NAM",
    "Auto NAM",
    "SPC Change Enabled",
    "NAM Name",
    "Directory Number",
    "Access Overload Class",
    "MCC",
    "MNC",
    "Channel Primary A",
    "Channel Primary B",
    "Channel Secondary A",
    "Channel Secondary B",
    "Home SID Table",
    "Terminated Reg Home SID",
    "Terminated Reg Foreign SID",
    "System Preferred Mode",
    "PRL Version Number",
    "DNS Primary",
    "DNS Secondary",
    "Packet Dial String",
    "MDR Mode",
    "Data SCRM",
    "MIP HA SPI Value",
    "MIP Reverse Tunneling",
    "MIP Home",
    "MIP Primary HA Address",
    "MIP Secondary HA Address",
    "MIP Behaviour",
    "MIP Pre Registration Timeout",
    "MIP Registration Retries",
    "DMU Key Exchange Indicator",
    "NID",
    "FER",
    "RSSI",
    "EC_IO",
    "Channel",
    "Latitude",
    "Longitude",
    "Tx Power",
    "Rx Power",
    "Band Class",
    "P Rev",
    "Packet Zone ID",
    "Last Call Error",
    "Service Options In Use",
    "Call State",
    "Dormant State",
    "MAC Index",
    "Subnet Mask",
    "Color Code",
    "UATI024",
    "Finger Info PN_Offsets",
    "Finger Info Walsh_Codes",
    "Finger Info RSSI",
    "Active Set PN Offsets",
    "Active Set EC IO dBm",
    "Active Set Channel",
    "Candidate Set PN Offsets",
    "Candidate Set EC IO dBm",
    "Candidate Set Channel",
};

namespace {

constexpr unsigned long kPassMs = 1000;

struct FieldTest {
    FieldTest() {
        pthread_mutex_init(&mutex, nullptr);
        pthread_condattr_t attr;
        pthread_condattr_init(&attr);
        pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
        pthread_cond_init(&cond, &attr);
        pthread_condattr_destroy(&attr);
    }
    pthread_mutex_t mutex;
    pthread_cond_t cond;   // signalled when switched off
    bool enabled = false;  // g_bFieldTestingEnabled
    pthread_t thread{};
};

FieldTest g_ft;

// One value, bounded by its 256 bytes.
void put(field_test_text *values, int row, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
void put(field_test_text *values, int row, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(values[row], kFieldTestText, fmt, ap);
    va_end(ap);
}

// Appends to a value within its 256 bytes.
void append(field_test_text *values, int row, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
void append(field_test_text *values, int row, const char *fmt, ...) {
    size_t used = strnlen(values[row], kFieldTestText - 1);
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(values[row] + used, kFieldTestText - used, fmt, ap);
    va_end(ap);
}

void put_ip(field_test_text *values, int row, uint32_t v) {
    put(values, row, "%d.%d.%d.%d", static_cast<int>(v >> 24), static_cast<int>((v >> 16) & 255),
        static_cast<int>((v >> 8) & 255), static_cast<int>(v & 255));
}

void fill_nam_rows(field_test_text *v) {
    char text[32];
    if (nam_directory_number_read(0, text, sizeof text, nullptr) == 0) put(v, 6, "%.10s", text);
    if (nam_accolc_read(0, text, sizeof text, nullptr) == 0) put(v, 7, "%s", text);
    if (nam_mcc_read(0, text, sizeof text, nullptr) == 0) put(v, 8, "%s", text);
    if (nam_11_12_read(0, text, sizeof text, nullptr) == 0) put(v, 9, "%s", text);
    uint16_t a, b;
    if (nam_pcdmach_read(0, &a, &b, nullptr) == 0) {
        put(v, 10, "%d", a);
        put(v, 11, "%d", b);
    }
    if (nam_scdmach_read(0, &a, &b, nullptr) == 0) {
        put(v, 12, "%d", a);
        put(v, 13, "%d", b);
    }
    uint16_t sids[kNamSidNidPairs], nids[kNamSidNidPairs];
    if (nam_home_sid_nid_read(0, sids, kNamSidNidPairs, nids, kNamSidNidPairs, nullptr) == 0) {
        v[14][0] = '\0';
        for (int i = 0; i < kNamSidNidPairs; ++i)
            if (sids[i]) append(v, 14, "%s[%d] %d", v[14][0] ? " " : "", i, sids[i]);
        if (!v[14][0]) put(v, 14, "-");
    }
    uint8_t flag;
    if (nam_hsid_flag_get(0, &flag, nullptr) == 0) put(v, 15, "%d", flag);
    if (nam_fsid_flag_get(0, &flag, nullptr) == 0) put(v, 16, "%d", flag);
    if (nam_system_pref_get(0, &a, nullptr) == 0) put(v, 17, "%d", a);
}

void fill_item_rows(field_test_text *v) {
    uint16_t prl;
    if (Diag_Read_PRL_Version(&prl) == 0) put(v, 18, "%d", prl);
    uint32_t dns;
    if (primary_dns_get(&dns, nullptr) == 0) put_ip(v, 19, dns);
    if (secondary_dns_get(&dns, nullptr) == 0) put_ip(v, 20, dns);
    char dial[kDiagNvDataSize + 1];
    if (pkt_orig_string_read(dial, sizeof dial, nullptr) == 0) put(v, 21, "%s", dial);
    uint8_t b;
    if (get_mdr_mode(&b, nullptr) == 0) put(v, 22, "%d", b);
    if (get_scrm_enabling_flag(&b, nullptr) == 0) put(v, 23, "%d", b);
    uint8_t profile[kMipUserProfileSize] = {0};
    if (mip_gen_user_prof_read(profile, nullptr) == 0) {
        put(v, 24, "%u", get_le32(profile + 87));
        put(v, 25, "%d", profile[74]);
        put_ip(v, 26, get_be32(profile + 75));
        put_ip(v, 27, get_be32(profile + 79));
        put_ip(v, 28, get_be32(profile + 83));
    }
    if (GetMIPPref(&b, nullptr) == 0) put(v, 29, "%d", b);
    diag_nv_record r;
    if (diag_nv_read_item(462, -1, &r, nullptr) == 0) {
        put(v, 30, "%d", r.item_data[0]);
        put(v, 31, "%d", r.item_data[1]);
    }
    uint8_t hdr[kHdrAmpAddressSize];
    if (get_hdramp_address_data(hdr, nullptr) == 0) {
        put(v, 49, "%d", hdr[0]);
        put(v, 50, "%d", hdr[1]);
        put(v, 51, "%d", hdr[2]);
        put(v, 52, "%02x%02x%02x", hdr[3], hdr[4], hdr[5]);
    }
}

void fill_radio_rows(field_test_text *v) {
    uint8_t status[kDiagStatusSize];
    if (Diag_Get_Status(status) == 0) {
        put(v, 33, "%d", get_le16(status + 20));
        put(v, 37, "%d", get_le16(status + 22));
    }
    uint8_t fer[kDiagFerSize];
    if (Diag_FER_Read(fer) == 0) {
        put(v, 34, "FCH:%d - ", get_le16(fer));
        for (int i = 0; i < 2; ++i)
            append(v, 34, "SCH%d:%d%%\t", i, get_le16(fer + 2 + 2 * i));
    }
    uint8_t ta[kDiagTaGraphSize];
    if (Diag_TAGraph_Read(ta) == 0) {
        put(v, 35, "%d dBm", static_cast<int8_t>(ta[0]));
        put(v, 40, "%d dBm", static_cast<int8_t>(ta[1]));
        put(v, 41, "%d dBm", static_cast<int8_t>(ta[2]));
    }
    uint8_t snap[kDiagSnapshotSize];
    if (Diag_Get_New_Snapshot(snap) == 0) {
        static const char *const kStates[] = {"IDLE",      "CONNECTING", "AUTHENTICATING",
                                              "CONNECTED", "DORMANT",    "DISCONNECTING"};
        put(v, 42, "%d", snap[12]);
        put(v, 43, "%d", snap[13]);
        put(v, 44, "%d", snap[14]);
        put(v, 47, "%s", snap[42] < 6 ? kStates[snap[42]] : "UNKNOWNN");
        put(v, 48, "%d", snap[41]);
    }
}

void *field_test_thread(void *) {
    field_test_text *labels =
        static_cast<field_test_text *>(calloc(kFieldTestRows, sizeof(field_test_text)));
    field_test_text *values =
        static_cast<field_test_text *>(calloc(kFieldTestRows, sizeof(field_test_text)));
    if (labels && values) {
        InitFieldTestEntries(labels, values);
        pthread_mutex_lock(&g_ft.mutex);
        while (g_ft.enabled) {
            unsigned long deadline = env_now_ms() + kPassMs;
            int rc = 0;
            while (g_ft.enabled && rc != ETIMEDOUT)
                rc = env_cond_wait_until(&g_ft.cond, &g_ft.mutex, deadline);
            if (!g_ft.enabled) break;
            if (!gCallbacks[kDiagEventFieldTest].load()) continue;
            // The card is read without the mutex: switching off must not wait for a pass.
            pthread_mutex_unlock(&g_ft.mutex);
            diag_field_test_data data{kFieldTestRows, labels, values};
            diag_event record{1,
                              kDiagEventFieldTest,
                              0,
                              0,
                              static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&data)),
                              &data};
            FillInFieldTestData(&record);
            if (diag_callback_t handler = gCallbacks[kDiagEventFieldTest].load()) handler(&record);
            pthread_mutex_lock(&g_ft.mutex);
        }
        pthread_mutex_unlock(&g_ft.mutex);
    }
    free(labels);
    free(values);
    return nullptr;
}

}  // namespace

void InitFieldTestEntries(field_test_text *labels, field_test_text *values) {
    for (int i = 0; i < kFieldTestRows; ++i) {
        snprintf(labels[i], kFieldTestText, "%s", pFieldEntries[i]);
        snprintf(values[i], kFieldTestText, "-");
    }
}

void FillInFieldTestData(const diag_event *record) {
    if (!record || !record->event_data) return;
    const diag_field_test_data *data =
        static_cast<const diag_field_test_data *>(record->event_data);
    field_test_text *v = data->values;
    for (int i = 0; i < kFieldTestRows; ++i)
        put(v, i, "-");
    uint8_t version[kDiagVersionPayloadSize];
    if (Diag_Get_Software_Version(version) == 0) {
        put(v, 1, "%d", version[51]);
        put(v, 2, "%d", version[52]);
        put(v, 3, "1");
        put(v, 4, "%d", version[53]);
    }
    uint8_t info[kDiagDeviceInfoSize];
    if (Diag_Read_Device_Info(info) == 0) put(v, 5, "%.24s", reinterpret_cast<const char *>(info));
    fill_nam_rows(v);
    fill_item_rows(v);
    fill_radio_rows(v);
}

int EnableFieldTesting(int on) {
    if (pthread_mutex_lock(&g_ft.mutex) != 0) return 1;
    if (on) {
        if (g_ft.enabled) {
            pthread_mutex_unlock(&g_ft.mutex);
            return kFieldTestAlreadyOn;
        }
        // Set before the thread starts: it would otherwise see the flag clear and end at once.
        g_ft.enabled = true;
        int rc = pthread_create(&g_ft.thread, nullptr, field_test_thread, nullptr);
        if (rc != 0) g_ft.enabled = false;
        pthread_mutex_unlock(&g_ft.mutex);
        return rc == 0 ? 0 : 1;
    }
    if (!g_ft.enabled) {
        pthread_mutex_unlock(&g_ft.mutex);
        return kFieldTestAlreadyOff;
    }
    g_ft.enabled = false;
    pthread_t thread = g_ft.thread;
    pthread_cond_broadcast(&g_ft.cond);
    pthread_mutex_unlock(&g_ft.mutex);
    pthread_join(thread, nullptr);
    return 0;
}
