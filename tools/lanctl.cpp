// lanctl: the PC-side client of the router's LAN services.
//   lanctl [-p PORT] [-P PORT] [-t SECONDS] find [ADDRESS]
//   lanctl [...] set ADDRESS [lan=IP] [netmask=MASK] [community=TEXT] [interval=SECONDS]
//   lanctl [...] wan ADDRESS up|down|state
// find asks ADDRESS (default the broadcast address 255.255.255.255) and prints each router
// that answers; set goes to one router's unicast address and makes it reboot; wan drives the
// cellular link. Exit status: 0 done; 1 the router did not do it; 2 no answer in time;
// 3 malformed answers only; 4 usage, or refused here before anything was sent.
#include <arpa/inet.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/lan_client.h"

namespace {

int usage() {
    fprintf(stderr,
            "usage: lanctl [-p DISCOVERY_PORT] [-P DESKMGR_PORT] [-t SECONDS] COMMAND ...\n"
            "  find [ADDRESS]       routers at ADDRESS (default 255.255.255.255)\n"
            "  set ADDRESS [lan=IP] [netmask=MASK] [community=TEXT] [interval=SECONDS]\n"
            "                       set one router's figures (it reboots to apply them)\n"
            "  wan ADDRESS up|down|state\n"
            "exit status: 0 done, 1 not done by the router, 2 no answer, 3 malformed answer,\n"
            "             4 usage or refused before sending\n");
    return kLanUsage;
}

bool parse_number(const char *text, unsigned long max, unsigned long *out) {
    char *end = nullptr;
    if (!*text || *text == '-') return false;
    unsigned long v = strtoul(text, &end, 10);
    if (*end || v > max) return false;
    *out = v;
    return true;
}

bool parse_addr(const char *text, uint32_t *out) {
    in_addr a{};
    if (inet_pton(AF_INET, text, &a) != 1) return false;
    *out = a.s_addr;
    return true;
}

bool parse_set_args(int argc, char **argv, LanSet *set) {
    for (int i = 0; i < argc; ++i) {
        const char *arg = argv[i];
        const char *eq = strchr(arg, '=');
        if (!eq) return false;
        std::string name(arg, eq);
        const char *value = eq + 1;
        unsigned long n;
        if (name == "lan" && parse_addr(value, &set->lan)) {
            set->has_lan = true;
        } else if (name == "netmask" && parse_addr(value, &set->netmask)) {
            set->has_netmask = true;
        } else if (name == "community" && strlen(value) <= 32) {
            set->has_community = true;
            set->community = value;
        } else if (name == "interval" && parse_number(value, 0x7FFFFFFF, &n)) {
            set->has_interval = true;
            set->interval = static_cast<uint32_t>(n);
        } else {
            fprintf(stderr, "lanctl: bad setting \"%s\"\n", arg);
            return false;
        }
    }
    return set->has_lan || set->has_netmask || set->has_community || set->has_interval;
}

sockaddr_in address(uint32_t addr, unsigned long port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = addr;
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
}

}  // namespace

int main(int argc, char **argv) {
    unsigned long disc_port = 2719, desk_port = 5000, seconds = 0;
    int opt;
    while ((opt = getopt(argc, argv, "+p:P:t:")) != -1) {
        switch (opt) {
            case 'p':
                if (!parse_number(optarg, 65535, &disc_port) || disc_port == 0) return usage();
                break;
            case 'P':
                if (!parse_number(optarg, 65535, &desk_port) || desk_port == 0) return usage();
                break;
            case 't':
                if (!parse_number(optarg, 3600, &seconds) || seconds == 0) return usage();
                break;
            default:
                return usage();
        }
    }
    if (optind >= argc) return usage();
    std::string cmd = argv[optind++];
    int left = argc - optind;
    char **args = argv + optind;
    uint32_t addr;

    if (cmd == "find") {
        if (left > 1) return usage();
        if (!parse_addr(left == 1 ? args[0] : "255.255.255.255", &addr)) return usage();
        std::vector<RouterInfo> found;
        std::vector<std::string> notes;
        LanStatus st = lan_find(address(addr, disc_port),
                                static_cast<int>(seconds ? seconds : 3) * 1000, &found, &notes);
        for (const std::string &n : notes)
            fprintf(stderr, "lanctl: %s\n", n.c_str());
        for (const RouterInfo &r : found)
            printf("%s\n", lan_format_info(r).c_str());
        if (st == kLanNoAnswer) fprintf(stderr, "lanctl: no router answered\n");
        return st;
    }
    if (cmd == "set") {
        LanSet set;
        if (left < 2 || !parse_addr(args[0], &addr) || !parse_set_args(left - 1, args + 1, &set))
            return usage();
        if (!lan_is_broadcast(addr))
            fprintf(stderr,
                    "lanctl: warning: the router reboots to apply the set; it is unreachable "
                    "until it is back%s\n",
                    set.has_lan ? ", then at its new LAN address" : "");
        std::string why;
        LanStatus st = lan_set(address(addr, disc_port), set,
                               static_cast<int>(seconds ? seconds : 5) * 1000, &why);
        if (st == kLanOk)
            printf("set taken by %s; it is rebooting\n", args[0]);
        else
            fprintf(stderr, "lanctl: %s\n", why.c_str());
        return st;
    }
    if (cmd == "wan") {
        if (left != 2 || !parse_addr(args[0], &addr)) return usage();
        std::string what = args[1];
        uint16_t command = what == "up" ? 1 : what == "down" ? 2 : what == "state" ? 3 : 0;
        if (!command) return usage();
        uint32_t result = 0;
        std::string why;
        LanStatus st = lan_wan(address(addr, desk_port), command,
                               static_cast<int>(seconds ? seconds : 5) * 1000, &result, &why);
        if (st != kLanOk) {
            fprintf(stderr, "lanctl: %s\n", why.c_str());
            return st;
        }
        if (command == 3) {
            if (result != 1 && result != 2) {
                fprintf(stderr, "lanctl: unknown state %u\n", result);
                return kLanBadReply;
            }
            printf("WAN link %s\n", result == 1 ? "down" : "up (not down)");
            return kLanOk;
        }
        if (result != 0) {
            fprintf(stderr,
                    "lanctl: the router did not take it (result %u): its WAN link is disabled or "
                    "not in cellular mode\n",
                    result);
            return kLanRefused;
        }
        printf("WAN link %s requested\n", command == 1 ? "start" : "stop");
        return kLanOk;
    }
    return usage();
}
