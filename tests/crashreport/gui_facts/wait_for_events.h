#pragma once
// Lets the window system's events arrive until a condition holds.

#include <QApplication>
#include <QElapsedTimer>

namespace cvtest {

// At most two seconds; answers the condition at the end.
template <typename Condition>
bool WaitFor(Condition condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return condition();
}

} // namespace cvtest
