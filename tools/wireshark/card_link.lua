-- Card links: what passes on a cellular card's control port, as modemd -w, cardsim -w and
-- diagcard -w capture it (link type 147, the first user link type). Load it with
--   tshark -X lua_script:tools/wireshark/card_link.lua -r CAPTURE
-- or copy it (with card_link_tables.lua beside it) into Wireshark's personal plugins folder.
--
-- Each record: a 2-byte pseudo-header, then one frame exactly as it passed on the port.
--   byte 0  direction: 0 to the card, 1 from the card
--   byte 1  framing:   1 CnS (flag, stuffed data, flag; no check)
--                      2 KPC650, 3 CDU, 4 DIAG (stuffed data and FCS-16, closing flag)
-- Inside a frame 0x7D escapes the next byte (sent XOR 0x20). The dissector removes the
-- escapes (the result is its own "Unescaped frame" tab), checks the FCS where the framing has
-- one, and decodes the frame data: CnS (Sierra host-interface header and CnS message, DIAG
-- pass-through), KPC650 and CDU frames, DIAG packets. A frame that is cut short or broken is
-- marked malformed (expert info); nothing in a capture makes the dissector fail.

local function script_dir()
    local src = debug.getinfo(1, "S").source
    if src:sub(1, 1) == "@" then
        return src:sub(2):match("^(.*[/\\])") or ""
    end
    return ""
end

local T = dofile(script_dir() .. "card_link_tables.lua")
local bitlib = bit32 or bit

local DIR_TO_CARD, DIR_FROM_CARD = 0, 1
local FRAMING_CNS, FRAMING_KPC650, FRAMING_CDU, FRAMING_DIAG = 1, 2, 3, 4
local FLAG, ESCAPE = 0x7E, 0x7D

-- ---- protocols and fields --------------------------------------------------------------

local link = Proto("cardlink", "Card link")
local cns = Proto("cardcns", "Card CnS")
local crc = Proto("cardcrc", "Card KPC650/CDU frame")
local diag = Proto("carddiag", "Card DIAG")

local lf = {
    direction = ProtoField.uint8("cardlink.direction", "Direction", base.DEC,
        { [0] = "to the card", [1] = "from the card" }),
    framing = ProtoField.uint8("cardlink.framing", "Framing", base.DEC, T.framings),
    raw = ProtoField.bytes("cardlink.raw", "Frame as on the wire"),
    escapes = ProtoField.uint16("cardlink.escapes", "Escapes removed"),
    data = ProtoField.bytes("cardlink.data", "Frame data"),
    fcs = ProtoField.uint16("cardlink.fcs", "FCS-16", base.HEX),
    fcs_status = ProtoField.string("cardlink.fcs.status", "FCS status"),
    fcs_expected = ProtoField.uint16("cardlink.fcs.expected", "FCS expected", base.HEX),
}
link.fields = lf

local e_malformed = ProtoExpert.new("cardlink.malformed", "Malformed card frame",
    expert.group.MALFORMED, expert.severity.ERROR)
local e_bad_fcs = ProtoExpert.new("cardlink.fcs.bad", "Bad FCS-16",
    expert.group.CHECKSUM, expert.severity.ERROR)
local e_empty = ProtoExpert.new("cardlink.empty", "Empty frame (a lone flag)",
    expert.group.SEQUENCE, expert.severity.NOTE)
local e_unknown = ProtoExpert.new("cardlink.unknown", "Unknown value",
    expert.group.UNDECODED, expert.severity.WARN)
link.experts = { e_malformed, e_bad_fcs, e_empty, e_unknown }

