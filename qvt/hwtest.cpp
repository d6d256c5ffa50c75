// The hardware tests and the burn-in: LEDs, flash, PC card, Ethernet, the reload key.
#include <errno.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "common/bytes.h"
#include "platform/console.h"
#include "platform/env.h"
#include "platform/ethdev.h"
#include "platform/gpio.h"
#include "platform/nvram.h"
#include "platform/pccard.h"
#include "qvt/qvt.h"

namespace {

// The four test LEDs by GPIO bit number: POWER amber, WLAN amber, WAN green, WAN red.
constexpr unsigned kLeds[] = {0, 1, 2, 3};
constexpr uint32_t kReloadKey = 0x40;  // clear while pressed

constexpr const char *kFunctionNames[] = {"multifunction", "memory",     "serial",
                                          "parallel",      "fixed disk", "video",
                                          "network",       "AIMS",       "SCSI"};

struct KnownCard {
    uint16_t vendor, device;
    const char *name;
};
constexpr KnownCard kKnownCards[] = {
    {0x14E4, 0x4320, "Motorola Wireless notebook Adapter WN825G"},
    {0x1814, 0x0201, "TRIVA CardBus Wi-Fi 11G Adapter"},
};

void sleep_seconds(unsigned n) {
    env_sleep_ms(n * qvt_second_ms());
}

void closing_lines() {
    console_printf("**************  \n");
    console_printf("\n");
}

// Every test LED off (request 1 for each); used when the burn-in stops.
void leds_off() {
    int fd = gpio_bits_open();
    if (fd < 0) return;
    for (unsigned bit : kLeds)
        (void)gpio_bits_set(fd, kGpioBitOff, bit);  // best effort
    gpio_bits_close(fd);
}

int ethernet_phy() {
    int sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (sock < 0) {
        perror("socket");
        return kQvtFatal;
    }
    uint32_t v3 = 0, v2 = 0, v25 = 0;
    if (ethdev_phy_read(sock, "eth0", 3, &v3) < 0) {
        perror("etcphyrd");
        close(sock);
        return kQvtFatal;
    }
    bool ok = v3 == 0x8201;
    if (ok) {
        if (ethdev_phy_read(sock, "eth0", 2, &v2) < 0) {
            perror("etcphyrd");
            close(sock);
            return kQvtFatal;
        }
        ok = v2 == 0;
    }
    if (!ok) {
        console_printf("Test of Ethernet : Failed\n");
    } else {
        console_printf("Vendor : REALTEK Instrumments\n");
        console_printf("Device : RTL8201(0x00008201)\n");
        if (ethdev_phy_read(sock, "eth0", 25, &v25) < 0) {
            perror("etcphyrd");
            close(sock);
            return kQvtFatal;
        }
        if (v25 & 0x2)
            console_printf("Ethernet speed is 10M \n");
        else if (v25 & 0x1)
            console_printf("Ethernet speed is 100M \n");
        else
            console_printf("^_^Please connect the ethernet cable^_^\n");
        console_printf("Test of Ethernet: OK \n");
    }
    close(sock);
    return kQvtOk;
}

int ethernet_switch() {
    int fd = adm_open();
    if (fd < 0) {
        perror("open");
        return kQvtFatal;
    }
    uint32_t id;
    uint8_t table[kAdmPortRecords * kAdmPortRecordLen];
    if (adm_chip_id(fd, &id) < 0) {
        console_printf("Test of Ethernet: Failed\n");
    } else if ((id >> 4) != 0x7101 && (id >> 4) != 0x7102) {
        console_printf("Test of Ethernet: Unknown Switch Chip(%08x)\n", id);
    } else {
        console_printf("Device : ADM6996(%4x)\n", id >> 4);
        console_printf("Version: %02x\n", id & 0xf);
        if (adm_port_table(fd, table) < 0) {
            console_printf("Test of Ethernet: Failed\n");
        } else {
            for (unsigned port = 0; port < kAdmPortRecords; ++port) {
                uint32_t status = get_host32(table + port * kAdmPortRecordLen + kAdmPortStatusAt);
                const char *link = (status & 0x1) ? "UP" : "DOWN";
                const char *speed = (status & 0x6) ? "100M" : "10M";
                if (port == 0)
                    console_printf("Port 0(WAN): %s %s\n", link, speed);
                else if (port < 5)
                    console_printf("Port %u: %s %s\n", port, link, speed);
                else
                    console_printf("MII Port: %s %s\n", link, speed);
            }
        }
    }
    close(fd);
    return kQvtOk;
}

void on_stop(int) {
    qvt_stop_requested = 1;
}

unsigned digits(unsigned i) {
    unsigned n = 1;
    while (i >= 10) {
        i /= 10;
        ++n;
    }
    return n;
}

}  // namespace

