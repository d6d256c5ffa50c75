#include "sim/diagcard/card_items.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "common/bytes.h"
#include "sim/diagcard/card_config.h"

namespace {

constexpr uint8_t kNvWrite = 0x27;
constexpr size_t kNvPacket = 133;
constexpr uint16_t kItemLocked = 81;
constexpr uint16_t kItemLockCode = 82;
constexpr size_t kPrlHeader = 6;
constexpr size_t kPrlChunk = 120;

const uint16_t kNamItems[] = {10, 20, 21, 32, 33, 34, 35, 37, 176, 177, 178, 258, 259, 442};

bool fail(std::string *error, const std::string &why) {
    *error = why;
    return false;
}

bool number(const std::string &text, long long min, long long max, long long *out) {
    if (text.empty()) return false;
    char *end = nullptr;
    long long v = strtoll(text.c_str(), &end, 0);
    if (*end || v < min || v > max) return false;
    *out = v;
    return true;
}

uint32_t key_of(uint16_t item, const uint8_t *data) {
    return static_cast<uint32_t>(item) << 8 | (card_is_nam_item(item) ? data[0] : 0);
}

void store(CardItems &items, uint16_t item, const uint8_t *data) {
    items.nv[key_of(item, data)] = std::vector<uint8_t>(data, data + kCardNvDataSize);
}

// Written aside and renamed, so a reader never sees half a store.
void save(const CardItems &items) {
    if (items.store_file.empty()) return;
    std::string tmp = items.store_file + ".tmp";
    FILE *f = fopen(tmp.c_str(), "w");
    if (!f) return;
    std::string text = card_store_text(items);
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    if (fclose(f) != 0 || !ok || rename(tmp.c_str(), items.store_file.c_str()) != 0)
        unlink(tmp.c_str());
}

// Hex without the trailing zero bytes (at least one byte).
std::string trimmed_hex(const std::vector<uint8_t> &data) {
    size_t n = data.size();
    while (n > 1 && data[n - 1] == 0)
        --n;
    return card_hex(data.data(), n);
}

bool load_store(CardItems &items, const std::string &file, std::string *error) {
    FILE *f = fopen(file.c_str(), "r");
    if (f) {
        char line[1024];
        while (fgets(line, sizeof line, f)) {
            std::string text(line);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                text.pop_back();
            std::istringstream in(text);
            std::string word, rest;
            in >> word;
            std::getline(in, rest);
            bool known = false;
            if (word.empty() || word[0] == '#') continue;
            if ((word != "nv" && word != "prl-data") ||
                !card_items_control(items, word, rest, &known, error)) {
                fclose(f);
                return fail(error, file + ": bad line \"" + text + "\"");
            }
        }
        fclose(f);
    }
    items.store_file = file;
    return true;
}

// Fixed-size records: name, size, bytes of the request's header repeated before them.
struct RecordKind {
    const char *name;
    size_t size;
    size_t header;
};
const RecordKind kRecords[] = {
    {"status", 47, 1},       {"status-snapshot", 35, 1}, {"snapshot", 43, 13},
    {"cm-state", 40, 4},     {"hdr-state", 9, 4},        {"rssi", 8, 4},
    {"eri", 87, 4},          {"ta-graph", 12, 1},        {"fer", 64, 1},
    {"network-time", 17, 4},
};

const RecordKind *record_kind(const std::string &name) {
    for (const RecordKind &k : kRecords)
        if (name == k.name) return &k;
    return nullptr;
}

}  // namespace

bool card_is_nam_item(uint16_t item) {
    for (uint16_t nam_item : kNamItems)
        if (item == nam_item) return true;
    return false;
}

