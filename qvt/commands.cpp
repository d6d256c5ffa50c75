// The command set: start, the command table, the usage text and the manufacturing data.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/backup_edit.h"
#include "platform/console.h"
#include "platform/nvram.h"
#include "platform/router_root.h"
#include "qvt/qvt.h"

char model_name[kQvtModelLen];

namespace {

// What a handler tells the loop: go on with the next word, or end with a status.
constexpr int kNext = -1;

struct Args {
    int argc;
    char **argv;
    int next;  // the next word to be examined
    const char *take() { return next < argc ? argv[next++] : nullptr; }
};

void banner(const char *title) {
    console_printf("=================== \n");
    console_printf("%s", title);
    console_printf("=================== \n");
}

int usage() {
    const char *m = model_name;
    console_printf("usage:qvt [commond][parameter1][parameter2] \n");
    console_printf("    commond: Si,Sj,P8,P7,D3,D4,D5...\n");
    console_printf("    parameter1: for the first value.\n");
    console_printf("    parameter2: for the second value.\n");
    console_printf("[Si] : Si\n");
    console_printf("\n");
    console_printf("[Sj] : \n");
    console_printf("    Sj T <xx:xx>  \n");
    console_printf("    Sj D <xxxx-xx-xx>(year-month-day)  \n");
    console_printf("    Sj P <xxxxxx>(example:%s)  \n", m);
    console_printf("    Sj B <xxxxxxxx-xxx-xxxx> (eample:%s-EVT-0005)\n", m);
    console_printf("    Sj U <xxxxxx> (eample:%s)\n", m);
    console_printf("    Sj I <xxxxxxxxxxxx> (eample:123456789012)\n");
    console_printf("    Sj M <xxxxxxxxxxxxxxx> (eample:%s-QVT-V1.0)\n", m);
    console_printf("    Sj F 1\n");
    console_printf("\n");
    console_printf("[D3]:  \n");
    console_printf("    D3 WlanMac <xx:xx:xx:xx:xx:xx>(example:02:00:00:01:04:09)\n");
    console_printf("    D3 EthMac <xx:xx:xx:xx:xx:xx>(example:02:00:00:01:04:08)\n");
    console_printf("    D3 Sn <xxxxxxxxxxxx>(example:ZB0399999999)\n");
    console_printf("\n");
    console_printf("[D4]: D4\n");
    console_printf("\n");
    console_printf("[D5]: D5\n");
    console_printf("\n");
    console_printf("[P5]: P5\n");
    console_printf("\n");
    console_printf("[P7]: P7\n");
    console_printf("\n");
    console_printf("[P8]:  \n");
    console_printf("    P8 POWER A \n");
    console_printf("    P8 WWAN <R|G>(example:P8 WWAN G)\n");
    console_printf("\n");
    console_printf("[P9]: P9 \n");
    console_printf("    Reload system\n");
    console_printf("[K1]: K1 \n");
    console_printf("    Hide Console Debug information\n");
    console_printf("\n");
    return kQvtOk;
}

void nvram_failed(int rc) {
    console_printf("nvram_commit fail ,ret = %d \n", rc);
}

// nvram_set and nvram_commit; on a failure its line is printed. 0, or the failing result.
int store(const char *key, const char *value) {
    int rc = nvram_set(key, value);
    if (rc == 0) rc = nvram_commit();
    if (rc != 0) nvram_failed(rc);
    return rc;
}

const char *text_or(const char *key, const char *fallback) {
    const char *v = nvram_get(key);
    return v ? v : fallback;
}

bool starts(const char *word, const char *with, size_t n) {
    return strncmp(word, with, n) == 0;
}

int cmd_si(Args &) {
    banner("Display trace data  \n");
    show_track_data();
    console_printf("\n");
    return kNext;
}

int cmd_flag(const char *value) {
    return store("qvt_flag", value) == 0 ? kNext : kQvtFatal;
}

struct D3Item {
    const char *word;
    size_t prefix;
    size_t length;
    const char *key;
    const char *ok;
    const char *wrong;
};

constexpr D3Item kD3Items[] = {
    {"WlanMac", 7, 17, "il0macaddr", "Set the wlan mac ok\n", "Set the Wlan mac error\n"},
    {"EthMac", 6, 17, "et0macaddr", "Set the Ethernet mac ok\n", "Set the Ethernet mac error\n"},
    {"Sn", 2, 12, "SN", "Set the Serial number ok\n", "Set the Serial number error\n"},
};

int cmd_d3(Args &a) {
    banner("Set the MAC&SN value\n");
    const char *item_word = a.take();
    if (!item_word) return usage();
    for (const D3Item &item : kD3Items) {
        if (!starts(item_word, item.word, item.prefix)) continue;
        const char *value = a.take();
        if (!value) return usage();
        if (strlen(value) != item.length) {
            console_printf("%s", item.wrong);
            return usage();
        }
        if (store(item.key, value) != 0) return kQvtFatal;
        // The backup store's outcome is reported on standard error; the command goes on.
        (void)backup_set(item.key, value);
        console_printf("%s", item.ok);
        console_printf("\n");
        return kNext;
    }
    return usage();
}

int cmd_d4(Args &) {
    banner("Get the MAC&SN value\n");
    console_printf("The Mac of Ethernet:     %s\n", nvram_safe_get("et0macaddr"));
    console_printf("The Mac of Wlan:         %s\n", nvram_safe_get("il0macaddr"));
    console_printf("The Serial number:       %s\n", nvram_safe_get("SN"));
    return kNext;
}

int cmd_d5(Args &) {
    banner("Ethernet Test       \n");
    return test_EtherNet() == kQvtOk ? kNext : kQvtFatal;
}

struct SjItem {
    char letter;
    size_t min_len, max_len;
    const char *key;
    const char *ok;
};

// Sj B: from the 6 characters of the length check up to the 17 of the usage text's form.
constexpr SjItem kSjItems[] = {
    {'T', 5, 5, "Time", "Set the Time ok\n"},
    {'D', 10, 10, "Date", "Set the Date ok\n"},
    {'P', 6, 6, "product_model", "Set the PCB info ok\n"},
    {'B', 6, 17, "hostname", "Set the PCBA info ok\n"},
    {'U', 6, 6, "Unitinfo", "Set the Unit info ok\n"},
    {'I', 12, 12, "Testinfo", "Set the test info ok\n"},
    {'M', 15, 15, "Manufacturing", "Set the Manufacturing ok\n"},
};

int cmd_sj(Args &a) {
    const char *letter = a.take();
    if (!letter) return usage();
    const char *value = a.take();
    if (!value) return usage();
    if (letter[0] == 'F') return value[0] == '1' ? BurninTest() : usage();
    for (const SjItem &item : kSjItems) {
        if (letter[0] != item.letter) continue;
        size_t n = strlen(value);
        if (n < item.min_len || n > item.max_len) return usage();
        int rc = nvram_set(item.key, value);
        if (rc != 0) {
            nvram_failed(rc);
            return kQvtFatal;
        }
        if (item.letter == 'T') console_printf("%s", item.ok);  // before the commit
        rc = nvram_commit();
        if (rc != 0) {
            nvram_failed(rc);
            return kQvtFatal;
        }
        if (item.letter != 'T') console_printf("%s", item.ok);
        return kNext;
    }
    return usage();
}

int cmd_p5(Args &) {
    test_PCMCIA();
    return kNext;
}

int cmd_p7(Args &) {
    reload_key_test();
    return kNext;
}

int cmd_p8(Args &a) {
    const char *what = a.take();
    if (!what) return usage();
    const char *colour = a.take();
    if (!colour) return usage();
    if (starts(what, "POWER", 5) && colour[0] == 'A') {
        set_leds(0);
    } else if (starts(what, "WWAN", 4) && colour[0] == 'R') {
        set_leds(3);
    } else if (starts(what, "WWAN", 4) && colour[0] == 'G') {
        set_leds(2);
    } else {
        return usage();
    }
    return kNext;
}

int cmd_p9(Args &) {
    if (store("restore_defaults", "1") != 0) return kQvtFatal;
    console_printf("Reload system ok . \n");
    return kNext;
}

int cmd_k1(Args &) {
    if (store("console", "ttyS1") != 0) return kQvtFatal;
    (void)backup_set("console", "ttyS1");  // reported on standard error
    console_printf("hide console debug information ok . \n");
    return kNext;
}

struct Command {
    const char *word;  // nullptr: the model's flag commands
    int (*run)(Args &);
};

// In the order in which a word is tested.
constexpr Command kCommands[] = {
    {"D3", cmd_d3}, {"D4", cmd_d4}, {"D5", cmd_d5}, {"Sj", cmd_sj}, {"P5", cmd_p5},
    {"P7", cmd_p7}, {"P8", cmd_p8}, {"P9", cmd_p9}, {"K1", cmd_k1},
};

// One word and its parameters.
int run_word(Args &a) {
    const char *word = a.take();
    if (starts(word, "Si", 2)) return cmd_si(a);
    char flag[kQvtModelLen + 8];
    snprintf(flag, sizeof flag, "%sQVTOn", model_name);
    if (starts(word, flag, 11)) return cmd_flag("1");
    snprintf(flag, sizeof flag, "%sQVTOff", model_name);
    if (starts(word, flag, 12)) return cmd_flag("0");
    for (const Command &c : kCommands)
        if (starts(word, c.word, 2)) return c.run(a);
    return usage();
}

struct Model {
    char id;
    const char *name;
};

constexpr Model kModels[] = {
    {'A', "ZK2100"}, {'B', "ZK2200"}, {'D', "ZK2300"}, {'E', "ZK2400"}, {'F', "ZK2500"},
};

}  // namespace

