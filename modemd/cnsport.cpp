#include "modemd/cnsport.h"

#include <cstring>

#include "modemd/families.h"

cnsport cnsport_table[kCnsportFamilies] = {
    {"sierra_module", sierra_init, &sierra_msg2cmd_node_list},
    {"kpc650", kpc650_init, &kpc650_msg2cmd_node_list},
    {"novatel", nvtl_init, &nvtl_msg2cmd_node_list},
    {"cdu", cdu_init, &cdu_msg2cmd_node_list},
};

cnsport *cnsport_ctx;

cnsport *parse_cnsport(const char *name) {
    for (cnsport &row : cnsport_table) {
        if (std::strcmp(row.name, name) == 0) {
            cnsport_ctx = &row;
            break;
        }
    }
    return cnsport_ctx;
}

int cnsport_open(const char *port) {
    return cnsport_ctx ? cnsport_ctx->open(port) : -1;
}