local cf = {
    length = ProtoField.uint16("cardcns.length", "Length", base.DEC),
    type = ProtoField.uint8("cardcns.type", "Message type", base.HEX, T.sierra_types),
    param = ProtoField.uint8("cardcns.param", "Parameter", base.DEC),
    objid = ProtoField.uint16("cardcns.objid", "Object", base.HEX, T.cns_objects),
    op = ProtoField.uint8("cardcns.op", "Operation", base.DEC, T.cns_ops),
    reserved = ProtoField.uint8("cardcns.reserved", "Reserved", base.DEC),
    appid = ProtoField.bytes("cardcns.appid", "Application id"),
    payload_len = ProtoField.uint16("cardcns.payload_len", "Payload length", base.DEC),
    payload = ProtoField.bytes("cardcns.payload", "Payload"),
    value = ProtoField.uint32("cardcns.value", "Value", base.DEC_HEX),
    text = ProtoField.string("cardcns.text", "Text"),
    arg = ProtoField.uint16("cardcns.arg", "Argument", base.DEC),
    diag = ProtoField.bytes("cardcns.diag", "DIAG pass-through"),
}
cns.fields = cf

local kf = {
    command = ProtoField.uint8("cardcrc.command", "COMMAND", base.DEC),
    channel = ProtoField.uint8("cardcrc.channel", "CHANNEL", base.DEC, T.kpc650_channels),
    msgtype = ProtoField.uint16("cardcrc.msgtype", "MSGTYPE", base.DEC),
    state = ProtoField.uint8("cardcrc.state", "Activation state", base.DEC, T.activation_states),
    prl = ProtoField.uint16("cardcrc.prl_version", "PRL version", base.DEC),
    code = ProtoField.uint8("cardcrc.code", "CDU command code", base.HEX, T.cdu_codes),
    esn = ProtoField.uint32("cardcrc.esn", "ESN", base.HEX),
    nmea = ProtoField.string("cardcrc.nmea", "NMEA sentence"),
    bytes = ProtoField.bytes("cardcrc.bytes", "Data"),
}
crc.fields = kf

local df = {
    cmd = ProtoField.uint8("carddiag.cmd", "Command code", base.HEX, T.diag_commands),
    subsys = ProtoField.uint8("carddiag.subsys", "Subsystem", base.HEX, T.diag_subsystems),
    subsys_cmd = ProtoField.uint16("carddiag.subsys_cmd", "Subsystem command", base.DEC),
    nv_item = ProtoField.uint16("carddiag.nv_item", "NV item", base.DEC, T.nv_items),
    nv_status = ProtoField.uint16("carddiag.nv_status", "NV status", base.DEC),
    echoed = ProtoField.uint8("carddiag.echoed", "Command answered", base.HEX, T.diag_commands),
    log_len = ProtoField.uint16("carddiag.log_len", "Log length", base.DEC),
    log_code = ProtoField.uint16("carddiag.log_code", "Log code", base.HEX),
    event_len = ProtoField.uint16("carddiag.event_len", "Events length", base.DEC),
    event_id = ProtoField.uint16("carddiag.event_id", "Event id", base.DEC),
    onoff = ProtoField.uint8("carddiag.enable", "Enable", base.DEC),
    version = ProtoField.string("carddiag.version", "Version text"),
    model = ProtoField.uint8("carddiag.model", "Mobile model", base.HEX),
    revision = ProtoField.uint16("carddiag.revision", "Firmware revision", base.DEC),
    body = ProtoField.bytes("carddiag.body", "Body"),
}
diag.fields = df

-- ---- helpers -----------------------------------------------------------------------------

-- Set when the record being dissected was found malformed; the Info column then says so.
local found_malformed = false

local function malformed(tree, text)
    tree:add_proto_expert_info(e_malformed, text)
    found_malformed = true
end

local function unknown(tree, text)
    tree:add_proto_expert_info(e_unknown, text)
end

local fcs_table = {}
for i = 0, 255 do
    local v = i
    for _ = 1, 8 do
        if bitlib.band(v, 1) ~= 0 then
            v = bitlib.bxor(bitlib.rshift(v, 1), 0x8408)
        else
            v = bitlib.rshift(v, 1)
        end
    end
    fcs_table[i] = v
end

-- The check value sent after bytes[1..n]: RFC 1662's FCS-16, complemented.
local function fcs16(bytes, n)
    local v = 0xFFFF
    for i = 1, n do
        v = bitlib.bxor(bitlib.rshift(v, 8), fcs_table[bitlib.band(bitlib.bxor(v, bytes[i]), 0xFF)])
    end
    return bitlib.band(bitlib.bnot(v), 0xFFFF)
end

