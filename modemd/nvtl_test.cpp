// The "novatel" family's open function and command 210, in-process against the simulated
// card on a thread.
#include "modemd/nvtl.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/diag_loader.h"
#include "modemd/diag/diag_reader.h"
#include "modemd/diag/diag_status.h"
#include "modemd/families.h"
#include "sim/diagcard/card_thread.h"
#include "tests/support/testsupport.h"

namespace {

class Nvtl : public ::testing::Test {
  protected:
    void TearDown() override {
        if (IsLoaderStarted()) (void)ShutdownLoader();
        diag_reader_join();
    }
    testsupport::TempRouterRoot root_;
};

TEST_F(Nvtl, EngineAlreadyStartedStillRegisters210) {
    CardThread card({"position lat=8388608 lon=-8388608 time=77 mask=1 alt=620"});
    ASSERT_EQ("", card.error());
    diag_start_record r{};
    r.record_version = 1;
    std::strncpy(r.port_path, card.path().c_str(), sizeof r.port_path - 1);
    ASSERT_EQ(0, Startup(&r));

    ASSERT_EQ(0, nvtl_init(card.path().c_str()));
    msgcmd_node *node = find_msgcmd_handler(&nvtl_msg2cmd_node_list, 210);
    ASSERT_NE(nullptr, node);

    uint8_t buf[1016];
    std::memset(buf, 0xAA, sizeof buf);
    ASSERT_EQ(56, node->handler(buf, 4, buf, sizeof buf));
    GpsRecord rec{};
    ASSERT_TRUE(gps_record_decode(buf, 56, &rec));  // the layout is tested with the record
    EXPECT_EQ(77u, rec.time);
    EXPECT_DOUBLE_EQ(45.0, rec.latitude);
    EXPECT_DOUBLE_EQ(-45.0, rec.longitude);
    EXPECT_EQ(120.0, rec.altitude);
    EXPECT_EQ(0u, get_host32(buf + 4));
    EXPECT_EQ(0u, get_host32(buf + 52));
    EXPECT_EQ(0xAA, buf[56]);  // nothing beyond the record

    std::string console = testsupport::read_file(root_.host("/dev/console"));
    EXPECT_EQ("\tDevice diag port opened successfully", console);
}

TEST_F(Nvtl, PositionTheCardCannotGiveIsAnEmptySuccess) {
    CardThread card({"answer gps-position error 0x14"});
    ASSERT_EQ(0, nvtl_init(card.path().c_str()));
    uint8_t buf[1016] = {};
    EXPECT_EQ(0, nvtl_gps_position(buf, 4, buf, sizeof buf));
    EXPECT_EQ(0, ShutdownLoader());
    EXPECT_EQ(0, nvtl_gps_position(buf, 4, buf, sizeof buf));  // engine stopped: 201
}

TEST_F(Nvtl, EngineThatCannotStartFailsTheOpen) {
    EXPECT_EQ(-1, nvtl_init(root_.host("/dev/none").c_str()));
    std::string long_path(300, 'a');
    EXPECT_EQ(-1, nvtl_init(long_path.c_str()));
}

}  // namespace
