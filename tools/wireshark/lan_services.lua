-- Wireshark / tshark dissectors for the router agent's two LAN services: the discovery
-- service on UDP 2719 (protocol "landisc") and the desktop-manager service on TCP 5000
-- (protocol "deskmgr").
--
--   tshark -X lua_script:tools/wireshark/lan_services.lua -r lan.pcap -V
--   tshark ... -d udp.port==PORT,landisc -d tcp.port==PORT,deskmgr    other ports
--
-- Discovery record, 696 bytes both ways, big-endian:
--   off size field                                       flag
--   0   1    signature 0xBA (requests may carry 0xAB)
--   1   1    opcode: 1 get information, 2 information reply, 3 set, 4 set reply
--   2   2    field flags
--   4   32   SNMP community (reply: "*****")              0x0001
--   36  6    LAN hardware address                         0x0010
--   42  2    zero
--   44  4    LAN IPv4 address (reply 0x0002, set 0x0004)
--   48  292  product model, NUL-terminated
--   340 4    firmware server IPv4 address                 0x0040
--   344 256  firmware file name, NUL-terminated           0x0080
--   600 4    LAN netmask (reply 0x0004); in a set, a LAN address (0x0100)
--   604 4    zero
--   608 4    the value 1                                  0x0400
--   612 80   zero
--   692 4    WAN reconnect interval, seconds              0x2000
-- The agent reads at most 1024 bytes and drops a datagram under 696 bytes or with another
-- signature.
--
-- Desktop-manager message, big-endian: tag (4, echoed), command (2: 1 connect, 2 disconnect,
-- 3 status, 4 no response), spare (1, echoed), type (1: 1 request, 2 response), length (4,
-- the whole message); a response adds a 32-bit result. The agent takes one message per read
-- of at most 1024 bytes and closes the connection on one shorter than 12 bytes or than its
-- length field, so each TCP segment is decoded on its own, as the agent sees it.

---------------------------------------------------------------------------------------------
-- Discovery

local landisc = Proto("landisc", "Router LAN discovery")

local RECORD = 696
local opcodes = {
    [1] = "get information",
    [2] = "information reply",
    [3] = "set",
    [4] = "set reply",
    [0xFF] = "no operation",
}

local d = {
    signature = ProtoField.uint8("landisc.signature", "Signature", base.HEX,
        { [0xBA] = "record", [0xAB] = "request (alternative)" }),
    opcode = ProtoField.uint8("landisc.opcode", "Opcode", base.DEC, opcodes),
    flags = ProtoField.uint16("landisc.flags", "Field flags", base.HEX),
    flag_community = ProtoField.bool("landisc.flags.community", "SNMP community", 16, nil, 0x0001),
    flag_lan_reply = ProtoField.bool("landisc.flags.lan_addr", "LAN address (reply)", 16, nil,
        0x0002),
    flag_0004 = ProtoField.bool("landisc.flags.netmask", "Netmask (reply) / LAN address (set)",
        16, nil, 0x0004),
    flag_hwaddr = ProtoField.bool("landisc.flags.hwaddr", "Hardware address", 16, nil, 0x0010),
    flag_fw_server = ProtoField.bool("landisc.flags.fw_server", "Firmware server", 16, nil,
        0x0040),
    flag_fw_file = ProtoField.bool("landisc.flags.fw_file", "Firmware file", 16, nil, 0x0080),
    flag_0100 = ProtoField.bool("landisc.flags.set_addr", "LAN address in bytes 600-603 (set)",
        16, nil, 0x0100),
    flag_one = ProtoField.bool("landisc.flags.one", "The value 1", 16, nil, 0x0400),
    flag_reconnect = ProtoField.bool("landisc.flags.reconnect", "Reconnect interval", 16, nil,
        0x2000),
    community = ProtoField.string("landisc.community", "SNMP community"),
    hwaddr = ProtoField.ether("landisc.hwaddr", "LAN hardware address"),
    zero = ProtoField.bytes("landisc.zero", "Zero"),
    lan_addr = ProtoField.ipv4("landisc.lan_addr", "LAN address"),
    model = ProtoField.string("landisc.model", "Product model"),
    fw_server = ProtoField.ipv4("landisc.fw_server", "Firmware server"),
    fw_file = ProtoField.string("landisc.fw_file", "Firmware file"),
    netmask = ProtoField.ipv4("landisc.netmask", "LAN netmask / address (set)"),
    one = ProtoField.uint32("landisc.one", "The value 1"),
    reconnect = ProtoField.uint32("landisc.reconnect", "WAN reconnect interval (s)"),
    extra = ProtoField.bytes("landisc.trailing", "Bytes after the record"),
}
landisc.fields = {}
for _, field in pairs(d) do
    table.insert(landisc.fields, field)
