// The reader thread: waits for the port, decodes what it reads and routes the packets (see
// diag_dispatch.h). It sleeps until the port has data or it is told to stop; when the port
// goes away (a read of 0 bytes or an error) it shuts the engine down itself. It raises event
// 14 with every read and event 10 when it ends. Started, stopped and joined by the loader.
#pragma once

// Starts a reader on its own duplicate of `port_fd`, so that closing the engine's descriptor
// never pulls the port from under a read in progress. Send mutex held. 0, or -1 when the
// thread (or its wake-up descriptor) could not be made.
[[nodiscard]] int diag_reader_start(int port_fd);

// Tells the reader to stop and wakes it. Send mutex held; safe when no reader runs.
void diag_reader_stop();

// Waits until the reader of the last start has ended and releases what it used. Not from
// the reader thread, and not with the send mutex held.
void diag_reader_join();
