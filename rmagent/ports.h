// The agent's fixed ports and addresses, each with an environment override so that several
// agents (or tests) can share one host:
//   RMAGENT_PORT          the agent's UDP port (1161; 0 lets the kernel choose)
//   RMAGENT_SERVER_PORT   the management server's port (1162)
//   RMAGENT_ADDR          the local address the agent's sockets bind to (all addresses)
//   RMAGENT_DESKMGR_PORT  the desktop-manager TCP port (5000)
//   RMAGENT_DISCOVERY_PORT the discovery UDP port (2719)
//   RMAGENT_SYSLOG_KEY    the key of the syslog ring and its semaphores (0x414E4547)
// Reentrant.
#pragma once

#include <netinet/in.h>

inline constexpr int kRcmAgentPort = 1161;
inline constexpr int kRcmServerPort = 1162;
inline constexpr int kDeskmgrPort = 5000;
inline constexpr int kDiscoveryPort = 2719;
inline constexpr int kSyslogRingKey = 0x414E4547;

// The port in environment variable `var` (decimal, 0-65535), `fallback` when unset or empty,
// or -1 when the value is not a port.
int rcm_env_port(const char *var, int fallback);

// The IPC key in RMAGENT_SYSLOG_KEY (decimal, or hex with 0x), kSyslogRingKey when unset, or
// -1 when malformed.
int rcm_syslog_key(void);

// The bind address from RMAGENT_ADDR (dotted IPv4), INADDR_ANY when unset. false when
// malformed.
[[nodiscard]] bool rcm_bind_addr(in_addr *out);