end

local ed_malformed = ProtoExpert.new("landisc.malformed", "Malformed discovery record",
    expert.group.MALFORMED, expert.severity.ERROR)
local ed_unexpected = ProtoExpert.new("landisc.unexpected", "Unexpected value",
    expert.group.PROTOCOL, expert.severity.WARN)
landisc.experts = { ed_malformed, ed_unexpected }

local function padded_text(range)
    local raw = range:raw()
    local nul = string.find(raw, "\0", 1, true)
    if nul then return string.sub(raw, 1, nul - 1) end
    return raw
end

-- The record's fields in order: offset, width, field, and how it is read.
local record_layout = {
    { 4, 32, d.community, "text" },
    { 36, 6, d.hwaddr },
    { 42, 2, d.zero },
    { 44, 4, d.lan_addr },
    { 48, 292, d.model, "text" },
    { 340, 4, d.fw_server },
    { 344, 256, d.fw_file, "text" },
    { 600, 4, d.netmask },
    { 604, 4, d.zero },
    { 608, 4, d.one },
    { 612, 80, d.zero },
    { 692, 4, d.reconnect },
}

local function discovery_summary(tvb, opcode)
    if opcode == 2 then
        return string.format(": model \"%s\", LAN %s netmask %s, reconnect %d s",
            padded_text(tvb(48, 292)), tostring(tvb(44, 4):ipv4()), tostring(tvb(600, 4):ipv4()),
            tvb(692, 4):uint())
    end
    if opcode == 3 then
        local flags, parts = tvb(2, 2):uint(), {}
        if bit.band(flags, 0x0001) ~= 0 then
            table.insert(parts, "community=" .. padded_text(tvb(4, 32)))
        end
        if bit.band(flags, 0x0004) ~= 0 then
            table.insert(parts, "lan=" .. tostring(tvb(44, 4):ipv4()))
        end
        if bit.band(flags, 0x0100) ~= 0 then
            table.insert(parts, "lan(600)=" .. tostring(tvb(600, 4):ipv4()))
        end
        if bit.band(flags, 0x2000) ~= 0 then
            table.insert(parts, "interval=" .. tvb(692, 4):uint())
        end
        return ": " .. table.concat(parts, " ")
    end
    return ""
end

function landisc.dissector(tvb, pinfo, tree)
    local total = tvb:len()
    pinfo.cols.protocol = "LANDISC"
    local top = tree:add(landisc, tvb())
    if total >= 1 then top:add(d.signature, tvb(0, 1)) end
    if total >= 2 then top:add(d.opcode, tvb(1, 1)) end
    if total >= 4 then
        local flags = top:add(d.flags, tvb(2, 2))
        for _, bitfield in ipairs({ d.flag_community, d.flag_lan_reply, d.flag_0004, d.flag_hwaddr,
            d.flag_fw_server, d.flag_fw_file, d.flag_0100, d.flag_one, d.flag_reconnect }) do
            flags:add(bitfield, tvb(2, 2))
        end
    end
    for _, row in ipairs(record_layout) do
        local off, width, field, how = row[1], row[2], row[3], row[4]
        if off + width <= total then
            if how == "text" then
                top:add(field, tvb(off, width), padded_text(tvb(off, width)))
            else
                top:add(field, tvb(off, width))
            end
        end
    end
    if total < RECORD then
        top:add_proto_expert_info(ed_malformed, string.format(
            "%d bytes, the record has 696: the agent drops it", total))
        pinfo.cols.info = string.format("Malformed: %d-byte record", total)
        return total
    end
    if total > RECORD then top:add(d.extra, tvb(RECORD, total - RECORD)) end
    local signature, opcode = tvb(0, 1):uint(), tvb(1, 1):uint()
    if signature ~= 0xBA and signature ~= 0xAB then
        top:add_proto_expert_info(ed_malformed, string.format(
            "signature 0x%02x: the agent drops it", signature))
    end
    if not opcodes[opcode] then
        top:add_proto_expert_info(ed_unexpected, "opcode the agent does not know")
    end
    local name = opcodes[opcode] or string.format("opcode %d", opcode)
    top:append_text(", " .. name)
    if signature ~= 0xBA and signature ~= 0xAB then
        pinfo.cols.info = string.format("Malformed: signature 0x%02x", signature)
        return total
    end
    pinfo.cols.info = name .. discovery_summary(tvb, opcode)
    return total
end

DissectorTable.get("udp.port"):add(2719, landisc)

