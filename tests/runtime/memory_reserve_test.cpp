#include "runtime/memory_reserve.h"

#include <gtest/gtest.h>

#include <QString>

#include <memory>
#include <new>
#include <stdexcept>

#include "support/test_support.h"

namespace {

// Under a limit of the address space, in a process of its own: the first
// allocation that finds no room is given the reserve, once; the reserve is
// taken again only when its room is back; an allocation larger than both
// still fails as before.
TEST(MemoryReserve, TheFirstAllocationWithoutRoomIsGivenTheReserveOnce)
{
    int result = -1;
    const QString text = cvtest::runInChild(
        [] {
            cv::TMemoryReserve reserve(std::size_t(8) << 20);
            cvtest::limitAddressSpace(std::size_t(1) << 20);
            QString seen;
            auto block = std::make_unique<char[]>(std::size_t(4) << 20);
            seen += reserve.GivenOut() ? QStringLiteral("given ") : QStringLiteral("kept ");
            seen += reserve.Renew() ? QStringLiteral("renewed ") : QStringLiteral("no-room ");
            block.reset();
            seen += reserve.Renew() && !reserve.GivenOut() ? QStringLiteral("renewed ") : QStringLiteral("no-room ");
            try {
                block = std::make_unique<char[]>(std::size_t(64) << 20);
                seen += QStringLiteral("allocated");
            } catch (const std::bad_alloc&) {
                seen += QStringLiteral("failed");
            }
            return seen;
        },
        &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(text, QStringLiteral("given no-room renewed failed"));
}

TEST(MemoryReserve, OneAtATimeAndTheAllocationHookGoesWithIt)
{
    const std::new_handler before = std::get_new_handler();
    {
        cv::TMemoryReserve reserve(std::size_t(1) << 20);
        EXPECT_NE(std::get_new_handler(), before);
        EXPECT_THROW(cv::TMemoryReserve second(std::size_t(1) << 20), std::logic_error);
    }
    EXPECT_EQ(std::get_new_handler(), before);
    cv::TMemoryReserve again(std::size_t(1) << 20);
}

} // namespace
