// Blocks of memory straight from the system: zeroed, writable, given back
// once, movable.

#include "suite/page_block.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

using namespace cv;

TEST(PageBlock, ComesZeroedAndWritableAndMovesWithoutFreeingTwice)
{
    for (std::size_t bytes : {std::size_t(1), std::size_t(4096), std::size_t(3) << 20}) {
        TPageBlock a(bytes);
        ASSERT_NE(a.Data(), nullptr);
        ASSERT_EQ(a.Size(), bytes);
        auto* p = static_cast<uint8_t*>(a.Data());
        bool zero = true;
        for (std::size_t k = 0; k < bytes; ++k)
            zero = zero && p[k] == 0;
        EXPECT_TRUE(zero) << bytes;
        p[0] = 1;
        p[bytes - 1] = 2;
        TPageBlock b(std::move(a));
        EXPECT_EQ(a.Data(), nullptr);
        EXPECT_EQ(a.Size(), 0u);
        EXPECT_EQ(static_cast<uint8_t*>(b.Data())[bytes - 1], 2);
        TPageBlock c(64);
        c = std::move(b); // c's own block goes back, b's comes over
        EXPECT_EQ(static_cast<uint8_t*>(c.Data())[bytes - 1], 2);
        EXPECT_EQ(b.Data(), nullptr);
    }
    EXPECT_EQ(TPageBlock(0).Data(), nullptr);
}
