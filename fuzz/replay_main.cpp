// Replays fuzz inputs without the fuzzer: every regular file directly in each directory named
// on the command line (subdirectories, such as a regression's "pending/", are not entered) is
// passed once to the target's LLVMFuzzerTestOneInput. A broken property aborts, which fails
// the test that runs this. Used by `make test` on every build, the cross build included.
// 64-bit inode numbers and offsets on the 32-bit board build too: without them readdir() and
// stat() fail with EOVERFLOW on a large file system, and no input would be found.
#define _FILE_OFFSET_BITS 64

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

bool read_file(const std::string &path, std::vector<uint8_t> *out) {
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return false;
    uint8_t buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out->insert(out->end(), buf, buf + n);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

}  // namespace

int main(int argc, char **argv) {
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        DIR *dir = opendir(argv[i]);
        if (!dir) {
            fprintf(stderr, "replay: %s: cannot open\n", argv[i]);
            return 1;
        }
        std::vector<std::string> names;
        while (dirent *e = readdir(dir))
            names.emplace_back(e->d_name);
        closedir(dir);
        std::sort(names.begin(), names.end());
        for (const std::string &name : names) {
            std::string path = std::string(argv[i]) + "/" + name;
            struct stat st;
            if (name[0] == '.' || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
            std::vector<uint8_t> data;
            if (!read_file(path, &data)) {
                fprintf(stderr, "replay: %s: cannot read\n", path.c_str());
                return 1;
            }
            fprintf(stderr, "replay: %s (%zu bytes)\n", path.c_str(), data.size());
            LLVMFuzzerTestOneInput(data.data(), data.size());
            ++files;
        }
    }
    fprintf(stderr, "replay: %d inputs, no broken property\n", files);
    // A corpus that went missing must not pass as an empty success.
    return files > 0 ? 0 : 1;
}
