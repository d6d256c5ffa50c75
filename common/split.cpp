#include "common/split.h"

#include <cstring>

int split(char *text, char sep, char *fields[], int max_fields) {
    int count = 0;
    char *field = text;
    for (;;) {
        char *end = std::strchr(field, sep);
        if (count < max_fields) fields[count] = field;
        ++count;
        if (!end) break;
        *end = '\0';
        field = end + 1;
    }
    return count;
}
