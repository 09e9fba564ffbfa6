/* A word filter for the tests, written as a user would write one in C. */
#include <stdint.h>

#define EXPORT __attribute__((visibility("default")))

static int same(const uint16_t* word, int32_t length, const char* ascii)
{
    int32_t i = 0;
    for (; i < length && ascii[i]; ++i)
        if (word[i] != (uint16_t)(unsigned char)ascii[i])
            return 0;
    return i == length && ascii[i] == 0;
}

static int32_t put(const char* ascii, uint16_t* out, int32_t capacity, int32_t* outLength)
{
    int32_t n = 0;
    while (ascii[n] && n < capacity) {
        out[n] = (uint16_t)(unsigned char)ascii[n];
        ++n;
    }
    *outLength = n;
    return 2;
}

EXPORT int32_t WordlistChangeWord(const uint16_t* word, int32_t length, uint16_t* out, int32_t capacity,
                                  int32_t* outLength, int32_t* frequency)
{
    if (same(word, length, "dropme"))
        return 1;
    if (same(word, length, "colour"))
        return put("color", out, capacity, outLength);
    if (same(word, length, "double")) {
        *frequency *= 2;
        return 0;
    }
    if (same(word, length, "empty")) {
        *outLength = 0;
        return 2;
    }
    if (same(word, length, "zero")) {
        *frequency = 0;
        return 0;
    }
    if (same(word, length, "bad"))
        return 7;
    if (same(word, length, "toolong")) {
        *outLength = capacity + 1;
        return 2;
    }
    if (same(word, length, "negative")) {
        *frequency = -3;
        return 0;
    }
    /* "+word": the word without its plus sign, any characters kept as they are. */
    if (length > 1 && word[0] == '+') {
        int32_t i;
        if (length - 1 > capacity)
            return 0;
        for (i = 1; i < length; ++i)
            out[i - 1] = word[i];
        *outLength = length - 1;
        return 2;
    }
    return 0;
}
