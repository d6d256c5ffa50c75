// What the agent asks of the world outside its socket, gathered so that the session logic can
// be run in-process against a fake clock: the blocking wait, sleeping, the uptime, the endless
// wait for a reboot and the wireless driver. Main thread only.
#pragma once

#include <cstdint>

struct rcm_env_ops {
    int (*wait)(int fd, int seconds);  // as waitfor(): above 0 readable, 0 time-out, <0 error
    void (*sleep)(unsigned seconds);
    uint32_t (*uptime)(void);   // seconds since boot
    void (*reboot_wait)(void);  // after the reboot signal: never returns on the board
    int (*wl_ioctl)(const char *ifname, int cmd, void *buf, int len);
};

// The real ones by default; tests replace members and restore them with rcm_env_reset().
extern rcm_env_ops rcm_env;
void rcm_env_reset(void);