bool card_items_control(CardItems &items, const std::string &word, const std::string &rest,
                        bool *known, std::string *error) {
    std::istringstream in(rest);
    std::string a, b;
    long long v = 0, w = 0;
    *known = true;
    if (word == "nv") {
        in >> a;
        std::getline(in, b);
        std::vector<uint8_t> data;
        if (!number(a, 0, 65535, &v) || !card_parse_hex(b, &data) || data.empty() ||
            data.size() > kCardNvDataSize)
            return fail(error, "nv: ITEM HEX (1-128 bytes)");
        data.resize(kCardNvDataSize, 0);
        store(items, static_cast<uint16_t>(v), data.data());
        save(items);
    } else if (word == "nv-status") {
        in >> a >> b;
        if (!number(a, 0, 65535, &v) || !number(b, 0, 65535, &w))
            return fail(error, "nv-status: ITEM STATUS (0 answers normally)");
        if (w == 0)
            items.forced_status.erase(static_cast<uint16_t>(v));
        else
            items.forced_status[static_cast<uint16_t>(v)] = static_cast<uint16_t>(w);
    } else if (word == "nv-store") {
        in >> a;
        if (a.empty()) return fail(error, "nv-store: FILE");
        return load_store(items, a, error);
    } else if (word == "spc") {
        in >> a;
        if (a.size() != 6 || a.find_first_not_of("0123456789") != std::string::npos)
            return fail(error, "spc: six digits");
        items.spc = a;
    } else if (word == "lock-code") {
        in >> a;
        if (a.size() != 4) return fail(error, "lock-code: four characters");
        uint8_t data[kCardNvDataSize] = {};
        std::memcpy(data, a.data(), 4);
        store(items, kItemLockCode, data);
        save(items);
    } else if (word == "prl-fail") {
        in >> a >> b;
        if (a == "off") {
            items.prl_fail_sequence = -1;
        } else if (number(a, 0, 255, &v) && number(b, 0, 255, &w)) {
            items.prl_fail_sequence = static_cast<int>(v);
            items.prl_fail_status = static_cast<uint8_t>(w);
        } else {
            return fail(error, "prl-fail: SEQUENCE STATUS, or off");
        }
    } else if (word == "prl-version") {
        in >> a;
        if (!number(a, 0, 65535, &v)) return fail(error, "prl-version: 0-65535");
        items.prl_version = static_cast<uint16_t>(v);
    } else if (word == "prl-data") {
        std::getline(in, a);
        if (!card_parse_hex(a, &items.prl)) return fail(error, "prl-data: HEX");
    } else {
        *known = false;
        return false;
    }
    return true;
}

std::vector<uint8_t> card_nv_answer(CardItems &items, const uint8_t *request, size_t len) {
    std::vector<uint8_t> p(request, request + len);
    if (len != kNvPacket) return p;  // the engine refuses any other length
    uint16_t item = get_le16(request + 1);
    const uint8_t *data = request + 3;
    uint8_t *status = p.data() + 3 + kCardNvDataSize;
    auto forced = items.forced_status.find(item);
    if (forced != items.forced_status.end()) {
        put_le16(status, forced->second);
        return p;
    }
    if (request[0] == kNvWrite) {
        store(items, item, data);
        save(items);
        put_le16(status, 0);
        return p;
    }
    auto found = items.nv.find(key_of(item, data));
    if (found == items.nv.end()) {
        put_le16(status, kCardNvNotActive);
    } else {
        std::memcpy(p.data() + 3, found->second.data(), kCardNvDataSize);
        put_le16(status, 0);
    }
    return p;
}

std::vector<uint8_t> card_spc_answer(const CardItems &items, const uint8_t *request, size_t len) {
    bool match = len >= 7 && std::memcmp(request + 1, items.spc.data(), 6) == 0;
    return {0x41, static_cast<uint8_t>(match ? 1 : 0)};
}

