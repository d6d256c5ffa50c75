// The start-up report of a Sierra card, on standard output.
#include <cstdio>
#include <cstring>

#include "common/bytes.h"
#include "modemd/sierra.h"
#include "modemd/sierra_transport.h"

namespace {

void section(const char *name) {
    printf("\n\n####################### %s Refrence ############################### \n", name);
}

// Objects 0x1038 and 0x1039 per NAM: 2 bytes, a 16-bit digit count, then the digits.
void print_nam_number(int fd, uint16_t obj, int nam, const char *label) {
    uint8_t v[kSierraAnswerCap];
    int n = sierra_cns_get_xxx_arg(fd, v, sizeof v, obj, static_cast<uint16_t>(nam));
    if (n < 4) return;
    int digits = get_be16(v + 2);
    if (digits > n - 4) digits = n - 4;  // never past what the card sent
    char text[kSierraAnswerCap];
    memcpy(text, v + 4, static_cast<size_t>(digits));
    text[digits] = '\0';
    printf("%s#%d: %s\n", label, nam, text);
}

}  // namespace

void sierra_startup_report(int fd) {
    uint32_t v32;
    uint16_t v16;

    section("Hardware");
    if (sierra_cns_get_int32(fd, &v32, kObjEsn) > 0)
        printf("ESN: %08x (Hex) or %u (Decimal)\n", v32, v32);
    if (sierra_cns_get_int16(fd, &v16, kObjTemperature) > 0)
        printf("Hardware Temperatur: %u C\n", v16);

    section("Configuration");
    if (sierra_cns_get_int32(fd, &v32, kObjSecondPortRate) > 0) {
        printf("Second Port Rate: %08x (Hex) or %u (Decimal)\n", v32, v32);
        if (sierra_cns_set_int32(fd, v32, kObjSecondPortRate) > 0)
            printf("Second Port Rate: set to  %08x (Hex) or %u (Decimal)\n", v32, v32);
    }

    section("Account");
    char phone[kSierraAnswerCap];
    if (sierra_cns_get_string(fd, phone, sizeof phone, kObjPhoneNumber) >= 0)
        printf("Phone Number: %s\n", phone);
    for (int nam = 0; nam < 2; ++nam)
        print_nam_number(fd, kObjMdn, nam, "Mobile Directory Number(MDN)");
    for (int nam = 0; nam < 2; ++nam)
        print_nam_number(fd, kObjImsi, nam, "IMSI(MIN)");

    section("Radio");
    if (sierra_cns_get_int16(fd, &v16, kObjRssi) > 0) printf("Signal Strength: %u Dbm\n", v16);
    if (sierra_cns_get_int16(fd, &v16, kObjChannel) > 0)
        printf("Curren Active Channel Number: %u\n", v16);
    if (sierra_cns_get_int16(fd, &v16, kObjChannelStatus) > 0) printf("Channel Status: %u\n", v16);

    section("Voice");
    if (sierra_cns_get_int16(fd, &v16, kObjHandsetMute) > 0) {
        printf("Handset Mute: %u\n", v16);
        uint16_t toggled = v16 ^ 1;
        if (sierra_cns_set_int16(fd, toggled, kObjHandsetMute) > 0)
            printf("Handset Mute: set to %u\n", toggled);
        if (sierra_cns_get_int16(fd, &v16, kObjHandsetMute) > 0) printf("Handset Mute: %u\n", v16);
    }

    section("SMS");
    uint8_t counts[kSierraAnswerCap];
    if (sierra_cns_get_xxx(fd, counts, sizeof counts, kObjSmsStatus) >= 6)
        printf("SMS Status: Urgen-%d;Normal-%d;Voice-%d\n", get_be16(counts), get_be16(counts + 2),
               get_be16(counts + 4));
}