local function name_of(names, v, fallback)
    return names[v] or string.format(fallback or "0x%x", v)
end

-- Undoes the escapes of raw:range(first, count). Returns the bytes (a Lua array), and a
-- problem text or nil: an escape as the last byte, or a flag inside the frame.
local function unescape(raw, first, count)
    local out, n, escapes, problem = {}, 0, 0, nil
    local i = first
    local last = first + count - 1
    while i <= last do
        local b = raw:range(i, 1):uint()
        if b == ESCAPE then
            if i == last then
                problem = "escape (0x7d) with no byte after it"
                break
            end
            local nb = raw:range(i + 1, 1):uint()
            if nb == FLAG then
                problem = "escape followed by a flag: the sender voided the frame"
            end
            n = n + 1
            out[n] = bitlib.bxor(nb, 0x20)
            escapes = escapes + 1
            i = i + 2
        else
            if b == FLAG then problem = "flag inside the frame" end
            n = n + 1
            out[n] = b
            i = i + 1
        end
    end
    return out, n, escapes, problem
end

local function to_tvb(bytes, n, from, name)
    local ba = ByteArray.new()
    local count = n - from + 1
    if count <= 0 then return nil end
    ba:set_size(count)
    for i = 0, count - 1 do ba:set_index(i, bytes[from + i]) end
    return ba:tvb(name)
end

-- ---- DIAG packets (also carried inside CnS pass-through) ---------------------------------

local function diag_packet(tvb, pinfo, tree, dir)
    local len = tvb:len()
    local t = tree:add(diag, tvb())
    if len < 1 then
        malformed(t, "DIAG packet without a command code")
        return "DIAG (empty)"
    end
    local code = tvb:range(0, 1):uint()
    t:add(df.cmd, tvb:range(0, 1))
    local summary = "DIAG " .. name_of(T.diag_commands, code, "command 0x%02x")
    if not T.diag_commands[code] then unknown(t, string.format("command code 0x%02x", code)) end

    if code == 0x4B then
        if len < 4 then
            malformed(t, "subsystem command shorter than its 4-byte header")
            return summary .. " (cut short)"
        end
        local sub = tvb:range(1, 1):uint()
        local sub_cmd = tvb:range(2, 2):le_uint()
        t:add(df.subsys, tvb:range(1, 1))
        local item = t:add_le(df.subsys_cmd, tvb:range(2, 2))
        local names = T.subsystem_commands[sub]
        if names and names[sub_cmd] then item:append_text(" (" .. names[sub_cmd] .. ")") end
        summary = string.format("DIAG %s command %d%s", name_of(T.diag_subsystems, sub, "subsystem 0x%02x"),
            sub_cmd, (names and names[sub_cmd]) and (" (" .. names[sub_cmd] .. ")") or "")
        if len > 4 then t:add(df.body, tvb:range(4)) end
    elseif code == 0x26 or code == 0x27 then
        if len < 3 then
            malformed(t, "NV item request without its item number")
            return summary .. " (cut short)"
        end
        local nv = tvb:range(1, 2):le_uint()
        t:add_le(df.nv_item, tvb:range(1, 2))
        summary = summary .. " item " .. nv
        if T.nv_items[nv] then summary = summary .. " (" .. T.nv_items[nv] .. ")" end
        if len >= 133 then
            t:add(df.body, tvb:range(3, 128))
            t:add_le(df.nv_status, tvb:range(131, 2))
        elseif len > 3 then
            t:add(df.body, tvb:range(3))
            malformed(t, string.format("NV item record of %d bytes, 133 expected", len))
        end
    elseif T.diag_errors[code] then
        if len >= 2 then
            t:add(df.echoed, tvb:range(1, 1))
            summary = summary .. " for " .. name_of(T.diag_commands, tvb:range(1, 1):uint(), "0x%02x")
        end
        if len > 2 then t:add(df.body, tvb:range(2)) end
    elseif code == 0x10 then
        if len >= 8 then
            t:add_le(df.log_len, tvb:range(2, 2))
            t:add_le(df.log_code, tvb:range(6, 2))
            summary = summary .. string.format(" code 0x%04x", tvb:range(6, 2):le_uint())
            if len > 8 then t:add(df.body, tvb:range(8)) end
        else
            malformed(t, "log packet shorter than its 8-byte header")
        end
    elseif code == 0x60 then
        if dir == DIR_TO_CARD then
            if len >= 2 then t:add(df.onoff, tvb:range(1, 1)) end
            summary = summary .. ((len >= 2 and tvb:range(1, 1):uint() ~= 0) and " on" or " off")
        elseif len >= 3 then
            local n = tvb:range(1, 2):le_uint()
            t:add_le(df.event_len, tvb:range(1, 2))
            if n > len - 3 then
                malformed(t, string.format("events of %d bytes announced, %d present", n, len - 3))
            elseif n >= 2 then
                local ev = bitlib.band(tvb:range(3, 2):le_uint(), 0x0FFF)
                t:add_le(df.event_id, tvb:range(3, 2), ev)
                summary = summary .. " event " .. ev
            end
            if len > 3 then t:add(df.body, tvb:range(3)) end
        end
    elseif code == 0x00 and dir == DIR_FROM_CARD then
        if len == 55 then
            t:add(df.version, tvb:range(1, 47))
            t:add(df.model, tvb:range(49, 1))
            t:add_le(df.revision, tvb:range(50, 2))
        else
            malformed(t, string.format("version answer of %d bytes, 55 expected", len))
            if len > 1 then t:add(df.body, tvb:range(1)) end
        end
    elseif len > 1 then
        t:add(df.body, tvb:range(1))
    end
    t:append_text(": " .. summary)
    return summary
