// diagctl: nv, nam, item, spc, lock and prl.
#include <cstring>

#include "modemd/diag/diag_guard.h"
#include "modemd/diag/diag_nv.h"
#include "modemd/diag/nam_items.h"
#include "modemd/diag/nv_items.h"
#include "tools/diagctl_commands.h"

namespace {

constexpr int kNvRefused = 26;

// "nam get pref-mode" -> JSON key "pref_mode".
void key_of(const char *name, char *key, size_t cap) {
    snprintf(key, cap, "%s", name);
    for (char *p = key; *p; ++p)
        if (*p == '-') *p = '_';
}

// A failed operation: the card's nv_status is added for a refused item.
int failed(DiagctlOut &out, const char *what, int status, uint16_t nv_status) {
    if (status == kNvRefused) return out.fail(what, status, "nv_status", nv_status);
    return out.fail(what, status);
}

int nv_read(DiagctlCtx &ctx, unsigned long item, bool nam_given, int nam) {
    if (ctx.dry) return 0;
    diag_nv_record r{};
    r.item = static_cast<uint16_t>(item);
    if (nam_given) r.item_data[0] = static_cast<uint8_t>(nam);
    int status = Diag_NV_Read(&r);
    if (status == 0 && r.nv_status != 0) status = kNvRefused;
    if (status) return failed(*ctx.out, "nv read", status, r.nv_status);
    ctx.out->num("item", r.item);
    ctx.out->num("nv_status", r.nv_status);
    ctx.out->hex("data", r.item_data, sizeof r.item_data);
    ctx.out->finish();
    return 0;
}

int nv_write(DiagctlCtx &ctx, unsigned long item, const char *hex) {
    diag_nv_record r{};
    size_t len = 0;
    if (!diagctl_hex(hex, r.item_data, sizeof r.item_data, &len))
        return diagctl_usage("nv write: HEX of at most 128 bytes", hex);
    if (ctx.dry) return 0;
    r.item = static_cast<uint16_t>(item);
    int status = Diag_NV_Write(&r);
    if (status == 0 && r.nv_status != 0) status = kNvRefused;
    if (status) return failed(*ctx.out, "nv write", status, r.nv_status);
    ctx.out->num("item", r.item);
    ctx.out->num("nv_status", r.nv_status);
    ctx.out->finish();
    return 0;
}

const char *const kNamGetFields[] = {
    "mdn", "min", "sid-nid",  "pref-mode", "roam-pref", "system-pref", "accolc",
    "mcc", "mnc", "channels", "hsid-flag", "fsid-flag", "activated"};

bool one_of(const char *word, const char *const *list, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (std::strcmp(word, list[i]) == 0) return true;
    return false;
}

int nam_get(DiagctlCtx &ctx, const char *field, int nam) {
    if (!one_of(field, kNamGetFields, sizeof kNamGetFields / sizeof *kNamGetFields))
        return diagctl_usage("nam get: unknown field", field);
    if (ctx.dry) return 0;
    DiagctlOut &out = *ctx.out;
    char key[32], what[48];
    key_of(field, key, sizeof key);
    snprintf(what, sizeof what, "nam get %s", field);
    uint16_t err = 0, u16 = 0;
    uint8_t u8 = 0;
    char text[32] = {};
    int status;
    if (!std::strcmp(field, "mdn")) {
        status = nam_directory_number_read(nam, text, sizeof text, &err);
        if (!status) {
            out.num("nam", static_cast<unsigned long>(nam));
            out.text(key, text, sizeof text);
        }
    } else if (!std::strcmp(field, "min")) {
        status = nam_min1_min2_read(nam, text, sizeof text, &err);
        if (!status) {
            out.num("nam", static_cast<unsigned long>(nam));
            out.text(key, text, sizeof text);
        }
    } else if (!std::strcmp(field, "accolc") || !std::strcmp(field, "mcc") ||
               !std::strcmp(field, "mnc")) {
        status = !std::strcmp(field, "accolc") ? nam_accolc_read(nam, text, sizeof text, &err)
                 : !std::strcmp(field, "mcc")  ? nam_mcc_read(nam, text, sizeof text, &err)
                                               : nam_11_12_read(nam, text, sizeof text, &err);
        if (!status) {
            out.num("nam", static_cast<unsigned long>(nam));
            out.text(key, text, sizeof text);
        }
    } else if (!std::strcmp(field, "sid-nid")) {
        uint16_t sids[kNamSidNidPairs], nids[kNamSidNidPairs];
        status = nam_home_sid_nid_read(nam, sids, kNamSidNidPairs, nids, kNamSidNidPairs, &err);
        if (!status) {
            out.num("nam", static_cast<unsigned long>(nam));
            char json[kNamSidNidPairs * 32 + 4], plain[kNamSidNidPairs * 13 + 4];
            size_t j = 0, p = 0;
            j += static_cast<size_t>(snprintf(json + j, sizeof json - j, "["));
            for (int i = 0; i < kNamSidNidPairs; ++i) {
                j += static_cast<size_t>(snprintf(json + j, sizeof json - j,
                                                  "%s{\"sid\": %u, \"nid\": %u}", i ? ", " : "",
                                                  sids[i], nids[i]));
                p += static_cast<size_t>(snprintf(plain + p, sizeof plain - p, "%s%u/%u",
                                                  i ? " " : "", sids[i], nids[i]));
            }
            snprintf(json + j, sizeof json - j, "]");
            out.raw(key, json, plain);
        }
    } else if (!std::strcmp(field, "channels")) {
        uint16_t pa = 0, pb = 0, sa = 0, sb = 0;
        status = nam_pcdmach_read(nam, &pa, &pb, &err);
        if (!status) status = nam_scdmach_read(nam, &sa, &sb, &err);
        if (!status) {
            char json[128], plain[64];
            snprintf(json, sizeof json,
                     "{\"primary_a\": %u, \"primary_b\": %u, \"secondary_a\": %u, "
                     "\"secondary_b\": %u}",
                     pa, pb, sa, sb);
            snprintf(plain, sizeof plain, "%u %u %u %u", pa, pb, sa, sb);
            out.num("nam", static_cast<unsigned long>(nam));
            out.raw(key, json, plain);
        }
    } else if (!std::strcmp(field, "activated")) {
        status = IsDeviceActivated(nam, &u8);
        if (!status) {
            out.num("nam", static_cast<unsigned long>(nam));
            out.boolean(key, u8 != 0);
        }
    } else if (!std::strcmp(field, "hsid-flag") || !std::strcmp(field, "fsid-flag")) {
        status =
            field[0] == 'h' ? nam_hsid_flag_get(nam, &u8, &err) : nam_fsid_flag_get(nam, &u8, &err);
        if (!status) {
            out.num("nam", static_cast<unsigned long>(nam));
            out.num(key, u8);
        }
    } else {
        status = !std::strcmp(field, "pref-mode")   ? nam_pref_mode_get(nam, &u16, &err)
                 : !std::strcmp(field, "roam-pref") ? nam_roam_pref_get(nam, &u16, &err)
                                                    : nam_system_pref_get(nam, &u16, &err);
        if (!status) {
            out.num("nam", static_cast<unsigned long>(nam));
            out.num(key, u16);
        }
    }
    if (status) return failed(out, what, status, err);
    out.finish();
    return 0;
}

int nam_set(DiagctlCtx &ctx, const char *field, const char *value, int nam) {
    unsigned long number = 0;
    bool mdn = !std::strcmp(field, "mdn"), min = !std::strcmp(field, "min");
    size_t len = strlen(value);
    if (mdn) {
        if (len == 0 || len > kNamMdnDigits || strspn(value, "0123456789") != len)
            return diagctl_usage("nam set mdn: up to ten digits", value);
    } else if (min) {
        if (!diagctl_digits(value, kNamMinDigits))
            return diagctl_usage("nam set min: ten digits", value);
    } else if (!std::strcmp(field, "pref-mode") || !std::strcmp(field, "roam-pref")) {
        if (!diagctl_number(value, 0xFFFF, &number))
            return diagctl_usage("nam set: a number 0-65535", value);
    } else {
        return diagctl_usage("nam set: unknown field", field);
    }
    if (ctx.dry) return 0;
    uint16_t err = 0;
    int status = mdn   ? nam_directory_number_write(nam, value, len, &err)
                 : min ? nam_min1_min2_write(nam, value, len, &err)
                 : !std::strcmp(field, "pref-mode")
                     ? nam_pref_mode_set(nam, static_cast<uint16_t>(number), &err)
                     : nam_roam_pref_set(nam, static_cast<uint16_t>(number), &err);
    char what[48], key[32];
    snprintf(what, sizeof what, "nam set %s", field);
    if (status) return failed(*ctx.out, what, status, err);
    key_of(field, key, sizeof key);
    ctx.out->num("nam", static_cast<unsigned long>(nam));
    if (mdn || min)
        ctx.out->text(key, value, len);
    else
        ctx.out->num(key, number);
    ctx.out->finish();
    return 0;
}

// Items of `item get` / `item set`.
enum ItemKind { kByte, kWord32, kText };
struct ItemDef {
    const char *name;
    ItemKind kind;
    int (*get_u8)(uint8_t *, uint16_t *);
    int (*get_u32)(uint32_t *, uint16_t *);
    int (*get_text)(char *, size_t, uint16_t *);
    int (*set_u8)(uint8_t, uint16_t *);
};
int locked_get(uint8_t *out, uint16_t *err) {
    return IsDeviceLocked(out, err);
}
const ItemDef kItems[] = {
    {"locked", kByte, locked_get, nullptr, nullptr, nullptr},
    {"lock-code", kText, nullptr, nullptr, lock_code_get, nullptr},
    {"dns1", kWord32, nullptr, primary_dns_get, nullptr, nullptr},
    {"dns2", kWord32, nullptr, secondary_dns_get, nullptr, nullptr},
    {"dial-string", kText, nullptr, nullptr, pkt_orig_string_read, nullptr},
    {"mdr-mode", kByte, get_mdr_mode, nullptr, nullptr, nullptr},
    {"scrm", kByte, get_scrm_enabling_flag, nullptr, nullptr, nullptr},
    {"mip-pref", kByte, GetMIPPref, nullptr, nullptr, SetMIPPref},
    {"mip-rrq-time", kByte, read_mip_pre_re_rrq_time, nullptr, nullptr, nullptr},
    {"mip-active-profile", kByte, nullptr, nullptr, nullptr, mip_active_prof_write},
    {"fid", kText, nullptr, nullptr, ReadFID, nullptr},
    {"autoinstall", kByte, diag_autoinstall_enable_get, nullptr, nullptr,
     diag_autoinstall_enable_set},
    {"mass-storage", kByte, diag_mass_storage_enable_flag_get, nullptr, nullptr,
     diag_mass_storage_enable_flag_set},
    {"autoinstall-timeout", kByte, diag_autoinstall_disable_timeout_get, nullptr, nullptr,
     diag_autoinstall_disable_timeout_set},
};

const ItemDef *find_item(const char *name) {
    for (const ItemDef &d : kItems)
        if (!std::strcmp(d.name, name)) return &d;
    return nullptr;
}

// The byte-block items: the MIP user profile (97 bytes, by index) and the HDR AMP address.
int block_get(DiagctlCtx &ctx, const char *name, int argc, char **argv) {
    bool profile = !std::strcmp(name, "mip-profile");
    unsigned long index = 0;
    if (argc > 4 || (argc == 4 && (!profile || !diagctl_number(argv[3], 5, &index))))
        return diagctl_usage("item get: mip-profile [INDEX 0-5], or one name");
    if (ctx.dry) return 0;
    uint8_t data[kMipUserProfileSize] = {static_cast<uint8_t>(index)};
    uint16_t err = 0;
    int status = profile ? mip_gen_user_prof_read(data, &err) : get_hdramp_address_data(data, &err);
    char what[48], key[32];
    snprintf(what, sizeof what, "item get %s", name);
    if (status) return failed(*ctx.out, what, status, err);
    key_of(name, key, sizeof key);
    ctx.out->hex(key, data, profile ? kMipUserProfileSize : kHdrAmpAddressSize);
    ctx.out->finish();
    return 0;
}

// Writes of the byte-block items: the MIP user profile (97 bytes: index 0-5, NAI length at
// most 72) and its shared secrets (35 bytes: index 0-5, the two secret lengths at most 16).
int block_set(DiagctlCtx &ctx, const char *name, const char *hex) {
    bool profile = !std::strcmp(name, "mip-profile");
    uint8_t data[kMipUserProfileSize] = {};
    size_t cap = profile ? kMipUserProfileSize : kMipSharedSecretSize, len = 0;
    if (!diagctl_hex(hex, data, cap, &len))
        return diagctl_usage(profile ? "item set mip-profile: HEX of at most 97 bytes"
                                     : "item set mip-secrets: HEX of at most 35 bytes");
    bool fits =
        profile ? data[0] <= 5 && data[1] <= 72 : data[0] <= 5 && data[1] <= 16 && data[18] <= 16;
    if (!fits) return diagctl_usage("item set: profile index above 5 or a length too long", hex);
    if (ctx.dry) return 0;
    uint16_t err = 0;
    int status = profile ? mip_gen_user_prof_write(data, &err) : mip_ss_user_prof_write(data, &err);
    char what[48], key[32];
    snprintf(what, sizeof what, "item set %s", name);
    if (status) return failed(*ctx.out, what, status, err);
    key_of(name, key, sizeof key);
    ctx.out->hex(key, data, cap);
    ctx.out->finish();
    return 0;
}

}  // namespace

