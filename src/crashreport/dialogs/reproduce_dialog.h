#pragma once
// The small dialog that asks how to reproduce the error: a label, a box
// for the steps and OK. OK, Esc and the close box all store the trimmed
// text as the options' ReproduceText.

#include "crashreport/dialogs/dialog_toolkit.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace cv {

class TReproduceDialog final : public TCrashDialog {
public:
    TReproduceDialog(TCrashboxModuleOptions& options, const TTextMeasurer& measurer, QWidget* parent = nullptr);

    QLabel* Label() const { return m_label; }
    QPlainTextEdit* Edit() const { return m_edit; }
    QPushButton* OKButton() const { return m_ok; }

    // The dialog's size in outer pixels before the layout (its template).
    static QSize TemplateOuterSize();

    void done(int result) override;

private:
    void Layout();

    TCrashboxModuleOptions& m_writableOptions;
    QLabel* m_label = nullptr;
    QPlainTextEdit* m_edit = nullptr;
    QPushButton* m_ok = nullptr;
    bool m_stored = false;
};

} // namespace cv
