// sierra_init: opens the card, reports it, arms its notifications, loads its waiting short
// messages and starts serving its commands.
#include <cstdio>

#include "modemd/families.h"
#include "modemd/modem_port.h"
#include "modemd/sierra.h"
#include "modemd/sierra_transport.h"
#include "modemd/sms.h"
#include "platform/eventloop.h"

msgcmd_link sierra_msg2cmd_node_list = {&sierra_msg2cmd_node_list, &sierra_msg2cmd_node_list};
int sierra_fd = -1;

int sierra_init(const char *port) {
    int fd = modem_port_open(port);
    if (fd < 0) return -1;
    sierra_fd = fd;
    sierra_startup_report(fd);
    // Heartbeats off; SMS status and SMS send status on. The card's refusals are ignored.
    (void)sierra_cns_notice_enable_xxx(fd, kObjHeartbeat, false);
    (void)sierra_cns_notice_enable_xxx(fd, kObjSmsStatus, true);
    (void)sierra_cns_notice_enable_xxx(fd, kObjSmsSendStatus, true);
    sierra_sms_load(fd);
    sierra_register_handlers();
    if (register_fd_desc(fd, sierra_cns_notice, nullptr) < 0)
        printf("sierra: cannot watch the card port: notifications are not read\n");
    return fd;
}