int diagctl_nv(DiagctlCtx &ctx, int argc, char **argv) {
    int nam = 0;
    bool given = false;
    if (!diagctl_take_nam(&argc, argv, &nam, &given)) return diagctl_usage("-n: NAM 0 or 1");
    unsigned long item = 0;
    if (argc >= 3 && !diagctl_number(argv[2], 0xFFFF, &item))
        return diagctl_usage("nv: ITEM 0-65535", argv[2]);
    if (argc == 3 && !std::strcmp(argv[1], "read")) return nv_read(ctx, item, given, nam);
    if (argc == 4 && !std::strcmp(argv[1], "write") && !given) return nv_write(ctx, item, argv[3]);
    return diagctl_usage("nv read ITEM [-n NAM] | nv write ITEM HEX");
}

int diagctl_nam(DiagctlCtx &ctx, int argc, char **argv) {
    int nam = 0;
    if (!diagctl_take_nam(&argc, argv, &nam)) return diagctl_usage("-n: NAM 0 or 1");
    if (argc == 3 && !std::strcmp(argv[1], "get")) return nam_get(ctx, argv[2], nam);
    if (argc == 4 && !std::strcmp(argv[1], "set")) return nam_set(ctx, argv[2], argv[3], nam);
    return diagctl_usage("nam get FIELD [-n NAM] | nam set FIELD VALUE [-n NAM]");
}

