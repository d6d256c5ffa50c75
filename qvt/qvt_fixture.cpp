#include "qvt/qvt_fixture.h"

#include <cstdio>
#include <cstdlib>

#include "platform/flash.h"
#include "platform/gpio_testing.h"
#include "platform/nvram.h"
#include "platform/nvram_testing.h"
#include "qvt/qvt.h"

void QvtStation::SetUp() {
    nvram_testing_forget();
    gpio_testing_reset_inputs();
    env_.on_run = [this](const std::vector<std::string> &argv, const int *) {
        std::string line;
        for (const std::string &w : argv)
            line += (line.empty() ? "" : " ") + w;
        mtd_runs_.push_back(line);
        const char *why;
        if (argv.size() != 4 || argv[0] != "mtd") return 256;
        if (argv[1] == "read")
            return flash_read_partition(argv[3].c_str(), argv[2].c_str(), &why) == 0 ? 0 : 256;
        if (argv[1] == "write_nvram")
            return flash_write_partition(argv[2].c_str(), argv[3].c_str(), &why) == 0 ? 0 : 256;
        return 256;
    };
}

void QvtStation::TearDown() {
    nvram_testing_forget();
}

void QvtStation::board(const std::string &model, const std::string &faults, const char *sn) {
    std::string cmd =
        std::string("sh '") + QVT_BOARD_SCRIPT + "' '" + root_.path() + "' " + model + " " + faults;
    ASSERT_EQ(0, std::system(cmd.c_str())) << cmd;
    static const char *const kSerials[][2] = {{"ZK2100", "ZA0100000001"},
                                              {"ZK2200", "ZB0100000001"},
                                              {"ZK2300", "ZD0300000001"},
                                              {"ZK2400", "ZE0100000001"},
                                              {"ZK2500", "ZF0100000001"}};
    if (!sn)
        for (const auto &s : kSerials)
            if (model == s[0]) sn = s[1];
    ASSERT_TRUE(sn);
    ASSERT_EQ(0, nvram_set("SN", sn));
    snprintf(model_name, sizeof model_name, "%s", model.c_str());  // for the tests called alone
}

int QvtStation::qvt(const std::vector<std::string> &words) {
    std::vector<std::string> copy(words);
    std::vector<char *> argv{const_cast<char *>("qvt")};
    for (std::string &w : copy)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    ::testing::internal::CaptureStderr();
    int rc = qvt_main(static_cast<int>(argv.size() - 1), argv.data());
    err_ = ::testing::internal::GetCapturedStderr();
    return rc;
}

std::string QvtStation::console() {
    return file("/dev/console");
}

void QvtStation::clear_console() {
    testsupport::write_file(root_.host("/dev/console"), "");
}

std::string QvtStation::file(const std::string &system_path) {
    return testsupport::read_file(root_.host(system_path));
}

std::string usage_text(const std::string &m) {
    return "usage:qvt [commond][parameter1][parameter2] \n"
           "    commond: Si,Sj,P8,P7,D3,D4,D5...\n"
           "    parameter1: for the first value.\n"
           "    parameter2: for the second value.\n"
           "[Si] : Si\n"
           "\n"
           "[Sj] : \n"
           "    Sj T <xx:xx>  \n"
           "    Sj D <xxxx-xx-xx>(year-month-day)  \n"
           "    Sj P <xxxxxx>(example:" +
           m +
           ")  \n"
           "    Sj B <xxxxxxxx-xxx-xxxx> (eample:" +
           m +
           "-EVT-0005)\n"
           "    Sj U <xxxxxx> (eample:" +
           m +
           ")\n"
           "    Sj I <xxxxxxxxxxxx> (eample:123456789012)\n"
           "    Sj M <xxxxxxxxxxxxxxx> (eample:" +
           m +
           "-QVT-V1.0)\n"
           "    Sj F 1\n"
           "\n"
           "[D3]:  \n"
           "    D3 WlanMac <xx:xx:xx:xx:xx:xx>(example:02:00:00:01:04:09)\n"
           "    D3 EthMac <xx:xx:xx:xx:xx:xx>(example:02:00:00:01:04:08)\n"
           "    D3 Sn <xxxxxxxxxxxx>(example:ZB0399999999)\n"
           "\n"
           "[D4]: D4\n"
           "\n"
           "[D5]: D5\n"
           "\n"
           "[P5]: P5\n"
           "\n"
           "[P7]: P7\n"
           "\n"
           "[P8]:  \n"
           "    P8 POWER A \n"
           "    P8 WWAN <R|G>(example:P8 WWAN G)\n"
           "\n"
           "[P9]: P9 \n"
           "    Reload system\n"
           "[K1]: K1 \n"
           "    Hide Console Debug information\n"
           "\n";
}
