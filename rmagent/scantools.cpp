#include "rmagent/scantools.h"

#include <arpa/inet.h>
#include <errno.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/console.h"
#include "platform/ifquery.h"
#include "platform/nvram.h"
#include "rmagent/backup_store.h"
#include "rmagent/handler.h"
#include "rmagent/ports.h"

namespace {

constexpr const char *kFirmwareServer = "172.16.0.2";
constexpr const char *kFirmwareFile = "firmware.bin";

void send_record(int fd, const uint8_t *rec, const sockaddr_in *to, socklen_t to_len,
                 bool *all_sent) {
    ssize_t n =
        sendto(fd, rec, kDiscoveryRecordSize, 0, reinterpret_cast<const sockaddr *>(to), to_len);
    *all_sent = n == static_cast<ssize_t>(kDiscoveryRecordSize);
    if (!*all_sent)
        console_printf_limited("sendto %d bytes fail return %d \n",
                               static_cast<int>(kDiscoveryRecordSize), static_cast<int>(n));
}

int get_information(fd_desc *desc, const discovery_record &, const sockaddr_in *to,
                    socklen_t to_len) {
    discovery_record r{};
    r.signature = kDiscoverySignature;
    r.opcode = kDiscoveryInfoReply;
    strcpy(r.community, "*****");
    snprintf(r.model, sizeof r.model, "%s", nvram_safe_get("product_model"));
    if_facts facts;
    (void)if_query(desc->fd, nvram_safe_get("lan0_ifname"), &facts);  // a failed figure is 0
    memcpy(r.hwaddr, facts.hwaddr, 6);
    r.lan_addr = facts.addr;
    r.netmask = facts.netmask;
    r.one = 1;
    inet_pton(AF_INET, kFirmwareServer, &r.fw_server);
    snprintf(r.fw_file, sizeof r.fw_file, "%s", kFirmwareFile);
    r.reconnect =
        static_cast<uint32_t>(strtoul(nvram_safe_get("vzw_reconnect_interval"), nullptr, 10));
    r.flags = kDiscoveryInfoFlags;
    uint8_t out[kDiscoveryRecordSize];
    discovery_encode(r, out);
    bool sent;
    send_record(desc->fd, out, to, to_len, &sent);
    return 0;
}

uint32_t nvram_addr(const char *name) {
    in_addr a{};
    if (inet_pton(AF_INET, nvram_safe_get(name), &a) != 1) return 0;
    return a.s_addr;
}

void dotted(uint32_t net, char out[INET_ADDRSTRLEN]) {
    in_addr a;
    a.s_addr = net;
    inet_ntop(AF_INET, &a, out, INET_ADDRSTRLEN);
}

void nvram_put(const char *name, const char *value) {
    int rc = nvram_set(name, value);
    if (rc != 0) console_printf("nvram_set %s fail ,ret = %d \n", name, rc);
}

int set_fields(fd_desc *desc, const discovery_record &r, const sockaddr_in *to, socklen_t to_len) {
    // The LAN figures now: nvram first (what the router comes back with), else the interface.
    if_facts facts;
    (void)if_query(desc->fd, nvram_safe_get("lan0_ifname"), &facts);  // a failed figure is 0
    uint32_t cur_addr = nvram_addr("lan0_ipaddr");
    uint32_t cur_mask = nvram_addr("lan0_netmask");
    if (!cur_addr) cur_addr = facts.addr;
    if (!lan_netmask_valid(cur_mask)) cur_mask = facts.netmask;
    const char *refusal = scantools_set_refusal(r, cur_addr, cur_mask);
    if (refusal) {
        console_printf_limited("set refused, nothing changed: %s \n", refusal);
        return 0;
    }
    if (backup_nvram_init() != 0) {
        console_printf("backup store cannot be opened, set dropped \n");
        return 0;
    }
    if (r.flags & kFlagCommunity) {
        nvram_put("snmp_ro_sec", r.community);
        nvram_put("snmp_rw_sec", r.community);
    }
    char text[INET_ADDRSTRLEN];
    if (r.flags & kFlagSetLanAddr) {
        dotted(r.lan_addr, text);
        nvram_put("lan0_ipaddr", text);
    }
    if (r.flags & kFlagSetNetmask) {
        dotted(r.netmask, text);
        nvram_put("lan0_netmask", text);
    }
    if (r.flags & kFlagReconnect) {
        char interval[16];
        snprintf(interval, sizeof interval, "%d", static_cast<int32_t>(r.reconnect));
        if (backup_nvram_set("vzw_reconnect_interval", interval) != 0)
            console_printf("backup store: vzw_reconnect_interval not set \n");
        nvram_put("vzw_reconnect_interval", interval);
    }
    backup_nvram_fini();
    int rc = backup_nvram_commit();
    if (rc != 0) console_printf("backup_nvram_commit fail ,ret = %d \n", rc);

    discovery_record reply{};
    reply.signature = kDiscoverySignature;
    reply.opcode = kDiscoverySetReply;
    uint8_t out[kDiscoveryRecordSize];
    discovery_encode(reply, out);
    bool sent;
    send_record(desc->fd, out, to, to_len, &sent);
    if (sent) do_system_reboot();
    return 0;
}

int nothing(fd_desc *, const discovery_record &, const sockaddr_in *, socklen_t) {
    return 0;
}

struct scantools_command {
    uint8_t opcode;
    int (*handler)(fd_desc *desc, const discovery_record &r, const sockaddr_in *to,
                   socklen_t to_len);
};

const scantools_command scantools_command_table[] = {
    {kDiscoveryGetInfo, get_information},
    {kDiscoveryInfoReply, nothing},
    {kDiscoverySet, set_fields},
    {kDiscoverySetReply, nothing},
    {0xFF, nothing},
};

}  // namespace

