// The CnS byte stuffing of the Sierra, KPC650 and CDU families (modemd/cns.h): any frame a
// card sends decodes within bounds and as the target's own unstuffing says; any data encodes
// into a frame that decodes back to it.
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "modemd/cns.h"

namespace {

// The codec under test, in one place.
int codec_encode(const uint8_t *data, size_t len, uint8_t *out, size_t cap, size_t *out_len) {
    return cns_encode(data, len, out, cap, out_len);
}
size_t codec_decode(const uint8_t *frame, size_t len, uint8_t *out) {
    size_t n = 0;
    int r = cns_decode(frame, len, out, &n);
    FUZZ_CHECK(r == static_cast<int>(n));
    return n;
}

void check_decode(const FuzzBytes &frame) {
    FuzzBytes out(frame.size() + 1);
    size_t n = codec_decode(frame.data(), frame.size(), out.data());
    FUZZ_CHECK(frame.size() < 3 ? n == 0 : n <= frame.size() - 2);
    if (frame.size() >= 3) {
        FuzzBytes expect = fuzz_unstuff(frame.data() + 1, frame.size() - 2);
        FUZZ_CHECK(n == expect.size() && fuzz_same(out.data(), expect.data(), n));
    }
    // Decoding in place (as the Sierra reader does) gives the same bytes.
    FuzzBytes in_place = frame;
    size_t m = codec_decode(in_place.data(), in_place.size(), in_place.data());
    FUZZ_CHECK(m == n && fuzz_same(in_place.data(), out.data(), n));
}

void check_encode(const FuzzBytes &data, size_t cap) {
    FuzzBytes frame(cap + 1);
    size_t len = 12345;
    int r = codec_encode(data.data(), data.size(), frame.data(), cap, &len);
    FuzzBytes expect = {0x7E};
    FuzzBytes body = fuzz_stuff(data);
    expect.insert(expect.end(), body.begin(), body.end());
    expect.push_back(0x7E);
    if (expect.size() > cap) {
        FUZZ_CHECK(r == -1 && len == 12345);
        return;
    }
    FUZZ_CHECK(r == static_cast<int>(len) && len == expect.size());
    FUZZ_CHECK(len <= 2 * data.size() + 2);
    FUZZ_CHECK(fuzz_same(frame.data(), expect.data(), len));
    FuzzBytes back(len);
    size_t n = codec_decode(frame.data(), len, back.data());
    FUZZ_CHECK(n == data.size() && fuzz_same(back.data(), data.data(), n));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_init();
    FuzzInput in(data, size);
    uint16_t cap = in.u16();
    FuzzBytes rest = in.rest();
    check_decode(rest);
    check_encode(rest, cap % 4200);
    return 0;
}
