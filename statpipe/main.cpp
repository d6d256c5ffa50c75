// statpipe: the CnS relay monitor. Usage: statpipe [-f] [-d]
#include "platform/eventloop.h"
#include "statpipe/statpipe.h"

int main(int argc, char **argv) {
    if (statpipe_options(argc, argv) != 0) return 1;
    int status = statpipe_start();
    if (status != 0) return status;
    do_fd();
    statpipe_cleanup();
    return 0;
}
