#include "gui/file_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace cv {

TFileDialogService* CurrentFileDialogService() { return TServiceSlot<TFileDialogService*>::Current(); }

QString TScriptedFileDialogs::Execute(const TFileDialogRequest& request)
{
    m_requests.push_back(request);
    if (m_answers.empty())
        return {};
    QString answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

QString TQtFileDialogService::Execute(const TFileDialogRequest& request)
{
    // A whole path proposed opens its own folder with its bare name in the
    // field. Handed whole to the dialog, a path whose folder does not exist
    // showed without its leading "/", and was then taken as a name inside
    // the folder the dialog showed.
    QString folder = request.folder;
    QString name = request.fileName;
    if (const QFileInfo proposed(name); !name.isEmpty() && proposed.isAbsolute()) {
        if (proposed.absoluteDir().exists())
            folder = proposed.absolutePath();
        name = proposed.fileName();
    }
    QFileDialog dialog(m_parent, request.title, folder, request.filter);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(request.defaultExt);
    // The tool asks itself before it overwrites (OKToOverwrite).
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!name.isEmpty())
        dialog.selectFile(name);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

bool TCVFileDialog::Execute()
{
    TFileDialogService* service = CurrentFileDialogService();
    if (!service)
        return false;
    TFileDialogRequest request;
    request.save = m_kind == TKind::Save;
    request.title = Title;
    request.folder = InitialDir;
    request.fileName = FileName;
    request.filter = Filter;
    request.defaultExt = DefaultExt.startsWith(QLatin1Char('.')) ? DefaultExt.mid(1) : DefaultExt;
    QString chosen = service->Execute(request);
    if (chosen.isEmpty())
        return false;
    if (QFileInfo(chosen).suffix().isEmpty() && !request.defaultExt.isEmpty())
        chosen += QLatin1Char('.') + request.defaultExt;
    FileName = chosen;
    return true;
}

} // namespace cv