volatile sig_atomic_t qvt_stop_requested;

unsigned long qvt_second_ms(void) {
    const char *env = getenv("QVT_SECOND_MS");
    if (!router_root() || !env || !*env) return 1000;
    char *end;
    unsigned long ms = strtoul(env, &end, 10);
    if (*end || ms > 60000) return 1000;
    return ms;
}

void show_track_data(void) {
    console_printf("Serial number:     %s\n", nvram_safe_get("SN"));
    console_printf("Time:              %s\n", text_or("Time", nvram_safe_get("os_time")));
    console_printf("Date:              %s\n", text_or("Date", nvram_safe_get("os_date")));
    console_printf("PCBinfo:           %s\n", nvram_safe_get("product_model"));
    console_printf("PCBAinfo:          %s\n", nvram_safe_get("hostname"));
    console_printf("Unitinfo:          %s%s\n", model_name, text_or("Unitinfo", "-MVT"));
    console_printf("Testinfo:          %s\n", text_or("Testinfo", "123456789012"));
    console_printf("Manufacturing:     %s%s\n", model_name, text_or("Manufacturing", "-QVT-V1.0"));
}

int qvt_main(int argc, char **argv) {
    const char *sn = nvram_safe_get("SN");
    if (!*sn) {
        console_printf("bad product name found . \n");
        return kQvtNoModel;
    }
    model_name[0] = '\0';
    for (const Model &m : kModels)
        if (sn[1] == m.id) snprintf(model_name, sizeof model_name, "%s", m.name);
    if (!model_name[0]) {
        console_printf("unknwon product ID(%c) \n", sn[1]);
        return kQvtNoModel;
    }
    if (argc < 2) return usage();
    Args a{argc, argv, 1};
    while (a.next < a.argc) {
        int r = run_word(a);
        if (r != kNext) return r;
    }
    return kQvtOk;
}
