// The CnS relay monitor: frames written into the command pipe "/tmp/cnscmd" go to the Sierra
// card on "/dev/usb/tts/1"; the card's answers to the last command come out of the response
// pipe "/tmp/cnsrsp"; notifications are recognised by their application id and not relayed
// (the heartbeat is reported). At start the card's ESN is published in nvram "wan0_wwan_sn".
// Main thread only: everything runs in event-loop handlers.
#pragma once

#include <cstdint>

struct fd_desc;

extern int fdCns, fdCmd, fdRsp;

// Option check, option string "fhd": -f and -d change nothing. Returns 0 to run, or 1 after
// printing the usage (-h, another option, an operand).
[[nodiscard]] int statpipe_options(int argc, char **argv);

// Opens the port and the pipes, publishes the ESN and registers both handlers. Returns 0, or
// 255 after the message and the clean-up.
[[nodiscard]] int statpipe_start(void);

// Closes whatever is open and removes the pipes.
void statpipe_cleanup(void);

// The handlers (command pipe readable; port readable).
int statpipe_command(struct fd_desc *desc);
int statpipe_answer(struct fd_desc *desc);
