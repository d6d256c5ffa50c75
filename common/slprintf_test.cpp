#include "common/slprintf.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <string>

namespace {

std::string full(const char *fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = vpoe_slprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    EXPECT_EQ(static_cast<size_t>(n), std::strlen(buf)) << fmt;
    return std::string(buf, static_cast<size_t>(n));
}

std::string reduced(const char *fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = vpoe_slprintf_reduced(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return std::string(buf, static_cast<size_t>(n));
}

TEST(Slprintf, Numbers) {
    EXPECT_EQ("  -42", full("%5d", -42));
    EXPECT_EQ("000ff", full("%05x", 255));
    EXPECT_EQ("0xff", full("%p", reinterpret_cast<void *>(255)));
    EXPECT_EQ("-2147483648", full("%d", -2147483647 - 1));
    EXPECT_EQ("ffffffff", full("%x", -1));
    EXPECT_EQ("37777777777", full("%o", -1));
    EXPECT_EQ("17", full("%o", 15));
    EXPECT_EQ("abcdef", full("%X", 0xABCDEF));  // lowercase digits for X too
    EXPECT_EQ("0", full("%d", 0));
    EXPECT_EQ("0", full("%.0d", 0));  // at least one digit
    EXPECT_EQ("007", full("%.3d", 7));
    EXPECT_EQ("-007", full("%.3d", -7));
    EXPECT_EQ("   007", full("%6.3d", 7));
    EXPECT_EQ("0x00ff", full("%.4p", reinterpret_cast<void *>(255)));
    // The fill goes before the whole result, sign and prefix included.
    EXPECT_EQ("00-42", full("%05d", -42));
    EXPECT_EQ("0000xff", full("%07p", reinterpret_cast<void *>(255)));
    EXPECT_EQ("12", full("%1d", 12));  // a result longer than the width is not cut
}

TEST(Slprintf, StarWidthAndPrecision) {
    EXPECT_EQ("   ab", full("%*s", 5, "ab"));
    EXPECT_EQ("ab", full("%*s", -5, "ab"));  // a negative width counts as none
    EXPECT_EQ("abc", full("%.*s", 3, "abcdef"));
    EXPECT_EQ("abcdef", full("%.*s", -1, "abcdef"));
    EXPECT_EQ("  abc", full("%*.*s", 5, 3, "abcdef"));
    EXPECT_EQ("0000042", full("%0*d", 7, 42));
    EXPECT_EQ("   00042", full("%*.*d", 8, 5, 42));
}

TEST(Slprintf, CharactersStringsAndErrors) {
    EXPECT_EQ("x", full("%c", 'x'));
    EXPECT_EQ("   x", full("%4c", 'x'));
    EXPECT_EQ("", full("%.0s", "abc"));
    EXPECT_EQ("  abc", full("%5s", "abc"));
    EXPECT_EQ("00abc", full("%05s", "abc"));
    EXPECT_EQ("(null)", full("%s", static_cast<const char *>(nullptr)));
    errno = ENOENT;
    EXPECT_EQ("open: No such file or directory", full("open: %m"));
    EXPECT_EQ(ENOENT, errno);  // the formatter leaves errno as it found it
    errno = EACCES;
    EXPECT_EQ("Permission denied!", full("%m!", 1));  // takes no argument
    errno = EACCES;
    EXPECT_EQ("  Permission denied", full("%19m"));
}

bool fixed_clock(struct tm *now) {
    std::memset(now, 0, sizeof *now);
    now->tm_mon = 5;
    now->tm_mday = 3;
    now->tm_hour = 21;
    now->tm_min = 9;
    now->tm_sec = 8;
    return true;
}

bool two_digit_day_clock(struct tm *now) {
    fixed_clock(now);
    now->tm_mon = 11;
    now->tm_mday = 31;
    return true;
}

TEST(Slprintf, LocalTimeFromTheInstalledClock) {
    slprintf_set_clock(nullptr);
    EXPECT_EQ("[]", full("[%t]"));
    slprintf_set_clock(fixed_clock);
    EXPECT_EQ("[Jun  3 21:09:08]", full("[%t]"));
    EXPECT_EQ("   Jun  3 21:09:08", full("%18t"));
    slprintf_set_clock(two_digit_day_clock);
    EXPECT_EQ("Dec 31 21:09:08", full("%t"));
    slprintf_set_clock(nullptr);
}

TEST(Slprintf, VisibleStrings) {
    EXPECT_EQ("a\\tb", full("%q", "a\tb"));
    EXPECT_EQ("say \\\"hi\\\"", full("%q", "say \"hi\""));
    EXPECT_EQ("back\\\\slash", full("%q", "back\\slash"));
    EXPECT_EQ("\\b\\n\\f\\x01\\x7f\\x9f\xa0", full("%q", "\b\n\f\x01\x7f\x9f\xa0"));
    EXPECT_EQ("M-^A", full("%v", "\x81"));
    EXPECT_EQ("a\tb", full("%v", "a\tb"));
    EXPECT_EQ("^A^?M-^?M-a\"\\", full("%v", "\x01\x7f\xff\xe1\"\\"));
    // No width for v and q; the precision cuts.
    EXPECT_EQ("ab", full("%10.2q", "abcdef"));
    // Fill '0' with a precision takes exactly that many bytes, NULs included.
    const char bytes[] = {'a', '\0', 'b'};
    EXPECT_EQ("a^@b", full("%0.3v", bytes));
    EXPECT_EQ("a\\x00b", full("%0.3q", bytes));
    EXPECT_EQ("a", full("%.3v", bytes));  // without the '0' fill it stops at the NUL
}

TEST(Slprintf, ByteDumpsAndHardwareAddresses) {
    const unsigned char b[] = {0x01, 0x02, 0x03};
    EXPECT_EQ(" 01 02 03", full("%.*B", 3, b));
    EXPECT_EQ("010203", full("%0.*B", 3, b));
    EXPECT_EQ("", full("%B", b));  // no precision, nothing
    EXPECT_EQ(" 01 02", full("%.2B", b));
    const unsigned char mac[] = {0x00, 0x1a, 0x2b, 0xc3, 0xd4, 0xff};
    EXPECT_EQ("00:1a:2b:c3:d4:ff", full("%E", mac));
    EXPECT_EQ("00:1a:2b:c3:d4:ff", full("%20E", mac));  // no width
}

std::string nested(const char *outer, const char *inner, ...) {
    va_list ap;
    va_start(ap, inner);
    char buf[64];
    int n = poe_slprintf(buf, sizeof buf, outer, inner, &ap);
    va_end(ap);
    return std::string(buf, static_cast<size_t>(n));
}

TEST(Slprintf, NestedFormat) {
    EXPECT_EQ("<x=5 y=ok>", nested("<%r>", "x=%d y=%s", 5, "ok"));
}

TEST(Slprintf, UnknownDirectives) {
    EXPECT_EQ("%z", full("%z"));
    EXPECT_EQ("%z", full("%5.2z"));  // width and precision dropped
    EXPECT_EQ("100%", full("100%%"));
    EXPECT_EQ("a%", full("a%"));  // a lone '%' at the end
    EXPECT_EQ("a%b", full("a%%b"));
}

// Without a width, a cut result is the start of the whole one (a width shrinks with the room
// left instead: see SizeLimits).
TEST(Slprintf, TruncatesAtEverySize) {
    const std::string text = full("word %s and %.5d|%q", "abcdefghij", 42, "\t\"");
    ASSERT_EQ("word abcdefghij and 00042|\\t\\\"", text);
    for (int size = 1; size <= static_cast<int>(text.size()) + 2; ++size) {
        char buf[64];
        std::memset(buf, '#', sizeof buf);
        int n = poe_slprintf(buf, size, "word %s and %.5d|%q", "abcdefghij", 42, "\t\"");
        int expect = std::min(size - 1, static_cast<int>(text.size()));
        ASSERT_EQ(expect, n) << "size " << size;
        EXPECT_EQ(text.substr(0, static_cast<size_t>(expect)),
                  std::string(buf, static_cast<size_t>(n)))
            << "size " << size;
        EXPECT_EQ('\0', buf[n]);
        EXPECT_EQ('#', buf[size]) << "wrote past the buffer at size " << size;
    }
}

TEST(Slprintf, SizeLimits) {
    char buf[8];
    EXPECT_EQ(7, poe_slprintf(buf, 8, "%s", "abcdefghij"));
    EXPECT_STREQ("abcdefg", buf);
    buf[0] = 'x';
    EXPECT_EQ(0, poe_slprintf(buf, 0, "abc"));
    EXPECT_EQ('x', buf[0]);
    EXPECT_EQ(0, poe_slprintf(buf, 1, "abc"));
    EXPECT_STREQ("", buf);
    // A width wider than the room left is reduced to that room, keeping the right alignment.
    EXPECT_EQ(7, poe_slprintf(buf, 8, "%10s", "ab"));
    EXPECT_STREQ("     ab", buf);
    EXPECT_EQ(7, poe_slprintf(buf, 8, "xx%10d", 42));
    EXPECT_STREQ("xx   42", buf);
}

TEST(SlprintfReduced, KnowsOnlyItsDirectives) {
    const unsigned char b[] = {1, 2, 3};
    EXPECT_EQ("%X %B %E %r %t", reduced("%X %B %E %r %t"));
    EXPECT_EQ("a 5 17 0x10 \\t M-^A str 1f",
              reduced("%c %d %o %p %q %v %s %x", 'a', 5, 15, reinterpret_cast<void *>(16), "\t",
                      "\x81", "str", 31));
    EXPECT_EQ("%B", reduced("%.*B", 3, b));  // the star argument is still taken
    EXPECT_EQ("   42", reduced("%5d", 42));
    EXPECT_EQ("00042", reduced("%05d", 42));
}

TEST(SlprintfReduced, ZeroPrecisionCountsAsNone) {
    EXPECT_EQ("abc", reduced("%.0s", "abc"));
    EXPECT_EQ("", full("%.0s", "abc"));
    EXPECT_EQ("ab", reduced("%.2s", "abc"));
    EXPECT_EQ("abc", reduced("%0.0v", "abc"));
}

TEST(SlprintfReduced, TraceLineEndingInNewline) {
    EXPECT_EQ("build on Jan  1 2024-10:00:00 \n",
              reduced("build on %s-%s \n", "Jan  1 2024", "10:00:00"));
}

}  // namespace
