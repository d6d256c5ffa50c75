// apitest: runs every call of the card API against modemd once and prints the results.
//   apitest          (no options; MODEMD_QUEUE_KEY names modemd's queue, else 23232)
// Exit status: cardlinkapi_fina()'s result (0, or 255 when the reply queue never opened).
#include <cstdio>

#include "tools/apitest_run.h"

int main() {
    return apitest_run(stdout);
}
