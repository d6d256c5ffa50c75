#include "tools/diagctl_commands.h"

#include <cstring>

namespace {

int help(DiagctlCtx &ctx, int argc, char **) {
    if (argc != 1) return diagctl_usage("help takes no arguments");
    if (!ctx.dry) diagctl_help(stdout);
    return 0;
}

const DiagctlCommand kCommands[] = {
    {"show", diagctl_show, true},
    {"network", diagctl_network, true},
    {"mode", diagctl_mode, true},
    {"nv", diagctl_nv, true},
    {"nam", diagctl_nam, true},
    {"item", diagctl_item, true},
    {"spc", diagctl_spc, true},
    {"lock", diagctl_lock, true},
    {"prl", diagctl_prl, true},
    {"sms", diagctl_sms, true},
    {"tl", diagctl_tl, false},
    {"activation", diagctl_activation, true},
    {"events", diagctl_events, true},
    {"log", diagctl_log, true},
    {"fieldtest", diagctl_fieldtest, true},
    {"help", help, false},
};

}  // namespace

const DiagctlCommand *diagctl_find(const char *name) {
    for (const DiagctlCommand &c : kCommands)
        if (std::strcmp(c.name, name) == 0) return &c;
    return nullptr;
}

void diagctl_help(FILE *f) {
    fputs(
        "usage: diagctl [-p PORT] [-j] [-d] COMMAND [ARG...]\n"
        "  -p PORT  the card's diagnostic port (default DIAGCTL_PORT, else /dev/usb/tts/2)\n"
        "  -j       one JSON object a line on standard output\n"
        "  -d       requests and answers hex-dumped on standard error\n"
        "Numbers are decimal or 0x hex; -n NAM is 0 (default) or 1.\n"
        "commands:\n"
        "  show version | devinfo | build-id | rssi | eri | prl-version\n"
        "  show status | status-snapshot | snapshot | cm-state | hdr-state | ta-graph | fer |\n"
        "       network-time\n"
        "  network                      service and signal summary\n"
        "  mode offline | reset\n"
        "  nv read ITEM [-n NAM]        data byte 0 = NAM when -n is given\n"
        "  nv write ITEM HEX            at most 128 bytes, zero-padded\n"
        "  nam get FIELD [-n NAM]       mdn min sid-nid pref-mode roam-pref system-pref accolc\n"
        "                               mcc mnc channels hsid-flag fsid-flag activated\n"
        "  nam set FIELD VALUE [-n NAM] mdn min (ten digits) pref-mode roam-pref\n"
        "  item get NAME                locked lock-code dns1 dns2 dial-string mdr-mode scrm\n"
        "                               mip-pref mip-rrq-time mip-profile [INDEX] hdramp fid\n"
        "                               autoinstall mass-storage autoinstall-timeout\n"
        "  item set NAME VALUE          mip-pref mip-active-profile autoinstall mass-storage\n"
        "                               autoinstall-timeout; mip-profile HEX (97 bytes),\n"
        "                               mip-secrets HEX (35 bytes)\n"
        "  spc CODE                     six digits\n"
        "  lock set on|off CODE         lock change CODE   (four characters)\n"
        "  prl write FILE [-n NAM]\n"
        "  sms list | read INDEX | tag INDEX read|unread | delete INDEX|all\n"
        "  sms write NUMBER BEARERHEX [--reply]\n"
        "  tl encode [--type 0] [--teleservice N] [--category N] --to|--from NUMBER\n"
        "            [--ascii --number-type N --number-plan N] [--subaddress HEX\n"
        "            [--subaddress-type N] [--odd]] [--reply] [--bearer HEX]   (no port)\n"
        "  tl decode HEX                (no port)\n"
        "  activation start [DIAL] [-t SECONDS] | iota OP | oma OP | oma-config | ctl\n"
        "  events [-t SECONDS]          event reports until SECONDS or Ctrl-C\n"
        "  log on|off CODE|all\n"
        "  fieldtest [-c COUNT]         COUNT field-test tables (default 1)\n"
        "  help\n"
        "exit status: 0 done, 1 failed or refused, 2 usage, 3 the engine did not start\n",
        f);
}

int diagctl_usage(const char *why, const char *what) {
    fprintf(stderr, "diagctl: %s%s%s (see diagctl help)\n", why, *what ? ": " : "", what);
    return 2;
}

bool diagctl_take_nam(int *argc, char **argv, int *nam, bool *given) {
    *nam = 0;
    if (given) *given = false;
    for (int i = 1; i < *argc; ++i) {
        if (std::strcmp(argv[i], "-n") != 0) continue;
        if (i + 1 >= *argc) return false;
        const char *v = argv[i + 1];
        if ((v[0] != '0' && v[0] != '1') || v[1]) return false;
        *nam = v[0] - '0';
        if (given) *given = true;
        for (int j = i; j + 2 < *argc; ++j)
            argv[j] = argv[j + 2];
        *argc -= 2;
        return true;
    }
    return true;
}
