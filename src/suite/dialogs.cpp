#include "suite/dialogs.h"

#include "suite/cv_globals.h"

#include <QDebug>

namespace cv {

namespace {
TDialogService* g_service = nullptr;
} // namespace

TDialogService* CurrentDialogService() { return g_service; }

TDialogServiceGuard::TDialogServiceGuard(TDialogService* service) : m_previous(g_service)
{
    g_service = service;
}

TDialogServiceGuard::~TDialogServiceGuard() { g_service = m_previous; }

TDialogAnswer ShowDialog(const TDialogRequest& request)
{
    if (Global_run_without_error_messages && request.kind != TDialogKind::Fatal) {
        if (request.kind != TDialogKind::Question && request.kind != TDialogKind::Information)
            Global_FailureMessage = request.text;
        return request.defaultAnswer;
    }
    if (!g_service) {
        qWarning().noquote() << request.caption << ":" << request.text;
        return request.defaultAnswer;
    }
    return g_service->Show(request);
}

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
