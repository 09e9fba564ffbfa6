// A line's characters are copied eight at a time; every control character,
// tag mark and ordinary character must come out as one at a time would give
// it, at every place in the line and every cut of the buffer.

#include "concordance/concordance_lines.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace cv;

char16_t shownOne(char16_t u)
{
    if (u == kTagMarkOpen)
        return u'<';
    if (u == kTagMarkClose)
        return u'>';
    return u < 0x20 ? u' ' : u;
}

TEST(LineCopy, EveryUnitShowsAsItsOwnCharacter)
{
    std::mt19937 rng(8);
    const char16_t odd[] = {0x00, 0x09, 0x0A, 0x0D, 0x18, 0x19, 0x1F, 0x20, 0x21, u'a', 0x7F, 0xFFFD, 0x2028};
    for (int round = 0; round < 300; ++round) {
        std::u16string buffer(std::size_t(1 + rng() % 90), u'x');
        for (char16_t& u : buffer)
            u = rng() % 3 == 0 ? odd[rng() % (sizeof(odd) / sizeof(odd[0]))] : char16_t(u'a' + rng() % 26);
        const std::vector<uint16_t> classes(buffer.size(), kClassLetter);
        const int32_t hit = int32_t(rng() % buffer.size());
        const int32_t length = int32_t(1 + rng() % 60);
        const TLineCut cut = CutLine(hit, length, int32_t(buffer.size()));
        std::vector<char16_t> out(std::size_t(cut.length) + 1, 0x1234);
        CopyLineOverClassArray(buffer, classes, cut, out.data());
        for (int32_t k = 0; k < cut.length; ++k) {
            const int32_t at = cut.first + k;
            const char16_t expected = at < 0 || at >= int32_t(buffer.size()) ? u' ' : shownOne(buffer[std::size_t(at)]);
            ASSERT_EQ(out[std::size_t(k)], expected) << "round " << round << " place " << k;
        }
        EXPECT_EQ(out[std::size_t(cut.length)], 0x1234) << "written past the line";
    }
}

} // namespace
