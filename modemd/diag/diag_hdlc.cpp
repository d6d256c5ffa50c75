#include "modemd/diag/diag_hdlc.h"

void diag_rx_reset(diag_rx_buffer *buf) {
    buf->raw_len = 0;
    stuff_rx_init(&buf->rx, buf->frame, kDiagFrameCap);
}

int diag_rx_decode(diag_rx_buffer *buf, const uint8_t *src, size_t len, diag_frame_sink_t sink,
                   void *ctx) {
    return stuff_rx_decode(&buf->rx, src, len, sink, ctx);
}
