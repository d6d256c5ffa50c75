// The USB host as usbprobe sees it: the eight calls of the libusb 0.1 interface it uses
// (set_debug, init, find_busses, find_devices, busses, open, control_msg, close) and the
// reads of the bus and device records it walks, behind a table of functions so that tests
// put a fake host in its place (usbprobe/usb_host_fake.h). The program binds it to libusb
// (usb_host_libusb.cpp). One thread.
#pragma once

#include <cstdint>

// Opaque records of the host: a bus, a device on it, an opened device.
using UsbBusRef = const void *;
using UsbDevRef = const void *;
using UsbHandle = void *;

struct UsbHost {
    void *ctx;
    void (*set_debug)(void *ctx, int level);
    void (*init)(void *ctx);
    int (*find_busses)(void *ctx);
    int (*find_devices)(void *ctx);
    // The bus list: its first bus (nullptr when empty), then each bus's successor.
    UsbBusRef (*busses)(void *ctx);
    UsbBusRef (*bus_next)(void *ctx, UsbBusRef bus);
    // The bus's directory name ("001"), NUL-terminated.
    const char *(*bus_dirname)(void *ctx, UsbBusRef bus);
    UsbDevRef (*bus_devices)(void *ctx, UsbBusRef bus);
    UsbDevRef (*dev_next)(void *ctx, UsbDevRef dev);
    // The vendor and product of the device descriptor.
    void (*dev_ids)(void *ctx, UsbDevRef dev, uint16_t *vendor, uint16_t *product);
    // nullptr when the device cannot be opened.
    UsbHandle (*open)(void *ctx, UsbDevRef dev);
    // As usb_control_msg: bytes transferred, or -errno.
    int (*control_msg)(void *ctx, UsbHandle h, int requesttype, int request, int value, int index,
                       char *bytes, int size, int timeout_ms);
    int (*close)(void *ctx, UsbHandle h);
};

// The host of the running system, over libusb 0.1.
const UsbHost &usb_host_libusb();
