#include "sim/rcm_firmware.h"

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "common/bytes.h"

namespace {

uint64_t now_ns() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

constexpr uint32_t kShare = 1024;

}  // namespace

bool FirmwareServer::load(const std::string &path, long count, long total, std::string *why) {
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        *why = "cannot read " + path;
        return false;
    }
    image_.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    total_ = total >= 0 ? static_cast<uint32_t>(total) : static_cast<uint32_t>(image_.size());
    count_ = count >= 0 ? static_cast<uint32_t>(count)
                        : static_cast<uint32_t>((image_.size() + kShare - 1) / kShare);
    served_.assign(count_ > 65536 ? 65536 : count_, false);
    requested_ = served_;
    served_count_ = repeats_ = 0;
    bytes_ = 0;
    start_ns_ = last_print_ns_ = 0;
    done_ = false;
    held_.clear();
    return true;
}

std::vector<uint8_t> FirmwareServer::command_payload() const {
    std::vector<uint8_t> p(8, 0);
    put_be16(p.data() + 2, static_cast<uint16_t>(count_));
    put_be32(p.data() + 4, total_);
    return p;
}

bool FirmwareServer::add_fault(const std::string &args) {
    std::istringstream in(args);
    Fault f{"", -1, 1};
    std::string where;
    if (!(in >> f.kind >> where)) return false;
    static const char *const kinds[] = {"drop",  "dup",    "reorder", "corrupt",
                                        "short", "offset", "overlong"};
    bool known = false;
    for (const char *k : kinds)
        known = known || f.kind == k;
    if (!known) return false;
    if (where == "next") {
        if (!(in >> f.count) || f.count <= 0) return false;
    } else {
        char *end = nullptr;
        f.index = strtol(where.c_str(), &end, 0);
        if (!end || *end || f.index < 0) return false;
    }
    faults_.push_back(f);
    return true;
}

std::string FirmwareServer::pick_fault(uint16_t index) {
    for (size_t i = 0; i < faults_.size(); ++i) {
        if (faults_[i].index == index) {
            std::string k = faults_[i].kind;
            faults_.erase(faults_.begin() + static_cast<long>(i));
            return k;
        }
    }
    for (size_t i = 0; i < faults_.size(); ++i) {
        if (faults_[i].index < 0) {
            std::string k = faults_[i].kind;
            if (--faults_[i].count == 0) faults_.erase(faults_.begin() + static_cast<long>(i));
            return k;
        }
    }
    return "";
}

void FirmwareServer::reply(const uint8_t *request, uint16_t index, const uint8_t session_id[8]) {
    uint32_t at = static_cast<uint32_t>(index) * kShare;
    uint32_t len = at < image_.size() ? static_cast<uint32_t>(image_.size()) - at : 0;
    if (len > kShare) len = kShare;
    std::string fault = pick_fault(index);
    if (fault == "drop") return;
    std::vector<uint8_t> data(image_.begin() + at, image_.begin() + at + len);
    if (fault == "corrupt" && !data.empty()) data[0] ^= 0xFF;
    if (fault == "short" && !data.empty()) data.pop_back();
    if (fault == "offset") {  // another fragment's bytes under this index
        uint32_t other = (index + 1u < count_ ? index + 1u : 0u) * kShare;
        for (uint32_t i = 0; i < len; ++i)
            data[i] = other + i < image_.size() ? image_[other + i] : 0;
    }
    std::vector<uint8_t> out(40 + data.size());
    memcpy(out.data(), session_id, 8);
    memcpy(out.data() + 8, request + 8, 20);  // version, serial, seq
    put_be16(out.data() + 28, 6);
    put_be16(out.data() + 30, 3);
    put_be16(out.data() + 32, 0x002B);
    uint16_t payloadlen = static_cast<uint16_t>(4 + data.size() + (fault == "overlong" ? 100 : 0));
    put_be16(out.data() + 34, payloadlen);
    put_be16(out.data() + 36, index);
    memcpy(out.data() + 40, data.data(), data.size());
    if (fault == "reorder") {
        held_ = out;
        return;
    }
    sent(out);
    if (fault == "dup") sent(out);
    if (!held_.empty()) {
        std::vector<uint8_t> held;
        held.swap(held_);
        sent(held);
    }
}

void FirmwareServer::sent(const std::vector<uint8_t> &reply) {
    send_(reply.data(), reply.size());
    bytes_ += reply.size() - 40;
    uint16_t index = get_be16(reply.data() + 36);
    if (index < served_.size() && !served_[index]) {
        served_[index] = true;
        ++served_count_;
    }
}

bool FirmwareServer::take(const uint8_t *buf, size_t len, const uint8_t session_id[8]) {
    if (len < 40 || get_be16(buf + 28) != 6 || get_be16(buf + 30) != 2) return false;
    if (image_.empty()) return false;
    if (!start_ns_) start_ns_ = now_ns();
    uint16_t index = get_be16(buf + 36);
    bool repeat = false;
    if (index < requested_.size()) {
        repeat = requested_[index];
        requested_[index] = true;
    }
    if (repeat) ++repeats_;
    if (!stalled_) reply(buf, index, session_id);
    progress(repeat);  // a repeat is always shown
    if (!done_ && count_ && served_count_ == count_) {
        done_ = true;
        summary();
    }
    return true;
}

void FirmwareServer::progress(bool force) {
    uint64_t now = now_ns();
    if (!force && now - last_print_ns_ < (json_ ? 500000000ull : 100000000ull)) return;
    last_print_ns_ = now;
    double secs = start_ns_ ? static_cast<double>(now - start_ns_) / 1e9 : 0;
    double mbs = secs > 0 ? static_cast<double>(bytes_) / 1e6 / secs : 0;
    if (json_) {
        printf(
            "{\"msg\":\"progress\",\"served\":%u,\"count\":%u,\"bytes\":%llu,\"mbps\":%.2f,"
            "\"repeats\":%u}\n",
            served_count_, count_, static_cast<unsigned long long>(bytes_), mbs, repeats_);
    } else {
        printf("\rfirmware: %u/%u fragments, %llu bytes, %.2f MB/s, %u repeats   ", served_count_,
               count_, static_cast<unsigned long long>(bytes_), mbs, repeats_);
        fflush(stdout);
    }
}

void FirmwareServer::summary() {
    uint64_t now = now_ns();
    double secs = start_ns_ ? static_cast<double>(now - start_ns_) / 1e9 : 0;
    double mbs = secs > 0 ? static_cast<double>(bytes_) / 1e6 / secs : 0;
    if (json_) {
        progress(true);
        printf(
            "{\"msg\":\"served\",\"count\":%u,\"bytes\":%llu,\"seconds\":%.4f,\"mbps\":%.2f,"
            "\"repeats\":%u}\n",
            count_, static_cast<unsigned long long>(bytes_), secs, mbs, repeats_);
    } else {
        progress(true);
        printf("\nfirmware served: %u fragments, %llu bytes in %.2f s (%.2f MB/s), %u repeats\n",
               count_, static_cast<unsigned long long>(bytes_), secs, mbs, repeats_);
    }
    fflush(stdout);
}
