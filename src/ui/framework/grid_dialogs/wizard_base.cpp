#include "ui/framework/grid_dialogs/wizard_base.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QVBoxLayout>

#include "model/base_list.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/logging.h"
#include "suite/my_types.h"
#include "suite/window_messages.h"

namespace cv {

namespace {

constexpr int kHelpActiveSetColumn = 5850;

// Types the dead-key list's letters into edit controls.
class TDeadKeyFilter final : public QObject {
public:
    explicit TDeadKeyFilter(QObject* parent) : QObject(parent) { setObjectName(kName); }
    static constexpr const char* kName = "DeadKeyFilter";

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || !IsEdit(watched))
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        if (text.size() != 1 || !text[0].isPrint()) {
            if (!m_pending.isNull() && m_target == watched)
                Type(watched, QString(m_pending));
            m_pending = QChar();
            return false;
        }
        const QChar c = text[0];
        if (!m_pending.isNull() && m_target == watched) {
            const QChar composed = DeadKeyList().Composed(m_pending, c);
            const QString typed = composed.isNull() ? QString(m_pending) + c : QString(composed);
            m_pending = QChar();
            Type(watched, typed);
            return true;
        }
        if (DeadKeyList().IsDeadKey(c)) {
            m_pending = c;
            m_target = watched;
            return true;
        }
        return false;
    }

private:
    static bool IsEdit(QObject* o)
    {
        return qobject_cast<QLineEdit*>(o) || qobject_cast<QPlainTextEdit*>(o) || qobject_cast<QTextEdit*>(o);
    }
    static void Type(QObject* o, const QString& text)
    {
        if (auto* line = qobject_cast<QLineEdit*>(o))
            line->insert(text);
        else if (auto* plain = qobject_cast<QPlainTextEdit*>(o))
            plain->insertPlainText(text);
        else if (auto* rich = qobject_cast<QTextEdit*>(o))
            rich->insertPlainText(text);
    }
    QChar m_pending;
    QPointer<QObject> m_target;
};

