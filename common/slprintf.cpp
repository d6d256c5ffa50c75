#include "common/slprintf.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

constexpr char kDigits[] = "0123456789abcdef";
constexpr int kMaxWidth = 1 << 20;  // more than any buffer: keeps the digit sums from overflowing

slprintf_clock_t g_clock = nullptr;

// The output cursor: `left` characters may still be stored before the closing NUL.
struct Out {
    char *p;
    int left;
    int stored;

    bool full() const { return left <= 0; }
    void put(char c) {
        if (left <= 0) return;
        *p++ = c;
        --left;
        ++stored;
    }
    void put_hex2(unsigned char c) {
        put(kDigits[c >> 4]);
        put(kDigits[c & 0xF]);
    }
};

// strerror_r comes in two shapes; both end up as a text.
[[maybe_unused]] const char *error_text(int r, const char *buf) {
    return r == 0 ? buf : "Unknown error";
}
[[maybe_unused]] const char *error_text(const char *r, const char *) {
    return r;
}

// "Mmm dd hh:mm:ss": characters 4 to 18 of the classic 24-character time text.
int time_text(char out[16]) {
    static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    struct tm now;
    if (!g_clock || !g_clock(&now)) return 0;
    int mon = now.tm_mon >= 0 && now.tm_mon < 12 ? now.tm_mon : -1;
    const char *name = mon >= 0 ? kMonths + 3 * mon : "???";
    int fields[4] = {now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec};
    for (int &f : fields)
        if (f < 0 || f > 99) f = 0;
    char *p = out;
    std::memcpy(p, name, 3);
    p += 3;
    *p++ = ' ';
    *p++ = fields[0] >= 10 ? static_cast<char>('0' + fields[0] / 10) : ' ';
    *p++ = static_cast<char>('0' + fields[0] % 10);
    for (int i = 1; i < 4; ++i) {
        *p++ = i == 1 ? ' ' : ':';
        *p++ = static_cast<char>('0' + fields[i] / 10);
        *p++ = static_cast<char>('0' + fields[i] % 10);
    }
    *p = '\0';
    return static_cast<int>(p - out);
}

// Right-aligns `len` characters of `text` in `width` (reduced to the space left).
void put_aligned(Out &out, const char *text, int len, int width, char fill) {
    if (width > out.left) width = out.left;
    for (int pad = width - len; pad > 0; --pad)
        out.put(fill);
    for (int i = 0; i < len && !out.full(); ++i)
        out.put(text[i]);
}

// A number: prefix, at least `prec` digits (at least one), right-aligned in the width.
void put_number(Out &out, uintptr_t value, unsigned base, const char *prefix, int prec, int width,
                char fill) {
    char digits[sizeof(uintptr_t) * 3];
    int nd = 0;
    do {
        digits[nd++] = kDigits[value % base];
        value /= base;
    } while (value);
    int zeros = prec > nd ? prec - nd : 0;
    int len = static_cast<int>(std::strlen(prefix)) + zeros + nd;
    if (width > out.left) width = out.left;
    for (int pad = width - len; pad > 0; --pad)
        out.put(fill);
    for (const char *c = prefix; *c; ++c)
        out.put(*c);
    for (; zeros > 0 && !out.full(); --zeros)
        out.put('0');
    while (nd > 0)
        out.put(digits[--nd]);
}

// %v and %q.
void put_visible(Out &out, const unsigned char *s, int n, bool quote) {
    for (int i = 0; i < n && !out.full(); ++i) {
        unsigned c = s[i];
        if (!quote && c >= 0x80) {
            out.put('M');
            out.put('-');
            c -= 0x80;
        }
        if (quote && (c == '"' || c == '\\')) out.put('\\');
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            if (quote) {
                out.put('\\');
                switch (c) {
                    case 8:
                        out.put('b');
                        break;
                    case 9:
                        out.put('t');
                        break;
                    case 10:
                        out.put('n');
                        break;
                    case 12:
                        out.put('f');
                        break;
                    default:
                        out.put('x');
                        out.put_hex2(static_cast<unsigned char>(c));
                }
            } else if (c == '\t') {
                out.put('\t');
            } else {
                out.put('^');
                out.put(static_cast<char>(c ^ 0x40));
            }
        } else {
            out.put(static_cast<char>(c));
        }
    }
}

bool reduced_knows(char c) {
    return c && std::strchr("cdmopqvsx", c) != nullptr;
}

int read_decimal(const char *&f) {
    int v = 0;
    while (*f >= '0' && *f <= '9') {
        if (v < kMaxWidth) v = v * 10 + (*f - '0');
        ++f;
    }
    return v;
}

