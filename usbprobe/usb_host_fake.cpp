#include "usbprobe/usb_host_fake.h"

#include <cstdio>

namespace {

struct DevRef {
    size_t bus;
    size_t dev;
};

FakeUsbHost &self(void *ctx) {
    return *static_cast<FakeUsbHost *>(ctx);
}

std::string name(FakeUsbHost &f, const DevRef &d) {
    return f.buses[d.bus].dirname + "/" + std::to_string(d.dev);
}

// A bus ref is its index in `buses` plus 1 (never nullptr); a device ref is its position
// plus 1 in a table of (bus, device) pairs, begun anew for each fake.
struct Table {
    FakeUsbHost *owner = nullptr;
    std::vector<DevRef> devs;
};
Table g_table;

UsbDevRef dev_ref(FakeUsbHost &f, size_t bus, size_t dev) {
    if (g_table.owner != &f) g_table = Table{&f, {}};
    for (size_t i = 0; i < g_table.devs.size(); ++i)
        if (g_table.devs[i].bus == bus && g_table.devs[i].dev == dev)
            return reinterpret_cast<UsbDevRef>(i + 1);
    g_table.devs.push_back({bus, dev});
    return reinterpret_cast<UsbDevRef>(g_table.devs.size());
}

const DevRef &dev_of(UsbDevRef ref) {
    return g_table.devs[reinterpret_cast<size_t>(ref) - 1];
}

size_t bus_of(UsbBusRef ref) {
    return reinterpret_cast<size_t>(ref) - 1;
}

UsbBusRef bus_ref(size_t bus) {
    return reinterpret_cast<UsbBusRef>(bus + 1);
}

char g_handle;  // the one device a run opens

}  // namespace

FakeUsbHost::FakeUsbHost() {
    host_.ctx = this;
    host_.set_debug = [](void *ctx, int level) {
        self(ctx).calls.push_back("set_debug " + std::to_string(level));
    };
    host_.init = [](void *ctx) { self(ctx).calls.push_back("init"); };
    host_.find_busses = [](void *ctx) {
        self(ctx).calls.push_back("find_busses");
        return static_cast<int>(self(ctx).buses.size());
    };
    host_.find_devices = [](void *ctx) {
        self(ctx).calls.push_back("find_devices");
        return 0;
    };
    host_.busses = [](void *ctx) -> UsbBusRef {
        self(ctx).calls.push_back("busses");
        return self(ctx).buses.empty() ? nullptr : bus_ref(0);
    };
    host_.bus_next = [](void *ctx, UsbBusRef bus) -> UsbBusRef {
        size_t next = bus_of(bus) + 1;
        return next < self(ctx).buses.size() ? bus_ref(next) : nullptr;
    };
    host_.bus_dirname = [](void *ctx, UsbBusRef bus) {
        return self(ctx).buses[bus_of(bus)].dirname.c_str();
    };
    host_.bus_devices = [](void *ctx, UsbBusRef bus) -> UsbDevRef {
        FakeUsbHost &f = self(ctx);
        size_t b = bus_of(bus);
        return f.buses[b].devices.empty() ? nullptr : dev_ref(f, b, 0);
    };
    host_.dev_next = [](void *ctx, UsbDevRef dev) -> UsbDevRef {
        FakeUsbHost &f = self(ctx);
        DevRef d = dev_of(dev);
        return d.dev + 1 < f.buses[d.bus].devices.size() ? dev_ref(f, d.bus, d.dev + 1) : nullptr;
    };
    host_.dev_ids = [](void *ctx, UsbDevRef dev, uint16_t *vendor, uint16_t *product) {
        DevRef d = dev_of(dev);
        const Device &x = self(ctx).buses[d.bus].devices[d.dev];
        *vendor = x.vendor;
        *product = x.product;
    };
    host_.open = [](void *ctx, UsbDevRef dev) -> UsbHandle {
        FakeUsbHost &f = self(ctx);
        f.calls.push_back("open " + name(f, dev_of(dev)));
        return f.open_fails ? nullptr : &g_handle;
    };
    host_.control_msg = [](void *ctx, UsbHandle h, int type, int request, int value, int index,
                           char *bytes, int size, int timeout) {
        char line[120];
        snprintf(line, sizeof line, "control_msg %02x %02x %04x %04x %s size %d timeout %d", type,
                 request, value, index, bytes ? "data" : "nodata", size, timeout);
        self(ctx).calls.push_back(std::string(line) + (h == &g_handle ? "" : " badhandle"));
        return self(ctx).control_code;
    };
    host_.close = [](void *ctx, UsbHandle h) {
        self(ctx).calls.push_back(h == &g_handle ? "close" : "close badhandle");
        return 0;
    };
}
