#include "serbridge/tty.h"

#include <sys/ioctl.h>

#include "serbridge/log.h"

const speed_row speeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
    {0, 0},
};

speed_t translate_speed(int speed) {
    if (speed == 0) return 0;
    for (const speed_row *row = speeds; row->speed; ++row)
        if (row->speed == speed) return row->code;
    poe_warn(nullptr, "speed %d not supported", speed);
    return 0;
}

void setdtr(int fd, int on) {
    int bits = TIOCM_DTR;
    ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);
}

void set_up_tty(int fd, int local, int speed) {
    setdtr(fd, 1);
    termios tio;
    if (tcgetattr(fd, &tio) < 0) return;
    tio.c_iflag = IGNBRK | IGNPAR;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cflag &= ~(CSIZE | CSTOPB | PARENB | CLOCAL);
    tio.c_cflag |= CS8 | CREAD | HUPCL;
    if (local) tio.c_cflag ^= (CLOCAL | HUPCL);
    tio.c_cflag &= ~CRTSCTS;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    speed_t code = translate_speed(speed);
    if (code) {
        cfsetospeed(&tio, code);
        cfsetispeed(&tio, code);
    } else {
        code = cfgetospeed(&tio);
        if (code == 0) poe_fatal(nullptr, "Baud rate is 0; need explicit baud rate");
    }
    poe_dbglog(nullptr, "Baud rate is %08x", static_cast<unsigned>(code));
    if (tcsetattr(fd, TCSAFLUSH, &tio) < 0) poe_fatal(nullptr, "tcsetattr: %m");
}
