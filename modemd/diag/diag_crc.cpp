#include "modemd/diag/diag_crc.h"

#include "common/fcs16.h"

uint16_t crc_16_l_calc(const uint8_t *data, uint16_t length_in_bits) {
    return fcs16(data, length_in_bits / 8u);
}
