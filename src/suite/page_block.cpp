#include "suite/page_block.h"

#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#else
#include <cstdlib>
#endif

namespace cv {

TPageBlock::TPageBlock(std::size_t bytes)
{
    if (bytes == 0)
        return;
#if defined(__linux__)
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
#if defined(MADV_HUGEPAGE)
    // Fewer faults for a block written all over (one per 2 MB instead of per 4 KB).
    if (bytes >= (std::size_t(2) << 20))
        madvise(p, bytes, MADV_HUGEPAGE);
#endif
#else
    void* p = std::calloc(bytes, 1);
    if (!p)
        throw std::bad_alloc();
#endif
    fData = p;
    fSize = bytes;
}

TPageBlock::~TPageBlock() { Release(); }

TPageBlock::TPageBlock(TPageBlock&& o) noexcept
    : fData(std::exchange(o.fData, nullptr)), fSize(std::exchange(o.fSize, 0))
{
}

TPageBlock& TPageBlock::operator=(TPageBlock&& o) noexcept
{
    if (this != &o) {
        Release();
        fData = std::exchange(o.fData, nullptr);
        fSize = std::exchange(o.fSize, 0);
    }
    return *this;
}

void TPageBlock::Release()
{
    if (!fData)
        return;
#if defined(__linux__)
    munmap(fData, fSize);
#else
    std::free(fData);
#endif
    fData = nullptr;
    fSize = 0;
}

} // namespace cv
