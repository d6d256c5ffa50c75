// The "novatel" family. Until the DIAG engine is built, opening only checks that the port can
// be opened read/write: no command is registered, so every command is answered "no handler".
#include <unistd.h>

#include "modemd/families.h"
#include "modemd/modem_port.h"

msgcmd_link nvtl_msg2cmd_node_list = {&nvtl_msg2cmd_node_list, &nvtl_msg2cmd_node_list};

int nvtl_init(const char *port) {
    int fd = modem_port_open(port);
    if (fd < 0) return -1;
    close(fd);
    return 0;
}
