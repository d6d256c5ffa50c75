// Test hook of the kernel PPP channel: its ioctl calls go through a function the test may
// replace, to act out a kernel's answers. Main thread; restore with nullptr.
#pragma once

using ppp_ioctl_fn = int (*)(int fd, unsigned long request, void *arg);
void ppp_kernel_testing_ioctl(ppp_ioctl_fn fn);
