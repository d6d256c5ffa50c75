// Test code only: the engine started on the simulated card, run on a thread of this process,
// with helpers to look at what the card received.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "modemd/diag/diag_loader.h"
#include "modemd/diag/diag_reader.h"
#include "sim/diagcard/card_thread.h"
#include "tests/support/testsupport.h"

class CardEngine : public ::testing::Test {
  protected:
    // Starts a card with `lines` and the engine on it.
    void start(const std::vector<std::string> &lines = {}) {
        card_ = std::make_unique<CardThread>(lines);
        ASSERT_EQ("", card_->error());
        diag_start_record r{};
        r.record_version = 1;
        std::strncpy(r.port_path, card_->path().c_str(), sizeof r.port_path - 1);
        ASSERT_EQ(0, Startup(&r));
        started_with_ = card_->received().size();
    }
    void TearDown() override {
        if (IsLoaderStarted()) (void)ShutdownLoader();
        diag_reader_join();
        card_.reset();
    }
    CardThread &card() { return *card_; }
    bool control(const std::string &line) { return card_->control(line); }
    // Frames the card received since start-up, "rx HEX" each.
    std::vector<std::string> sent() {
        std::vector<std::string> all = card_->received();
        return std::vector<std::string>(all.begin() + static_cast<long>(started_with_), all.end());
    }
    std::string last_sent() {
        std::vector<std::string> s = sent();
        return s.empty() ? "" : s.back();
    }

    testsupport::TempRouterRoot root_;
    std::unique_ptr<CardThread> card_;
    size_t started_with_ = 0;
};

// Lower-case hex of bytes, as the card records them.
inline std::string hex_of(const std::vector<uint8_t> &bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : bytes) {
        s += kDigits[b >> 4];
        s += kDigits[b & 15];
    }
    return s;
}

// "rx " and the 133-byte NV request: command, item, data (the given bytes, then zeros),
// nv_status 0.
inline std::string nv_request(uint8_t command, uint16_t item, const std::vector<uint8_t> &data) {
    std::vector<uint8_t> p(133, 0);
    p[0] = command;
    p[1] = static_cast<uint8_t>(item);
    p[2] = static_cast<uint8_t>(item >> 8);
    for (size_t i = 0; i < data.size() && i < 128; ++i)
        p[3 + i] = data[i];
    return "rx " + hex_of(p);
}
