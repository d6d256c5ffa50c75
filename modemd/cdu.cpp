// The "cdu" family. Until its protocol driver is built, opening only claims the port: no
// command is registered, so every command is answered "no handler" (result 2).
#include "modemd/families.h"
#include "modemd/modem_port.h"

msgcmd_link cdu_msg2cmd_node_list = {&cdu_msg2cmd_node_list, &cdu_msg2cmd_node_list};

int cdu_init(const char *port) {
    return modem_port_open(port);
}
