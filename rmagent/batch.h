// Sending variables to the server in batches: entries "name=value\0" are collected until the
// text reaches 513 bytes, then sent as one blocking exchange (up to 4 sends, 2 seconds of
// silence each). The text is built in place in the transmit buffer. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "rmagent/session.h"
#include "rmagent/variables.h"

inline constexpr size_t kBatchThreshold = 513;

// The text of one batch, in the session's transmit buffer after the header and prefix.
struct var_text {
    char *buf;
    size_t len;
};

var_text var_text_start(rcm_session *s);

// Appends "name=value\0". A value too long for the rest of the transmit buffer is cut so
// that the entry ends there (in practice a value of over 7,000 bytes).
void var_text_add(var_text *t, const char *name, const char *value);

// Appends an entry already formatted (cut the same way).
void var_text_add_entry(var_text *t, const char *entry);

// One blocking batch exchange; 0, or -1 when the server never answered.
[[nodiscard]] int send_variable_param(rcm_session *s, uint16_t oid, uint16_t variable_type,
                                      uint16_t unit, const char *text, size_t length);

// Sends the text when it reached the threshold and starts a new one. 0, or -1.
[[nodiscard]] int var_text_flush_full(rcm_session *s, var_text *t, uint16_t oid,
                                      uint16_t variable_type, uint16_t unit);

// Sends what is left, if anything. 0, or -1.
[[nodiscard]] int var_text_flush(rcm_session *s, var_text *t, uint16_t oid, uint16_t variable_type,
                                 uint16_t unit);

// The batching loops: the unit_kind 0 rows with unit 0; or the rows of `unit_kind` for each
// unit from 0 to `units` - 1. 0, or -1 at the first failed batch.
[[nodiscard]] int do_send_single_variable(rcm_session *s, const variable_row *table, uint16_t oid);
[[nodiscard]] int do_send_multiple_variable(rcm_session *s, const variable_row *table, uint16_t oid,
                                            int unit_kind, int units);

// The configuration (oid 3) and the status (oid 4, ending with the DHCP lease list and the
// wireless station list). 0, or -1 at the first failed batch.
[[nodiscard]] int do_config_send(rcm_session *s);
[[nodiscard]] int do_information_send(rcm_session *s);
