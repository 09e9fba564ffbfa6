#include "ui/wordlist/dialogs/dialog_support.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "suite/cv_globals.h"
#include "ui/framework/tool_data_module.h"

namespace cv {

void ShowHelpTopic(int context)
{
    if (TDataModuleCorvantis* module = DataModuleCorvantis())
        module->HandleAHelpFileChoice(context);
    else
        PostHelpRequest(context);
}

QString ChangeFileExt(const QString& fileName, const QString& ext)
{
    const qsizetype slash = std::max(fileName.lastIndexOf(u'/'), fileName.lastIndexOf(u'\\'));
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const QString stem = dot > slash && dot > slash + 1 ? fileName.left(dot) : fileName;
    return stem + ext;
}

QString ElidedFileName(const QString& fileName, const QFont& font, int width)
{
    return QFontMetrics(font).elidedText(QDir::toNativeSeparators(fileName), Qt::ElideMiddle, std::max(width, 0));
}

QHBoxLayout* OkHelpButtonRow(QPushButton* ok, QPushButton* help, QPushButton* cancel)
{
    if (!cancel) {
        cancel = new QPushButton(QStringLiteral("Cancel"), ok->parentWidget());
        cancel->setObjectName(QStringLiteral("ButtonCancel"));
        // The dialog is the button's window once the row is laid out in it.
        QObject::connect(cancel, &QPushButton::clicked, cancel, [cancel] {
            if (auto* dialog = qobject_cast<QDialog*>(cancel->window()))
                dialog->reject();
        });
    }
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    row->addWidget(help);
    ok->setDefault(true);
    return row;
}

void RaiseCancelState()
{
    uint8_t state = global_panic_state.load();
    while (state < kPanicQuitProgram && !global_panic_state.compare_exchange_weak(state, uint8_t(state + 1))) {
    }
}

// ---------------------------------------------------------------------------

TCVDialog::TCVDialog(QWidget* parent, const QString& name, int helpContext, bool ownTaskbarButton)
    : TRememberingDialog(name, parent)
{
    if (ownTaskbarButton)
        MakeOwnTaskbarWindow(*this);
    SetHelpContext(this, helpContext);
}

int TCVDialog::HelpContext() const { return HelpContextOf(this); }

void TCVDialog::SetHelpContextNumber(int context) { SetHelpContext(this, context); }

void TCVDialog::ButtonHelpClick() const { ShowHelpTopic(HelpContext()); }

void TCVDialog::SetModalResult(int result)
{
    if (result != kModalNone)
        done(result);
}

void TCVDialog::reject() { done(kModalCancel); }

void TCVDialog::showEvent(QShowEvent* event)
{
    setResult(kModalNone);
    TRememberingDialog::showEvent(event);
    FormShow();
}

// ---------------------------------------------------------------------------

TFileNameEdit::TFileNameEdit(TMode mode, QWidget* parent)
    : QWidget(parent), m_mode(mode), m_edit(new QLineEdit(this)), m_button(new QToolButton(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_button);
    m_button->setText(QStringLiteral("..."));
    connect(m_button, &QToolButton::clicked, this, &TFileNameEdit::Browse);
    m_edit->installEventFilter(this);
    FileMustExist = mode == TMode::ManyFiles || mode == TMode::OneFile;
}

QString TFileNameEdit::Text() const { return m_edit->text(); }

void TFileNameEdit::SetText(const QString& text) { m_edit->setText(text); }

QStringList TFileNameEdit::FileNames() const
{
    static const QRegularExpression quoted(QStringLiteral("\"([^\"]*)\""));
    const QString text = m_edit->text().trimmed();
    QStringList names;
    if (text.startsWith(u'"')) {
        for (auto it = quoted.globalMatch(text); it.hasNext();) {
            const QString name = it.next().captured(1).trimmed();
            if (!name.isEmpty())
                names << name;
        }
    } else if (!text.isEmpty()) {
        names << text;
    }
    return names;
}

void TFileNameEdit::SetFileNames(const QStringList& names)
{
    if (names.size() == 1) {
        m_edit->setText(names.first());
        return;
    }
    QStringList quotedNames;
    for (const QString& name : names)
        quotedNames << u'"' + name + u'"';
    m_edit->setText(quotedNames.join(u' '));
}

void TFileNameEdit::Browse()
{
    const QStringList names = m_chooser ? m_chooser(*this) : ChooseOnScreen();
    if (names.isEmpty())
        return;
    SetFileNames(m_mode == TMode::ManyFiles ? names : names.mid(0, 1));
    m_edit->setFocus(Qt::OtherFocusReason);
    emit dialogExecuted(FileNames());
}

QStringList TFileNameEdit::ChooseOnScreen() const
{
    auto* owner = const_cast<TFileNameEdit*>(this);
    QString start = InitialDir;
    const QStringList current = FileNames();
    if (!current.isEmpty())
        start = current.first();
    switch (m_mode) {
    case TMode::Folder: {
        // A folder that does not exist yet starts the dialog at the nearest one that does.
        QDir dir(start);
        while (!start.isEmpty() && !dir.exists() && dir.cdUp())
            start = dir.absolutePath();
        const QString folder = QFileDialog::getExistingDirectory(owner, Title, start);
        return folder.isEmpty() ? QStringList() : QStringList{folder};
    }
    case TMode::ManyFiles:
        return QFileDialog::getOpenFileNames(owner, Title, start, Filter);
    case TMode::SaveFile:
    case TMode::OneFile: {
        const QString name = m_mode == TMode::OneFile && FileMustExist
                                 ? QFileDialog::getOpenFileName(owner, Title, start, Filter)
                                 : QFileDialog::getSaveFileName(owner, Title, start, Filter, nullptr,
                                                                QFileDialog::DontConfirmOverwrite);
        if (name.isEmpty())
            return {};
        return {QFileInfo(name).suffix().isEmpty() && !DefaultExt.isEmpty() ? name + u'.' + DefaultExt : name};
    }
    }
    return {};
}

bool TFileNameEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_edit && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::FocusIn))
        emit clicked();
    if (watched == m_edit && EnterStaysInField && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), m_group(new QButtonGroup(this))
{
    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        m_group->addButton(button, i);
        layout->addWidget(button);
    }
    connect(m_group, &QButtonGroup::idClicked, this, &TRadioGroup::itemClicked);
}

int TRadioGroup::Count() const { return int(m_group->buttons().size()); }

QRadioButton* TRadioGroup::Button(int i) const { return qobject_cast<QRadioButton*>(m_group->button(i)); }

int TRadioGroup::ItemIndex() const { return m_group->checkedId(); }

void TRadioGroup::SetItemIndex(int i)
{
    if (QAbstractButton* button = m_group->button(i)) {
        button->setChecked(true);
        return;
    }
    // An exclusive group never unchecks its last button by itself.
    if (QAbstractButton* checked = m_group->checkedButton()) {
        m_group->setExclusive(false);
        checked->setChecked(false);
        m_group->setExclusive(true);
    }
}

} // namespace cv
