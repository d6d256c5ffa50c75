-- Wireshark / tshark dissector for the management protocol between the router's agent
-- (rmagent, UDP 1161) and its management server (UDP 1162).
--
--   tshark -X lua_script:tools/wireshark/rcm.lua -r session.pcap -V
--   tshark ... -d udp.port==PORT,rcm       a server or agent on another port
--
-- Every datagram opens with a 36-byte header, big-endian:
--   off size field
--   0   8    session_id   zero in a register request, else the id the server gave
--   8   4    version      00 01 00 00 in a register request
--   12  12   serial       the router's serial number, NUL-padded
--   24  4    seq
--   28  2    oid          message code
--   30  2    kind         agent: 0 report, 1 ack, 2 fragment request, 4 GPS report
--                         server: 0/2 request, 1/3 acknowledgement (or fragment reply)
--   32  2    magic        0x006B from the agent, 0x002B from the server
--   34  2    payloadlen
-- Payloads: the 200-byte register record; variable batches (type, unit, then "name=value"
-- entries each closed by a NUL); log text; "lat=..;long=.." GPS text; the upgrade command
-- (fragment count, total length); fragment request (index, two zero bytes); fragment reply
-- (index, two unused bytes, up to 1024 bytes of image).
--
-- A datagram the agent would drop or could not read whole is flagged with expert info
-- (group Malformed); the dissector itself never reads past the bytes it was given.

local rcm = Proto("rcm", "Router remote management")

local MAGIC_AGENT = 0x006B
local MAGIC_SERVER = 0x002B
local HEADER = 36

local oid_names = {
    [0x0001] = "register",
    [0x0002] = "log report",
    [0x0003] = "configuration batch",
    [0x0004] = "status batch",
    [0x0006] = "fragment",
    [0x0007] = "keepalive",
    [0x0009] = "GPS report",
    [0x0100] = "upgrade command",
    [0x0101] = "configuration request",
    [0x0102] = "commit and reboot",
    [0x0103] = "restore defaults and reboot",
    [0x0104] = "send status",
}
local magic_names = { [MAGIC_AGENT] = "agent (k)", [MAGIC_SERVER] = "server (+)" }
local kind_names = {
    [0] = "request or report",
    [1] = "acknowledgement",
    [2] = "fragment request (agent), request (server)",
    [3] = "acknowledgement (server)",
    [4] = "GPS report (agent)",
}
local batch_types = { [0] = "plain keys", [1] = "wireless unit", [2] = "WAN unit" }
-- What the agent prints when the server acknowledges each of its messages.
local ack_texts = {
    [0x0001] = "register reply",
    [0x0002] = "Log OK",
    [0x0003] = "CONF OK",
    [0x0004] = "Status OK",
    [0x0007] = "keepalive OK",
}

