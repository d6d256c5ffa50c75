// The log formatter of the bridge (common/slprintf.h) with arbitrary strings: literal text,
// strings, byte dumps and nested formats from the input, widths and precisions of any value,
// any buffer size. It never writes past the buffer, always terminates, returns what it
// stored, and a plain "%s" between literal text stores exactly that text, cut to the buffer.
//
// Input: directive (u8), buffer size (u16, mod 400), width (i16), precision (i16), then
// pieces: literal before, literal after, the string argument.
#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <string>

#include "common/slprintf.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr size_t kArgRoom = 512;  // a %v, %q or %B argument is read for up to this many bytes

// Literal text: every '%' doubled, NULs dropped.
std::string literal(const FuzzBytes &b) {
    std::string s;
    for (uint8_t c : b) {
        if (c == 0) continue;
        if (c == '%') s.push_back('%');
        s.push_back(static_cast<char>(c));
    }
    return s;
}

std::string unescaped(const std::string &lit) {
    std::string s;
    for (size_t i = 0; i < lit.size(); ++i) {
        s.push_back(lit[i]);
        if (lit[i] == '%') ++i;
    }
    return s;
}

int nested(bool reduced, char *buf, int size, const char *inner, ...) {
    va_list ap;
    va_start(ap, inner);
    int n = reduced ? poe_slprintf_reduced(buf, size, "<%r>", inner, &ap)
                    : poe_slprintf(buf, size, "<%r>", inner, &ap);
    va_end(ap);
    return n;
}

bool fake_clock(struct tm *now) {
    memset(now, 0, sizeof *now);
    now->tm_mon = 11;
    now->tm_mday = 8;
    now->tm_hour = 12;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_init();
    slprintf_set_clock(fake_clock);
    FuzzInput in(data, size);
    uint8_t which = in.u8();
    bool reduced = which & 0x80;
    int bufsize = in.u16() % 400;
    int width = static_cast<int16_t>(in.u16());
    int prec = static_cast<int16_t>(in.u16());
    if (prec >= static_cast<int>(kArgRoom)) prec %= static_cast<int>(kArgRoom);
    std::string before = literal(in.piece()), after = literal(in.piece());
    FuzzBytes arg_bytes = in.piece();
    // The string argument sits in a zero-filled area, so that a dump of `prec` bytes stays in it.
    std::vector<char> arg(kArgRoom + 1, 0);
    for (size_t i = 0; i < arg_bytes.size(); ++i)
        arg[i] = static_cast<char>(arg_bytes[i]);
    const char *s = arg.data();

    static const char *const kDirectives[] = {"%*.*s", "%0*.*v", "%*.*q", "%0*.*q", "%.*B",
                                              "%0.*B", "%*E",    "%0*d",  "%*.*x",  "%*.*o",
                                              "%*p",   "%0*c",   "%*m",   "%*t",    "%*.*s"};
    constexpr int kCount = sizeof kDirectives / sizeof kDirectives[0];
    int d = (which & 0x7F) % (kCount + 1);

    std::vector<char> buf(static_cast<size_t>(bufsize) + 1, '\x55');
    char *b = buf.data();
    int n;
    errno = EINVAL;
    if (d == kCount) {
        std::string inner = before + "%.*s" + after;
        n = nested(reduced, b, bufsize, inner.c_str(), prec, s);
    } else {
        std::string fmt = before + kDirectives[d] + after;
        auto print = reduced ? poe_slprintf_reduced : poe_slprintf;
        const char *f = fmt.c_str();
        switch (d) {
            case 4:
            case 5:
                n = print(b, bufsize, f, prec, s);
                break;
            case 6:
            case 10:
            case 12:
            case 13:
                n = print(b, bufsize, f, width, s);
                break;
            case 7:
            case 11:
                // A character of 0 would end the text early; that is not what is looked at.
                n = print(b, bufsize, f, width, (prec & 0xFF) ? prec : 'x');
                break;
            case 14:
                n = print(b, bufsize, f, width, prec, static_cast<const char *>(nullptr));
                break;
            default:
                n = print(b, bufsize, f, width, prec, s);
                break;
        }
        // Literal text around a plain string comes out exactly, cut to the buffer.
        if (d == 0 && width <= 0 && prec < 0 && bufsize > 0) {
            std::string want = unescaped(before) + s + unescaped(after);
            want.resize(std::min(want.size(), static_cast<size_t>(bufsize) - 1));
            FUZZ_CHECK(n == static_cast<int>(want.size()) &&
                       memcmp(b, want.data(), want.size()) == 0);
        }
    }
    if (bufsize <= 0) {
        FUZZ_CHECK(n == 0 && buf[0] == '\x55');
        return 0;
    }
    FUZZ_CHECK(n >= 0 && n <= bufsize - 1);
    FUZZ_CHECK(b[n] == '\0' && strlen(b) == static_cast<size_t>(n));
    FUZZ_CHECK(buf[static_cast<size_t>(bufsize)] == '\x55');
    return 0;
}
