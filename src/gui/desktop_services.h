#pragma once
// Showing addresses and files with the desktop's own programs (the help
// pages in the browser, a help or text file in its viewer), behind one small
// interface like the message dialogs: the program uses the desktop
// (QDesktopServices); tests install TScriptedDesktop, which records what
// would have been opened and answers from a queue.

#include <QString>
#include <QUrl>

#include <deque>
#include <vector>

#include "suite/service_slot.h"

namespace cv {

class TDesktopService {
public:
    virtual ~TDesktopService() = default;
    // True when the desktop took the address.
    virtual bool OpenUrl(const QUrl& url) = 0;
};

// The current service: the installed one, else the desktop's.
TDesktopService* CurrentDesktopService();

// Installs a service for the lifetime of the guard.
using TDesktopServiceGuard = TServiceSlot<TDesktopService*>::TGuard;

// Test double: records the addresses; answers from the queue, then true.
class TScriptedDesktop final : public TDesktopService {
public:
    bool OpenUrl(const QUrl& url) override;
    void QueueAnswer(bool taken) { m_answers.push_back(taken); }
    const std::vector<QUrl>& Opened() const { return m_opened; }

private:
    std::vector<QUrl> m_opened;
    std::deque<bool> m_answers;
};

// The suite's routines: an address in the default browser, a file in the
// program the desktop keeps for its kind.
bool TryToVisit(const QString& address);
bool TryToShow(const QString& fileName);
// TryToShow of a file the user asked to see: when no program takes it, a
// message says so and where the file is (NoProgramToShow).
bool ShowOrSayWhere(const QString& fileName);

} // namespace cv
