#pragma once
// The message dialogs of the suite, behind one small interface.
//
// The named routines the tool calls (FailedToRead, DoYouWantToSave, ...) are
// free functions in dialog_routines.h that format their texts and then use
// the current TDialogService. The program installs the Qt implementation
// (gui/qt_dialog_service.h); tests install TScriptedDialogs, which records every call and
// answers from a script, so no test ever blocks on a modal window.
//
// When Global_run_without_error_messages is set, messages are not shown: the
// text goes into Global_FailureMessage and questions take their default answer.

#include <QString>
#include <QStringList>

#include <deque>
#include <memory>
#include <vector>

#include "suite/service_slot.h"

namespace cv {

enum class TDialogKind { Information, Warning, Error, Fatal, Question };

// Modal results, numbered as the suite numbers them.
enum class TDialogAnswer : int {
    None = 0, OK = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7, NoToAll = 9, YesToAll = 10
};

// YesNoToAllCancel: "Yes", "Yes to all", "No", "No to all" and "Cancel", for a
// question asked of many items in turn.
enum class TDialogButtons { OK, OKCancel, YesNo, YesNoCancel, AbortRetryIgnore, YesNoToAllCancel };

struct TDialogRequest {
    QString routine;   // the named routine that asked ("FailedToRead"), or empty
    TDialogKind kind = TDialogKind::Information;
    QString caption;
    QString text;
    TDialogButtons buttons = TDialogButtons::OK;
    TDialogAnswer defaultAnswer = TDialogAnswer::OK;
    int helpContext = 0;
    // The box closes itself after this many seconds with its default
    // answer (0: it waits for the user), for a report's box where nobody
    // may be at the screen.
    int autoCloseSecs = 0;
};

class TDialogService {
public:
    virtual ~TDialogService() = default;
    virtual TDialogAnswer Show(const TDialogRequest& request) = 0;
};

// The current service (process-wide, like the suite's dialog library). When
// none is installed, requests go to the log and take their default answer.
TDialogService* CurrentDialogService();
// Installs a service for the lifetime of the guard; the previous one comes
// back when the guard is destroyed.
using TDialogServiceGuard = TServiceSlot<TDialogService*>::TGuard;

// Shows a request through the current service, honouring
// Global_run_without_error_messages.
TDialogAnswer ShowDialog(const TDialogRequest& request);

// While it lives, every message goes on to the service that was current
// before it, and the watch notes whether one of them said that something
// failed (an error, or a failure kept in Global_FailureMessage by a quiet
// run): a step that failed then tells the user once, not again in its own
// words after the part that failed.
class TFailureToldWatch final : public TDialogService {
public:
    TFailureToldWatch();
    TFailureToldWatch(const TFailureToldWatch&) = delete;
    TFailureToldWatch& operator=(const TFailureToldWatch&) = delete;
    TDialogAnswer Show(const TDialogRequest& request) override;
    bool Told() const;

private:
    TDialogService* m_previous;
    TDialogServiceGuard m_guard;
    QString m_failure;
    bool m_told = false;
};

// Test double: records every request; answers from a queue, then the default.
class TScriptedDialogs final : public TDialogService {
public:
    TDialogAnswer Show(const TDialogRequest& request) override;
    void QueueAnswer(TDialogAnswer a) { m_answers.push_back(a); }
    const std::vector<TDialogRequest>& Requests() const { return m_requests; }
    QStringList Routines() const;
    void Clear() { m_requests.clear(); m_answers.clear(); }

private:
    std::vector<TDialogRequest> m_requests;
    std::deque<TDialogAnswer> m_answers;
};

} // namespace cv
