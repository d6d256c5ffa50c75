// The TRX check of a downloaded image, against images built by the independent builder.
#include <fcntl.h>
#include <unistd.h>

#include "rmagent/agent_fixture.h"
#include "rmagent/upgrade.h"
#include "tools/trx_image.h"

namespace {

class ImageCheck : public AgentTest {
  protected:
    // Writes `image` to a file and checks it as a download of `size` bytes (its own size
    // unless given). Returns the check's result; the trace says why.
    int check(const std::vector<uint8_t> &image, long size = -1) {
        std::string path = root_.host("/tmp/image");
        testsupport::write_file(path, std::string(image.begin(), image.end()));
        int fd = open(path.c_str(), O_RDONLY);
        EXPECT_GE(fd, 0);
        int rc = rcm_check_image(
            fd, size < 0 ? static_cast<uint32_t>(image.size()) : static_cast<uint32_t>(size));
        close(fd);
        return rc;
    }
    std::string last_trace() {
        std::string t = trace();
        std::string out = t.substr(seen_);
        seen_ = t.size();
        return out;
    }
    size_t seen_ = 0;
};

TrxBuild payload_of(size_t n, uint16_t flags = 0) {
    TrxBuild b;
    b.flags = flags;
    if (n) {
        std::vector<uint8_t> p(n);
        for (size_t i = 0; i < n; ++i)
            p[i] = static_cast<uint8_t>(i ^ (i >> 9));
        b.payloads.push_back(p);
    }
    return b;
}

TEST_F(ImageCheck, GoodImagesPass) {
    for (size_t n : {1u, 996u, 997u, 5000u, 70000u}) {
        std::vector<uint8_t> img = trx_build(payload_of(n));
        EXPECT_EQ(0, check(img)) << n << ": " << last_trace();
        char want[32];
        snprintf(want, sizeof want, "CRC OK %08x \n", trx_verify(img).header_crc);
        EXPECT_EQ(want, last_trace());
    }
}

TEST_F(ImageCheck, HeaderOnlyImageIsCheckedOverItsSixteenHeaderBytes) {
    std::vector<uint8_t> img = trx_build(payload_of(0));
    ASSERT_EQ(28u, img.size());
    EXPECT_EQ(0, check(img));
    img[20] ^= 1;  // a partition offset: inside the CRC's range
    EXPECT_EQ(-1, check(img));
    EXPECT_NE(std::string::npos, last_trace().find("Bad CRC\n"));
}

TEST_F(ImageCheck, FlagBitZeroDoesNotSkipTheCrc) {
    TrxBuild b = payload_of(0, 1);
    b.lie_crc = 0xDEADBEEF;
    EXPECT_EQ(-1, check(trx_build(b)));
    EXPECT_EQ("Bad CRC\n", last_trace());
    // With the flag set, a longer image is still checked over its whole length.
    std::vector<uint8_t> img = trx_build(payload_of(3000, 1));
    EXPECT_EQ(0, check(img));
    img[2500] ^= 0x80;
    EXPECT_EQ(-1, check(img));
}

TEST_F(ImageCheck, RefusedImagesSayWhy) {
    struct Case {
        const char *what;
        std::function<void(TrxBuild *)> lie;
        long size;  // the download's size, -1: the image's
        const char *trace;
    } cases[] = {
        {"bad magic", [](TrxBuild *b) { b->lie_magic = 0x30524447; }, -1, "Bad trx header\n"},
        {"length 27", [](TrxBuild *b) { b->lie_len = 27; }, -1, "Bad trx header\n"},
        {"length 7864321", [](TrxBuild *b) { b->lie_len = 7864321; }, -1, "Bad trx header\n"},
        {"bad CRC", [](TrxBuild *b) { b->lie_crc = 0x01020304; }, -1, "Bad CRC\n"},
        {"longer than its header", [](TrxBuild *b) { b->lie_len = 4000; }, -1, "Bad trx header\n"},
        {"truncated", [](TrxBuild *b) { b->lie_len = 6000; }, -1,
         "Truncated file (actual 5028 expect 6000)\n"},
    };
    for (const Case &c : cases) {
        TrxBuild b = payload_of(5000);
        c.lie(&b);
        EXPECT_EQ(-1, check(trx_build(b), c.size)) << c.what;
        EXPECT_EQ(c.trace, last_trace()) << c.what;
    }
    std::vector<uint8_t> tiny(20, 0);
    EXPECT_EQ(-1, check(tiny));
    EXPECT_NE(std::string::npos, last_trace().find("Truncated file"));
}

TEST_F(ImageCheck, BuilderAndCheckerAgreeOnLiesTheyShareNoCodeFor) {
    // The builder's own CRC meets the published check value when framed by complements.
    const uint8_t check_input[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(0xCBF43926u, ~trx_bitwise_crc(check_input, sizeof check_input, 0xFFFFFFFFu));
    std::vector<uint8_t> img = trx_build(payload_of(2048));
    EXPECT_TRUE(trx_verify(img).good);
    img.back() ^= 1;
    EXPECT_FALSE(trx_verify(img).good);
    EXPECT_EQ(-1, check(img));
}

}  // namespace
