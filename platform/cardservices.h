// Requests of the PC card services driver on its socket control node, and the records they
// carry, as the factory tool's card test sends them. The codes are built with this target's
// own ioctl macros from the driver's type letter 'd', a number and the record's size.
//
// UNCHECKED: no header or device on the development host confirms these numbers or layouts
// for the board's kernel; they must be checked against the board's card services driver
// before the card test is trusted on hardware. Under a router root none of them is sent.
#pragma once

#include <sys/ioctl.h>

#include <cstdint>

inline constexpr unsigned kCsMaxProdStrings = 4;
inline constexpr unsigned kCsVers1StrSpace = 254;

// DS_GET_STATUS: the card state word of a function.
struct cs_status {
    uint8_t function;
    uint32_t card_state;
    uint32_t socket_state;
};

// DS_GET_FIRST_TUPLE: finds the first tuple of `desired_tuple`.
struct cs_tuple {
    uint8_t function;
    uint16_t flags;
    uint32_t link_offset;
    uint32_t cis_offset;
    uint8_t desired_tuple;
    uint8_t tuple_code;
    uint8_t tuple_link;
    uint8_t tuple_offset;
    uint8_t tuple_data_max;
    uint8_t tuple_data_len;
    uint8_t *tuple_data;
};

// The parsed tuples the card test reads.
struct cs_vers1 {  // code 0x15
    uint8_t major, minor, ns;
    uint8_t ofs[kCsMaxProdStrings];
    char str[kCsVers1StrSpace];
};
struct cs_manfid {  // code 0x20
    uint16_t manf, card;
};
struct cs_funcid {  // code 0x21
    uint8_t func, sysinit;
};

// DS_GET_TUPLE_DATA and DS_PARSE_TUPLE: the tuple, its raw data and the parsed form.
struct cs_tuple_parse {
    cs_tuple tuple;
    uint8_t data[255];
    union {
        cs_vers1 vers1;
        cs_manfid manfid;
        cs_funcid funcid;
        uint8_t space[512];
    } parse;
};

// DS_GET_CONFIGURATION_INFO: the fields the card test reads are int_type (4: CardBus) and
// config_base (for a CardBus card, PCI vendor id in the low 16 bits and device id in the high).
struct cs_config_info {
    uint8_t function;
    uint32_t attributes;
    uint32_t vcc, vpp1, vpp2;
    uint32_t int_type;
    uint32_t config_base;
    uint8_t status, pin, copy, option, ext_status;
    uint32_t present;
    uint32_t card_values;
    uint32_t assigned_irq;
    uint32_t irq_attributes;
    uint32_t base_port1;
    uint8_t num_ports1;
    uint32_t attributes1;
    uint32_t base_port2;
    uint8_t num_ports2;
    uint32_t attributes2;
    uint32_t io_addr_lines;
};

inline constexpr uint32_t kCsIntCardBus = 4;

#define DS_GET_CONFIGURATION_INFO _IOWR('d', 3, cs_config_info)
#define DS_GET_FIRST_TUPLE _IOWR('d', 4, cs_tuple)
#define DS_GET_TUPLE_DATA _IOWR('d', 6, cs_tuple_parse)
#define DS_PARSE_TUPLE _IOWR('d', 7, cs_tuple_parse)
#define DS_GET_STATUS _IOWR('d', 9, cs_status)
