// usbprobe's logic on a fake USB host: which buses are searched, what is opened, the exact
// control request, and each way it ends.
#include "usbprobe/usbprobe.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "usbprobe/usb_host_fake.h"

namespace {

using Calls = std::vector<std::string>;

const FakeUsbHost::Device kProbe = {0x1199, 0x0FFF};
const FakeUsbHost::Device kOtherSierra = {0x1199, 0x6880};
const FakeUsbHost::Device kMouse = {0x046D, 0xC077};

const Calls kSetUp = {"set_debug 4", "init", "find_busses", "find_devices", "busses"};
const char kRequest[] = "control_msg 40 0b 0001 0000 nodata size 0 timeout 5000";

struct Outcome {
    int status;
    std::string err;
};

Outcome run(FakeUsbHost &fake, std::vector<const char *> args) {
    args.insert(args.begin(), "usbprobe");
    char *buf = nullptr;
    size_t size = 0;
    FILE *err = open_memstream(&buf, &size);
    int status = usbprobe_run(fake.host(), static_cast<int>(args.size()),
                              const_cast<char *const *>(args.data()), err);
    fclose(err);
    Outcome r{status, std::string(buf, size)};
    free(buf);
    return r;
}

Calls with_set_up(const Calls &tail) {
    Calls c = kSetUp;
    c.insert(c.end(), tail.begin(), tail.end());
    return c;
}

TEST(UsbProbe, FoundDeviceGetsExactlyTheVendorRequestAndIsClosed) {
    FakeUsbHost fake;
    fake.buses = {{"001", {kMouse, kOtherSierra, kProbe, kProbe}}};
    Outcome r = run(fake, {});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("busnum=1\nfound 1199:0fff \n", r.err);
    EXPECT_EQ(with_set_up({"open 001/2", kRequest, "close"}), fake.calls);  // the first match
}

TEST(UsbProbe, BusArgumentChoosesTheBusByTheNumberItsNameReadsAs) {
    struct Case {
        std::vector<const char *> args;
        const char *busnum_line;
        const char *opened;
    };
    const Case cases[] = {
        {{}, "busnum=1\n", "open 001/0"},    {{"002"}, "busnum=2\n", "open 002/0"},
        {{"2"}, "busnum=2\n", "open 002/0"}, {{"x"}, "busnum=0\n", "open 000/0"},
        {{""}, "busnum=0\n", "open 000/0"},  {{"3rd"}, "busnum=3\n", "open 003/0"},
    };
    for (const Case &c : cases) {
        FakeUsbHost fake;
        fake.buses = {{"000", {kProbe}}, {"001", {kProbe}}, {"002", {kProbe}}, {"003", {kProbe}}};
        Outcome r = run(fake, c.args);
        SCOPED_TRACE(c.busnum_line);
        EXPECT_EQ(0, r.status);
        EXPECT_EQ(std::string(c.busnum_line) + "found 1199:0fff \n", r.err);
        EXPECT_EQ(with_set_up({c.opened, kRequest, "close"}), fake.calls);
    }
}

TEST(UsbProbe, DeviceOnAnotherBusOnlyIsNotFound) {
    FakeUsbHost fake;
    fake.buses = {{"001", {kMouse, kOtherSierra}}, {"002", {kProbe}}};
    Outcome r = run(fake, {});
    EXPECT_EQ(-1, r.status);  // exit status 255
    EXPECT_EQ("busnum=1\nno device be found .... \n", r.err);
    EXPECT_EQ(kSetUp, fake.calls);
}

TEST(UsbProbe, LaterBusWithTheSameNumberIsSearchedToo) {
    FakeUsbHost fake;
    fake.buses = {{"002", {kMouse}}, {"001", {kProbe}}, {"2", {kOtherSierra, kProbe}}};
    Outcome r = run(fake, {"2"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("busnum=2\nfound 1199:0fff \n", r.err);
    EXPECT_EQ(with_set_up({"open 2/1", kRequest, "close"}), fake.calls);
}

TEST(UsbProbe, NoBusesAtAllIsNotFound) {
    FakeUsbHost fake;
    Outcome r = run(fake, {});
    EXPECT_EQ(-1, r.status);
    EXPECT_EQ("busnum=1\nno device be found .... \n", r.err);
}

TEST(UsbProbe, DeviceThatCannotBeOpenedEndsQuietlyWithStatus0) {
    FakeUsbHost fake;
    fake.buses = {{"001", {kProbe}}};
    fake.open_fails = true;
    Outcome r = run(fake, {});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("busnum=1\nfound 1199:0fff \n", r.err);
    EXPECT_EQ(with_set_up({"open 001/0"}), fake.calls);
}

TEST(UsbProbe, FailingRequestSaysTheErrorOfItsMagnitudeAndExitsWithTheCode) {
    FakeUsbHost fake;
    fake.buses = {{"001", {kProbe}}};
    fake.control_code = -110;  // libusb's -ETIMEDOUT
    Outcome r = run(fake, {});
    EXPECT_EQ(-110, r.status);
    EXPECT_EQ(std::string("busnum=1\nfound 1199:0fff \n") + strerror(110) + " \n", r.err);
    EXPECT_EQ(with_set_up({"open 001/0", kRequest}), fake.calls);  // left open, as it was
}

TEST(UsbProbe, NumbersReadAsAtoiWouldWithoutOverflow) {
    EXPECT_EQ(2, usb_parse_number("002"));
    EXPECT_EQ(3, usb_parse_number(" 3x"));
    EXPECT_EQ(0, usb_parse_number(""));
    EXPECT_EQ(0, usb_parse_number("x1"));
    EXPECT_EQ(-1, usb_parse_number("-1"));
    EXPECT_EQ(0, usb_parse_number(nullptr));
    EXPECT_EQ(INT_MAX, usb_parse_number("99999999999999999999"));
    EXPECT_EQ(INT_MIN, usb_parse_number("-99999999999999999999"));
}

}  // namespace
