// The search the mark-up pass uses to skip plain text: the first of four
// units, found sixteen at a time. Units beyond U+00FF that share their low
// byte with one of the four (or look alike after narrowing) never match.

#include "textread/markup_pass.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using cv::FindFirstOf4;

std::size_t naive(const char16_t* p, std::size_t n, char16_t a, char16_t b, char16_t c, char16_t d)
{
    for (std::size_t i = 0; i < n; ++i)
        if (p[i] == a || p[i] == b || p[i] == c || p[i] == d)
            return i;
    return n;
}

TEST(FindFirstOf4, FindsTheFirstOfTheFourAndNoLookAlike)
{
    std::mt19937 rng(99);
    static const char16_t kUnits[] = {u'a', u' ', u'<', u'&', 0x19, 0x18, 0x013C, 0x0826, 0xFF3C, 0x8026, 0x8019,
                                      0x0100, 0x00FF, 0xFFFF, 0x8000, 0x7FFF, 0x0000, 0x2019, 0x00BC};
    const char16_t targets[][4] = {
        {u'<', u'&', 0x19, 0x18}, {u'&', u'&', u'&', u'&'}, {0x2019, u'<', u'<', u'<'}, {0x0000, u'&', u'&', u'&'},
        {0xFFFF, 0x8000, 0x00FF, 0x0100},
    };
    for (const auto& t : targets) {
        for (int round = 0; round < 300; ++round) {
            std::u16string text(std::size_t(rng() % 140), u'x');
            for (char16_t& u : text)
                u = rng() % 4 == 0 ? kUnits[rng() % (sizeof(kUnits) / sizeof(kUnits[0]))] : char16_t(u'a' + rng() % 26);
            // Mostly no hit before the end, so the whole run is searched.
            for (char16_t& u : text)
                if (rng() % 3 != 0 && (u == t[0] || u == t[1] || u == t[2] || u == t[3]))
                    u = u'z';
            for (std::size_t from = 0; from <= std::min<std::size_t>(text.size(), 17); ++from)
                for (const bool widest : {false, true})
                    ASSERT_EQ(FindFirstOf4(text.data() + from, text.size() - from, t[0], t[1], t[2], t[3], widest),
                              naive(text.data() + from, text.size() - from, t[0], t[1], t[2], t[3]))
                        << "round " << round << " from " << from << " widest " << widest;
        }
    }
}

} // namespace
