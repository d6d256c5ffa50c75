// The open functions and handler lists of the card families in cnsport_table.
#pragma once

#include "modemd/msg2cmd.h"

extern msgcmd_link sierra_msg2cmd_node_list;
extern msgcmd_link kpc650_msg2cmd_node_list;
extern msgcmd_link nvtl_msg2cmd_node_list;
extern msgcmd_link cdu_msg2cmd_node_list;

[[nodiscard]] int sierra_init(const char *port);
[[nodiscard]] int kpc650_init(const char *port);
[[nodiscard]] int nvtl_init(const char *port);
[[nodiscard]] int cdu_init(const char *port);