const char *scantools_set_refusal(const discovery_record &r, uint32_t cur_addr, uint32_t cur_mask) {
    uint32_t mask = cur_mask;
    if (r.flags & kFlagSetNetmask) {
        if (!lan_netmask_valid(r.netmask)) return "netmask not from 255.0.0.0 to 255.255.255.252";
        mask = r.netmask;
    }
    if (r.flags & kFlagSetLanAddr) {
        if (!lan_host_addr_valid(r.lan_addr, mask)) return "LAN address cannot be a LAN host";
    } else if ((r.flags & kFlagSetNetmask) && cur_addr && !lan_host_addr_valid(cur_addr, mask)) {
        return "the LAN address cannot be a LAN host with that netmask";
    }
    return nullptr;
}

int scantools_open(int type) {
    if (type != 1) {
        console_printf("Unknown socket type %d \n", type);
        return -1;
    }
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        console_printf("socket() fail \n");
        return -1;
    }
    int on = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) < 0 ||
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) < 0) {
        console_printf("setsockopt() fail \n");
        close(fd);
        return -1;
    }
    int port = rcm_env_port("RMAGENT_DISCOVERY_PORT", kDiscoveryPort);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(port < 0 ? 0 : port));
    if (port < 0 || bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) < 0) {
        console_printf("bind() fail \n");
        close(fd);
        return -1;
    }
    if (register_fd_desc(fd, scantools_handler, nullptr) < 0) {
        console_printf("scantools: no room in the event loop \n");
        close(fd);
        return -1;
    }
    return fd;
}

int scantools_handler(fd_desc *desc) {
    uint8_t buf[1024];
    sockaddr_in sender{};
    socklen_t sender_len = sizeof sender;
    ssize_t n =
        recvfrom(desc->fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&sender), &sender_len);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    if (n <= 0) {
        console_printf_limited("read fail .... \n");
        return -1;
    }
    discovery_record r;
    switch (discovery_decode(buf, static_cast<size_t>(n), &r)) {
        case kDiscoveryTooShort:
            console_printf_limited("too short packet .. \n");
            return -1;
        case kDiscoveryBadSignature:
            console_printf_limited("Unknown Packet\n");
            return -1;
        case kDiscoveryOk:
            break;
    }
    if (scantools_msg_dispatch(desc, buf, static_cast<size_t>(n), &sender, sender_len) < 0) {
        console_printf_limited("unknown opcode %d, dropped \n", r.opcode);
        return -1;
    }
    return 0;
}

int scantools_msg_dispatch(fd_desc *desc, const uint8_t *data, size_t len,
                           const sockaddr_in *sender, socklen_t sender_len) {
    discovery_record r;
    if (discovery_decode(data, len, &r) != kDiscoveryOk) return -1;
    for (const scantools_command &c : scantools_command_table)
        if (c.opcode == r.opcode) return c.handler(desc, r, sender, sender_len);
    return -1;
}
