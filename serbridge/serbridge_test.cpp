// The bridge's pieces in-process: options, the WAN unit lookup, speeds, LCP parsing, the
// trace and its frame dumps, the poe_* copies, and the scripts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "platform/nvram.h"
#include "platform/nvram_testing.h"
#include "serbridge/lcp.h"
#include "serbridge/log.h"
#include "serbridge/options.h"
#include "serbridge/script.h"
#include "serbridge/tty.h"
#include "serbridge/wan_unit.h"
#include "tests/support/testsupport.h"

namespace {

using testsupport::read_file;
using testsupport::TempRouterRoot;

int parse(bridge_ctx *ctx, std::vector<std::string> args) {
    std::memset(ctx, 0, sizeof *ctx);
    args.insert(args.begin(), "serbridge");
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    optind = 0;  // a fresh getopt scan
    opterr = 0;
    return parse_options(ctx, static_cast<int>(args.size()), argv.data());
}

TEST(Options, FillsTheContext) {
    bridge_ctx ctx;
    verbose = 0;
    ASSERT_EQ(0, parse(&ctx, {"-s", "/dev/ttyS1", "-m", "/dev/usb/tts/0", "-c", "up", "-q", "down",
                              "-p", "9600", "-i", "30", "-a", "-d"}));
    EXPECT_STREQ("/dev/ttyS1", ctx.serial_dev);
    EXPECT_STREQ("/dev/usb/tts/0", ctx.modem_dev);
    EXPECT_STREQ("up", ctx.connect_script);
    EXPECT_STREQ("down", ctx.disconnect_script);
    EXPECT_EQ(9600, ctx.serial_speed);
    EXPECT_EQ(30, ctx.idle_secs);
    EXPECT_EQ(1, ctx.always_ppp);
    EXPECT_EQ(1, verbose);
    verbose = 0;
}

TEST(Options, DefaultsAndPlainDecimalConversion) {
    bridge_ctx ctx;
    ASSERT_EQ(0, parse(&ctx, {"-s", "s", "-m", "m", "-c", "c", "-q", "q", "-i", "soon"}));
    EXPECT_EQ(115200, ctx.serial_speed);
    EXPECT_EQ(0, ctx.idle_secs);
    EXPECT_EQ(0, ctx.always_ppp);
}

TEST(Options, CutsTextsToTheirFields) {
    bridge_ctx ctx;
    std::string long_script(300, 'x');
    ASSERT_EQ(
        0, parse(&ctx, {"-s", "/dev/abcdefghijklmnop", "-m", "m", "-c", long_script, "-q", "q"}));
    EXPECT_STREQ("/dev/abcdefghij", ctx.serial_dev);  // 20 characters given, 15 kept
    EXPECT_EQ(255u, std::strlen(ctx.connect_script));
}

TEST(Options, RefusesUnknownOrMissing) {
    bridge_ctx ctx;
    EXPECT_EQ(-1, parse(&ctx, {"-s", "s", "-m", "m", "-c", "c", "-q", "q", "-z"}));
    EXPECT_EQ(-1, parse(&ctx, {"-s", "s", "-m", "m", "-c", "c"}));
    EXPECT_EQ(-1, parse(&ctx, {"-s", "", "-m", "m", "-c", "c", "-q", "q"}));
}

class WanUnit : public ::testing::Test {
  protected:
    void SetUp() override {
        std::memset(&ctx_, 0, sizeof ctx_);
        std::strcpy(ctx_.modem_dev, "/dev/usb/tts/0");
        nvram_testing_forget();  // the store of this test's router root
    }
    TempRouterRoot root_;
    bridge_ctx ctx_;
};

TEST_F(WanUnit, AbsentCountMatchesNothing) {
    EXPECT_EQ(0, nvram_set("wan0_proto", "4"));
    EXPECT_EQ(0, nvram_set("wan0_devname", "/dev/usb/tts/0"));
    EXPECT_EQ(-1, find_wan_unit(&ctx_));
    EXPECT_EQ(0, nvram_set("wan_maxentrys", "0"));
    EXPECT_EQ(-1, find_wan_unit(&ctx_));
}

TEST_F(WanUnit, LowestMatchingUnitWinsAndOthersAreSkipped) {
    EXPECT_EQ(0, nvram_set("wan_maxentrys", "4"));
    EXPECT_EQ(0, nvram_set("wan0_proto", "4"));
    EXPECT_EQ(0, nvram_set("wan0_devname", "/dev/ttyUSB0"));  // proto 4, another device
    EXPECT_EQ(0, nvram_set("wan1_proto", "2"));
    EXPECT_EQ(0, nvram_set("wan1_devname", "/dev/usb/tts/0"));  // right device, another protocol
    EXPECT_EQ(0, nvram_set("wan2_proto", "4"));
    EXPECT_EQ(0, nvram_set("wan2_devname", "/dev/usb/tts/0"));
    EXPECT_EQ(0, nvram_set("wan3_proto", "4"));
    EXPECT_EQ(0, nvram_set("wan3_devname", "/dev/usb/tts/0"));
    EXPECT_EQ(2, find_wan_unit(&ctx_));
    EXPECT_EQ(0, nvram_set("wan_maxentrys", "2"));  // the matches lie beyond the count
    EXPECT_EQ(-1, find_wan_unit(&ctx_));
}

TEST(Speeds, TableAndTranslation) {
    EXPECT_EQ(B115200, translate_speed(115200));
    EXPECT_EQ(B50, translate_speed(50));
    EXPECT_EQ(B921600, translate_speed(921600));
    EXPECT_EQ(0u, translate_speed(0));
    EXPECT_EQ(0u, translate_speed(12345));
    int rows = 0;
    for (const speed_row *r = speeds; r->speed; ++r)
        ++rows;
    EXPECT_EQ(20, rows);
}

TEST(Lcp, ParsesOnlyLcpFramesOfSixBytesOrMore) {
    uint16_t proto = 0, len = 0;
    uint8_t code = 0, id = 0;
    EXPECT_EQ(0, parse_lcp_header(termreq_data, kTermreqLen, &proto, &code, &id, &len));
    EXPECT_EQ(0xC021, proto);
    EXPECT_EQ(5, code);
    EXPECT_EQ(15, id);
    EXPECT_EQ(16, len);
    const uint8_t ip[] = {0x00, 0x21, 0x05, 0x01, 0x00, 0x04};
    EXPECT_EQ(-1, parse_lcp_header(ip, sizeof ip, &proto, &code, &id, &len));
    EXPECT_EQ(-1, parse_lcp_header(termreq_data, 5, &proto, &code, &id, &len));
    EXPECT_EQ(0, std::memcmp(termreq_data + 6, "User request", 12));
}

// The trace and the poe_* copies, against a log file and a descriptor of the test's own.
class Logging : public ::testing::Test {
  protected:
    void SetUp() override {
        mkdir(root_.host("/var/log").c_str(), 0755);
        ASSERT_EQ(0, log_open());
    }
    void TearDown() override {
        fclose(logfile);
        logfile = nullptr;
        log_to_fd = 0;
        verbose = 0;
    }
    std::string log_text() {
        fflush(logfile);
        return read_file(root_.host("/var/log/serbridge.log"));
    }
    TempRouterRoot root_;
};

TEST_F(Logging, TraceLinesEndWithANewlineOfTheirOwn) {
    loginfo("receive %s ", "ATZ\r");
    loginfo("build on %s-%s \n", "Jan  1 2030", "10:00:00");
    loginfo("%X %d", 5);  // the reduced formatter prints %X as it is
    EXPECT_EQ("receive ATZ\r \nbuild on Jan  1 2030-10:00:00 \n\n%X 5\n", log_text());
}

// Line noise makes a trace line per read: the file is renamed ".old" past its limit.
TEST_F(Logging, LogFileIsRenamedOldPastItsLimitAndAFreshOneStarted) {
    // A file left by an earlier run, already at the limit: the first line starts a fresh one.
    testsupport::write_file(root_.host("/var/log/serbridge.log"), std::string(kLogFileLimit, 'e'));
    fclose(logfile);
    ASSERT_EQ(0, log_open());
    const std::string noise(1000, 'n');
    const long lines = 2 * kLogFileLimit / 1001 + 50;  // two renames
    char text_line[1008];
    for (long i = 0; i < lines; ++i) {
        snprintf(text_line, sizeof text_line, "%06ld %s", i, noise.c_str());
        loginfo("%s", text_line);
    }
    std::string old_text = read_file(root_.host("/var/log/serbridge.log.old"));
    std::string text = log_text();
    EXPECT_LE(old_text.size(), static_cast<size_t>(kLogFileLimit));
    EXPECT_LE(text.size(), static_cast<size_t>(kLogFileLimit));
    ASSERT_EQ(0u, old_text.size() % 1008);  // whole lines only, none of the earlier run's
    ASSERT_EQ(0u, text.size() % 1008);
    // Nothing lost at the second rename: the fresh file goes on where the old one stops.
    long last_old = std::stol(old_text.substr(old_text.size() - 1008, 6));
    EXPECT_EQ(last_old + 1, std::stol(text.substr(0, 6)));
    EXPECT_EQ(lines - 1, std::stol(text.substr(text.size() - 1008, 6)));
    EXPECT_EQ(static_cast<size_t>(lines - last_old - 1) * 1008, text.size());
}

TEST_F(Logging, TraceIsCutAt1023Characters) {
    std::string big(1500, 'y');
    loginfo("%s", big.c_str());
    EXPECT_EQ(std::string(1023, 'y') + "\n", log_text());
}

TEST_F(Logging, FrameDumpsOnlyWhenVerbose) {
    const uint8_t frame[18] = {0xC0, 0x21, 0x05, 0x0F, 0x00, 0x10, 'U', 's', 'e',
                               'r',  ' ',  'r',  'e',  'q',  'u',  'e', 's', 't'};
    dump_frame(frame, sizeof frame);
    EXPECT_EQ("", log_text());
    verbose = 1;
    dump_frame(frame, sizeof frame);
    EXPECT_EQ(
        "c0 21 05 0f 00 10 55 73 65 72 20 72 65 71 75 65     <==========>    .!....User reque\n"
        "73 74                                               <==========>    st              \n",
        log_text());
}

TEST_F(Logging, PoeMessagesAreCopiedUntilAShortWrite) {
    int p[2];
    ASSERT_EQ(0, pipe(p));
    log_to_fd = p[1];
    poe_error(nullptr, "Failed to connect modem ");
    poe_info(nullptr, "call connect script: %s \n", "up");
    bridge_ctx ctx = {};
    poe_dbglog(&ctx, "with a context: not copied");
    poe_dbglog(nullptr, "Baud rate is %08x", 0x1002);
    char buf[256] = {};
    ssize_t n = read(p[0], buf, sizeof buf - 1);
    EXPECT_EQ("Failed to connect modem \ncall connect script: up \nBaud rate is 00001002\n",
              std::string(buf, static_cast<size_t>(n > 0 ? n : 0)));
    close(p[0]);
    log_to_fd = p[1];
    signal(SIGPIPE, SIG_IGN);
    poe_warn(nullptr, "nobody reads this");  // the write fails: copies stop for good
    EXPECT_EQ(-1, log_to_fd);
    close(p[1]);
}

class Scripts : public ::testing::Test {
  protected:
    void SetUp() override {
        mkdir(root_.host("/tmp/ppp").c_str(), 0755);
        std::memset(&ctx_, 0, sizeof ctx_);
        out_ = open(root_.host("/terminal").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
        ASSERT_GT(out_, 2);
    }
    void TearDown() override { close(out_); }
    TempRouterRoot root_;
    bridge_ctx ctx_;
    int out_ = -1;
};

TEST_F(Scripts, StatusInputOutputAndErrorFile) {
    EXPECT_EQ(0, device_script(&ctx_, "echo on-terminal; echo on-errors >&2", out_, out_, 0));
    EXPECT_EQ(-1, device_script(&ctx_, "exit 3", out_, out_, 0));
    EXPECT_EQ("on-terminal\n", read_file(root_.host("/terminal")));
    EXPECT_EQ("on-errors\n", read_file(root_.host("/tmp/ppp/serbridge-errors")));
    struct stat st;
    ASSERT_EQ(0, stat(root_.host("/tmp/ppp/serbridge-errors").c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
}

TEST_F(Scripts, ConnectAndDisconnectRunOnTheModemTerminal) {
    ctx_.modem_fd = out_;
    std::strcpy(ctx_.connect_script, "echo connect; exit 1");
    std::strcpy(ctx_.disconnect_script, "echo disconnect; exit 1");
    EXPECT_EQ(-1, modem_connect(&ctx_));
    EXPECT_EQ(0, modem_disconnect(&ctx_));  // its outcome is ignored
    EXPECT_EQ("connect\ndisconnect\n", read_file(root_.host("/terminal")));
}

}  // namespace
