// The card activation tool: has a KPC650 card on "/dev/usb/tts/1" activate its service over
// the air and follows its progress reports until it says ACTIVATED or the time limit (120 s
// on the monotonic clock; CARDACTIVATE_TIME_LIMIT seconds replaces it) runs out. Progress on
// standard output (flushed per message), a few lines to syslog. Main thread only.
#pragma once

extern char activationRsp[128];
extern char activationPRLVersion[32];

// The time limit in seconds: CARDACTIVATE_TIME_LIMIT when it is a number from 1 to 86400.
int cardactivate_time_limit(void);

// The whole run: 0 when the card reported state 9, else 1.
[[nodiscard]] int cardActivate(void);

// Opens syslog as the tool's identity (local2, emergency to info).
void cardactivate_openlog(void);

// The trace: the reduced log formatter, sent to syslog at info.
void loginfo(const char *fmt, ...);
