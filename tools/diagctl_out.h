// diagctl's output: one JSON object a line (-j) or "name: value" lines on standard output,
// and failures as "diagctl: WHAT: status N (NAME)" on standard error (with -j also a JSON
// failure object on standard output). Numbers decimal, bytes lower-case hex. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class DiagctlOut {
  public:
    DiagctlOut(bool json, FILE *out, FILE *err) : json_(json), out_(out), err_(err) {}

    void num(const char *key, unsigned long value);
    void boolean(const char *key, bool value);
    // Text of at most max_len bytes, ending early at a NUL; JSON-escaped with -j.
    void text(const char *key, const char *s, size_t max_len);
    void hex(const char *key, const uint8_t *bytes, size_t len);
    // A value already in both forms (a JSON array or object, and its plain line).
    void raw(const char *key, const char *json, const char *plain);
    // Ends the object begun by the calls above (with -j, prints "}" and a newline).
    void finish();

    // Prints a failure; extra_key (optional) adds one more number to the JSON object. Returns 1.
    int fail(const char *what, int status, const char *extra_key = nullptr,
             unsigned long extra = 0);

    bool json() const { return json_; }

  private:
    void key(const char *k);
    bool json_;
    FILE *out_;
    FILE *err_;
    bool open_ = false;
};

// The name a status is printed with ("timeout", "nv refused", ...).
const char *diagctl_status_name(int status);

// Parsing of arguments: decimal or 0x hex, at most max. False for anything else.
bool diagctl_number(const char *text, unsigned long max, unsigned long *out);
// Hex pairs into out (at most cap bytes). False for odd length, other characters, too many.
bool diagctl_hex(const char *text, uint8_t *out, size_t cap, size_t *len);
// Exactly n decimal digits.
bool diagctl_digits(const char *text, size_t n);
