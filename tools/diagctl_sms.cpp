// diagctl: sms (the card's message store) and tl (the transport-layer codec, no port).
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/wms_codec.h"
#include "modemd/diag/wms_diag.h"
#include "tools/diagctl_commands.h"

namespace {

constexpr size_t kJsonCap = 2048;
constexpr size_t kTlCap = kWmsMaxTlLength;

// Appends to a bounded text (the text stays NUL-terminated; what does not fit is cut).
void add(char *buf, size_t cap, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
void add(char *buf, size_t cap, const char *fmt, ...) {
    size_t used = strlen(buf);
    if (used + 1 >= cap) return;
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf + used, cap - used, fmt, ap);
    va_end(ap);
}

void add_hex(char *buf, size_t cap, const uint8_t *p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        add(buf, cap, "%02x", p[i]);
}

// The number's text by the digit mode's mapping, JSON-safe (8-bit digits outside printable
// ASCII, and quote and backslash, shown as '?').
void number_text(const wms_tl_message &m, char *out) {
    for (size_t i = 0; i < m.num_digits; ++i) {
        char c = wms_digit_char(m.digit_mode, m.data[i]);
        out[i] = (c < 0x20 || c > 0x7E || c == '"' || c == '\\') ? '?' : c;
    }
    out[m.num_digits] = '\0';
}

}  // namespace

// Prints the fields of a decoded message (keys of "tl decode") into `out`, or, with key set,
// as one nested value under key.
void diagctl_print_tl(DiagctlOut &out, const char *key, const wms_tl_message &m, size_t size) {
    char number[kWmsMaxDigits + 1];
    number_text(m, number);
    char addr[512] = "", addr_plain[512] = "", sub[256] = "null", sub_plain[256] = "-";
    add(addr, sizeof addr,
        "{\"digit_mode\": %d, \"number_mode\": %d, \"number_type\": %d, \"number_plan\": %d, "
        "\"digits\": [",
        m.digit_mode, m.number_mode, m.number_type, m.number_plan);
    for (size_t i = 0; i < m.num_digits; ++i)
        add(addr, sizeof addr, "%s%d", i ? ", " : "", m.data[i]);
    add(addr, sizeof addr, "], \"number\": \"%s\"}", number);
    add(addr_plain, sizeof addr_plain, "%s (digit mode %d, number mode %d, type %d, plan %d)",
        number, m.digit_mode, m.number_mode, m.number_type, m.number_plan);
    if (m.subaddress_len) {
        sub[0] = sub_plain[0] = '\0';
        add(sub, sizeof sub, "{\"type\": %d, \"odd\": %s, \"hex\": \"", m.subaddress_type,
            m.subaddress_odd ? "true" : "false");
        add_hex(sub, sizeof sub, m.data + m.num_digits, m.subaddress_len);
        add(sub, sizeof sub, "\"}");
        add_hex(sub_plain, sizeof sub_plain, m.data + m.num_digits, m.subaddress_len);
        add(sub_plain, sizeof sub_plain, " (type %d%s)", m.subaddress_type,
            m.subaddress_odd ? ", odd" : "");
    }
    char bearer[2 * kWmsMaxBearer + 1] = "";
    add_hex(bearer, sizeof bearer, m.data + m.num_digits + m.subaddress_len, m.bearer_len);
    char num[32];
    char json[kJsonCap] = "", plain[kJsonCap] = "";
    auto field = [&](const char *k, const char *j, const char *p) {
        if (key) {
            add(json, sizeof json, "%s\"%s\": %s", json[0] ? ", " : "{", k, j);
            add(plain, sizeof plain, "%s%s=%s", plain[0] ? " " : "", k, p);
        } else {
            out.raw(k, j, p);
        }
    };
    auto number_field = [&](const char *k, unsigned long v) {
        snprintf(num, sizeof num, "%lu", v);
        field(k, num, num);
    };
    number_field("type", m.message_type);
    number_field("teleservice", m.teleservice);
    if (m.category_present)
        number_field("category", m.category);
    else
        field("category", "null", "-");
    field("destination", m.destination ? "true" : "false", m.destination ? "true" : "false");
    field("address", addr, addr_plain);
    field("subaddress", sub, sub_plain);
    if (m.reply_requested)
        number_field("reply_seq", m.reply_seq);
    else
        field("reply_seq", "null", "-");
    char quoted[2 * kWmsMaxBearer + 3];
    snprintf(quoted, sizeof quoted, "\"%s\"", bearer);
    field("bearer", quoted, bearer[0] ? bearer : "-");
    number_field("size", size);
    if (m.message_type == 2) {
        char cause[128], cause_plain[128];
        snprintf(cause, sizeof cause,
                 "{\"reply_seq\": %d, \"error_class\": %d, \"cause_code\": %d}", m.cause_reply_seq,
                 m.error_class, m.cause_code);
        snprintf(cause_plain, sizeof cause_plain, "reply_seq %d, error_class %d, cause_code %d",
                 m.cause_reply_seq, m.error_class, m.cause_code);
        field("cause", cause, cause_plain);
    }
    if (key) {
        add(json, sizeof json, "}");
        out.raw(key, json, plain);
    }
}

