/* A library that exports no "HandleConcordanceLine". */
#include <stdint.h>

__attribute__((visibility("default"))) int32_t SomethingElse(void) { return 1; }
