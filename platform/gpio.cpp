#include "platform/gpio.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <errno.h>

#include <cstdio>
#include <cstdlib>

#include "platform/gpio_testing.h"
#include "platform/router_root.h"

namespace {

int record_request(int op, int line, int value) {
    if (router_mkdirs("/dev/gpio") < 0) return -1;
    RouterPath ops("/dev/gpio/ops");
    if (!ops.ok()) return -1;
    int fd = open(ops.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    char text[48];
    int n = snprintf(text, sizeof text, "%d %d %d\n", op, line, value);
    ssize_t w = write(fd, text, static_cast<size_t>(n));
    close(fd);
    return w == n ? 0 : -1;
}

}  // namespace

int gpioctl(int op, int line, int value) {
    if (router_root()) return record_request(op, line, value);
    int fd = open("/dev/gpio/ctl", O_RDWR | O_CLOEXEC);
    if (fd < 0) return -1;
    gpio_request req = {line, value};
    int r = ioctl(fd, static_cast<unsigned long>(op), &req);
    close(fd);
    return r < 0 ? -1 : 0;
}

namespace {

unsigned input_reads;  // requests 4 answered so far in this process (router root only)

int append_line(int fd, const char *text, int n) {
    ssize_t w = write(fd, text, static_cast<size_t>(n));
    if (w != n) {
        if (w >= 0) errno = EIO;
        return -1;
    }
    return 0;
}

// Line `index` of "/dev/gpio/bits.in" (the last one when there are fewer) as a word.
int input_word(unsigned index, uint32_t *word) {
    RouterPath path("/dev/gpio/bits.in");
    FILE *f = path.ok() ? fopen(path.c_str(), "re") : nullptr;
    if (!f) {
        errno = EIO;
        return -1;
    }
    char line[64];
    bool any = false;
    unsigned long last = 0;
    for (unsigned i = 0; fgets(line, sizeof line, f); ++i) {
        char *end;
        unsigned long v = strtoul(line, &end, 16);
        if (end == line) continue;
        last = v;
        any = true;
        if (i >= index) break;
    }
    fclose(f);
    if (!any) {
        errno = EIO;
        return -1;
    }
    *word = static_cast<uint32_t>(last);
    return 0;
}

}  // namespace

int gpio_bits_open(void) {
    RouterPath path("/dev/gpio/bits");
    if (!path.ok()) return -1;
    int flags = O_RDWR | O_CLOEXEC;
    if (router_root()) flags |= O_APPEND;  // never O_CREAT: an absent node is no driver
    return open(path.c_str(), flags);
}

int gpio_bits_set(int fd, unsigned long request, unsigned bit) {
    if (router_root()) {
        char text[32];
        int n = snprintf(text, sizeof text, "%s %u\n", request == kGpioBitOn ? "on" : "off", bit);
        return append_line(fd, text, n);
    }
    return ioctl(fd, request, static_cast<unsigned long>(bit)) < 0 ? -1 : 0;
}

int gpio_bits_read(int fd, uint32_t *bits) {
    if (router_root()) {
        uint32_t word;
        if (input_word(input_reads++, &word) < 0) return -1;
        char text[32];
        int n = snprintf(text, sizeof text, "in %08x\n", static_cast<unsigned>(word));
        if (append_line(fd, text, n) < 0) return -1;
        *bits = word;
        return 0;
    }
    uint32_t word = 0;
    if (ioctl(fd, kGpioBitsIn, &word) < 0) return -1;
    *bits = word;
    return 0;
}

void gpio_bits_close(int fd) {
    if (fd >= 0) close(fd);
}

void gpio_testing_reset_inputs(void) {
    input_reads = 0;
}
