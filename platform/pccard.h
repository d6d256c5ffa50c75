// The PC card driver as the factory tool's card test reaches it: the driver's major number
// from "/proc/devices", a control node for socket 0, and card services requests on it
// (platform/cardservices.h). Under a router root the node is a plain file made in place of a
// device node (removed at once, like the node) and every request is answered from
// "/sys/class/pccard/socket0/": status (hex state word), vers_1 (product strings, one a
// line), manfid ("0xMANF 0xCARD"), funcid (decimal), config ("TYPE 0xBASE"); an absent file is
// an absent tuple or a failed request. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/cardservices.h"

// The major number of driver `name` in "/proc/devices", read at most 31 characters at a time
// (a longer line is skipped whole). -1 with errno set when the file cannot be opened; -2 when
// no line names the driver.
[[nodiscard]] int pccard_find_major(const char *name);

// Makes `<dir>/cc-<pid>` (character node, mode 0600, `major`, minor 0) in each of
// "/var/lib/pcmcia", "/var/run", "/dev", "/tmp" in turn, opens it read-only and removes it
// whether or not the open succeeded. The descriptor, or -1 with errno set (stops early when an
// open fails with ENODEV).
[[nodiscard]] int pccard_open_sock(int major);

// DS_GET_STATUS for function 0. 0 with the state word, or -1.
[[nodiscard]] int pccard_get_status(int fd, uint32_t *state);

// The product strings of the version-1 tuple: at most 4, each pointing into `reply`. The count,
// or -1 when the tuple is absent or its reply is unusable.
[[nodiscard]] int pccard_get_vers1(int fd, cs_vers1 *reply, const char *strings[kCsMaxProdStrings]);
// The strings of a version-1 reply, bounded: at most 4, each offset inside the string area and
// each string NUL-terminated there. The count, or -1 when an offset or a string is out of it.
[[nodiscard]] int pccard_vers1_strings(const cs_vers1 *reply,
                                       const char *strings[kCsMaxProdStrings]);
[[nodiscard]] int pccard_get_manfid(int fd, cs_manfid *out);
[[nodiscard]] int pccard_get_funcid(int fd, cs_funcid *out);
// DS_GET_CONFIGURATION_INFO for function 0: interface type and configuration base word.
[[nodiscard]] int pccard_get_config(int fd, uint32_t *int_type, uint32_t *config_base);