void format(Out &out, const char *f, va_list *ap, bool reduced, int errnum) {
    while (*f && !out.full()) {
        if (*f != '%') {
            out.put(*f++);
            continue;
        }
        ++f;
        char fill = ' ';
        if (*f == '0') {
            fill = '0';
            ++f;
        }
        int width = 0;
        if (*f == '*') {
            width = va_arg(*ap, int);
            ++f;
        } else {
            width = read_decimal(f);
        }
        if (width < 0) width = 0;
        if (width > kMaxWidth) width = kMaxWidth;
        int prec = -1;
        if (*f == '.') {
            ++f;
            if (*f == '*') {
                prec = va_arg(*ap, int);
                ++f;
            } else {
                prec = read_decimal(f);
            }
            if (prec < 0) prec = -1;
            if (reduced && prec == 0) prec = -1;
        }
        char c = *f;
        if (reduced && !reduced_knows(c)) c = '\1';  // handled as an unknown letter
        switch (c) {
            case 'd': {
                int v = va_arg(*ap, int);
                uint32_t u = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
                put_number(out, u, 10, v < 0 ? "-" : "", prec, width, fill);
                break;
            }
            case 'o':
                put_number(out, va_arg(*ap, unsigned), 8, "", prec, width, fill);
                break;
            case 'x':
            case 'X':
                put_number(out, va_arg(*ap, unsigned), 16, "", prec, width, fill);
                break;
            case 'p':
                put_number(out, reinterpret_cast<uintptr_t>(va_arg(*ap, void *)), 16, "0x", prec,
                           width, fill);
                break;
            case 'c': {
                char ch = static_cast<char>(va_arg(*ap, int));
                put_aligned(out, &ch, 1, width, fill);
                break;
            }
            case 's': {
                const char *s = va_arg(*ap, const char *);
                if (!s) s = "(null)";
                int len = static_cast<int>(prec >= 0 ? strnlen(s, static_cast<size_t>(prec))
                                                     : std::strlen(s));
                put_aligned(out, s, len, width, fill);
                break;
            }
            case 'm': {
                char buf[128];
                const char *text = error_text(strerror_r(errnum, buf, sizeof buf), buf);
                int len = static_cast<int>(std::strlen(text));
                put_aligned(out, text, len, width, fill);
                break;
            }
            case 't': {
                char buf[16];
                put_aligned(out, buf, time_text(buf), width, fill);
                break;
            }
            case 'v':
            case 'q': {
                const char *s = va_arg(*ap, const char *);
                if (!s) s = "(null)";
                int n;
                if (fill == '0' && prec >= 0)
                    n = prec;
                else
                    n = static_cast<int>(prec >= 0 ? strnlen(s, static_cast<size_t>(prec))
                                                   : std::strlen(s));
                put_visible(out, reinterpret_cast<const unsigned char *>(s), n, c == 'q');
                break;
            }
            case 'B': {
                const unsigned char *p = va_arg(*ap, const unsigned char *);
                for (int i = 0; p && i < prec && !out.full(); ++i) {
                    if (fill == ' ') out.put(' ');
                    out.put_hex2(p[i]);
                }
                break;
            }
            case 'E': {
                const unsigned char *p = va_arg(*ap, const unsigned char *);
                for (int i = 0; p && i < 6; ++i) {
                    if (i) out.put(':');
                    out.put_hex2(p[i]);
                }
                break;
            }
            case 'r': {
                const char *inner = va_arg(*ap, const char *);
                va_list *inner_ap = va_arg(*ap, va_list *);
                if (inner && inner_ap) {
                    va_list copy;
                    va_copy(copy, *inner_ap);
                    format(out, inner, &copy, reduced, errnum);
                    va_end(copy);
                }
                break;
            }
            default:
                // '%' then the character as ordinary text; a second '%' is consumed.
                out.put('%');
                if (*f == '\0') return;
                if (*f != '%') out.put(*f);
                break;
        }
        ++f;
    }
}

int run(char *buf, int size, const char *fmt, va_list args, bool reduced) {
    int errnum = errno;
    if (!buf || size <= 0) return 0;
    Out out = {buf, size - 1, 0};
    if (fmt) {
        va_list ap;
        va_copy(ap, args);
        format(out, fmt, &ap, reduced, errnum);
        va_end(ap);
    }
    *out.p = '\0';
    errno = errnum;
    return out.stored;
}

}  // namespace

void slprintf_set_clock(slprintf_clock_t clock) {
    g_clock = clock;
}

int vpoe_slprintf(char *buf, int size, const char *fmt, va_list args) {
    return run(buf, size, fmt, args, false);
}

int poe_slprintf(char *buf, int size, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int n = run(buf, size, fmt, ap, false);
    va_end(ap);
    return n;
}

int vpoe_slprintf_reduced(char *buf, int size, const char *fmt, va_list args) {
    return run(buf, size, fmt, args, true);
}

int poe_slprintf_reduced(char *buf, int size, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int n = run(buf, size, fmt, ap, true);
    va_end(ap);
    return n;
}