local f = {
    session_id = ProtoField.bytes("rcm.session_id", "Session id"),
    version = ProtoField.uint32("rcm.version", "Version", base.HEX),
    serial = ProtoField.string("rcm.serial", "Serial number"),
    seq = ProtoField.uint32("rcm.seq", "Sequence number"),
    oid = ProtoField.uint16("rcm.oid", "Message code (oid)", base.HEX, oid_names),
    kind = ProtoField.uint16("rcm.kind", "Kind", base.DEC, kind_names),
    magic = ProtoField.uint16("rcm.magic", "Magic", base.HEX, magic_names),
    payloadlen = ProtoField.uint16("rcm.payloadlen", "Payload length"),
    message = ProtoField.string("rcm.message", "Message"),
    direction = ProtoField.string("rcm.direction", "Direction"),

    uptime = ProtoField.uint32("rcm.register.uptime", "Uptime (s)"),
    wan = ProtoField.ipv4("rcm.register.wan", "WAN address"),
    domain = ProtoField.string("rcm.register.domain", "Management domain"),
    firmware = ProtoField.string("rcm.register.firmware", "Firmware version"),
    model = ProtoField.string("rcm.register.model", "Product model"),

    batch_type = ProtoField.uint16("rcm.batch.type", "Variable type", base.DEC, batch_types),
    batch_unit = ProtoField.uint16("rcm.batch.unit", "Unit"),
    var = ProtoField.string("rcm.var", "Variable"),
    var_name = ProtoField.string("rcm.var.name", "Name"),
    var_value = ProtoField.string("rcm.var.value", "Value"),

    log_text = ProtoField.string("rcm.log.text", "Log text"),
    log_line = ProtoField.string("rcm.log.line", "Log line"),

    gps_text = ProtoField.string("rcm.gps.text", "GPS text"),
    gps_lat = ProtoField.string("rcm.gps.lat", "Latitude"),
    gps_long = ProtoField.string("rcm.gps.long", "Longitude"),

    upgrade_unused = ProtoField.bytes("rcm.upgrade.unused", "Unused"),
    upgrade_count = ProtoField.uint16("rcm.upgrade.count", "Fragment count"),
    upgrade_total = ProtoField.uint32("rcm.upgrade.total", "Image length"),

    frag_index = ProtoField.uint16("rcm.fragment.index", "Fragment index"),
    frag_pad = ProtoField.uint16("rcm.fragment.pad", "Padding"),
    frag_data = ProtoField.bytes("rcm.fragment.data", "Fragment data"),
    frag_data_len = ProtoField.uint32("rcm.fragment.data_len", "Fragment data length"),

    acked = ProtoField.uint16("rcm.acked_oid", "Acknowledges", base.HEX, oid_names),
    extra = ProtoField.bytes("rcm.trailing", "Bytes after the payload"),
}
rcm.fields = {}
for _, field in pairs(f) do
    table.insert(rcm.fields, field)
end

local ef_malformed = ProtoExpert.new("rcm.malformed", "Malformed management datagram",
    expert.group.MALFORMED, expert.severity.ERROR)
local ef_unexpected = ProtoExpert.new("rcm.unexpected", "Unexpected value",
    expert.group.PROTOCOL, expert.severity.WARN)
rcm.experts = { ef_malformed, ef_unexpected }

-- The text of a NUL-padded field: up to its first NUL, or the whole field.
local function padded_text(range)
    local raw = range:raw()
    local nul = string.find(raw, "\0", 1, true)
    if nul then
        return string.sub(raw, 1, nul - 1), true
    end
    return raw, false
end

local function add_text(tree, field, range)
    local text = padded_text(range)
    return tree:add(field, range, text)
end

-- Set when the datagram being dissected was flagged, so the Info column says so too.
local flagged = false

local function malformed(tree, text)
    tree:add_proto_expert_info(ef_malformed, text)
    flagged = true
end

-- Payload decoders: each gets the payload range (possibly shorter than payloadlen, when the
-- datagram was cut) and returns a summary for the Info column.

local function register_record(tree, tvb, off, len)
    if len < 200 then
        malformed(tree, string.format("register record of %d bytes, 200 expected", len))
    end
    local summary = ""
    if len >= 4 then tree:add(f.uptime, tvb(off, 4)) end
    if len >= 8 then
        tree:add_le(f.wan, tvb(off + 4, 4)):append_text(" (carried with its octets reversed)")
    end
    if len >= 72 then
        local domain = padded_text(tvb(off + 8, 64))
        add_text(tree, f.domain, tvb(off + 8, 64))
        summary = " domain=" .. domain
    end
    if len >= 136 then add_text(tree, f.firmware, tvb(off + 72, 64)) end
    if len >= 200 then add_text(tree, f.model, tvb(off + 136, 64)) end
    return summary
end

local function variable_batch(tree, tvb, off, len)
    if len < 4 then
        malformed(tree, string.format("variable batch of %d bytes, shorter than its 4-byte head",
            len))
        return ""
    end
    tree:add(f.batch_type, tvb(off, 2))
    tree:add(f.batch_unit, tvb(off + 2, 2))
    local pos, stop, count = off + 4, off + len, 0
    while pos < stop do
        local raw = tvb(pos, stop - pos):raw()
        local nul = string.find(raw, "\0", 1, true)
        local width = nul and nul or #raw
        local entry = nul and string.sub(raw, 1, nul - 1) or raw
        if entry ~= "" then
            local item = tree:add(f.var, tvb(pos, width), entry)
            local eq = string.find(entry, "=", 1, true)
            if eq then
                item:add(f.var_name, tvb(pos, eq - 1), string.sub(entry, 1, eq - 1))
                item:add(f.var_value, tvb(pos + eq, width - eq), string.sub(entry, eq + 1))
            else
                item:add_proto_expert_info(ef_unexpected, "entry without '='")
            end
            if not nul then
                malformed(item, "last entry not closed by a NUL")
            end
            count = count + 1
        end
        pos = pos + width
    end
    return string.format(" type=%d unit=%d, %d variable%s", tvb(off, 2):uint(),
        tvb(off + 2, 2):uint(), count, count == 1 and "" or "s")