int diagctl_item(DiagctlCtx &ctx, int argc, char **argv) {
    if (argc < 3) return diagctl_usage("item get NAME | item set NAME VALUE");
    bool get = !std::strcmp(argv[1], "get");
    if (get && (!std::strcmp(argv[2], "mip-profile") || !std::strcmp(argv[2], "hdramp")))
        return block_get(ctx, argv[2], argc, argv);
    if (!get && argc == 4 && !std::strcmp(argv[1], "set") &&
        (!std::strcmp(argv[2], "mip-profile") || !std::strcmp(argv[2], "mip-secrets")))
        return block_set(ctx, argv[2], argv[3]);
    const ItemDef *d = find_item(argv[2]);
    if (!d) return diagctl_usage("item: unknown name", argv[2]);
    unsigned long value = 0;
    if (get) {
        if (argc != 3 || (!d->get_u8 && !d->get_u32 && !d->get_text))
            return diagctl_usage("item get: no such readable item", argv[2]);
    } else if (!std::strcmp(argv[1], "set")) {
        if (argc != 4 || !d->set_u8)
            return diagctl_usage("item set: no such writable item", argv[2]);
        if (!diagctl_number(argv[3], 255, &value)) return diagctl_usage("item set: 0-255", argv[3]);
    } else {
        return diagctl_usage("item get NAME | item set NAME VALUE");
    }
    if (ctx.dry) return 0;
    DiagctlOut &out = *ctx.out;
    char what[48], key[32];
    snprintf(what, sizeof what, "item %s %s", argv[1], d->name);
    key_of(d->name, key, sizeof key);
    uint16_t err = 0;
    int status;
    if (!get) {
        status = d->set_u8(static_cast<uint8_t>(value), &err);
        if (!status) out.num(key, value);
    } else if (d->kind == kText) {
        char text[kDiagNvDataSize + 1] = {};
        status = d->get_text(text, sizeof text, &err);
        if (!status) out.text(key, text, sizeof text);
    } else if (d->kind == kWord32) {
        uint32_t v = 0;
        status = d->get_u32(&v, &err);
        if (!status) out.num(key, v);
    } else {
        uint8_t v = 0;
        status = d->get_u8(&v, &err);
        if (!status) out.num(key, v);
    }
    if (status) return failed(out, what, status, err);
    out.finish();
    return 0;
}