void set_leds(int index) {
    int fd = gpio_bits_open();
    if (fd < 0) {
        console_printf("LED tset failure");
        return;
    }
    for (unsigned bit : kLeds) {
        unsigned long request = static_cast<int>(bit) == index ? kGpioBitOn : kGpioBitOff;
        (void)gpio_bits_set(fd, request, bit);  // the operator sees the LED itself
    }
    gpio_bits_close(fd);
}

void test_LEDS(void) {
    console_printf("Test POWER amber LED  \n");
    set_leds(0);
    sleep_seconds(2);
    console_printf("Test WLAN amber LED  \n");
    set_leds(1);
    sleep_seconds(2);
    console_printf("Test WAN green LED  \n");
    set_leds(2);
    sleep_seconds(2);
    console_printf("Test WAN red LED  \n");
    set_leds(3);
    console_printf("\n");
}

void flash_test(void) {
    static const char *const kKeys[] = {"temp_flag1", "temp_flag2"};
    static const char *const kValues[] = {"12345", "67890"};
    bool ok = true;
    for (int i = 0; i < 2 && ok; ++i)
        ok = nvram_set(kKeys[i], kValues[i]) == 0 && nvram_commit() == 0;
    for (int i = 0; i < 2 && ok; ++i) {
        const char *back = nvram_get(kKeys[i]);
        ok = back && strncmp(back, kValues[i], 5) == 0;
    }
    console_printf(ok ? "Flash test Ok \n" : "Flash test error \n");
}

void print_status(unsigned state) {
    char line[96];
    const char *volts = (state & 0x200000) ? "3.3" : (state & 0x400000) ? "X.X" : "5";
    if (state & 0x100000)
        snprintf(line, sizeof line, "  %sV CardBus card", volts);
    else if (state & 0x80)
        snprintf(line, sizeof line, "  %sV 16-bit PC Card", volts);
    else
        snprintf(line, sizeof line, "  no card");
    console_printf("%s%s\n", line, (state & 0x2000) ? " [suspended]" : "");
    if ((state & 0x80) && !(state & 0x2000)) {
        console_printf("  function %d: %s%s%s%s%s\n", 0, (state & 0x40) ? "[ready]" : "[busy]",
                       (state & 0x1) ? ", [wp]" : "", (state & 0x10) ? ", [bat dead]" : "",
                       (state & 0x20) ? ", [bat low]" : "",
                       (state & 0x80000) ? ", [req attn]" : "");
    }
}

void print_ident(int fd) {
    cs_vers1 reply;
    const char *strings[kCsMaxProdStrings];
    int n = pccard_get_vers1(fd, &reply, strings);
    if (n >= 0) {
        char line[400];
        size_t used = static_cast<size_t>(snprintf(line, sizeof line, "  product info: "));
        for (int i = 0; i < n && used < sizeof line; ++i)
            used += static_cast<size_t>(
                snprintf(line + used, sizeof line - used, "%s\"%s\"", i ? ", " : "", strings[i]));
        console_printf("%s\n", line);
    } else {
        console_printf("  no product info available\n");
    }
    cs_manfid manfid;
    if (pccard_get_manfid(fd, &manfid) == 0)
        console_printf("  manfid: 0x%04x, 0x%04x\n", manfid.manf, manfid.card);
    cs_funcid funcid;
    if (pccard_get_funcid(fd, &funcid) == 0) {
        const char *name = funcid.func < sizeof kFunctionNames / sizeof kFunctionNames[0]
                               ? kFunctionNames[funcid.func]
                               : "unknown";
        console_printf("  function: %d (%s)\n", funcid.func, name);
    }
    uint32_t type, base;
    if (pccard_get_config(fd, &type, &base) == 0 && type == kCsIntCardBus && base != 0) {
        unsigned vendor = base & 0xffff, device = base >> 16;
        const char *name = "Unknown PCI devices";
        for (const KnownCard &c : kKnownCards)
            if (c.vendor == vendor && c.device == device) name = c.name;
        console_printf("  PCI id: 0x%04x, 0x%04x  (%s)\n", vendor, device, name);
    }
}

