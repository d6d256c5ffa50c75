#include "usbprobe/usbprobe.h"

#include <cctype>
#include <climits>
#include <cstring>

namespace {

constexpr int kDebugLevel = 4;
constexpr int kRequestType = 0x40;  // vendor, host to device, to the device
constexpr int kRequest = 0x0B;
constexpr int kValue = 1;
constexpr int kIndex = 0;
constexpr int kTimeoutMs = 5000;
constexpr int kDefaultBus = 1;

}  // namespace

int usb_parse_number(const char *text) {
    if (!text) return 0;
    while (isspace(static_cast<unsigned char>(*text)))
        ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(value);
}

UsbDevRef lookup_usbdevice(const UsbHost &host, int busnum, uint16_t vendor, uint16_t product,
                           FILE *err) {
    void *ctx = host.ctx;
    host.set_debug(ctx, kDebugLevel);
    host.init(ctx);
    (void)host.find_busses(ctx);  // counts of changes; the list is walked either way
    (void)host.find_devices(ctx);
    UsbDevRef found = nullptr;
    for (UsbBusRef bus = host.busses(ctx); bus; bus = host.bus_next(ctx, bus)) {
        if (usb_parse_number(host.bus_dirname(ctx, bus)) != busnum) continue;
        for (UsbDevRef dev = host.bus_devices(ctx, bus); dev; dev = host.dev_next(ctx, dev)) {
            uint16_t v = 0, p = 0;
            host.dev_ids(ctx, dev, &v, &p);
            if (v == vendor && p == product) {
                fprintf(err, "found %04x:%04x \n", v, p);
                fflush(err);
                found = dev;
                break;
            }
        }
        if (found) break;
    }
    return found;
}

int usbprobe_run(const UsbHost &host, int argc, char *const argv[], FILE *err) {
    int busnum = argc > 1 ? usb_parse_number(argv[1]) : kDefaultBus;
    fprintf(err, "busnum=%d\n", busnum);
    fflush(err);
    UsbDevRef dev = lookup_usbdevice(host, busnum, kSierraVendor, kSierraProbeProduct, err);
    if (!dev) {
        fprintf(err, "no device be found .... \n");
        fflush(err);
        return -1;
    }
    UsbHandle h = host.open(host.ctx, dev);
    if (!h) return 0;
    int rc = host.control_msg(host.ctx, h, kRequestType, kRequest, kValue, kIndex, nullptr, 0,
                              kTimeoutMs);
    if (rc < 0) {
        // libusb gives -errno; the code itself stays the exit status.
        fprintf(err, "%s \n", strerror(rc == INT_MIN ? INT_MAX : -rc));
        fflush(err);
        return rc;
    }
    (void)host.close(host.ctx, h);  // nothing is left to do if closing fails
    return 0;
}