// "tl encode" options from argv[from..argc) into *m. 0, or 2 after printing the usage error.
int diagctl_tl_options(int argc, char **argv, int from, wms_tl_message *m) {
    std::memset(m, 0, sizeof *m);
    m->teleservice = 4098;
    const char *number = nullptr;
    bool ascii = false;
    unsigned long type = 0, plan = 0, v;
    uint8_t subaddress[kWmsMaxSubaddress];
    size_t sub_len = 0;
    uint8_t bearer[kWmsMaxBearer];
    size_t bearer_len = 0;
    for (int i = from; i < argc; ++i) {
        const char *o = argv[i];
        const char *val = i + 1 < argc ? argv[i + 1] : nullptr;
        auto need = [&](unsigned long max, unsigned long *out) {
            if (!val || !diagctl_number(val, max, out)) return false;
            ++i;
            return true;
        };
        if (!std::strcmp(o, "--type")) {
            if (!need(255, &v)) return diagctl_usage("tl: --type N");
            if (v != 0) return diagctl_usage("tl: only point-to-point (--type 0) is encoded");
        } else if (!std::strcmp(o, "--teleservice")) {
            if (!need(65535, &v)) return diagctl_usage("tl: --teleservice 0-65535");
            m->teleservice = static_cast<uint16_t>(v);
        } else if (!std::strcmp(o, "--category")) {
            if (!need(65535, &v)) return diagctl_usage("tl: --category 0-65535");
            m->category_present = 1;
            m->category = static_cast<uint16_t>(v);
        } else if (!std::strcmp(o, "--to") || !std::strcmp(o, "--from")) {
            if (!val) return diagctl_usage("tl: a number after", o);
            number = val;
            m->destination = o[2] == 't';
            ++i;
        } else if (!std::strcmp(o, "--ascii")) {
            ascii = true;
        } else if (!std::strcmp(o, "--number-type")) {
            if (!need(7, &type)) return diagctl_usage("tl: --number-type 0-7");
        } else if (!std::strcmp(o, "--number-plan")) {
            if (!need(15, &plan)) return diagctl_usage("tl: --number-plan 0-15");
        } else if (!std::strcmp(o, "--subaddress")) {
            if (!val || !diagctl_hex(val, subaddress, sizeof subaddress, &sub_len) || !sub_len)
                return diagctl_usage("tl: --subaddress HEX of 1-32 bytes");
            ++i;
        } else if (!std::strcmp(o, "--subaddress-type")) {
            if (!need(7, &v)) return diagctl_usage("tl: --subaddress-type 0-7");
            m->subaddress_type = static_cast<uint8_t>(v);
        } else if (!std::strcmp(o, "--odd")) {
            m->subaddress_odd = 1;
        } else if (!std::strcmp(o, "--reply")) {
            m->reply_requested = 1;
        } else if (!std::strcmp(o, "--bearer")) {
            if (!val || !diagctl_hex(val, bearer, sizeof bearer, &bearer_len))
                return diagctl_usage("tl: --bearer HEX of at most 255 bytes");
            ++i;
        } else {
            return diagctl_usage("tl: unknown option", o);
        }
    }
    if (!number) return diagctl_usage("tl: --to NUMBER or --from NUMBER");
    size_t n = strlen(number);
    if (n == 0 || n > kWmsMaxDigits) return diagctl_usage("tl: 1-32 digits", number);
    if (ascii) {
        m->digit_mode = 1;
        m->number_mode = 0;
        m->number_type = static_cast<uint8_t>(type);
        m->number_plan = static_cast<uint8_t>(plan);
        for (size_t i = 0; i < n; ++i)
            m->data[i] = static_cast<uint8_t>(number[i]);
    } else {
        for (size_t i = 0; i < n; ++i) {
            uint8_t code = wms_dtmf_code(number[i]);
            if (!code) return diagctl_usage("tl: DTMF digits are 0-9, * and #", number);
            m->data[i] = code;
        }
    }
    m->num_digits = static_cast<uint8_t>(n);
    m->subaddress_len = static_cast<uint8_t>(sub_len);
    std::memcpy(m->data + n, subaddress, sub_len);
    std::memcpy(m->data + n + sub_len, bearer, bearer_len);
    m->bearer_len = static_cast<uint16_t>(bearer_len);
    return 0;
}

int diagctl_tl(DiagctlCtx &ctx, int argc, char **argv) {
    if (argc >= 2 && !std::strcmp(argv[1], "encode")) {
        wms_tl_message m;
        if (int rc = diagctl_tl_options(argc, argv, 2, &m)) return rc;
        if (ctx.dry) return 0;
        uint8_t out[kTlCap];
        size_t len = 0;
        int status = wms_ts_encode_CDMA_tl(&m, sizeof out, out, &len);
        if (status) return ctx.out->fail("tl encode", status, "length", len);
        ctx.out->hex("hex", out, len);
        ctx.out->num("length", len);
        ctx.out->finish();
        return 0;
    }
    if (argc == 3 && !std::strcmp(argv[1], "decode")) {
        static uint8_t in[1024];
        size_t len = 0;
        if (!diagctl_hex(argv[2], in, sizeof in, &len))
            return diagctl_usage("tl decode: HEX", argv[2]);
        if (ctx.dry) return 0;
        wms_tl_message m;
        size_t size = 0;
        int status = wms_ts_decode_CDMA_tl(in, len, &m, kWmsDataSize, &size);
        if (status) return ctx.out->fail("tl decode", status);
        diagctl_print_tl(*ctx.out, nullptr, m, size);
        ctx.out->finish();
        return 0;
    }
    return diagctl_usage("tl encode OPTION... | tl decode HEX");
}

