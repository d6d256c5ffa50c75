// The SMS transport-layer codec (encode and decode of a message with 140 bearer bytes, per
// second), the event-report parser (MB/s of reports), and one field-test pass against the
// simulated card over a pseudo-terminal (ms, median of passes).
//   diag_async_bench [PASSES]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/diag_card_bench.h"
#include "modemd/diag/diag_activation.h"
#include "modemd/diag/diag_loader.h"
#include "modemd/diag/field_test.h"
#include "modemd/diag/wms_codec.h"
#include "tests/support/testsupport.h"

using namespace testsupport;

namespace {

int codec_rate() {
    wms_tl_message m{};
    m.teleservice = 4098;
    m.destination = 1;
    const char *number = "6195551234";
    for (const char *p = number; *p; ++p)
        m.data[m.num_digits++] = wms_dtmf_code(*p);
    for (int i = 0; i < 140; ++i)
        m.data[m.num_digits + i] = static_cast<uint8_t>(i);
    m.bearer_len = 140;
    const int kRounds = 500000;
    uint8_t out[300];
    size_t len = 0;
    uint64_t t0 = bench_now_ns();
    unsigned check = 0;
    for (int i = 0; i < kRounds; ++i) {
        m.data[m.num_digits] = static_cast<uint8_t>(i);
        if (wms_ts_encode_CDMA_tl(&m, sizeof out, out, &len) != 0) return 1;
        check += out[len - 1];
    }
    double enc = static_cast<double>(bench_now_ns() - t0) / 1e9;
    wms_tl_message d;
    size_t size = 0;
    t0 = bench_now_ns();
    for (int i = 0; i < kRounds; ++i) {
        if (wms_ts_decode_CDMA_tl(out, len, &d, kWmsDataSize, &size) != 0) return 1;
        check += d.bearer_len;
    }
    double dec = static_cast<double>(bench_now_ns() - t0) / 1e9;
    char text[64];
    snprintf(text, sizeof text, "%.2f M/s", kRounds / enc / 1e6);
    bench_row("SMS TL encode, 140 bearer bytes, messages/s", text, "");
    snprintf(text, sizeof text, "%.2f M/s", kRounds / dec / 1e6);
    bench_row("SMS TL decode, 140 bearer bytes, messages/s", text, "");
    return check ? 0 : 1;
}

int event_parser_rate() {
    // A report of 2560, 2562, 2565 and 298 events, repeated to 4 KB.
    std::vector<uint8_t> body = {0, 0};
    const uint8_t events[] = {0x00, 0xAA, 0, 0, 0x4D,           // 2560 v=0x4D
                              0x02, 0xEA, 0, 0, 1,    9,        // 2562 v=9
                              0x05, 0xEA, 0, 0, 3,    0, 0, 1,  // 2565
                              0x2A, 0x81, 0, 0};                // 298
    while (body.size() + sizeof events < 4096)
        body.insert(body.end(), events, events + sizeof events);
    body[0] = static_cast<uint8_t>(body.size() - 2);
    body[1] = static_cast<uint8_t>((body.size() - 2) >> 8);
    const int kRounds = 20000;
    uint64_t t0 = bench_now_ns();
    for (int i = 0; i < kRounds; ++i)
        diag_event_report_parse(body.data(), body.size());
    double s = static_cast<double>(bench_now_ns() - t0) / 1e9;
    char text[64];
    snprintf(text, sizeof text, "%.0f MB/s", static_cast<double>(body.size()) * kRounds / s / 1e6);
    bench_row("Event-report parser, reports of 4 KB", text, "");
    return 0;
}

int field_test_pass(int passes) {
    TempRouterRoot root;
    pid_t card = bench_start_diag_card(root, "nv 178 00363139353535313233");
    if (card < 0) return 1;
    std::vector<uint64_t> ns;
    static field_test_text labels[kFieldTestRows], values[kFieldTestRows];
    InitFieldTestEntries(labels, values);
    diag_field_test_data data{kFieldTestRows, labels, values};
    diag_event record{1, kDiagEventFieldTest, 0, 0, 0, &data};
    for (int i = -3; i < passes; ++i) {
        uint64_t t0 = bench_now_ns();
        FillInFieldTestData(&record);
        if (i >= 0) ns.push_back(bench_now_ns() - t0);
    }
    (void)ShutdownLoader();
    stop_child(card);
    LatencySummary s = summarize(ns);
    char text[64];
    snprintf(text, sizeof text, "%.2f ms (p99 %.2f)", s.median_us / 1000, s.p99_us / 1000);
    bench_row("Field-test pass, simulated card (pty), median", text, "");
    return ns.empty() ? 1 : 0;
}

}  // namespace

int main(int argc, char **argv) {
    int passes = argc > 1 ? atoi(argv[1]) : 50;
    int rc = codec_rate();
    rc |= event_parser_rate();
    return rc | field_test_pass(passes);
}
