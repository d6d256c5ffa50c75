// The factory test tool: the command set an operator or a test fixture drives from the
// console (manufacturing data into nvram and the backup store, LEDs, factory flags) and the
// hardware tests and burn-in it starts. Every message goes to the console through the
// unlimited call (each line of a factory session counts); the backup store's complaints go to
// standard error. One run, main thread only.
#pragma once

#include <csignal>

// Exit statuses.
inline constexpr int kQvtOk = 0;
inline constexpr int kQvtFatal = 1;  // a system call of a hardware test failed
inline constexpr int kQvtNoModel = 255;

inline constexpr int kQvtModelLen = 20;
extern char model_name[kQvtModelLen];

// Runs one invocation: argv as given to main. Returns the exit status.
[[nodiscard]] int qvt_main(int argc, char **argv);

// The length of the tool's second in milliseconds: 1000, or QVT_SECOND_MS (0 to 60000) under
// a router root, so tests and the demo run the timed steps fast.
unsigned long qvt_second_ms(void);

// Set by the burn-in's SIGTERM/SIGINT handler: the burn-in ends after the step under way.
extern volatile sig_atomic_t qvt_stop_requested;

// The hardware tests and the burn-in (qvt/hwtest.cpp).
void set_leds(int index);
void test_LEDS(void);
// nvram written and read back: prints "Flash test Ok \n" or "Flash test error \n".
void flash_test(void);
void test_PCMCIA(void);
void print_status(unsigned state);
void print_ident(int fd);
// kQvtOk, or kQvtFatal after a failed socket, PHY read or switch open.
[[nodiscard]] int test_EtherNet(void);
void reload_key_test(void);
// Runs until stopped (kQvtOk, after turning the test LEDs off) or a fatal Ethernet error
// (kQvtFatal). Installs the stop handlers for its own duration.
[[nodiscard]] int BurninTest(void);

// The track data lines (also part of the burn-in banner).
void show_track_data(void);