int diagctl_sms(DiagctlCtx &ctx, int argc, char **argv) {
    const char *sub = argc >= 2 ? argv[1] : "";
    DiagctlOut &out = *ctx.out;
    unsigned long index = 0;
    uint8_t txn = 0;
    if (!std::strcmp(sub, "list") && argc == 2) {
        if (ctx.dry) return 0;
        uint8_t *list = nullptr, count = 0;
        int status = WMSDiag_GetMsgList(&txn, &list, &count);
        if (status) return out.fail("sms list", status);
        char json[1500] = "[", plain[1500] = "";
        for (uint8_t i = 0; i < count; ++i) {
            uint32_t idx = get_le32(list + kWmsListEntrySize * i);
            add(json, sizeof json, "%s%u", i ? ", " : "", idx);
            add(plain, sizeof plain, "%s%u", i ? " " : "", idx);
        }
        add(json, sizeof json, "]");
        free(list);
        out.num("count", count);
        out.raw("indices", json, plain);
        out.finish();
        return 0;
    }
    if (!std::strcmp(sub, "read") && argc == 3) {
        if (!diagctl_number(argv[2], 0xFFFFFFFFul, &index))
            return diagctl_usage("sms read: INDEX", argv[2]);
        if (ctx.dry) return 0;
        static uint8_t msg[4096];
        size_t len = 0;
        int status = WMSDiag_ReadMsg(&txn, static_cast<uint32_t>(index), msg, sizeof msg, &len);
        if (status) return out.fail("sms read", status);
        if (len == 0) return out.fail("sms read", status);  // the card has no such message
        out.num("index", index);
        out.num("length", len);
        out.hex("data", msg, len);
        wms_tl_message m;
        size_t size = 0;
        if (wms_ts_decode_CDMA_tl(msg, len, &m, kWmsDataSize, &size) == 0)
            diagctl_print_tl(out, "tl", m, size);
        out.finish();
        return 0;
    }
    if (!std::strcmp(sub, "tag") && argc == 4) {
        bool read = !std::strcmp(argv[3], "read");
        if (!diagctl_number(argv[2], 0xFFFFFFFFul, &index) ||
            (!read && std::strcmp(argv[3], "unread")))
            return diagctl_usage("sms tag INDEX read|unread");
        if (ctx.dry) return 0;
        int status = WMSDiag_SetMessageTag(&txn, static_cast<uint32_t>(index), read ? 1 : 0);
        if (status) return out.fail("sms tag", status);
        out.num("transaction", txn);
        out.finish();
        return 0;
    }
    if (!std::strcmp(sub, "delete") && argc == 3) {
        bool all = !std::strcmp(argv[2], "all");
        if (!all && !diagctl_number(argv[2], 0xFFFFFFFFul, &index))
            return diagctl_usage("sms delete INDEX|all", argv[2]);
        if (ctx.dry) return 0;
        int status =
            all ? WMSDiag_ClearAllMsgs(&txn) : WMSDiag_ClearMsg(&txn, static_cast<uint32_t>(index));
        if (status) return out.fail("sms delete", status);
        out.num("transaction", txn);
        out.finish();
        return 0;
    }
    if (!std::strcmp(sub, "write") && (argc == 4 || argc == 5)) {
        if (argc == 5 && std::strcmp(argv[4], "--reply"))
            return diagctl_usage("sms write: --reply", argv[4]);
        char to[] = "--to", bearer[] = "--bearer", reply[] = "--reply";
        char *opts[] = {to, argv[2], bearer, argv[3], reply};
        wms_tl_message m;
        if (int rc = diagctl_tl_options(argc == 5 ? 5 : 4, opts, 0, &m)) return rc;
        if (ctx.dry) return 0;
        uint8_t record[kWmsWriteRecordHeader + kTlCap] = {};
        size_t len = 0;
        int status = wms_ts_encode_CDMA_tl(&m, kTlCap, record + kWmsWriteRecordHeader, &len);
        if (status) return out.fail("sms write: encode", status);
        status = WMSDiag_SendWriteCmd(&txn, record, kWmsWriteRecordHeader + len);
        if (status) return out.fail("sms write", status);
        out.num("transaction", txn);
        out.hex("tl", record + kWmsWriteRecordHeader, len);
        out.finish();
        return 0;
    }
    return diagctl_usage(
        "sms list | read INDEX | tag INDEX read|unread | delete INDEX|all | "
        "write NUMBER BEARERHEX [--reply]");
}
