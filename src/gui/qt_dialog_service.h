#pragma once
// The message dialogs on screen: TDialogService shown as QMessageBox.
//
// The program installs one at start (TDialogServiceGuard in main); every
// named routine of dialog_routines.h then shows through it. A help context
// gives the box a Help button, which calls the help handler and leaves the
// question open.

#include <QPointer>
#include <QWidget>

#include <functional>

#include "suite/dialogs.h"

namespace cv {

class TQtDialogService final : public TDialogService {
public:
    using THelpHandler = std::function<void(int helpContext)>;

    explicit TQtDialogService(QWidget* parent = nullptr, THelpHandler help = {});

    // The window the boxes belong to (the tool's main or child window).
    void SetParent(QWidget* parent) { m_parent = parent; }
    void SetHelpHandler(THelpHandler help) { m_help = std::move(help); }

    TDialogAnswer Show(const TDialogRequest& request) override;

private:
    QPointer<QWidget> m_parent;
    THelpHandler m_help;
};

} // namespace cv
