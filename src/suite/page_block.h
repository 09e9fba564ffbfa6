#pragma once
// A large block of memory taken straight from the system, zero-filled, and
// given back to it whole when the block goes.
//
// For the tables of a job that grow by doubling: a table taken from the
// heap and left behind when it grows stays in the process (the heap keeps
// what it has below its trim threshold), so the memory of every size a
// table went through adds up; a block is gone with its table. Its pages
// come zeroed from the system, so a new table needs no clearing of its own,
// and where the system has large pages it is asked for them.

#include <cstddef>

namespace cv {

class TPageBlock {
public:
    TPageBlock() = default;
    // `bytes` zero bytes (at least one page); throws std::bad_alloc when
    // the system has no room.
    explicit TPageBlock(std::size_t bytes);
    ~TPageBlock();
    TPageBlock(TPageBlock&& o) noexcept;
    TPageBlock& operator=(TPageBlock&& o) noexcept;
    TPageBlock(const TPageBlock&) = delete;
    TPageBlock& operator=(const TPageBlock&) = delete;

    void* Data() const { return fData; }
    std::size_t Size() const { return fSize; }

private:
    void Release();
    void* fData = nullptr;
    std::size_t fSize = 0;
};

} // namespace cv
