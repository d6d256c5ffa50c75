-- Names for the card-link dissector (card_link.lua): the framings, the CnS objects the Sierra
-- family uses, the KPC650 messages, the CDU command codes, the DIAG command codes,
-- subsystems and NV items this system uses. Returns one table.
local T = {}

T.framings = { [1] = "CnS", [2] = "KPC650", [3] = "CDU", [4] = "DIAG" }
T.framing_short = { [1] = "CnS", [2] = "KPC650", [3] = "CDU", [4] = "DIAG" }

-- Sierra host-interface header, message type.
T.sierra_types = {
    [0x2B] = "CnS request",
    [0x6B] = "CnS answer or notification",
    [0x2D] = "DIAG pass-through request",
    [0x6D] = "DIAG pass-through answer",
}

T.cns_ops = {
    [1] = "get",
    [2] = "get answer",
    [3] = "set",
    [4] = "set answer",
    [5] = "notification enable",
    [6] = "notification enable answer",
    [8] = "notification disable",
    [9] = "notification disable answer",
}

T.cns_objects = {
    [0x0000] = "heartbeat",
    [0x1000] = "ESN",
    [0x1001] = "signal strength",
    [0x1002] = "phone number",
    [0x1004] = "current active channel",
    [0x1005] = "channel status",
    [0x1006] = "service indication",
    [0x1009] = "activation status",
    [0x1027] = "handset mute",
    [0x1038] = "mobile directory number",
    [0x1039] = "IMSI (MIN)",
    [0x2000] = "SMS status",
    [0x2001] = "SMS message chunk",
    [0x2002] = "SMS acknowledge",
    [0x2005] = "SMS send status",
    [0x4004] = "hardware temperature",
    [0x4008] = "band class",
    [0x5001] = "second port rate",
}

-- How an object's value reads (big-endian numbers).
T.cns_object_kinds = {
    [0x1000] = "u32",
    [0x1001] = "u16",
    [0x1002] = "text",
    [0x1004] = "u16",
    [0x1005] = "u16",
    [0x1006] = "u16",
    [0x1009] = "u16",
    [0x1027] = "u16",
    [0x2002] = "u16",
    [0x4004] = "u16",
    [0x4008] = "u16",
    [0x5001] = "u32",
}

T.kpc650_channels = { [0] = "control", [10] = "activation service" }

-- Message types by channel.
T.kpc650_messages = {
    [0] = { [0] = "hello", [1] = "bye", [3] = "keep-alive" },
    [10] = { [1] = "activation", [9] = "PRL version" },
}

T.activation_states = {
    [1] = "ACTIVATING", [2] = "AKEY DONE", [3] = "IMSI DONE", [4] = "MDN DONE",
    [5] = "NAM DONE", [6] = "PRL DONE", [7] = "SPL DONE", [8] = "SSD DONE", [9] = "ACTIVATED",
}

T.cdu_codes = {
    [0x01] = "ESN",
    [0xD7] = "GPS control",
    [0xD8] = "GPS sentence",
    [0xD9] = "GPS status poll",
}

T.diag_commands = {
    [0x00] = "software version",
    [0x0C] = "status",
    [0x10] = "log packet",
    [0x13] = "bad command",
    [0x14] = "bad parameters",
    [0x15] = "bad length",
    [0x18] = "bad mode",
    [0x19] = "TA graph",
    [0x26] = "NV read",
    [0x27] = "NV write",
    [0x29] = "mode control",
    [0x35] = "call origination",
    [0x41] = "SPC",
    [0x42] = "bad SPC mode",
    [0x47] = "bad security mode",
    [0x48] = "PRL write",
    [0x4B] = "subsystem command",
    [0x55] = "FER read",
    [0x60] = "event report",
    [0x63] = "status snapshot",
    [0x73] = "log configuration",
    [0x7C] = "extended build id",
}

-- Error responses: they echo the request after their code.
T.diag_errors = { [0x13] = true, [0x14] = true, [0x15] = true, [0x18] = true, [0x42] = true,
    [0x47] = true }

T.diag_subsystems = {
    [0x05] = "HDR",
    [0x0D] = "GPS",
    [0x0E] = "messaging",
    [0x0F] = "call manager",
    [0x32] = "vendor",
    [0xFA] = "vendor",
}

T.subsystem_commands = {
    [0x0D] = { [0] = "start session", [1] = "end session", [3] = "configure",
        [4] = "last known position" },
    [0x0E] = { [0] = "write", [1] = "clear", [2] = "clear all", [3] = "list", [4] = "read",
        [5] = "tag" },
    [0x0F] = { [0] = "state info" },
    [0x05] = { [8] = "state info" },
}
local vendor = { [7] = "snapshot", [8] = "ERI", [9] = "network time", [10] = "lock",
    [11] = "device information", [12] = "PRL version", [31] = "RSSI" }
T.subsystem_commands[0x32] = vendor
T.subsystem_commands[0xFA] = vendor

T.nv_items = {
    [10] = "preferred mode",
    [20] = "primary CDMA channels",
    [21] = "secondary CDMA channels",
    [32] = "MIN1",
    [33] = "MIN2",
    [34] = "home SID registration",
    [35] = "foreign SID registration",
    [37] = "access overload class",
    [81] = "lock",
    [82] = "lock code",
    [176] = "MCC",
    [177] = "MNC",
    [178] = "directory number",
    [258] = "system preference",
    [259] = "home SID/NID",
    [297] = "MDR mode",
    [298] = "packet dial string",
    [423] = "primary DNS",
    [424] = "secondary DNS",
    [429] = "SCRM",
    [442] = "roaming preference",
    [459] = "Mobile IP preference",
    [462] = "MIP pre-registration timeout",
    [464] = "MIP active profile",
    [465] = "MIP user profile",
    [466] = "MIP shared-secret profile",
    [474] = "HDR AN address",
    [2002] = "FID",
    [10000] = "activation control",
    [10033] = "OMA configuration",
}

return T
