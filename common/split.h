// Splitting a line of text into fields at a separator, in place. Pure computation, any thread.
#pragma once

// Splits `text` in place at every `sep`; empty fields are kept. Stores at most `max_fields`
// field pointers and returns the number of fields found (which may be larger).
[[nodiscard]] int split(char *text, char sep, char *fields[], int max_fields);
