#pragma once
// A service the whole process shares (the message dialogs, the file
// dialogs, the desktop, the runner of modal dialogs): one slot, which the
// program fills at start and a test fills with its double. Only a guard
// changes the slot: it puts its service in for its own lifetime and puts
// back what was there before, so guards nest and a test leaves the process
// as it found it.
//
//   using TDialogServiceSlot = TServiceSlot<TDialogService*>;
//   TDialogServiceSlot::TGuard guard(&scripted);
//
// Tag tells apart two slots of the same type (two runners of one signature).

#include <utility>

namespace cv {

template <typename T, typename Tag = T>
class TServiceSlot {
public:
    // What is installed now; a value-initialised T (null, empty) when nothing is.
    static const T& Current() { return Slot(); }

    class TGuard {
    public:
        explicit TGuard(T service) : m_previous(std::exchange(Slot(), std::move(service))) {}
        ~TGuard() { Slot() = std::move(m_previous); }
        TGuard(const TGuard&) = delete;
        TGuard& operator=(const TGuard&) = delete;

    private:
        T m_previous;
    };

private:
    static T& Slot()
    {
        static T slot{};
        return slot;
    }
};

} // namespace cv
