// Test hook of the nvram store: forget this process's handle on the working store, so the next
// call opens it again (under the router root set at that time).
#pragma once

void nvram_testing_forget(void);
