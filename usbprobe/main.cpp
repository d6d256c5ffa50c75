// usbprobe: sends the vendor request 0x0B (value 1) to a Sierra Wireless device 1199:0fff.
//   usbprobe [BUS]      BUS: decimal bus number, default 1
// Exit status: 0 sent, or the device could not be opened; 255 no such device on that bus;
// else the failing request's code (libusb's -errno), its text on standard error.
#include "usbprobe/usbprobe.h"

int main(int argc, char **argv) {
    return usbprobe_run(usb_host_libusb(), argc, argv, stderr);
}
