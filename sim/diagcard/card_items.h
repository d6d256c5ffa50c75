// The simulated card's items and records: the NV item store (with its file), the SPC, the
// phone lock, the PRL download, and the status records it answers. Plain data, changed by
// control lines (README.md) and by the requests that write them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

inline constexpr size_t kCardNvDataSize = 128;
inline constexpr uint16_t kCardNvNotActive = 5;  // nv_status of an item never written

struct CardItems {
    // Item data by item << 8 | NAM (NAM 0 for items without one; for NAM items data byte 0).
    std::map<uint32_t, std::vector<uint8_t>> nv;
    std::map<uint16_t, uint16_t> forced_status;  // item -> nv_status answered instead
    std::string store_file;                      // saved after every write when set
    std::string spc = "000000";
    std::vector<uint8_t> prl_building;  // chunks so far
    std::vector<uint8_t> prl;           // the last complete list
    int prl_fail_sequence = -1;         // chunk answered with prl_fail_status
    uint8_t prl_fail_status = 2;
    uint16_t prl_version = 1;
};

struct CardRecords {
    std::map<std::string, std::vector<uint8_t>> bytes;  // fixed-size records by name
    uint8_t eri_flag = 0;                               // nonzero: ERI refused, with eri_code
    uint8_t eri_code = 0;
    size_t eri_length = 91;  // the whole ERI answer when not refused
    uint32_t msm = 0x0000002A;
    uint32_t model_id = 0x00000099;
    std::string build = "SIMBUILD-1.0.0";
    std::string model_text = "SIMCARD";
    bool wrong_mode_echo = false;
    CardRecords();
};

// Control lines of each part. *known is set when the word is theirs (then a false return is
// a bad line, with the reason in *error).
bool card_items_control(CardItems &items, const std::string &word, const std::string &rest,
                        bool *known, std::string *error);
bool card_records_control(CardRecords &records, const std::string &word, const std::string &rest,
                          bool *known, std::string *error);

// The NAM items of the card: data byte 0 is the NAM index.
bool card_is_nam_item(uint16_t item);

// Answers (request as received, its packet without check value).
std::vector<uint8_t> card_nv_answer(CardItems &items, const uint8_t *request, size_t len);
std::vector<uint8_t> card_spc_answer(const CardItems &items, const uint8_t *request, size_t len);
std::vector<uint8_t> card_lock_answer(CardItems &items, const uint8_t *request, size_t len);
std::vector<uint8_t> card_prl_answer(CardItems &items, const uint8_t *request, size_t len);
std::vector<uint8_t> card_prl_version_answer(const CardItems &items, const uint8_t *request);
// A status record (its name as in control lines) after the request's header.
std::vector<uint8_t> card_record_answer(const CardRecords &records, const std::string &name,
                                        const uint8_t *request, size_t len);
std::vector<uint8_t> card_eri_answer(const CardRecords &records, const uint8_t *request);
std::vector<uint8_t> card_build_id_answer(const CardRecords &records);
std::vector<uint8_t> card_mode_answer(const CardRecords &records, const uint8_t *request,
                                      size_t len);

// The store as text: "nv ITEM HEX" an item a line, then "prl-data HEX" (control lines).
std::string card_store_text(const CardItems &items);
