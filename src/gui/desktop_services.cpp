#include "gui/desktop_services.h"

#include <QDesktopServices>

#include "suite/dialog_routines.h"

namespace cv {

namespace {

class TQtDesktop final : public TDesktopService {
public:
    bool OpenUrl(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

} // namespace

TDesktopService* CurrentDesktopService()
{
    static TQtDesktop desktop;
    TDesktopService* installed = TServiceSlot<TDesktopService*>::Current();
    return installed ? installed : &desktop;
}

bool TScriptedDesktop::OpenUrl(const QUrl& url)
{
    m_opened.push_back(url);
    if (m_answers.empty())
        return true;
    const bool taken = m_answers.front();
    m_answers.pop_front();
    return taken;
}

bool TryToVisit(const QString& address) { return CurrentDesktopService()->OpenUrl(QUrl(address)); }

bool TryToShow(const QString& fileName) { return CurrentDesktopService()->OpenUrl(QUrl::fromLocalFile(fileName)); }

bool ShowOrSayWhere(const QString& fileName)
{
    if (TryToShow(fileName))
        return true;
    NoProgramToShow(fileName);
    return false;
}

} // namespace cv
