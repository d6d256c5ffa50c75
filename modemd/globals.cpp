#include "modemd/globals.h"

int debug;
const char *program = "modemd";
