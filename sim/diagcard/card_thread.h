// The simulated card served on a thread of the calling process, for in-process tests.
#pragma once

#include <string>
#include <thread>
#include <vector>

#include "sim/diagcard/diag_card.h"

class CardThread {
  public:
    // `lines` are control lines applied before the port is offered.
    explicit CardThread(const std::vector<std::string> &lines = {}) {
        for (const std::string &line : lines) {
            std::string error;
            if (!card_.control(line, &error)) error_ = line + ": " + error;
        }
        if (!card_.open()) error_ = "no pseudo-terminal";
        thread_ = std::thread([this] { card_.run(-1, -1); });
    }
    ~CardThread() {
        card_.stop();
        thread_.join();
    }
    CardThread(const CardThread &) = delete;
    CardThread &operator=(const CardThread &) = delete;

    // Empty when every start-up line was taken and the port is there.
    const std::string &error() const { return error_; }
    const std::string &path() const { return card_.slave_path(); }
    bool control(const std::string &line) {
        std::string error;
        return card_.control(line, &error);
    }
    std::vector<std::string> received() { return card_.received(); }

  private:
    DiagCard card_;
    std::string error_;
    std::thread thread_;
};
