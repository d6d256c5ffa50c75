// Running the packet analyser's command-line decoder (tshark, found on PATH) with the
// project's dissectors from tools/wireshark/ loaded. Test code only.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// Path of tshark on PATH; empty when there is none.
std::string tshark_path();

struct TsharkRun {
    int status = -1;  // exit status, -1 when it could not run or timed out
    std::string out, err;
};

// Runs tshark on the capture `pcap` with the dissector `scripts` of tools/wireshark/ (file
// names) loaded and `args` after, at most `timeout_ms`. Its output is kept in `dir`.
TsharkRun run_tshark(const std::string &dir, const std::string &pcap,
                     const std::vector<std::string> &scripts, const std::vector<std::string> &args,
                     int timeout_ms = 60000);

// The rows of `-T fields` output: one row a line, columns split at tabs.
std::vector<std::vector<std::string>> tshark_rows(const std::string &out);

}  // namespace testsupport
