#include "suite/dialogs.h"

#include "suite/cv_globals.h"

#include <QDebug>

namespace cv {

TDialogService* CurrentDialogService() { return TServiceSlot<TDialogService*>::Current(); }

TDialogAnswer ShowDialog(const TDialogRequest& request)
{
    if (Global_run_without_error_messages && request.kind != TDialogKind::Fatal) {
        if (request.kind != TDialogKind::Question && request.kind != TDialogKind::Information)
            Global_FailureMessage = request.text;
        return request.defaultAnswer;
    }
    TDialogService* service = CurrentDialogService();
    if (!service) {
        qWarning().noquote() << request.caption << ":" << request.text;
        return request.defaultAnswer;
    }
    return service->Show(request);
}

TFailureToldWatch::TFailureToldWatch()
    : m_previous(CurrentDialogService()), m_guard(this), m_failure(Global_FailureMessage)
{
}

TDialogAnswer TFailureToldWatch::Show(const TDialogRequest& request)
{
    if (request.kind == TDialogKind::Error || request.kind == TDialogKind::Fatal)
        m_told = true;
    if (m_previous)
        return m_previous->Show(request);
    qWarning().noquote() << request.caption << ":" << request.text;
    return request.defaultAnswer;
}

bool TFailureToldWatch::Told() const { return m_told || Global_FailureMessage != m_failure; }

TDialogAnswer TScriptedDialogs::Show(const TDialogRequest& request)
{
    m_requests.push_back(request);
    if (m_answers.empty())
        return request.defaultAnswer;
    const TDialogAnswer a = m_answers.front();
    m_answers.pop_front();
    return a;
}

QStringList TScriptedDialogs::Routines() const
{
    QStringList out;
    for (const auto& r : m_requests)
        out << r.routine;
    return out;
}

} // namespace cv
