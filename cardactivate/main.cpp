// cardactivate: has the KPC650 card activate its service over the air. No options.
#include "cardactivate/activate.h"

int main() {
    cardactivate_openlog();
    return cardActivate();
}