// Labels transparent, file-name edits with the dialog option, and the
// children of every other control in turn.
void ApplyDialogOption(QWidget& widget, uint8_t option)
{
    for (QObject* child : widget.children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w)
            continue;
        if (auto* label = qobject_cast<QLabel*>(w))
            label->setAutoFillBackground(false);
        if (w->property("fileNameEdit").toBool())
            w->setProperty("openAndSaveDialogOption", int(option));
        ApplyDialogOption(*w, option);
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Wizard base

TFormCVWizard::TFormCVWizard(QWidget* parent, const QString& objectName)
    : TRememberingDialog(objectName, parent), m_messageWindow(std::make_unique<TMessageWindow>())
{
    MakeOwnTaskbarWindow(*this);
}

TFormCVWizard::~TFormCVWizard()
{
    if (GetActiveChildToolWindow(current_tool_var) == WindowHandle())
        SetActiveChildToolWindow(current_tool_var, 0);
}

TWindowHandle TFormCVWizard::WindowHandle() const { return m_messageWindow->Handle(); }

void TFormCVWizard::FormActivate()
{
    SetActiveChildToolWindow(current_tool_var, WindowHandle());
    if (!isVisible())
        show();
}

void TFormCVWizard::FormClose()
{
    if (GetActiveChildToolWindow(current_tool_var) == WindowHandle())
        SetActiveChildToolWindow(current_tool_var, 0);
}

void TFormCVWizard::changeEvent(QEvent* event)
{
    TRememberingDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TFormCVWizard::showEvent(QShowEvent* event)
{
    TRememberingDialog::showEvent(event);
    m_shown = true;
}

void TFormCVWizard::hideEvent(QHideEvent* event)
{
    // A wizard closed by its buttons is hidden without a close event.
    FormClose();
    TRememberingDialog::hideEvent(event);
}

void TFormCVWizard::closeEvent(QCloseEvent* event)
{
    FormClose();
    TRememberingDialog::closeEvent(event);
}

// ---------------------------------------------------------------------------
// Active set column

TFormSetColActiveColChooser::TFormSetColActiveColChooser(QWidget* parent)
    : TRememberingDialog(QStringLiteral("FormSetColActiveColChooser"), parent)
{
    setWindowTitle(QStringLiteral("Active Set Column"));
    Question = new QLabel(QStringLiteral("Which Set column is active?"));
    Choices = new QButtonGroup(this);
    m_choiceLayout = new QVBoxLayout;
    auto* ok = new QPushButton(QStringLiteral("OK"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    auto* help = new QPushButton(QStringLiteral("&Help"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(help);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* main = new QVBoxLayout(this);
    main->addWidget(Question);
    main->addLayout(m_choiceLayout);
    main->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, [this] { OKClick(); });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(help, &QPushButton::clicked, this, [this] { HelpClick(); });
}

void TFormSetColActiveColChooser::SetTheAlternatives(TCVBaseDataClass* list)
{
    m_list = list;
    for (QAbstractButton* b : Choices->buttons()) {
        Choices->removeButton(b);
        delete b;
    }
    if (!list)
        return;
    for (int c = 0; c < list->ColumnCount(); ++c) {
        if (!list->IsASetColumnColumn(c))
            continue;
        auto* b = new QRadioButton(Format(u"%d (%s)", {c + 1, list->Heading(c)}));
        Choices->addButton(b, c);
        m_choiceLayout->addWidget(b);
        b->setChecked(c == list->ActiveSetColumn());
    }
}

bool TFormSetColActiveColChooser::OKClick()
{
    if (!m_list || Choices->checkedId() < 0)
        return false;
    m_list->SetActiveSetColumn(Choices->checkedId());
    accept();
    return true;
}

void TFormSetColActiveColChooser::HelpClick() { PostHelpRequest(kHelpActiveSetColumn); }

// ---------------------------------------------------------------------------
// Dead keys and control set-up

bool TDeadKeyList::LoadFromFile(const QString& fileName, QString* error)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot open file \"%1\": %2").arg(fileName, f.errorString());
        return false;
    }
    QHash<uint32_t, QChar> pairs;
    QHash<QChar, bool> dead;
    const QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.size() != 3) {
            if (error)
                *error = QStringLiteral("\"%1\", line %2: three characters expected, \"%3\" found")
                             .arg(fileName)
                             .arg(i + 1)
                             .arg(line);
            return false;
        }
        pairs.insert(Key(line[0], line[1]), line[2]);
        dead.insert(line[0], true);
    }
    m_pairs = std::move(pairs);
    m_dead = std::move(dead);
    return true;
}

void TDeadKeyList::Clear()
{
    m_pairs.clear();
    m_dead.clear();
}

TDeadKeyList& DeadKeyList()
{
    static TDeadKeyList list;
    return list;
}

QString CustomisedDeadKeysFileName()
{
    return QDir(GetUserReadWriteFolder()).filePath(QStringLiteral("customised deadkeys.dat"));
}

void ControlSetUpForForm(QWidget& form)
{
    if (GetDeadKeyListCustomised() && !Global_DeadKeyListLoaded) {
        QString error;
        if (DeadKeyList().LoadFromFile(CustomisedDeadKeysFileName(), &error)) {
            if (qApp && !qApp->findChild<QObject*>(QLatin1String(TDeadKeyFilter::kName), Qt::FindDirectChildrenOnly))
                qApp->installEventFilter(new TDeadKeyFilter(qApp));
        } else if (LoggingIsOn()) {
            AddToLogFile(error);
        }
        // One try per run, whether the file was there or not.
        Global_DeadKeyListLoaded = true;
    }
    // No program may switch the desktop's keyboard layout here: a named
    // layout stays the desktop's choice, and is never marked activated.
    if (const QString layout = GetKeyboardChoice(); !layout.isEmpty() && !Global_KeyboardLayoutActivated && LoggingIsOn())
        AddToLogFile(QStringLiteral("Keyboard layout \"%1\" is left to the desktop").arg(layout));
    ApplyDialogOption(form, GetOpenAndSaveDialogOption());
}

} // namespace cv
