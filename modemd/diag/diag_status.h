// Status numbers of the DIAG engine. Every device operation returns one of the transaction
// statuses; the start-up and GPS operations add their own, listed beside them.
#pragma once

// Request transactions (every operation).
inline constexpr int kDiagOk = 0;
inline constexpr int kDiagLockFailed = 1;       // a lock could not be taken, or nothing happened
inline constexpr int kDiagBadCommand = 2;       // the card answered 0x13
inline constexpr int kDiagBadParams = 3;        // 0x14
inline constexpr int kDiagBadLength = 4;        // 0x15
inline constexpr int kDiagBadSecurityMode = 5;  // 0x47
inline constexpr int kDiagTimeout = 7;          // no matching response before the deadline
inline constexpr int kDiagNullArgument = 8;     // a required output argument was NULL
inline constexpr int kDiagWriteFailed = 9;      // the request could not be written whole
inline constexpr int kDiagMismatch = 11;        // the response did not match the request
inline constexpr int kDiagBadSpcMode = 21;      // 0x42
inline constexpr int kDiagBadMode = 32;         // 0x18

// StartupLoader (internal).
inline constexpr int kLoaderPortNoAccess = 25;
inline constexpr int kLoaderPortNotFound = 27;
inline constexpr int kLoaderAlreadyStarted = 35;
inline constexpr int kLoaderPortBusy = 36;  // also: the card did not answer its version
inline constexpr int kLoaderOpenFailed = 15;
inline constexpr int kLoaderThreadFailed = 19;

// Startup (public).
inline constexpr int kStartupPortNotFound = 100;
inline constexpr int kStartupPortBusy = 101;
inline constexpr int kStartupAlreadyStarted = 202;
inline constexpr int kStartupBadRecord = 207;
inline constexpr int kStartupFailed = 209;
inline constexpr int kStartupBadVersion = 213;

// GPS.
inline constexpr int kGpsConfigRejected = 42;  // DiagConfigureGPS: the card answered status word 1
inline constexpr int kGpsNotStarted = 201;
inline constexpr int kGpsRequestFailed = 204;
inline constexpr int kGpsBadRecord = 207;
inline constexpr int kGpsRefused = 210;  // the card answered bad command or bad parameters
inline constexpr int kGpsConversionFailed = 214;
inline constexpr int kGpsEmptyPath = 500;

// Device information, status and NV items.
inline constexpr int kDiagWrongEcho = 12;     // Diag_Mode_Change: the card echoed another mode
inline constexpr int kDiagNoRoom = 13;        // an output too small for what the card holds
inline constexpr int kDiagNvRefused = 26;     // the card answered a nonzero nv_status
inline constexpr int kDiagNotSupported = 40;  // Diag_Get_RSSI on a card without the request
