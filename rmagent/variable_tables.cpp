// The two variable tables, in the order the server sees them.
#include "rmagent/variables.h"

#define PLAIN(name) \
    { name, kUnitPlain, generic_nvram_get, generic_nvram_set }
#define WL(name) \
    { name, kUnitWireless, generic_nvram_get, generic_nvram_set }
#define WAN(name) \
    { name, kUnitWan, generic_nvram_get, generic_nvram_set }
#define EIGHT(prefix, kind, get, set)                                                             \
    {prefix "0", kind, get, set}, {prefix "1", kind, get, set}, {prefix "2", kind, get, set},     \
        {prefix "3", kind, get, set}, {prefix "4", kind, get, set}, {prefix "5", kind, get, set}, \
        {prefix "6", kind, get, set}, {                                                           \
        prefix "7", kind, get, set                                                                \
    }

const variable_row config_variables[] = {
    PLAIN("console"),
    PLAIN("hostname"),
    PLAIN("gps_send_interval"),
    PLAIN("lan_ipaddr"),
    PLAIN("lan_netmask"),
    PLAIN("lan_dhcp_enable"),
    PLAIN("lan_dhcp_lease"),
    PLAIN("lan_dhcp_start"),
    PLAIN("lan_dhcp_end"),
    EIGHT("lan_dhcp_rule", kUnitPlain, lan_dhcp_rule_get, lan_dhcp_rule_set),
    PLAIN("network_ddns_enable"),
    PLAIN("network_ddns_username"),
    PLAIN("network_ddns_password"),
    PLAIN("network_ddns_domain"),
    PLAIN("network_ddns_wildcard"),
    PLAIN("network_ddns_provider"),
    WL("wl_radio"),
    WL("wl_ssid"),
    WL("wl_closed"),
    WL("wl_channel"),
    WL("wl_ap_isolate"),
    {"wl_auth_mode", kUnitWireless, wl_auth_mode_get, wl_auth_mode_set},
    {"wl_wep", kUnitWireless, wl_wep_get, wl_wep_set},
    WL("wl_key"),
    WL("wl_key1"),
    WL("wl_key2"),
    WL("wl_key3"),
    WL("wl_key4"),
    WL("wl_crypto"),
    WL("wl_wpa_psk"),
    {"wl_macmode", kUnitWireless, wl_macmode_get, wl_macmode_set},
    EIGHT("wl_macrule", kUnitWireless, generic_nvram_get, wl_macrule_set),
    WAN("wan_mode"),
    WAN("wan_keepalive"),
    WAN("wan_keepalive_interval"),
    WAN("wan_keepalive_reset_interval"),
    WAN("wan_keepalive_reboot_interval"),
    PLAIN("firewall_access_policy"),
    EIGHT("firewall_access_rule", kUnitPlain, firewall_access_get, firewall_access_set),
    EIGHT("firewall_portforwarding_rule", kUnitPlain, firewall_portforwarding_get,
          firewall_portforwarding_set),
    PLAIN("http_port"),
    PLAIN("http_wanport"),
    PLAIN("webGUI_username"),
    PLAIN("webGUI_passwd"),
    PLAIN("webGUI_wan"),
    PLAIN("rcm_enable"),
    PLAIN("rcm_server"),
    {"et0macaddr", kUnitPlain, generic_nvram_get, nullptr},
    {nullptr, 0, nullptr, nullptr},
};

const variable_row information_variables[] = {
    {"lan_status", kUnitPlain, interfaces_info_get, nullptr},
    {"lan_inpkts", kUnitPlain, interfaces_info_get, nullptr},
    {"lan_outpkts", kUnitPlain, interfaces_info_get, nullptr},
    {"mem_usage", kUnitPlain, memusage_get, nullptr},
    {"mem_total", kUnitPlain, memtotal_get, nullptr},
    {"wan_uptime", kUnitWan, generic_nvram_get, nullptr},
    {"wan_wwan_gps", kUnitWan, generic_nvram_get, nullptr},
    {"wan_wwan_prodid", kUnitWan, generic_nvram_get, nullptr},
    {"wan_ipaddr", kUnitWan, generic_nvram_get, nullptr},
    {"wan_wwan_rssi", kUnitWan, generic_nvram_get, nullptr},
    {"wan_wwan_esn", kUnitWan, generic_nvram_get, nullptr},
    {"wan_inpkts", kUnitWan, interfaces_info_get, nullptr},
    {"wan_outpkts", kUnitWan, interfaces_info_get, nullptr},
    {nullptr, 0, nullptr, nullptr},
};