---------------------------------------------------------------------------------------------
-- Desktop manager

local deskmgr = Proto("deskmgr", "Router desktop manager")

local HEADER = 12
local commands = { [1] = "wwan_connect", [2] = "wwan_disconnect", [3] = "status", [4] = "(none)" }
local types = { [1] = "request", [2] = "response" }

local m = {
    tag = ProtoField.uint32("deskmgr.tag", "Tag", base.HEX),
    command = ProtoField.uint16("deskmgr.command", "Command", base.DEC, commands),
    spare = ProtoField.uint8("deskmgr.spare", "Spare", base.HEX),
    type = ProtoField.uint8("deskmgr.type", "Type", base.DEC, types),
    length = ProtoField.uint32("deskmgr.length", "Length"),
    result = ProtoField.uint32("deskmgr.result", "Result"),
    meaning = ProtoField.string("deskmgr.meaning", "Meaning"),
    extra = ProtoField.bytes("deskmgr.trailing", "Bytes after the message"),
}
deskmgr.fields = {}
for _, field in pairs(m) do
    table.insert(deskmgr.fields, field)
end

local em_malformed = ProtoExpert.new("deskmgr.malformed", "Malformed desktop-manager message",
    expert.group.MALFORMED, expert.severity.ERROR)
local em_unexpected = ProtoExpert.new("deskmgr.unexpected", "Unexpected value",
    expert.group.PROTOCOL, expert.severity.WARN)
deskmgr.experts = { em_malformed, em_unexpected }

local function result_meaning(command, result)
    if command == 1 or command == 2 then
        if result == 0 then return "done: wan0_action set" end
        if result == 1 then return "refused: WAN link disabled or not in cellular mode" end
    elseif command == 3 then
        if result == 1 then return "WAN link down" end
        if result == 2 then return "WAN link not down" end
    end
    return "unknown result"
end

-- One message at `off`; returns its length on the wire (what it took of the segment) and the
-- Info text.
local function deskmgr_message(tvb, tree, off, first)
    local have = tvb:len() - off
    local item = tree:add(deskmgr, tvb(off, have))
    if have < HEADER then
        item:add_proto_expert_info(em_malformed, string.format(
            "%d bytes, shorter than the 12-byte header: the agent closes the connection", have))
        return have, "Malformed: short message"
    end
    item:add(m.tag, tvb(off, 4))
    item:add(m.command, tvb(off + 4, 2))
    item:add(m.spare, tvb(off + 6, 1))
    item:add(m.type, tvb(off + 7, 1))
    item:add(m.length, tvb(off + 8, 4))
    local command, kind = tvb(off + 4, 2):uint(), tvb(off + 7, 1):uint()
    local length = tvb(off + 8, 4):uint()
    local name = string.format("%s %s", commands[command] or ("command " .. command),
        types[kind] or ("type " .. kind))
    item:append_text(", " .. name)
    if length > have then
        item:add_proto_expert_info(em_malformed, string.format(
            "length field %d, %d bytes here: the agent closes the connection", length, have))
        return have, "Malformed: " .. name
    end
    if length < HEADER then
        item:add_proto_expert_info(em_unexpected, string.format(
            "length field %d, shorter than the header", length))
        length = HEADER
    end
    if kind == 2 then
        if length >= 16 then
            local result = tvb(off + 12, 4):uint()
            item:add(m.result, tvb(off + 12, 4))
            item:add(m.meaning, result_meaning(command, result)):set_generated()
            name = name .. string.format(" result=%d (%s)", result, result_meaning(command, result))
        else
            item:add_proto_expert_info(em_malformed, "response without its result")
        end
    elseif kind ~= 1 then
        item:add_proto_expert_info(em_unexpected,
            "type neither request nor response: the agent closes the connection")
    elseif not first then
        item:add_proto_expert_info(em_unexpected,
            "the agent takes one request per read: this one is dropped")
    end
    if length > 16 or (kind == 1 and length > HEADER) then
        local body = kind == 2 and 16 or HEADER
        item:add(m.extra, tvb(off + body, length - body))
    end
    return length, name
end

function deskmgr.dissector(tvb, pinfo, tree)
    local total = tvb:len()
    if total == 0 then return 0 end
    pinfo.cols.protocol = "DESKMGR"
    local off, texts = 0, {}
    while off < total do
        local used, text = deskmgr_message(tvb, tree, off, off == 0)
        table.insert(texts, text)
        off = off + used
    end
    pinfo.cols.info = table.concat(texts, "; ")
    return total
end

DissectorTable.get("tcp.port"):add(5000, deskmgr)
