// apitest's steps: every card-API call in a fixed order, each result printed to `out` (each
// label left-justified in 40 columns, then the value or "fail" as a line), flushed per
// message. A failing call never stops the run. Returns cardlinkapi_fina()'s result, the
// program's exit status.
#pragma once

#include <cstdio>

int apitest_run(FILE *out);
