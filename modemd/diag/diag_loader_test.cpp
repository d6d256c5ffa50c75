// Starting and stopping the engine against the simulated card on a thread of this process.
#include "modemd/diag/diag_loader.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "modemd/diag/diag_device_info.h"
#include "modemd/diag/diag_engine.h"
#include "modemd/diag/diag_events.h"
#include "modemd/diag/diag_port.h"
#include "modemd/diag/diag_reader.h"
#include "modemd/diag/diag_status.h"
#include "modemd/diag/diag_transaction.h"
#include "sim/diagcard/card_thread.h"
#include "tests/support/testsupport.h"

namespace {

using testsupport::TempRouterRoot;
using testsupport::wait_until;

int open_descriptors() {
    int n = 0;
    DIR *d = opendir("/proc/self/fd");
    while (dirent *e = readdir(d))
        n += e->d_name[0] != '.';
    closedir(d);
    return n;
}

diag_start_record record_for(const std::string &path) {
    diag_start_record r{};
    r.record_version = 1;
    std::strncpy(r.port_path, path.c_str(), sizeof r.port_path - 1);
    return r;
}

class Loader : public ::testing::Test {
  protected:
    void TearDown() override {
        if (IsLoaderStarted()) (void)ShutdownLoader();
        diag_reader_join();
        for (auto &slot : gCallbacks)
            slot = nullptr;
    }
    // Starts the engine on a card with the given control lines.
    int start(CardThread &card) {
        EXPECT_EQ("", card.error());
        diag_start_record r = record_for(card.path());
        return Startup(&r);
    }
    TempRouterRoot root_;
};

TEST_F(Loader, BadRecordsAreRefusedWith207AndLeftUntouched) {
    EXPECT_EQ(kStartupBadRecord, Startup(nullptr));
    diag_start_record r = record_for("/dev/null");
    r.record_version = 7;
    r.start_option = 13;
    EXPECT_EQ(kStartupBadRecord, Startup(&r));
    EXPECT_EQ(7, r.record_version);
    r.start_option = 12;
    r.port_path[0] = '\0';
    EXPECT_EQ(kStartupBadRecord, Startup(&r));
    EXPECT_EQ(7, r.record_version);
    std::memset(r.port_path, 'a', sizeof r.port_path);  // no terminator within the field
    EXPECT_EQ(kStartupBadRecord, Startup(&r));
    EXPECT_EQ(0, IsLoaderStarted());
}

TEST_F(Loader, RecordVersion0Gives213AndIsSetTo1) {
    CardThread card;
    diag_start_record r = record_for(card.path());
    r.record_version = 0;
    EXPECT_EQ(kStartupBadVersion, Startup(&r));
    EXPECT_EQ(1, r.record_version);
    EXPECT_EQ(0, IsLoaderStarted());
    EXPECT_TRUE(card.received().empty());
}

TEST_F(Loader, StartAsksVersionAndDeviceInfoAndSwitchesEventsOn) {
    CardThread card;
    ASSERT_EQ(kDiagOk, start(card));
    EXPECT_EQ(1, IsLoaderStarted());
    EXPECT_EQ(1u, GetCarrierID());  // "V-CARRIER" from byte 24 on
    EXPECT_EQ(0x32, g_diag.vendor_subsys_id);
    EXPECT_EQ(134u, g_diag.firmware_revision);
    const uint16_t offsets[] = {0, 1, 52, 53, 54, 55, 56, 57, 58, 59};
    for (int i = 0; i < kDiagLogMaskEquipments; ++i)
        EXPECT_EQ(offsets[i], g_diag.log_mask_offsets[i]) << i;
    EXPECT_EQ(std::vector<std::string>({"rx 00", "rx 4b320b00000000000000", "rx 6001"}),
              card.received());

    diag_start_record again = record_for(card.path());
    again.record_version = 5;
    EXPECT_EQ(kStartupAlreadyStarted, Startup(&again));
    EXPECT_EQ(5, again.record_version);

    EXPECT_EQ(kDiagOk, ShutdownLoader());
    EXPECT_EQ(0, IsLoaderStarted());
    EXPECT_EQ("rx 6000", card.received().back());
}

TEST_F(Loader, WideModelsUseVendorId0xFAAndRaiseTheModelFlag) {
    for (const char *model : {"0xAC", "0xEE"}) {
        CardThread card({std::string("model ") + model});
        ASSERT_EQ(kDiagOk, start(card)) << model;
        EXPECT_EQ(0xFA, g_diag.vendor_subsys_id);
        EXPECT_EQ(1u, g_diag.model_flag);
        EXPECT_EQ("rx 4bfa0b00000000000000", card.received().at(1));
        EXPECT_EQ(kDiagOk, ShutdownLoader());
        diag_reader_join();
    }
    CardThread plain({"model 0x99"});
    ASSERT_EQ(kDiagOk, start(plain));
    EXPECT_EQ(0x32, g_diag.vendor_subsys_id);
    EXPECT_EQ(0u, g_diag.model_flag);
}

TEST_F(Loader, CarrierIdComesFromTheTextFromByte24On) {
    const struct {
        const char *text;
        uint32_t carrier;
    } kCases[] = {
        {"devinfo 123456789012345678901234xxSxx", 2},
        {"devinfo 123456789012345678901234xxSxVx", 1},
        {"devinfo V23456789012345678901234none", 0},
    };
    for (const auto &c : kCases) {
        CardThread card({c.text});
        ASSERT_EQ(kDiagOk, start(card));
        EXPECT_EQ(c.carrier, GetCarrierID()) << c.text;
        EXPECT_EQ(kDiagOk, ShutdownLoader());
        diag_reader_join();
    }
}

TEST_F(Loader, MissingPortGives100) {
    diag_start_record r = record_for(root_.host("/dev/no-such-port"));
    EXPECT_EQ(kStartupPortNotFound, Startup(&r));
    EXPECT_EQ(1, r.record_version);
}

TEST(LoaderOpenStatus, OpenErrorsMapToLoaderStatuses) {
    EXPECT_EQ(kLoaderPortNotFound, diag_open_status(ENOENT));
    EXPECT_EQ(kLoaderPortNoAccess, diag_open_status(EACCES));
    EXPECT_EQ(kLoaderPortNoAccess, diag_open_status(EROFS));
    EXPECT_EQ(kLoaderPortBusy, diag_open_status(EBUSY));
    EXPECT_EQ(kLoaderOpenFailed, diag_open_status(EIO));
}

TEST_F(Loader, VersionAnswerOf54BytesGives101AndClosesThePort) {
    CardThread card({"version-length 54"});
    int before = open_descriptors();
    EXPECT_EQ(kStartupPortBusy, start(card));
    diag_reader_join();
    EXPECT_EQ(0, IsLoaderStarted());
    EXPECT_EQ(before, open_descriptors());
    EXPECT_EQ(g_diag.port_fd, -1);
}

TEST_F(Loader, SilentCardGives101) {
    CardThread card({"answer version silent"});
    EXPECT_EQ(kStartupPortBusy, start(card));
    EXPECT_EQ(0, IsLoaderStarted());
}

TEST_F(Loader, StartGoesOnWithoutDeviceInfoOrEventAnswer) {
    CardThread card({"answer devinfo error 0x13", "answer events error 0x13"});
    ASSERT_EQ(kDiagOk, start(card));
    EXPECT_EQ(0u, GetCarrierID());
}

std::atomic<int> g_stopped_events{0};
std::mutex g_raw_mutex;
std::vector<uint8_t> g_raw_seen;  // guarded by g_raw_mutex

std::vector<uint8_t> raw_seen() {
    std::lock_guard<std::mutex> lock(g_raw_mutex);
    return g_raw_seen;
}

TEST_F(Loader, CardPulledOutStopsTheEngineAndLaterRequestsFailAtOnce) {
    CardThread card;
    g_stopped_events = 0;
    gCallbacks[kDiagEventReaderStopped] = [](const diag_event *e) {
        if (e->event_type == kDiagEventReaderStopped && e->event_version == 1) ++g_stopped_events;
    };
    ASSERT_EQ(kDiagOk, start(card));
    ASSERT_TRUE(card.control("pull"));
    EXPECT_TRUE(wait_until([] { return g_stopped_events.load() == 1; }, 20000));
    EXPECT_EQ(0, IsLoaderStarted());
    uint8_t info[kDiagDeviceInfoSize];
    EXPECT_EQ(kDiagWriteFailed, Diag_Read_Device_Info(info));
}

TEST_F(Loader, EveryReadIsOfferedAsRawData) {
    CardThread card;
    ASSERT_EQ(kDiagOk, start(card));
    gCallbacks[kDiagEventRawData] = [](const diag_event *e) {
        const uint8_t *d = static_cast<const uint8_t *>(e->event_data);
        std::lock_guard<std::mutex> lock(g_raw_mutex);
        g_raw_seen.assign(d, d + e->event_value);
    };
    ASSERT_TRUE(card.control("send-raw 0102037e"));
    EXPECT_TRUE(wait_until([] { return raw_seen().size() == 4; }, 20000));
    gCallbacks[kDiagEventRawData] = nullptr;
    EXPECT_EQ(std::vector<uint8_t>({1, 2, 3, 0x7E}), raw_seen());
}

TEST_F(Loader, CallerFramedRequestsAreSentWithoutWaiting) {
    CardThread card;
    ASSERT_EQ(kDiagOk, start(card));
    uint8_t packet[kDiagRequestBuffer] = {0x0C};
    EXPECT_EQ(kDiagOk, diag_prepare_n_send_req(packet, 1));
    const uint8_t framed[] = {0x63, 0xE5, 0xA1, 0x7E};  // 0x63 and its check bytes
    EXPECT_EQ(kDiagOk, diag_send_hdlc_dm_req(framed, sizeof framed));
    EXPECT_TRUE(wait_until([&] { return card.received().size() == 5; }, 20000));
    std::vector<std::string> got = card.received();
    EXPECT_EQ("rx 0c", got.at(3));
    EXPECT_EQ("rx 63", got.at(4));
}

}  // namespace
