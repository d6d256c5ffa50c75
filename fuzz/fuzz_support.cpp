#include "fuzz/fuzz_support.h"

#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string g_root;

int remove_entry(const char *path, const struct stat *, int, struct FTW *) {
    return remove(path);
}

void remove_root() {
    if (!g_root.empty()) nftw(g_root.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace

void fuzz_init() {
    if (!g_root.empty()) return;
    const char *tmp = getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/routerfuzz.XXXXXX";
    if (!mkdtemp(templ.data())) {
        perror("fuzz: mkdtemp");
        abort();
    }
    g_root = templ;
    atexit(remove_root);
    setenv("ROUTER_ROOT", g_root.c_str(), 1);
    std::string dev = g_root + "/dev";
    mkdir(dev.c_str(), 0755);
    // Console lines cost nothing and fill no disk however many the input provokes.
    if (symlink("/dev/null", (dev + "/console").c_str()) != 0) perror("fuzz: console");
    signal(SIGPIPE, SIG_IGN);
    if (!getenv("FUZZ_VERBOSE")) {
        int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            fflush(stdout);
            dup2(null, STDOUT_FILENO);
            close(null);
        }
    }
}

void fuzz_check_failed(const char *file, int line, const char *cond) {
    fprintf(stderr, "%s:%d: property broken: %s\n", file, line, cond);
    abort();
}

bool fuzz_same(const void *a, const void *b, size_t n) {
    return n == 0 || memcmp(a, b, n) == 0;
}

uint8_t FuzzInput::u8() {
    if (left_ == 0) return 0;
    --left_;
    return *p_++;
}

uint16_t FuzzInput::u16() {
    uint16_t lo = u8();
    return static_cast<uint16_t>(lo | u8() << 8);
}

FuzzBytes FuzzInput::bytes(size_t n) {
    if (n > left_) n = left_;
    FuzzBytes out(p_, p_ + n);
    p_ += n;
    left_ -= n;
    return out;
}

uint16_t fuzz_fcs16(const uint8_t *data, size_t len) {
    uint16_t fcs = 0xFFFF;
    for (size_t i = 0; i < len; ++i) {
        fcs ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            fcs = static_cast<uint16_t>(fcs & 1 ? (fcs >> 1) ^ 0x8408 : fcs >> 1);
    }
    return static_cast<uint16_t>(~fcs);
}

uint32_t fuzz_crc32(const uint8_t *data, size_t len) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < len; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

FuzzBytes fuzz_stuff(const FuzzBytes &data, bool ctrl) {
    FuzzBytes out;
    out.reserve(2 * data.size());
    for (uint8_t b : data) {
        if (b == 0x7E || b == 0x7D || (ctrl && b < 0x20)) {
            out.push_back(0x7D);
            out.push_back(static_cast<uint8_t>(b ^ 0x20));
        } else {
            out.push_back(b);
        }
    }
    return out;
}

FuzzBytes fuzz_unstuff(const uint8_t *data, size_t len) {
    FuzzBytes out;
    for (size_t i = 0; i < len; ++i) {
        if (data[i] != 0x7D) {
            out.push_back(data[i]);
        } else if (i + 1 < len) {
            out.push_back(static_cast<uint8_t>(data[++i] ^ 0x20));
        }
    }
    return out;
}

FuzzBytes fuzz_with_fcs(const FuzzBytes &data) {
    FuzzBytes out = data;
    uint16_t fcs = fuzz_fcs16(data.data(), data.size());
    out.push_back(static_cast<uint8_t>(fcs));
    out.push_back(static_cast<uint8_t>(fcs >> 8));
    return out;
}

FuzzCard::FuzzCard(const std::vector<FuzzBytes> &records) {
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fd_) != 0) {
        perror("fuzz: socketpair");
        abort();
    }
    fcntl(fd_[0], F_SETFL, fcntl(fd_[0], F_GETFL) | O_NONBLOCK);
    fcntl(fd_[1], F_SETFL, fcntl(fd_[1], F_GETFL) | O_NONBLOCK);
    for (const FuzzBytes &r : records) {
        // An empty record would read as end of file; a full socket ends the card's part.
        if (r.empty()) continue;
        if (send(fd_[1], r.data(), r.size(), 0) != static_cast<ssize_t>(r.size())) break;
    }
    shutdown(fd_[1], SHUT_WR);
}

FuzzCard::~FuzzCard() {
    for (int f : fd_)
        if (f >= 0) close(f);
}