void test_PCMCIA(void) {
    int major = pccard_find_major("pcmcia");
    if (major == -1) {
        perror("could not open /proc/devices");
    } else if (major < 0) {
        fprintf(stderr, "no pcmcia driver in /proc/devices\n");
    } else {
        int fd = pccard_open_sock(major);
        if (fd < 0) {
            perror("open_sock()");
        } else {
            uint32_t state;
            if (pccard_get_status(fd, &state) < 0) {
                console_printf("no card\n");
            } else {
                print_status(state);
                print_ident(fd);
            }
            close(fd);
        }
    }
    closing_lines();
}

int test_EtherNet(void) {
    int rc = kQvtOk;
    if (!strcmp(model_name, "ZK2100"))
        rc = ethernet_phy();
    else if (!strcmp(model_name, "ZK2300") || !strcmp(model_name, "ZK2400"))
        rc = ethernet_switch();
    if (rc != kQvtOk) return rc;
    closing_lines();
    return kQvtOk;
}

void reload_key_test(void) {
    console_printf("=================== \n");
    console_printf("test the reload key \n");
    console_printf("=================== \n");
    int fd = gpio_bits_open();
    if (fd < 0) {
        console_printf("Reload key tset failure");
        return;
    }
    console_printf("Please press the Reload key for serval seconds ........  ");
    bool pressed = false, failed = false;
    for (unsigned i = 0; i < 120 && !pressed && !failed; ++i) {
        char erase[8];
        unsigned n = digits(i);
        memset(erase, '\b', n);
        (void)console_write(erase, n);  // a lost console line loses only the display
        uint32_t bits;
        if (gpio_bits_read(fd, &bits) < 0) {
            failed = true;  // never an unset word taken for a press
        } else if (!(bits & kReloadKey)) {
            console_printf("ok\n");
            pressed = true;
        } else {
            console_printf("%u", i);
            sleep_seconds(1);
        }
    }
    if (!pressed) console_printf("fail\n");
    if (pressed) console_printf("Reload key test ok\n");
    gpio_bits_close(fd);
}

int BurninTest(void) {
    console_printf("======================================\n");
    console_printf("%s enter into auto BurninTest mode\n", model_name);
    console_printf("======================================\n");
    show_track_data();
    console_printf("\n");

    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_stop;
    sigemptyset(&sa.sa_mask);
    struct sigaction old_term, old_int;
    sigaction(SIGTERM, &sa, &old_term);
    sigaction(SIGINT, &sa, &old_int);

    unsigned passes = 0;
    int rc = kQvtOk;
    for (int step = 0; !qvt_stop_requested; step = (step + 1) % 4) {
        if (step == 0) {
            console_printf("Test1: LED test  \n");
            console_printf("**************  \n");
            console_printf("Please look the LED  \n");
            console_printf("**************  \n");
            test_LEDS();
        } else if (step == 1) {
            console_printf("Test2: Flash test  \n");
            console_printf("**************  \n");
            flash_test();
            console_printf("**************  \n");
            console_printf("\n");
            sleep_seconds(1);
        } else if (step == 2) {
            console_printf("Test3: PCMCIA test  \n");
            console_printf("**************  \n");
            test_PCMCIA();
            sleep_seconds(1);
        } else {
            console_printf("Test4: Ethernet test  \n");
            console_printf("**************  \n");
            rc = test_EtherNet();
            if (rc != kQvtOk) break;
            sleep_seconds(1);
            ++passes;
        }
    }
    sigaction(SIGTERM, &old_term, nullptr);
    sigaction(SIGINT, &old_int, nullptr);
    if (rc != kQvtOk) return rc;
    leds_off();
    console_printf("BurninTest stopped after %u passes\n", passes);
    qvt_stop_requested = 0;
    return kQvtOk;
}
