// UsbHost bound to libusb 0.1. ("struct usb_device": the header also declares a function
// usb_device(), which hides the plain name in C++.)
#include <usb.h>

#include "usbprobe/usb_host.h"

namespace {

const usb_bus *bus(UsbBusRef b) {
    return static_cast<const usb_bus *>(b);
}
const struct usb_device *dev(UsbDevRef d) {
    return static_cast<const struct usb_device *>(d);
}

const UsbHost kLibusb = {
    nullptr,
    [](void *, int level) { usb_set_debug(level); },
    [](void *) { usb_init(); },
    [](void *) { return usb_find_busses(); },
    [](void *) { return usb_find_devices(); },
    [](void *) -> UsbBusRef { return usb_get_busses(); },
    [](void *, UsbBusRef b) -> UsbBusRef { return bus(b)->next; },
    [](void *, UsbBusRef b) -> const char * { return bus(b)->dirname; },
    [](void *, UsbBusRef b) -> UsbDevRef { return bus(b)->devices; },
    [](void *, UsbDevRef d) -> UsbDevRef { return dev(d)->next; },
    [](void *, UsbDevRef d, uint16_t *vendor, uint16_t *product) {
        *vendor = dev(d)->descriptor.idVendor;
        *product = dev(d)->descriptor.idProduct;
    },
    // usb_open takes a non-const device it does not change.
    [](void *, UsbDevRef d) -> UsbHandle {
        return usb_open(const_cast<struct usb_device *>(dev(d)));
    },
    [](void *, UsbHandle h, int type, int request, int value, int index, char *bytes, int size,
       int timeout_ms) {
        return usb_control_msg(static_cast<usb_dev_handle *>(h), type, request, value, index, bytes,
                               size, timeout_ms);
    },
    [](void *, UsbHandle h) { return usb_close(static_cast<usb_dev_handle *>(h)); },
};

}  // namespace

const UsbHost &usb_host_libusb() {
    return kLibusb;
}
