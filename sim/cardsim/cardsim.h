// A simulated card behind a pseudo-terminal: the Sierra (CnS), KPC650 or CDU family, answering
// as the card would, with faults on request and a log of what it received. Test equipment:
// the program `cardsim` (sim/cardsim/main.cpp) and the tests drive the same class.
//
// Not thread-safe by itself: CardSimThread (cardsim_thread.h) serialises a loop thread and the
// test's calls.
//
// Control lines (control()), one command each; numbers in hex unless said otherwise, HEX is
// pairs of hex digits:
//   all families
//     fault NAME [COUNT [AFTER]]
//                         the next COUNT (decimal, default 1) frames the card sends, after
//                         AFTER good ones (decimal, default 0): none, noanswer, short (15 raw
//                         bytes), wrongtype, notice (a notification instead of the answer),
//                         badcrc, split (two writes 1 s apart), vanish (the pty is closed
//                         instead)
//     vanish              closes the pty now, as when the card is pulled out
//     raw HEX             writes the bytes as they are
//   sierra
//     set OBJ HEX         an object's value (remembered; sets from modemd change it too)
//     setarg OBJ ARG HEX  the value of an object read with an argument (MDN, IMSI per NAM)
//     diag HEX            the answer to DIAG pass-through requests (default: the request)
//     sms SENDER TEXT     a waiting short message (TEXT is the rest of the line)
//     smsraw HEX          a waiting message whose assembled bytes are HEX
//     smsfirst N TYPE     pkttype of the first chunk of message N (decimal, from 0)
//     smslast TYPE        pkttype of every last chunk (2 or 3; default 2)
//     chunk N             data bytes per chunk (decimal, default 100)
//     notify heartbeat | sendstatus MSGID ERR CAUSE | OBJ [HEX]
//   kpc650
//     keepalive           sends a keep-alive frame (COMMAND 1, CHANNEL 0, MSGTYPE 3)
//     frame HEX           sends a frame with its check value
//     reply HEX           the answer to good frames (default: the frame's data)
//     The activation tool's frames are answered as a card being activated: startup, query
//     and bye are answered, hello with `hello`'s byte, the PRL version as `prl` says; after
//     the start-activation frame the `otasp` reports follow (channel 10, type 1, the state):
//     otasp STATE...      the states reported, decimal (default 1 to 9)
//     otasp never         no reports
//     otasp every MS      milliseconds between reports (decimal, default 200)
//     otasp glue          the last two reports in one write
//     hello HEX           byte 14 of the hello reply (default 01)
//     prl N be|le         the PRL version (decimal) and the byte order of the reply's type 9
//     One stray byte before a frame (the startup frame's trailing 00) is ignored.
//   cdu
//     esn HEX             4-byte ESN
//     gps ready N | never the status poll answers ready from the Nth poll (decimal) or never
//     nmea SENTENCE       the sentence answered to code 0xD8
//     frame HEX           sends a frame with its check value
//
// Log lines (log()): "raw HEX" every read; "req HEX" every decoded frame (Sierra: header
// included; KPC650/CDU: without the check value); "bad HEX" a frame whose check value is
// wrong; "ack MSGID" an SMS acknowledgement; "echo HEX" a keep-alive sent back; "sent HEX"
// every frame sent (decoded); "fault NAME"; "tail" the second half of a split answer;
// "vanished"; "stray XX" a byte ignored before a frame; "otasp STATE" each report sent.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

class CardCapture;

namespace cardsim {

using Bytes = std::vector<uint8_t>;

enum class Family { kSierra, kKpc650, kCdu };

// "sierra", "kpc650", "cdu" (and "sierra_module"); false when unknown.
bool parse_family(const std::string &name, Family *family);

std::string hex(const Bytes &b);
bool parse_hex(const std::string &text, Bytes *out);

struct SmsMessage {
    Bytes assembled;  // the envelope: 184-byte header, then the text
    uint16_t msgid;
    int first_pkttype = 1;
    bool acked = false;
};

class CardSim {
  public:
    explicit CardSim(Family family);
    ~CardSim();
    CardSim(const CardSim &) = delete;
    CardSim &operator=(const CardSim &) = delete;

    // Creates the pty (raw mode, slave held open so its settings stay). False on failure.
    bool open_pty(std::string *error);
    const std::string &slave_path() const { return slave_path_; }
    int master_fd() const { return master_; }
    bool gone() const { return master_ < 0; }

    // Applies one control line. Returns "" or what was wrong with it.
    std::string control(const std::string &line);

    // Reads what the master has (one read) and answers it.
    void on_readable();

    // Milliseconds until delayed output is due (-1: none), and sending it.
    int next_due_ms() const;
    void run_due();

    const std::vector<std::string> &log() const { return log_; }
    void set_log_file(FILE *f) { log_file_ = f; }
    // What the card reads and writes also goes to `c` (not owned; nullptr: nowhere).
    void set_capture(CardCapture *c) { capture_ = c; }

  private:
    // Output.
    void send_frame(const Bytes &decoded);
    Bytes stuff(const Bytes &decoded) const;
    void write_raw(const Bytes &raw);
    void vanish();
    void note(const std::string &line);

    // Input.
    void on_frame(const Bytes &segment);
    Bytes unstuff(const Bytes &segment) const;

    // Families.
    void sierra_frame(const Bytes &d);
    void sierra_cns(const Bytes &msg);
    Bytes sierra_get(uint16_t obj, const Bytes &payload);
    void sierra_notify(uint16_t obj, const Bytes &payload);
    Bytes sms_chunk(size_t index, size_t chunk);
    std::vector<Bytes> sms_chunks(const SmsMessage &m) const;
    void crc_frame(const Bytes &data);
    void kpc650_frame(const Bytes &data);
    void cdu_frame(const Bytes &data);
    bool activation_frame(const Bytes &data);
    void send_reports_due();
    std::string sierra_control(const std::vector<std::string> &w, const std::string &line);
    std::string crc_control(const std::vector<std::string> &w, const std::string &line);

    Family family_;
    int master_ = -1;
    int slave_ = -1;
    std::string slave_path_;
    Bytes segment_;
    std::vector<std::string> log_;
    FILE *log_file_ = nullptr;
    CardCapture *capture_ = nullptr;

    std::string fault_;
    int fault_count_ = 0;
    int fault_after_ = 0;  // good frames still to send before the fault starts
    Bytes tail_;
    long tail_due_ms_ = 0;

    // Sierra.
    std::map<uint16_t, Bytes> objects_;
    std::map<std::pair<uint16_t, uint16_t>, Bytes> arg_objects_;
    bool diag_echo_ = true;
    Bytes diag_reply_;
    std::vector<SmsMessage> sms_;
    int sms_cursor_ = -1;
    size_t chunk_size_ = 100;
    int last_pkttype_ = 2;
    uint16_t next_msgid_ = 1;
    Bytes notify_id_ = {0x78, 0x56, 0x34, 0x12};

    // KPC650 and CDU.
    bool reply_echo_ = true;
    Bytes reply_;
    uint32_t esn_ = 0x8A1B2C3D;
    std::vector<int> otasp_states_ = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::vector<int> otasp_queue_;  // reports still to send
    bool otasp_never_ = false;
    bool otasp_glue_ = false;
    long otasp_every_ms_ = 200;
    long otasp_due_ms_ = 0;
    uint8_t hello_byte_ = 0x01;
    uint16_t prl_version_ = 1;
    bool prl_le_ = false;
    int gps_ready_after_ = 1;  // -1: never
    int gps_polls_ = 0;
    std::string nmea_ = "$GPGGA,123519,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,*47";
};

}  // namespace cardsim