int diagctl_spc(DiagctlCtx &ctx, int argc, char **argv) {
    if (argc != 2 || !diagctl_digits(argv[1], 6)) return diagctl_usage("spc: CODE of six digits");
    if (ctx.dry) return 0;
    uint8_t ok = 0;
    int status = Diag_SPC(argv[1], &ok);
    if (status) return ctx.out->fail("spc", status);
    ctx.out->boolean("accepted", ok != 0);
    ctx.out->finish();
    return ok ? 0 : ctx.out->fail("spc", 0);
}

int diagctl_lock(DiagctlCtx &ctx, int argc, char **argv) {
    bool set = argc == 4 && !std::strcmp(argv[1], "set");
    bool change = argc == 3 && !std::strcmp(argv[1], "change");
    if (!set && !change) return diagctl_usage("lock set on|off CODE | lock change CODE");
    bool on = set && !std::strcmp(argv[2], "on");
    if (set && !on && std::strcmp(argv[2], "off") != 0)
        return diagctl_usage("lock set: on or off", argv[2]);
    const char *code = argv[argc - 1];
    if (strlen(code) != kLockCodeSize) return diagctl_usage("lock: CODE of four characters", code);
    if (ctx.dry) return 0;
    if (set) {
        uint8_t result = 0;
        int status = lock_flag_set(on ? 1 : 0, code, kLockCodeSize, &result);
        if (status) return ctx.out->fail("lock set", status);
        ctx.out->num("result", result);
    } else {
        uint8_t ok = 0;
        int status = change_lock_code(code, kLockCodeSize, &ok);
        if (status) return ctx.out->fail("lock change", status);
        ctx.out->boolean("ok", ok != 0);
    }
    ctx.out->finish();
    return 0;
}

int diagctl_prl(DiagctlCtx &ctx, int argc, char **argv) {
    static uint8_t prl[kPrlMaxSize + 1];
    int nam = 0;
    if (!diagctl_take_nam(&argc, argv, &nam)) return diagctl_usage("-n: NAM 0 or 1");
    if (argc != 3 || std::strcmp(argv[1], "write") != 0)
        return diagctl_usage("prl write FILE [-n NAM]");
    FILE *f = fopen(argv[2], "rb");
    if (!f) return diagctl_usage("prl write: cannot read", argv[2]);
    size_t len = fread(prl, 1, sizeof prl, f);
    bool bad = ferror(f) != 0;
    fclose(f);
    if (bad) return diagctl_usage("prl write: cannot read", argv[2]);
    if (len > kPrlMaxSize) return diagctl_usage("prl write: more than 30720 bytes", argv[2]);
    if (ctx.dry) return 0;
    size_t chunks = 0;
    int status = Prl_Write(nam, prl, len, &chunks);
    if (status) return ctx.out->fail("prl write", status);
    ctx.out->num("chunks", chunks);
    ctx.out->num("bytes", len);
    ctx.out->finish();
    return 0;
}
