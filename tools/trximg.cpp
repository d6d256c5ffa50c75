// trximg: builds a TRX firmware image from payload files, or checks one.
//   trximg build -o OUT [-f FLAGS] [-V VERSION] [-L LEN] [-C CRC] [-M MAGIC] [-F FLAGS] FILE...
//       up to three payload files; -L, -C, -M, -F write a lying header field
//   trximg check FILE
//       prints the header's length and CRC, the computed CRC and the verdict; status 0 when
//       the image checks out, 1 when it does not, 2 on a usage or file error
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/trx_image.h"

namespace {

bool read_file(const char *path, std::vector<uint8_t> *out) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    out->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

int usage() {
    fprintf(stderr,
            "usage: trximg build -o OUT [-f FLAGS] [-V VERSION] [-L LEN] [-C CRC] [-M MAGIC] "
            "[-F FLAGS] FILE...\n       trximg check FILE\n");
    return 2;
}

uint32_t number(const char *s) {
    return static_cast<uint32_t>(strtoul(s, nullptr, 0));
}

int build(int argc, char **argv) {
    TrxBuild b;
    const char *out = nullptr;
    int opt;
    optind = 1;
    while ((opt = getopt(argc, argv, "o:f:V:L:C:M:F:")) != -1) {
        switch (opt) {
            case 'o':
                out = optarg;
                break;
            case 'f':
                b.flags = static_cast<uint16_t>(number(optarg));
                break;
            case 'V':
                b.version = static_cast<uint16_t>(number(optarg));
                break;
            case 'L':
                b.lie_len = number(optarg);
                break;
            case 'C':
                b.lie_crc = number(optarg);
                break;
            case 'M':
                b.lie_magic = number(optarg);
                break;
            case 'F':
                b.lie_flags = static_cast<uint16_t>(number(optarg));
                break;
            default:
                return usage();
        }
    }
    if (!out || argc - optind > 3) return usage();
    for (int i = optind; i < argc; ++i) {
        b.payloads.emplace_back();
        if (!read_file(argv[i], &b.payloads.back())) {
            fprintf(stderr, "trximg: cannot read %s\n", argv[i]);
            return 2;
        }
    }
    std::vector<uint8_t> image = trx_build(b);
    FILE *f = fopen(out, "wb");
    if (!f || fwrite(image.data(), 1, image.size(), f) != image.size() || fclose(f) != 0) {
        fprintf(stderr, "trximg: cannot write %s\n", out);
        return 2;
    }
    TrxVerdict v = trx_verify(image);
    printf("%s: %zu bytes, header length %u, crc %08x\n", out, image.size(), v.header_len,
           v.header_crc);
    return 0;
}

int check(const char *path) {
    std::vector<uint8_t> image;
    if (!read_file(path, &image)) {
        fprintf(stderr, "trximg: cannot read %s\n", path);
        return 2;
    }
    TrxVerdict v = trx_verify(image);
    printf("%s: %zu bytes, header length %u, header crc %08x, computed %08x: %s\n", path,
           image.size(), v.header_len, v.header_crc, v.computed_crc, v.why.c_str());
    return v.good ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc >= 2 && !strcmp(argv[1], "build")) return build(argc - 1, argv + 1);
    if (argc == 3 && !strcmp(argv[1], "check")) return check(argv[2]);
    return usage();
}
