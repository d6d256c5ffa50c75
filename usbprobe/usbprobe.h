// usbprobe's logic: find the Sierra Wireless device 1199:0fff on one USB bus and send it one
// vendor control request (0x0B, value 1). Messages go to `err`, flushed per message. One
// thread.
#pragma once

#include <cstdint>
#include <cstdio>

#include "usbprobe/usb_host.h"

inline constexpr uint16_t kSierraVendor = 0x1199;
inline constexpr uint16_t kSierraProbeProduct = 0x0FFF;

// A bus number or bus directory name as atoi() reads it: leading blanks, an optional sign,
// then decimal digits up to the first other character; none gives 0. Clamped to int.
int usb_parse_number(const char *text);

// The first device with `vendor`:`product` on every bus whose directory name reads as
// `busnum` (buses are walked to the end, so a later bus of the same number is searched too);
// says "found VVVV:PPPP" on `err`. nullptr when there is none.
UsbDevRef lookup_usbdevice(const UsbHost &host, int busnum, uint16_t vendor, uint16_t product,
                           FILE *err);

// The whole tool: `argv[1]`, when given, is the bus number (default 1). Returns the exit
// status: 0 request sent (or the device could not be opened), -1 no device, else the failing
// request's (negative) code, whose text is said on `err`.
[[nodiscard]] int usbprobe_run(const UsbHost &host, int argc, char *const argv[], FILE *err);
