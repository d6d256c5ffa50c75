// A simulated card run on a thread of the test process: the loop answers modemd, while the
// test's calls (control lines, log reads) are served under the same lock, so a control line
// has taken effect when control() returns.
#pragma once

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/cardsim/cardsim.h"

namespace cardsim {

class CardSimThread {
  public:
    explicit CardSimThread(Family family);  // creates the pty and starts the loop
    ~CardSimThread();                       // stops the loop, closes the pty

    const std::string &slave() const { return slave_; }
    bool ok() const { return ok_; }

    // Applies a control line (see cardsim.h); returns "" or the complaint.
    std::string control(const std::string &line);

    std::vector<std::string> log();
    // Log lines starting with `prefix`.
    std::vector<std::string> log_lines(const std::string &prefix);
    // Waits up to `timeout_ms` until at least `count` lines start with `prefix`.
    bool wait_log(const std::string &prefix, size_t count, int timeout_ms);

  private:
    void loop();

    CardSim sim_;
    std::mutex mutex_;
    std::thread thread_;
    std::string slave_;
    int wake_[2] = {-1, -1};
    bool stop_ = false;
    bool ok_ = false;
};

}  // namespace cardsim
