// resetbtn: the reset-button monitor. Usage: resetbtn [-d]
#include "platform/eventloop.h"
#include "resetbtn/resetbtn.h"

int main(int argc, char **argv) {
    if (resetbtn_options(argc, argv) != 0) return 1;
    // Without the device the monitor still waits, asleep, as the router expects it running.
    (void)gpio_open();
    do_fd();
    return 0;
}
