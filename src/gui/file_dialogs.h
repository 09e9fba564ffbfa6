#pragma once
// The open and save dialogs of the tool windows, behind one small interface
// as the message dialogs are (dialogs.h): a window keeps TCVFileDialog
// objects (filter, folder, default extension, file name) and runs them; the
// current TFileDialogService shows them. The program installs the Qt one;
// tests install TScriptedFileDialogs, which records every request and answers
// from a queue, so no test waits on a modal window. Without a service every
// dialog counts as cancelled.

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <deque>
#include <vector>

#include "suite/service_slot.h"

namespace cv {

struct TFileDialogRequest {
    bool save = false;
    QString title;
    QString folder;     // where the dialog starts
    QString fileName;   // the name it proposes
    QString filter;     // Qt style: "Word lists (*.lst);;All files (*)"
    QString defaultExt; // without the dot; added to a chosen name without extension
};

class TFileDialogService {
public:
    virtual ~TFileDialogService() = default;
    // The chosen file's full name; empty when the user cancelled.
    virtual QString Execute(const TFileDialogRequest& request) = 0;
};

TFileDialogService* CurrentFileDialogService();
// Installs a service for the lifetime of the guard.
using TFileDialogServiceGuard = TServiceSlot<TFileDialogService*>::TGuard;

// Test double: records the requests; answers from the queue, then cancels.
class TScriptedFileDialogs final : public TFileDialogService {
public:
    QString Execute(const TFileDialogRequest& request) override;
    void QueueAnswer(const QString& fileName) { m_answers.push_back(fileName); }
    void QueueCancel() { m_answers.push_back(QString()); }
    const std::vector<TFileDialogRequest>& Requests() const { return m_requests; }

private:
    std::vector<TFileDialogRequest> m_requests;
    std::deque<QString> m_answers;
};

// The dialogs on screen (QFileDialog).
class TQtFileDialogService final : public TFileDialogService {
public:
    explicit TQtFileDialogService(QWidget* parent = nullptr) : m_parent(parent) {}
    void SetParent(QWidget* parent) { m_parent = parent; }
    QString Execute(const TFileDialogRequest& request) override;

private:
    QPointer<QWidget> m_parent;
};

// A file dialog of a window: its settings stay between runs, like a
// dialog component on a form.
class TCVFileDialog {
public:
    enum class TKind { Open, Save };
    explicit TCVFileDialog(TKind kind) : m_kind(kind) {}

    QString Title;
    QString Filter;
    QString InitialDir;
    QString DefaultExt;
    QString FileName; // in: proposed; out: chosen

    // Runs the dialog; true (and FileName set) when a file was chosen. A
    // chosen name without extension gets the default extension.
    bool Execute();
    TKind Kind() const { return m_kind; }

private:
    TKind m_kind;
};

} // namespace cv