end

local function log_report(tree, tvb, off, len)
    if len == 0 then
        malformed(tree, "log report without text")
        return ""
    end
    local text, closed = padded_text(tvb(off, len))
    local item = tree:add(f.log_text, tvb(off, len), text)
    if not closed then malformed(item, "log text not closed by a NUL") end
    local pos, lines = 0, 0
    for line in string.gmatch(text .. "\n", "([^\n]*)\n") do
        if line ~= "" then
            item:add(f.log_line, tvb(off + pos, #line), line)
            lines = lines + 1
        end
        pos = pos + #line + 1
    end
    return string.format(", %d line%s", lines, lines == 1 and "" or "s")
end

local function gps_report(tree, tvb, off, len)
    if len == 0 then
        malformed(tree, "GPS report without text")
        return ""
    end
    local text, closed = padded_text(tvb(off, len))
    local item = tree:add(f.gps_text, tvb(off, len), text)
    if not closed then malformed(item, "GPS text not closed by a NUL") end
    local lat, long = string.match(text, "^lat=([^;]*);long=(.*)$")
    if lat then
        item:add(f.gps_lat, tvb(off + 4, #lat), lat)
        item:add(f.gps_long, tvb(off + 4 + #lat + 6, #long), long)
        return " lat=" .. lat .. " long=" .. long
    end
    item:add_proto_expert_info(ef_unexpected, "not of the form lat=...;long=...")
    return ""
end

local function upgrade_command(tree, tvb, off, len)
    if len < 8 then
        malformed(tree, string.format("upgrade command of %d bytes, 8 expected", len))
        return ""
    end
    tree:add(f.upgrade_unused, tvb(off, 2))
    tree:add(f.upgrade_count, tvb(off + 2, 2))
    tree:add(f.upgrade_total, tvb(off + 4, 4))
    return string.format(", %d fragments, %d bytes", tvb(off + 2, 2):uint(), tvb(off + 4, 4):uint())
end

local function fragment_request(tree, tvb, off, len)
    if len < 4 then
        malformed(tree, string.format("fragment request of %d bytes, 4 expected", len))
        if len >= 2 then tree:add(f.frag_index, tvb(off, 2)) end
        return ""
    end
    tree:add(f.frag_index, tvb(off, 2))
    tree:add(f.frag_pad, tvb(off + 2, 2))
    return string.format(" index=%d", tvb(off, 2):uint())
end

local function fragment_reply(tree, tvb, off, len, payloadlen)
    if payloadlen < 5 then
        malformed(tree, string.format(
            "fragment reply with payloadlen %d: the agent wants 5 or more", payloadlen))
    end
    if len < 4 then
        if len >= 2 then tree:add(f.frag_index, tvb(off, 2)) end
        return ""
    end
    tree:add(f.frag_index, tvb(off, 2))
    tree:add(f.upgrade_unused, tvb(off + 2, 2))
    local data = len - 4
    tree:add(f.frag_data_len, data):set_generated()
    if data > 0 then tree:add(f.frag_data, tvb(off + 4, data)) end
    if data > 1024 then
        tree:add_proto_expert_info(ef_unexpected, "fragment data over 1024 bytes")
    end
    return string.format(" index=%d, %d bytes", tvb(off, 2):uint(), data)
end

local function no_payload(tree, len, what)
    if len > 0 then
        tree:add_proto_expert_info(ef_unexpected, what .. " with a payload")
    end
    return ""
end

-- Names the message and decodes its payload; returns the Info text.
local function agent_message(tree, tvb, oid, kind, off, len)
    if kind == 1 then
        tree:add(f.acked, tvb(28, 2))
        no_payload(tree, len, "acknowledgement")
        return "ack of " .. (oid_names[oid] or string.format("request 0x%04x", oid)), ""
    end
    if kind == 0 then
        if oid == 1 then return "register", register_record(tree, tvb, off, len) end
        if oid == 2 then return "log report", log_report(tree, tvb, off, len) end
        if oid == 3 then return "configuration batch", variable_batch(tree, tvb, off, len) end
        if oid == 4 then return "status batch", variable_batch(tree, tvb, off, len) end
        if oid == 7 then return "keepalive", no_payload(tree, len, "keepalive") end
    elseif kind == 2 and oid == 6 then
        return "fragment request", fragment_request(tree, tvb, off, len)
    elseif kind == 4 and oid == 9 then
        return "GPS report", gps_report(tree, tvb, off, len)
    end
    tree:add_proto_expert_info(ef_unexpected, "no agent message has this oid and kind")
    return "unknown agent message", ""
end

local function server_message(tree, tvb, oid, kind, off, len, payloadlen)
    if oid == 6 then
        return "fragment reply", fragment_reply(tree, tvb, off, len, payloadlen)
    end
    if kind == 1 or kind == 3 then
        tree:add(f.acked, tvb(28, 2))
        return "ack (" .. (ack_texts[oid] or string.format("unknown(%04x)", oid)) .. ")", ""
    end
    if kind == 0 or kind == 2 then
        if oid == 0x0100 then return "upgrade command", upgrade_command(tree, tvb, off, len) end
        if oid == 0x0101 then
            return "configuration request", variable_batch(tree, tvb, off, len)
        end
        if oid_names[oid] and oid >= 0x0102 then return oid_names[oid], "" end
        return string.format("unknown request 0x%04x", oid), ""
    end
    tree:add_proto_expert_info(ef_unexpected, "kind other than 0-3: the agent ignores it")
    return string.format("ignored (kind %d)", kind), ""
end

function rcm.dissector(tvb, pinfo, tree)
    local total = tvb:len()
    flagged = false
    pinfo.cols.protocol = "RCM"
    local top = tree:add(rcm, tvb())
    if total < HEADER then
        malformed(top, string.format("%d bytes, shorter than the 36-byte header", total))
        pinfo.cols.info = string.format("Malformed: %d bytes, shorter than the header", total)
        return total
    end
    top:add(f.session_id, tvb(0, 8))
    top:add(f.version, tvb(8, 4))
    add_text(top, f.serial, tvb(12, 12))
    top:add(f.seq, tvb(24, 4))
    top:add(f.oid, tvb(28, 2))
    top:add(f.kind, tvb(30, 2))
    top:add(f.magic, tvb(32, 2))
    top:add(f.payloadlen, tvb(34, 2))

    local seq, oid, kind = tvb(24, 4):uint(), tvb(28, 2):uint(), tvb(30, 2):uint()
    local magic, payloadlen = tvb(32, 2):uint(), tvb(34, 2):uint()
    local len = total - HEADER
    if payloadlen > len then
        malformed(top, string.format("payloadlen %d, only %d bytes follow the header",
            payloadlen, len))
    elseif len > payloadlen then
        top:add(f.extra, tvb(HEADER + payloadlen, len - payloadlen))
        len = payloadlen
    end

    local name, summary, direction, sender
    if magic == MAGIC_AGENT then
        direction, sender = "agent to server", "agent: "
        name, summary = agent_message(top, tvb, oid, kind, HEADER, len)
    elseif magic == MAGIC_SERVER then
        direction, sender = "server to agent", "server: "
        name, summary = server_message(top, tvb, oid, kind, HEADER, len, payloadlen)
    else
        direction, sender = "unknown", "?: "
        top:add_proto_expert_info(ef_unexpected,
            string.format("magic 0x%04x is neither the agent's nor the server's", magic))
        name, summary = "unknown sender", ""
    end
    top:add(f.direction, direction):set_generated()
    top:add(f.message, name):set_generated()
    top:append_text(", " .. name)
    pinfo.cols.info = string.format("%s%s%s seq=%d%s", flagged and "Malformed: " or "", sender,
        name, seq, summary)
    return total
end

local udp_port = DissectorTable.get("udp.port")
udp_port:add(1161, rcm)
udp_port:add(1162, rcm)
