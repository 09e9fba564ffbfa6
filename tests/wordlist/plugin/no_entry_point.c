/* A library that exports something, but not the word filter's entry point. */
#include <stdint.h>

__attribute__((visibility("default"))) int32_t WordlistChangeWordByMistake(void) { return 0; }