std::vector<uint8_t> card_lock_answer(CardItems &items, const uint8_t *request, size_t len) {
    std::vector<uint8_t> p(6, 0);
    std::memcpy(p.data(), request, 4);
    if (len < 10) return p;
    uint8_t code_item[kCardNvDataSize] = {'0', '0', '0', '0'};
    auto found = items.nv.find(static_cast<uint32_t>(kItemLockCode) << 8);
    const uint8_t *code = found == items.nv.end() ? code_item : found->second.data();
    if (std::memcmp(request + 6, code, 4) == 0) {
        uint8_t flag[kCardNvDataSize] = {request[5]};
        store(items, kItemLocked, flag);
        save(items);
        p[5] = 1;
    }
    return p;
}

std::vector<uint8_t> card_prl_answer(CardItems &items, const uint8_t *request, size_t len) {
    std::vector<uint8_t> p = {0x48, 0};
    if (len < kPrlHeader) {
        p[1] = 2;
        return p;
    }
    uint8_t sequence = request[1];
    uint8_t more = request[2];
    size_t bytes = get_le16(request + 4) / 8u;
    if (bytes > kPrlChunk || len < kPrlHeader + bytes) bytes = 0;
    if (static_cast<int>(sequence) == items.prl_fail_sequence) {
        p[1] = items.prl_fail_status;
        return p;
    }
    if (sequence == 0) items.prl_building.clear();
    items.prl_building.insert(items.prl_building.end(), request + kPrlHeader,
                              request + kPrlHeader + bytes);
    if (!more) {
        items.prl = items.prl_building;
        items.prl_building.clear();
        save(items);
        p[1] = 1;
    }
    return p;
}

std::vector<uint8_t> card_prl_version_answer(const CardItems &items, const uint8_t *request) {
    std::vector<uint8_t> p(6, 0);
    std::memcpy(p.data(), request, 4);
    put_le16(p.data() + 4, items.prl_version);
    return p;
}

std::string card_store_text(const CardItems &items) {
    std::string text;
    for (const auto &entry : items.nv)
        text += "nv " + std::to_string(entry.first >> 8) + " " + trimmed_hex(entry.second) + "\n";
    if (!items.prl.empty())
        text += "prl-data " + card_hex(items.prl.data(), items.prl.size()) + "\n";
    return text;
}

CardRecords::CardRecords() {
    for (const RecordKind &k : kRecords)
        bytes[k.name] = std::vector<uint8_t>(k.size, 0);
    // A card in EV-DO service with a hybrid 1x: service class 2, snapshot service byte 6.
    put_le32(bytes["cm-state"].data() + 4, 5);
    put_le32(bytes["cm-state"].data() + 8, 2);
    std::vector<uint8_t> &hdr = bytes["hdr-state"];
    hdr[1] = 4;
    hdr[2] = 3;
    hdr[8] = 1;
    std::vector<uint8_t> &snap = bytes["snapshot"];
    put_le32(snap.data(), 100);
    snap[18] = 6;
    snap[38] = 4;
    snap[42] = 1;
    bytes["ta-graph"][0] = static_cast<uint8_t>(-90);
    put_le16(bytes["status"].data() + 33, 0x0102);
    std::vector<uint8_t> &rssi = bytes["rssi"];
    put_le16(rssi.data(), 20);
    put_le16(rssi.data() + 2, 85);
    put_le16(rssi.data() + 4, 18);
    put_le16(rssi.data() + 6, 90);
    std::memcpy(bytes["eri"].data() + 1, "SIMULATED ERI", 13);
}