end

-- ---- CnS (Sierra) ------------------------------------------------------------------------

local function cns_value(tvb, t, obj, off, n)
    local kind = T.cns_object_kinds[obj]
    if n <= 0 or not kind then return "" end
    local r = tvb:range(off, n)
    if kind == "u32" and n == 4 then
        t:add(cf.value, r)
        return string.format(" = 0x%08x", r:uint())
    elseif kind == "u16" and n == 2 then
        t:add(cf.value, r)
        return " = " .. r:uint()
    elseif kind == "text" then
        t:add(cf.text, r)
        return ' = "' .. r:string() .. '"'
    end
    return ""
end

local function cns_message(tvb, pinfo, tree, dir)
    local len = tvb:len()
    local t = tree:add(cns, tvb())
    if len < 4 then
        malformed(t, "shorter than the 4-byte host-interface header")
        return "CnS (cut short)"
    end
    local claimed = tvb:range(0, 2):uint()
    local typ = tvb:range(2, 1):uint()
    local li = t:add(cf.length, tvb:range(0, 2))
    t:add(cf.type, tvb:range(2, 1))
    t:add(cf.param, tvb:range(3, 1))
    if claimed ~= len - 4 then
        li:append_text(string.format(" (%d bytes follow)", len - 4))
        malformed(t, string.format("header length %d, %d bytes follow it", claimed, len - 4))
    end
    if typ == 0x2D or typ == 0x6D then
        if len > 4 then
            t:add(cf.diag, tvb:range(4))
            return "CnS DIAG pass-through: " .. diag_packet(tvb:range(4):tvb(), pinfo, tree, dir)
        end
        return "CnS DIAG pass-through (empty)"
    end
    if typ ~= 0x2B and typ ~= 0x6B then
        unknown(t, string.format("message type 0x%02x", typ))
        return string.format("CnS type 0x%02x", typ)
    end
    if len < 14 then
        malformed(t, "CnS message shorter than its 10-byte header")
        return "CnS (cut short)"
    end
    local obj = tvb:range(4, 2):uint()
    local op = tvb:range(6, 1):uint()
    t:add(cf.objid, tvb:range(4, 2))
    t:add(cf.op, tvb:range(6, 1))
    t:add(cf.reserved, tvb:range(7, 1))
    t:add(cf.appid, tvb:range(8, 4))
    t:add(cf.payload_len, tvb:range(12, 2))
    local plen = tvb:range(12, 2):uint()
    local have = len - 14
    if plen > have then
        malformed(t, string.format("payload of %d bytes announced, %d present", plen, have))
        plen = have
    end
    local opname = T.cns_ops[op]
    if not opname and typ == 0x6B and dir == DIR_FROM_CARD then
        -- Unasked frames from the card: the object says what they are about.
        opname = string.format("notification (operation %d)", op)
    elseif not opname then
        unknown(t, "operation " .. op)
        opname = "operation " .. op
    end
    local summary = string.format("CnS %s %s (0x%04x)", opname,
        name_of(T.cns_objects, obj, "object"), obj)
    if plen > 0 then
        t:add(cf.payload, tvb:range(14, plen))
        if op == 1 and plen == 2 then
            t:add(cf.arg, tvb:range(14, 2))
            summary = summary .. " argument " .. tvb:range(14, 2):uint()
        elseif op == 2 or op == 3 or (op == 4 and dir == DIR_FROM_CARD) then
            summary = summary .. cns_value(tvb, t, obj, 14, plen)
        end
    end
    t:append_text(": " .. summary)
    return summary
