// mtd: the flash writer (platform/mtd.h). Status 0, or 1 with a message.
#include "platform/mtd.h"

int main(int argc, char **argv) {
    return mtd_command(argc, argv);
}
