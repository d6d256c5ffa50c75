#include "tools/apitest_run.h"

#include <cstdarg>
#include <cstdint>

#include "tools/cardlink.h"

namespace {

constexpr int kInitTimeoutMs = 2222;  // above modemd's 2-s wait for the card
constexpr int kSmsSlots = 10;
constexpr char kSmsText[] = "test....";
constexpr char kSmsDest[] = "8585550100";

void say(FILE *out, const char *format, ...) __attribute__((format(printf, 2, 3)));
void say(FILE *out, const char *format, ...) {
    va_list args;
    va_start(args, format);
    vfprintf(out, format, args);
    va_end(args);
    fflush(out);
}

void label(FILE *out, const char *name) {
    say(out, "%-40s", name);
}

void fail(FILE *out) {
    say(out, "fail\n");
}

void value16(FILE *out, const char *name, int (*call)(uint32_t *)) {
    uint32_t v = 0xFFFFFFFFu;
    label(out, name);
    if (call(&v) < 0)
        fail(out);
    else
        say(out, "%04x\n", static_cast<unsigned>(v & 0xFFFFu));
}

void value32(FILE *out, const char *name, int (*call)(uint32_t *)) {
    uint32_t v = 0xFFFFFFFFu;
    label(out, name);
    if (call(&v) < 0)
        fail(out);
    else
        say(out, "%08x\n", static_cast<unsigned>(v));
}

}  // namespace

int apitest_run(FILE *out) {
    (void)cardlinkapi_init(kInitTimeoutMs);  // without it every call below fails and says so

    value32(out, "test cl_get_esn()", cl_get_esn);
    value16(out, "test cl_get_rssi()", cl_get_rssi);
    value16(out, "test cl_get_bandclass()", cl_get_bandclass);
    value16(out, "test cl_get_activation_status()", cl_get_activation_status);
    value16(out, "test cl_get_service_indication()", cl_get_service_indication);
    value32(out, "test cl_get_sms_status()", cl_get_sms_status);

    static char text[1024];
    static char other[1024];
    label(out, "test cl_read_sms()");
    for (int i = 0; i < kSmsSlots; ++i)
        if (cl_read_sms(static_cast<uint16_t>(i), text, sizeof text, other) < 0) fail(out);

    label(out, "test cl_write_sms()");
    if (cl_write_sms(kSmsText, sizeof kSmsText - 1, kSmsDest) < 0) fail(out);

    label(out, "test cl_flag_sms()");
    if (cl_flag_sms(10, 1) < 0) fail(out);

    label(out, "test cl_remove_sms()");
    for (int i = 0; i < kSmsSlots; ++i)
        if (cl_remove_sms(static_cast<uint16_t>(i)) < 0) fail(out);

    return cardlinkapi_fina();
}