end

-- ---- KPC650 and CDU ----------------------------------------------------------------------

local function kpc650_frame(tvb, pinfo, tree)
    local len = tvb:len()
    local t = tree:add(crc, tvb())
    if len < 12 then
        t:add(kf.bytes, tvb())
        t:append_text(": " .. len .. " bytes")
        return string.format("KPC650 frame of %d bytes", len)
    end
    local channel = tvb:range(8, 1):uint()
    local msgtype = tvb:range(10, 2):uint()
    t:add(kf.command, tvb:range(2, 1))
    t:add(kf.channel, tvb:range(8, 1))
    local mi = t:add(kf.msgtype, tvb:range(10, 2))
    local names = T.kpc650_messages[channel]
    local what = names and names[msgtype]
    if what then mi:append_text(" (" .. what .. ")") end
    local summary = string.format("KPC650 %s (command %d, channel %d, type %d)", what or "frame",
        tvb:range(2, 1):uint(), channel, msgtype)
    if channel == 10 and msgtype == 1 and len >= 13 then
        t:add(kf.state, tvb:range(12, 1))
        summary = summary .. " state " .. tvb:range(12, 1):uint()
    elseif channel == 10 and msgtype == 9 and len >= 15 then
        t:add(kf.prl, tvb:range(13, 2))
    end
    if len > 12 then t:add(kf.bytes, tvb:range(12)) end
    t:append_text(": " .. summary)
    return summary
end

local function cdu_frame(tvb, pinfo, tree, dir)
    local len = tvb:len()
    local t = tree:add(crc, tvb())
    if len < 1 then
        malformed(t, "CDU frame without a command code")
        return "CDU (empty)"
    end
    local code = tvb:range(0, 1):uint()
    t:add(kf.code, tvb:range(0, 1))
    local summary = "CDU " .. name_of(T.cdu_codes, code, "code 0x%02x")
    summary = summary .. (dir == DIR_TO_CARD and " request" or " answer")
    if dir == DIR_FROM_CARD and code == 0x01 and len == 5 then
        t:add(kf.esn, tvb:range(1, 4))
        summary = summary .. string.format(" ESN %08x", tvb:range(1, 4):uint())
    elseif dir == DIR_FROM_CARD and code == 0xD8 and len > 1 then
        t:add(kf.nmea, tvb:range(1))
        summary = summary .. " " .. tvb:range(1):string()
    elseif len > 1 then
        t:add(kf.bytes, tvb:range(1))
    end
    t:append_text(": " .. summary)
    return summary
end

-- ---- the link: pseudo-header, flags, escapes, FCS ----------------------------------------

