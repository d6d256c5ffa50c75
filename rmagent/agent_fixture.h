// Test fixture for the agent's session logic, in-process: a fake management server on a
// loopback socket and the fake of the time and process seam (platform/env_fake.h): the agent's
// blocking waits are instant (a wait pumps the fake server, then reports readable or advances
// the fake clock), sleeps advance the clock, and the reboot wait returns.
// Test code only.
#pragma once

#include <gtest/gtest.h>
#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/env_fake.h"
#include "rmagent/session.h"
#include "sim/syslog_ring_writer.h"
#include "tests/support/testsupport.h"

struct Datagram {
    std::vector<uint8_t> bytes;
    uint32_t seq() const;
    uint16_t oid() const;
    uint16_t kind() const;
    uint16_t payloadlen() const;
    std::string text() const;                  // the payload after a batch prefix (for oid 3 and 4)
    std::vector<std::string> entries() const;  // a batch's "name=value" entries
};

class FakeServer {
  public:
    FakeServer();
    ~FakeServer();
    sockaddr_in addr() const { return addr_; }

    // Takes every datagram waiting; answers each request/report (kind 0) with an
    // acknowledgement carrying its seq and oid, unless silent or dropping.
    void pump();
    // Sends `bytes` to the agent (from this server's socket).
    void send(const std::vector<uint8_t> &bytes);
    // A server request header with `oid`, `kind`, `seq` and `payload`.
    static std::vector<uint8_t> request(uint16_t oid, uint16_t kind, uint32_t seq,
                                        const std::vector<uint8_t> &payload = {},
                                        uint16_t magic = 0x002B);
    // The datagrams of `oid` received so far.
    std::vector<Datagram> with_oid(uint16_t oid) const;

    std::vector<Datagram> got;
    bool silent = false;
    // Datagrams for which this holds are taken without an answer.
    std::function<bool(const Datagram &)> ignore;
    uint8_t session_id[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    uint16_t reply_oid = 0;  // 0: the datagram's own
    uint16_t reply_kind = 1;
    int sock = -1;
    sockaddr_in agent{};

  private:
    sockaddr_in addr_{};
};

class AgentTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // rcm_open() with the fake server answering.
    void open_session();
    // Advances the fake clock one second at a time, running the loop and the server.
    void run_for(int seconds);
    // One round of the loop now (handlers for what arrived).
    void step();
    std::string trace();  // what the agent wrote on its debug stream
    std::string console();
    void set_nvram(const char *name, const char *value);

    testsupport::TempRouterRoot root_;
    FakeEnv env_;
    FakeServer server_;
    RingWriter ring_;
    rcm_session *s_ = nullptr;
    std::string old_path_;
    FILE *trace_ = nullptr;
    int reboots_ = 0;

  public:
    // Called on each of the agent's blocking waits (after the server was pumped).
    std::function<void()> on_wait;
};