bool card_records_control(CardRecords &records, const std::string &word, const std::string &rest,
                          bool *known, std::string *error) {
    std::istringstream in(rest);
    std::string a, b, c, d;
    long long v = 0, w = 0, x = 0;
    *known = true;
    if (word == "record") {
        in >> a;
        std::getline(in, b);
        const RecordKind *k = record_kind(a);
        std::vector<uint8_t> data;
        if (!k || !card_parse_hex(b, &data) || data.size() > k->size)
            return fail(error, "record: NAME HEX (at most the record's size)");
        data.resize(k->size, 0);
        records.bytes[a] = data;
    } else if (word == "record-field") {
        in >> a >> b >> c >> d;
        const RecordKind *k = record_kind(a);
        if (!k || !number(b, 0, 255, &v) || !number(c, 1, 4, &w) || w == 3 ||
            static_cast<size_t>(v + w) > k->size || !number(d, INT32_MIN, UINT32_MAX, &x))
            return fail(error, "record-field: NAME OFFSET SIZE(1, 2 or 4) VALUE");
        uint8_t *p = records.bytes[a].data() + v;
        if (w == 1) *p = static_cast<uint8_t>(x);
        if (w == 2) put_le16(p, static_cast<uint16_t>(x));
        if (w == 4) put_le32(p, static_cast<uint32_t>(x));
    } else if (word == "eri-error") {
        in >> a >> b;
        if (!number(a, 0, 255, &v) || (!b.empty() && !number(b, 0, 255, &w)))
            return fail(error, "eri-error: FLAG [CODE]");
        records.eri_flag = static_cast<uint8_t>(v);
        records.eri_code = static_cast<uint8_t>(w);
    } else if (word == "eri-length") {
        in >> a;
        if (!number(a, 4, 1000, &v)) return fail(error, "eri-length: 4-1000");
        records.eri_length = static_cast<size_t>(v);
    } else if (word == "build-id") {
        in >> a >> b >> c >> d;
        if (!number(a, 0, UINT32_MAX, &v) || !number(b, 0, UINT32_MAX, &w) || c.empty())
            return fail(error, "build-id: MSM MODEL BUILD [MODEL_TEXT]");
        records.msm = static_cast<uint32_t>(v);
        records.model_id = static_cast<uint32_t>(w);
        records.build = c;
        records.model_text = d;
    } else if (word == "mode-echo") {
        in >> a;
        if (a != "normal" && a != "wrong") return fail(error, "mode-echo: normal or wrong");
        records.wrong_mode_echo = a == "wrong";
    } else {
        *known = false;
        return false;
    }
    return true;
}

std::vector<uint8_t> card_record_answer(const CardRecords &records, const std::string &name,
                                        const uint8_t *request, size_t len) {
    const RecordKind *k = record_kind(name);
    const std::vector<uint8_t> &data = records.bytes.at(name);
    std::vector<uint8_t> p(k->header + data.size(), 0);
    std::memcpy(p.data(), request, len < k->header ? len : k->header);
    std::memcpy(p.data() + k->header, data.data(), data.size());
    return p;
}

std::vector<uint8_t> card_eri_answer(const CardRecords &records, const uint8_t *request) {
    if (records.eri_flag)
        return {request[0], request[1], request[2], request[3], records.eri_flag, records.eri_code};
    const std::vector<uint8_t> &data = records.bytes.at("eri");
    std::vector<uint8_t> p(4 + data.size(), 0);
    std::memcpy(p.data(), request, 4);
    std::memcpy(p.data() + 4, data.data(), data.size());
    p.resize(records.eri_length, 0);
    return p;
}

std::vector<uint8_t> card_build_id_answer(const CardRecords &records) {
    const std::string &b = records.build, &m = records.model_text;
    std::vector<uint8_t> p(12 + b.size() + 1 + m.size() + 1, 0);
    p[0] = 0x7C;
    put_le32(p.data() + 4, records.msm);
    put_le32(p.data() + 8, records.model_id);
    std::memcpy(p.data() + 12, b.data(), b.size());
    std::memcpy(p.data() + 12 + b.size() + 1, m.data(), m.size());
    return p;
}

std::vector<uint8_t> card_mode_answer(const CardRecords &records, const uint8_t *request,
                                      size_t len) {
    std::vector<uint8_t> p = {0x29, 0, 0};
    uint16_t mode = len >= 3 ? get_le16(request + 1) : 0;
    put_le16(p.data() + 1, records.wrong_mode_echo ? static_cast<uint16_t>(mode + 1) : mode);
    return p;
}
