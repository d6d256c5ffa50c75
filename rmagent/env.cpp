#include "rmagent/env.h"

#include <sys/sysinfo.h>
#include <unistd.h>

#include "platform/eventloop.h"
#include "platform/wireless.h"

namespace {

void sleep_seconds(unsigned seconds) {
    sleep(seconds);
}

uint32_t system_uptime(void) {
    struct sysinfo info;
    return sysinfo(&info) == 0 ? static_cast<uint32_t>(info.uptime) : 0;
}

// The router's init ends this process while rebooting; until then there is nothing to do.
void wait_for_reboot(void) {
    for (;;)
        pause();
}

constexpr rcm_env_ops kRealEnv = {waitfor, sleep_seconds, system_uptime, wait_for_reboot, wl_ioctl};

}  // namespace

rcm_env_ops rcm_env = kRealEnv;

void rcm_env_reset(void) {
    rcm_env = kRealEnv;
}
