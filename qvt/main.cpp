// qvt: the factory test tool.
#include "qvt/qvt.h"

int main(int argc, char **argv) {
    return qvt_main(argc, argv);
}
