// The reset-button monitor: when the GPIO input device "/dev/gpio/in" signals (the button), it
// asks for factory defaults: nvram "restore_defaults" = "1", committed, and operation 2 with
// value 1 on GPIO lines 0 to 3. Main thread only (event-loop handlers).
#pragma once

struct fd_desc;

// Option check: "d" (accepted, no effect). Returns 0 to run, or 1 after printing "ok" for any
// other option or an operand.
[[nodiscard]] int resetbtn_options(int argc, char **argv);

// Opens "/dev/gpio/in" read/write, non-blocking, and registers it with the button handler.
// Returns the descriptor, or -1 when the device cannot be opened (or registered).
int gpio_open(void);

// The handler: drains the device; when a press was read, asks for the restore once. A device
// that is readable with nothing to read (end of file, an error) is said once on the console,
// unregistered and closed. Returns 0, or -1 when the device was given up.
int resetbtn_button(struct fd_desc *desc);

// The restore request itself.
void resetbtn_restore(void);
