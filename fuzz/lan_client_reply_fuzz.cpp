// lanctl's reply parsers: for any bytes, an information or set reply is taken exactly when it
// is 696 bytes with signature 0xBA and its opcode; a desktop-manager response exactly when it
// is 16 bytes echoing the request with type 2 and length 16, its result the last four bytes.
// The printed line stays bounded.
// Links: lan_client, platform, common.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/bytes.h"
#include "tools/lan_client.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 2048) return 0;  // the client's receive buffer
    RouterInfo info;
    std::string why;
    bool is696 = size == 696 && data[0] == 0xBA;
    bool info_ok = lan_parse_info_reply(data, size, &info, &why);
    if (info_ok != (is696 && data[1] == 2)) abort();
    if (info_ok) {
        if (info.flags != get_be16(data + 2) || info.reconnect != get_be32(data + 692)) abort();
        if (info.model.size() >= 292 || lan_format_info(info).size() > 500) abort();
    } else if (why.empty()) {
        abort();
    }
    if (lan_parse_set_reply(data, size, &why) != (is696 && data[1] == 4)) abort();

    static const uint8_t request[12] = {0x12, 0x34, 0x56, 0x78, 0, 3, 0, 1, 0, 0, 0, 12};
    uint32_t result = 0;
    bool resp_ok = lan_parse_deskmgr_response(data, size, request, &result, &why);
    bool expect =
        size == 16 && memcmp(data, request, 7) == 0 && data[7] == 2 && get_be32(data + 8) == 16;
    if (resp_ok != expect) abort();
    if (resp_ok && result != get_be32(data + 12)) abort();
    return 0;
}
