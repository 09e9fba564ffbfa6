// Part of crashreport/core/leaks/leak_catcher.h: the allocation operators of
// a program that catches leaks. Every operator new and delete of the process
// goes through the leak catcher's memory manager. They sit in a folder and
// an object library of their own (cv_leakcatcher_operators) because only
// the programs that link it may get them; the leak catcher's library and
// every other program keep the C++ runtime's operators.

#include <cstddef>
#include <new>

#include "crashreport/core/leaks/leak_catcher.h"

extern "C" {
extern const int cv_leak_catcher_operators_linked;
const int cv_leak_catcher_operators_linked = 1;
}

namespace {

// frame: the operator's frame, where the block's stack copy starts.
void* Allocate(std::size_t size, std::size_t alignment, const void* frame)
{
    for (;;) {
        if (void* p = cv::LeakGetMem(size ? size : 1, alignment, frame))
            return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler)
            throw std::bad_alloc();
        handler();
    }
}

void* AllocateNoThrow(std::size_t size, std::size_t alignment, const void* frame) noexcept
{
    try {
        return Allocate(size, alignment, frame);
    } catch (...) {
        return nullptr;
    }
}

} // namespace

void* operator new(std::size_t size) { return Allocate(size, __STDCPP_DEFAULT_NEW_ALIGNMENT__, __builtin_frame_address(0)); }
void* operator new[](std::size_t size) { return Allocate(size, __STDCPP_DEFAULT_NEW_ALIGNMENT__, __builtin_frame_address(0)); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return AllocateNoThrow(size, __STDCPP_DEFAULT_NEW_ALIGNMENT__, __builtin_frame_address(0)); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return AllocateNoThrow(size, __STDCPP_DEFAULT_NEW_ALIGNMENT__, __builtin_frame_address(0)); }
void* operator new(std::size_t size, std::align_val_t a) { return Allocate(size, std::size_t(a), __builtin_frame_address(0)); }
void* operator new[](std::size_t size, std::align_val_t a) { return Allocate(size, std::size_t(a), __builtin_frame_address(0)); }
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept { return AllocateNoThrow(size, std::size_t(a), __builtin_frame_address(0)); }
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept { return AllocateNoThrow(size, std::size_t(a), __builtin_frame_address(0)); }

void operator delete(void* p) noexcept { cv::LeakFreeMem(p); }
void operator delete[](void* p) noexcept { cv::LeakFreeMem(p); }
void operator delete(void* p, std::size_t) noexcept { cv::LeakFreeMem(p); }
void operator delete[](void* p, std::size_t) noexcept { cv::LeakFreeMem(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { cv::LeakFreeMem(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { cv::LeakFreeMem(p); }
void operator delete(void* p, std::align_val_t) noexcept { cv::LeakFreeMem(p); }
void operator delete[](void* p, std::align_val_t) noexcept { cv::LeakFreeMem(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { cv::LeakFreeMem(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { cv::LeakFreeMem(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { cv::LeakFreeMem(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { cv::LeakFreeMem(p); }
