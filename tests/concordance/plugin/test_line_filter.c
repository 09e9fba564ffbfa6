/* A concordance-line filter for the tests: drops lines holding "drop",
   writes the hit in capitals, and keeps the rest. */
#include <stdint.h>

__attribute__((visibility("default"))) int32_t HandleConcordanceLine(uint16_t* line, int32_t midpoint,
                                                                     int32_t hit_characters, int64_t byte_position,
                                                                     int32_t word_number, int32_t char_width,
                                                                     const uint16_t* file_name)
{
    (void)byte_position;
    (void)word_number;
    if (char_width != 65535 || file_name == 0 || file_name[0] == 0)
        return 0;
    for (int32_t i = 0; line[i] != 0; ++i)
        if (line[i] == 'd' && line[i + 1] == 'r' && line[i + 2] == 'o' && line[i + 3] == 'p')
            return 0;
    for (int32_t i = midpoint; i < midpoint + hit_characters && line[i] != 0; ++i)
        if (line[i] >= 'a' && line[i] <= 'z')
            line[i] = (uint16_t)(line[i] - 'a' + 'A');
    return 1;
}

/* A filter that breaks its contract: it shortens every line. */
__attribute__((visibility("default"))) int32_t ShortensLines(uint16_t* line, int32_t midpoint, int32_t hit_characters,
                                                             int64_t byte_position, int32_t word_number,
                                                             int32_t char_width, const uint16_t* file_name)
{
    (void)hit_characters;
    (void)byte_position;
    (void)word_number;
    (void)char_width;
    (void)file_name;
    line[midpoint] = 0;
    return 1;
}
