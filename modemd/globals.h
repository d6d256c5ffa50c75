// Daemon-wide settings of modemd, set once by main() before the event loop starts.
#pragma once

extern int debug;            // 1 after -d: messages and card exchanges are hex-dumped
extern const char *program;  // the name the daemon was started under
