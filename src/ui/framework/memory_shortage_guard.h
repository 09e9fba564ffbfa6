#pragma once
// How a window program meets a shortage of memory in one of its steps (an
// event it handles).
//
// A step that ran out of memory either threw std::bad_alloc out of its
// event handler, or ended on the program's memory reserve (Qt's own code,
// which does not survive a failed allocation, was given the reserve and
// went on). Once the step is over, and no outer step is still under way:
// - a step that ended whole and gave its memory back: the reserve is taken
//   again, and nothing more happens;
// - else the window gives up what it shows (a step cut off may have left it
//   half shown; its memory goes back with it) and says there was not enough
//   memory, and the reserve is taken again;
// - a window that cannot take its reserve even then cannot go on: the
//   program ends saying why.
// A step inside another (an event handled while a job or a dialog waits)
// leaves the data to the outer step, which may be using them: a job that
// works on them is stopped instead, else the answer waits for the outer
// step's end.

#include <functional>
#include <new>

namespace cv {

class TMainToolsForm;
class TMemoryReserve;

class TMemoryShortageGuard {
public:
    // `cannotGoOn` ends the program saying why (TEndForWantOfMemory).
    TMemoryShortageGuard(TMemoryReserve& reserve, std::function<void()> cannotGoOn);
    // The window whose data go; none: a shortage the reserve cannot cover ends the program.
    void SetWindow(TMainToolsForm* window) { fWindow = window; }

    // Delivers one event (`deliver()`: its handling) and answers a shortage
    // met on the way.
    template <typename Delivery>
    bool Deliver(Delivery&& deliver)
    {
        bool handled = false;
        bool failed = false;
        {
            const TDepth depth(fDepth);
            try {
                handled = deliver();
            } catch (const std::bad_alloc&) {
                failed = true;
            }
        }
        if (failed || fPending)
            AfterShortage(failed);
        else
            AfterStep();
        return handled;
    }
    // After a step outside any event (the window made, the program's end).
    void AfterStep();

private:
    struct TDepth {
        explicit TDepth(int& depth) : fDepth(depth) { ++fDepth; }
        ~TDepth() { --fDepth; }
        int& fDepth;
    };
    void AfterShortage(bool failed);

    TMemoryReserve& fReserve;
    std::function<void()> fCannotGoOn;
    TMainToolsForm* fWindow = nullptr;
    int fDepth = 0;
    bool fPending = false;
};

} // namespace cv
