// A USB host of the test's own for usbprobe: buses with their devices, an open that fails on
// demand, a control request answering a chosen code, and a record of every call. Test code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "usbprobe/usb_host.h"

class FakeUsbHost {
  public:
    struct Device {
        uint16_t vendor;
        uint16_t product;
    };
    struct Bus {
        std::string dirname;
        std::vector<Device> devices;
    };

    std::vector<Bus> buses;
    bool open_fails = false;
    int control_code = 0;
    // One line per call, e.g. "set_debug 4", "open 002/1" (bus directory, device position
    // from 0), "control_msg 40 0b 0001 0000 size 0 timeout 5000", "close 002/1".
    std::vector<std::string> calls;

    FakeUsbHost();
    const UsbHost &host() const { return host_; }

  private:
    UsbHost host_;
};
