// A factory station for the tests: a fresh router root holding a simulated board (built by
// sim/qvt_board.sh), nvram with a serial number, the fake clock for the tool's sleeps, and
// `mtd` answered in process from the flash partition files.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/env_fake.h"
#include "tests/support/testsupport.h"

class QvtStation : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Builds the board of `model` with `faults` (words of sim/qvt_board.sh) and sets "SN".
    void board(const std::string &model, const std::string &faults = "", const char *sn = nullptr);
    // Runs qvt with `words`; the status. Standard error is kept in err_.
    int qvt(const std::vector<std::string> &words);
    // What reached the console so far, and a fresh start.
    std::string console();
    void clear_console();
    std::string file(const std::string &system_path);
    // The GPIO node's request lines.
    std::string gpio() { return file("/dev/gpio/bits"); }

    testsupport::TempRouterRoot root_;
    FakeEnv env_;
    std::vector<std::string> mtd_runs_;
    std::string err_;
};

// The usage text for `model`, byte for byte.
std::string usage_text(const std::string &model);