local function dissect(tvb, pinfo, tree)
    pinfo.cols.protocol = "CARD"
    local len = tvb:len()
    local t = tree:add(link, tvb())
    if len < 2 then
        malformed(t, "record shorter than its 2-byte pseudo-header")
        pinfo.cols.info = "record cut short"
        return
    end
    local dir = tvb:range(0, 1):uint()
    local framing = tvb:range(1, 1):uint()
    t:add(lf.direction, tvb:range(0, 1))
    t:add(lf.framing, tvb:range(1, 1))
    if dir == DIR_TO_CARD then
        pinfo.cols.src, pinfo.cols.dst = "host", "card"
    elseif dir == DIR_FROM_CARD then
        pinfo.cols.src, pinfo.cols.dst = "card", "host"
    else
        unknown(t, "direction " .. dir)
    end
    pinfo.cols.info = ""
    if len == 2 then
        malformed(t, "record without frame bytes")
        pinfo.cols.info:append("no frame")
        return
    end
    if tvb:reported_len() > len then
        malformed(t, string.format("record cut to %d of its %d bytes when captured", len,
            tvb:reported_len()))
    end
    local raw = tvb:range(2):tvb()
    local rlen = raw:len()
    t:add(lf.raw, tvb:range(2))
    if not T.framings[framing] then
        unknown(t, "framing " .. framing)
        pinfo.cols.info:append(string.format("framing %d", framing))
        return
    end
    pinfo.cols.protocol = T.framing_short[framing]

    -- Where the stuffed bytes lie between the flags.
    local first, count = 0, rlen
    local problem = nil
    if raw:range(rlen - 1, 1):uint() == FLAG then
        count = count - 1
    else
        problem = "no closing flag: the frame is cut short"
    end
    if framing == FRAMING_CNS then
        if raw:range(0, 1):uint() == FLAG and (rlen >= 2 or problem) then
            first, count = 1, count - 1
        else
            problem = problem or "no opening flag"
        end
    end
    if count <= 0 and not problem then
        t:add_proto_expert_info(e_empty)
        pinfo.cols.info:append("Empty frame")
        return
    end

    local bytes, n, escapes, esc_problem = unescape(raw, first, count)
    t:add(lf.escapes, escapes)
    problem = problem or esc_problem
    local data_n = n
    if framing ~= FRAMING_CNS and problem then
        -- Cut short or voided: where its check value would have been is unknown.
        t:add(lf.fcs_status, "unchecked")
    elseif framing ~= FRAMING_CNS then
        if n < 2 then
            malformed(t, "frame shorter than its 2-byte FCS")
            pinfo.cols.info:append("shorter than its FCS")
            return
        end
        data_n = n - 2
        local sent = bytes[n - 1] + bytes[n] * 256
        local want = fcs16(bytes, data_n)
        local fcs_tvb = to_tvb(bytes, n, data_n + 1, "FCS")
        t:add_le(lf.fcs, fcs_tvb:range(0, 2))
        if sent == want then
            t:add(lf.fcs_status, "good")
        else
            t:add(lf.fcs_status, "bad")
            t:add(lf.fcs_expected, want)
            t:add_proto_expert_info(e_bad_fcs,
                string.format("FCS-16 0x%04x, 0x%04x expected", sent, want))
        end
        if sent ~= want then pinfo.cols.info:append("[bad FCS] ") end
    end
    if problem then malformed(t, problem) end
    if data_n <= 0 then
        pinfo.cols.info:append("no frame data")
        return
    end
    local data = to_tvb(bytes, data_n, 1, "Unescaped frame")
    t:add(lf.data, data())

    local summary
    if framing == FRAMING_CNS then
        summary = cns_message(data, pinfo, tree, dir)
    elseif framing == FRAMING_KPC650 then
        summary = kpc650_frame(data, pinfo, tree)
    elseif framing == FRAMING_CDU then
        summary = cdu_frame(data, pinfo, tree, dir)
    else
        summary = diag_packet(data, pinfo, tree, dir)
    end
    pinfo.cols.info:append(summary)
end

function link.dissector(tvb, pinfo, tree)
    -- Every length is checked above; should a decoder still trip, the frame is shown as
    -- malformed with the reason rather than as a script error.
    found_malformed = false
    local ok, err = pcall(dissect, tvb, pinfo, tree)
    if not ok then
        local t = tree:add(link, tvb())
        malformed(t, "could not be decoded: " .. tostring(err))
    end
    if found_malformed then pinfo.cols.info:prepend("[malformed] ") end
    return tvb:len()
end

-- Link type 147 is the first user link type, encapsulation USER0 (45).
local user0 = (wtap_encaps and wtap_encaps.USER0) or (wtap and wtap.USER0) or 45
DissectorTable.get("wtap_encap"):add(user0, link)
