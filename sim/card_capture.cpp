#include "sim/card_capture.h"

#include <time.h>

#include <cerrno>
#include <cstring>

#include "common/pcap_file.h"

namespace {

long long now_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

}  // namespace

CardCapture::~CardCapture() {
    close();
}

bool CardCapture::open(const std::string &path, uint8_t framing, std::string *error) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_) fclose(file_);
    file_ = fopen(path.c_str(), "wb");
    if (!file_) {
        *error = path + ": " + strerror(errno);
        return false;
    }
    framing_ = framing;
    start_ms_ = now_ms();
    to_card_.reset(framing == kPcapCns);
    from_card_.reset(framing == kPcapCns);
    uint8_t head[kPcapFileHeaderSize];
    pcap_file_header(head, kPcapLinkCard);
    if (fwrite(head, sizeof head, 1, file_) != 1 || fflush(file_) != 0) {
        *error = path + ": " + strerror(errno);
        fclose(file_);
        file_ = nullptr;
        return false;
    }
    return true;
}

void CardCapture::write_record(void *ctx, const uint8_t *frame, size_t len) {
    CardCapture *self = static_cast<CardCapture *>(ctx);
    uint8_t pseudo[kPcapCardPseudoHeader] = {self->dir_, self->framing_};
    uint8_t head[kPcapRecordHeaderSize];
    size_t stored = pcap_captured_len(len + sizeof pseudo) - sizeof pseudo;
    pcap_record_header(head, static_cast<unsigned long long>(now_ms() - self->start_ms_),
                       len + sizeof pseudo);
    bool ok = fwrite(head, sizeof head, 1, self->file_) == 1 &&
              fwrite(pseudo, sizeof pseudo, 1, self->file_) == 1 &&
              fwrite(frame, 1, stored, self->file_) == stored && fflush(self->file_) == 0;
    if (!ok) {
        fprintf(stderr, "card capture: %s: no longer written\n", strerror(errno));
        fclose(self->file_);
        self->file_ = nullptr;
    }
}

void CardCapture::feed(FrameCut *cut, uint8_t dir, const uint8_t *bytes, size_t len) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_ || len == 0) return;
    dir_ = dir;
    cut->feed(bytes, len, write_record, this);
}

void CardCapture::to_card(const uint8_t *bytes, size_t len) {
    feed(&to_card_, kPcapToCard, bytes, len);
}

void CardCapture::from_card(const uint8_t *bytes, size_t len) {
    feed(&from_card_, kPcapFromCard, bytes, len);
}

void CardCapture::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_) return;
    dir_ = kPcapToCard;
    to_card_.flush(write_record, this);
    dir_ = kPcapFromCard;
    if (file_) from_card_.flush(write_record, this);
    if (file_) fclose(file_);
    file_ = nullptr;
}
