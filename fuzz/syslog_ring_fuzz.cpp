// The walk over the syslog daemon's shared-memory ring (rmagent/syslog_ring.h) with any
// contents. A ring whose header does not fit is refused untouched; otherwise the report fits
// its room, is one terminated text of at most 20 lines ending in "\n", and the only change to the
// ring is a sent flag "0" turned "1" for each line reported, so a second walk never reports them
// again.
//
// Input: mode byte (bit 0: header made to fit: size, head and tail taken modulo the data
// area), room (u16, mod 4000), then the ring image.
#include <cstring>
#include <memory>

#include "fuzz/fuzz_support.h"
#include "rmagent/syslog_ring.h"

namespace {

void put32(uint8_t *p, uint32_t v) {
    memcpy(p, &v, 4);  // the ring's header is in host order
}
uint32_t get32(const uint8_t *p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

// Collects once; returns the number of lines reported, and in *result what the call did.
int collect(FuzzBytes &ring, size_t cap, int *result) {
    FuzzBytes before = ring;
    auto out = std::make_unique<char[]>(cap + 1);
    int r = syslog_ring_collect(ring.data(), ring.size(), out.get(), cap);
    *result = r;
    if (r < 0) {
        FUZZ_CHECK(r == -1 && ring == before);
        return 0;
    }
    FUZZ_CHECK(static_cast<size_t>(r) <= cap);
    int newlines = 0;
    if (r > 0) {
        FUZZ_CHECK(out[r - 1] == '\0' && strlen(out.get()) == static_cast<size_t>(r) - 1);
        for (int i = 0; i < r - 1; ++i)
            newlines += out[i] == '\n';
        FUZZ_CHECK(r >= 2 && out[r - 2] == '\n');
    }
    int flipped = 0;
    for (size_t i = 0; i < ring.size(); ++i) {
        if (ring[i] == before[i]) continue;
        FUZZ_CHECK(i >= kRingHeaderLen && before[i] == '0' && ring[i] == '1');
        ++flipped;
    }
    // A line ends with its string's "\n"; it may hold more of them inside.
    FUZZ_CHECK(flipped <= kMaxLogLines && flipped <= newlines && (flipped > 0) == (r > 0));
    return flipped;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_init();
    FuzzInput in(data, size);
    bool fit = in.u8() & 1;
    size_t cap = in.u16() % 4000;
    FuzzBytes ring = in.rest();
    if (fit && ring.size() > kRingHeaderLen) {
        uint32_t room = static_cast<uint32_t>(ring.size() - kRingHeaderLen);
        put32(ring.data(), get32(ring.data()) % room + 1);
        uint32_t ring_size = get32(ring.data());
        put32(ring.data() + 4, get32(ring.data() + 4) % ring_size);
        put32(ring.data() + 8, get32(ring.data() + 8) % ring_size);
    }
    int r = 0;
    int first = collect(ring, cap, &r);
    // Reported lines are marked: when the first walk was stopped neither by the line count nor
    // by the room (any line would still have fitted), a second one finds nothing.
    bool room_left = r >= 0 && static_cast<size_t>(r) + kLogLineRoom + 1 <= cap;
    int second = collect(ring, cap, &r);
    if (first < kMaxLogLines && room_left) FUZZ_CHECK(second == 0);
    return 0;
}
