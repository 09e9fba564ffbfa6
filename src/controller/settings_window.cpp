#include "controller/settings_window.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

#include <limits>

#include "controller/controller_ini.h"
#include "gui/file_dialogs.h"
#include "runtime/language_list.h"
#include "suite/cv_format.h"

namespace cv {

namespace {

// A line edit with a button that asks for a folder, a file there is, or
// (a save dialog) a file to be made.
QWidget* PathEditor(QLineEdit*& edit, TSettingKind kind, const QString& caption)
{
    auto* box = new QWidget;
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    edit = new QLineEdit;
    edit->setMinimumWidth(320);
    auto* browse = new QPushButton(QStringLiteral("Browse..."));
    browse->setObjectName(QStringLiteral("Browse"));
    row->addWidget(edit, 1);
    row->addWidget(browse);
    QObject::connect(browse, &QPushButton::clicked, box, [edit, kind, caption, box] {
        const QString start = edit->text();
        if (kind == TSettingKind::Folder) {
            const QString chosen = QFileDialog::getExistingDirectory(box, caption, start);
            if (!chosen.isEmpty())
                edit->setText(chosen);
            return;
        }
        TCVFileDialog dialog(kind == TSettingKind::NewFile ? TCVFileDialog::TKind::Save : TCVFileDialog::TKind::Open);
        dialog.Title = caption;
        dialog.FileName = start;
        dialog.InitialDir = start.isEmpty() ? QString() : QFileInfo(start).absolutePath();
        dialog.Filter = QStringLiteral("All files (*)");
        if (dialog.Execute())
            edit->setText(dialog.FileName);
    });
    return box;
}

} // namespace

TControllerSettingsWindow::TControllerSettingsWindow(const QString& title, const QStringList& keys, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(title);
    setObjectName(QStringLiteral("ControllerSettingsWindow"));
    auto* column = new QVBoxLayout(this);
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* inner = new QWidget;
    auto* form = new QFormLayout(inner);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    for (const QString& name : keys) {
        const TSettingKey* key = FindSettingKey(name);
        if (!key)
            continue;
        TEditor editor = MakeEditor(*key);
        editor.write(key->get());
        if (key->kind == TSettingKind::Bool) {
            form->addRow(QString(), editor.widget);
        } else {
            auto* label = new QLabel(WithoutAccessKeys(key->caption) + QLatin1Char(':'));
            label->setBuddy(editor.widget);
            form->addRow(label, editor.widget);
        }
        m_editors.push_back(std::move(editor));
    }
    scroll->setWidget(inner);
    column->addWidget(scroll, 1);
    ProblemLabel = new QLabel;
    ProblemLabel->setWordWrap(true);
    ProblemLabel->setStyleSheet(QStringLiteral("color: #a00000"));
    ProblemLabel->hide();
    column->addWidget(ProblemLabel);
    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    column->addWidget(Buttons);
    connect(Buttons, &QDialogButtonBox::accepted, this, [this] { OkClick(); });
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Large enough for every row without scrolling where the screen allows.
    inner->adjustSize();
    resize(std::max(520, inner->sizeHint().width() + 60), std::min(720, inner->sizeHint().height() + 120));
}

TControllerSettingsWindow::TEditor TControllerSettingsWindow::MakeEditor(const TSettingKey& key)
{
    TEditor e{&key, nullptr, {}, {}};
    switch (key.kind) {
    case TSettingKind::Bool: {
        auto* box = new QCheckBox(WithoutAccessKeys(key.caption));
        e.widget = box;
        e.read = [box] { return box->isChecked() ? QStringLiteral("true") : QStringLiteral("false"); };
        e.write = [box](const QString& v) {
            const QString s = v.trimmed().toLower();
            box->setChecked(s == u"true" || s == u"1" || s == u"yes" || s == u"on");
        };
        break;
    }
    case TSettingKind::Int: {
        auto* spin = new QSpinBox;
        constexpr int64_t kIntMax = std::numeric_limits<int>::max();
        spin->setRange(int(std::clamp<int64_t>(key.lo, -kIntMax, kIntMax)), int(std::clamp<int64_t>(key.hi, -kIntMax, kIntMax)));
        spin->setGroupSeparatorShown(true);
        e.widget = spin;
        e.read = [spin] { return QString::number(spin->value()); };
        e.write = [spin](const QString& v) { spin->setValue(v.toInt()); };
        break;
    }
    case TSettingKind::Float: {
        auto* spin = new QDoubleSpinBox;
        spin->setRange(-1.0e9, 1.0e9);
        spin->setDecimals(6);
        e.widget = spin;
        e.read = [spin] { return QString::number(spin->value(), 'g', 9); };
        e.write = [spin](const QString& v) { spin->setValue(v.toDouble()); };
        break;
    }
    case TSettingKind::Language:
    case TSettingKind::Choice: {
        auto* combo = new QComboBox;
        const bool language = key.kind == TSettingKind::Language;
        if (language) {
            combo->addItems(TLanguageList::Instance().Names());
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
        } else {
            combo->addItems(key.choices);
        }
        e.widget = combo;
        const int64_t lo = key.lo;
        e.read = [combo, language, lo] {
            return language ? combo->currentText() : QString::number(combo->currentIndex() + lo);
        };
        e.write = [combo, language, lo](const QString& v) {
            if (language)
                combo->setCurrentIndex(std::max(0, TLanguageList::Instance().IndexOfName(v)));
            else
                combo->setCurrentIndex(int(v.toLongLong() - lo));
        };
        break;
    }
    case TSettingKind::Colour: {
        auto* button = new QPushButton;
        button->setMinimumWidth(120);
        const auto show = [button](const QString& v) {
            button->setText(v);
            button->setStyleSheet(QStringLiteral("background-color: %1").arg(v));
        };
        e.widget = button;
        e.read = [button] { return button->text(); };
        e.write = show;
        connect(button, &QPushButton::clicked, this, [this, button, show, caption = key.caption] {
            const QColor c = QColorDialog::getColor(QColor::fromString(button->text()), this, caption);
            if (c.isValid())
                show(c.name(QColor::HexRgb));
        });
        break;
    }
    case TSettingKind::File:
    case TSettingKind::NewFile:
    case TSettingKind::Folder: {
        QLineEdit* edit = nullptr;
        e.widget = PathEditor(edit, key.kind, key.caption);
        e.read = [edit] { return edit->text().trimmed(); };
        e.write = [edit](const QString& v) { edit->setText(v); };
        break;
    }
    case TSettingKind::Text: {
        auto* edit = new QLineEdit;
        edit->setMinimumWidth(240);
        e.widget = edit;
        e.read = [edit] { return edit->text(); };
        e.write = [edit](const QString& v) { edit->setText(v); };
        break;
    }
    }
    e.widget->setObjectName(key.key);
    return e;
}

QString TControllerSettingsWindow::Value(const QString& key) const
{
    for (const TEditor& e : m_editors)
        if (e.key->key.compare(key, Qt::CaseInsensitive) == 0)
            return e.read();
    return {};
}

bool TControllerSettingsWindow::SetValue(const QString& key, const QString& value)
{
    for (const TEditor& e : m_editors)
        if (e.key->key.compare(key, Qt::CaseInsensitive) == 0) {
            e.write(value);
            return true;
        }
    return false;
}

QStringList TControllerSettingsWindow::Keys() const
{
    QStringList keys;
    for (const TEditor& e : m_editors)
        keys << e.key->key;
    return keys;
}

QStringList TControllerSettingsWindow::Store()
{
    // All or nothing: the values as they were come back when one is refused.
    std::vector<QString> before;
    for (const TEditor& e : m_editors)
        before.push_back(e.key->get());
    QStringList problems;
    for (const TEditor& e : m_editors) {
        const QString value = e.read();
        if (!e.key->set(value))
            problems << QStringLiteral("%1: \"%2\" cannot be taken.").arg(e.key->caption, value);
    }
    if (!problems.isEmpty())
        for (size_t i = 0; i < m_editors.size(); ++i)
            m_editors[i].key->set(before[i]);
    return problems;
}

void TControllerSettingsWindow::Reload()
{
    for (const TEditor& e : m_editors)
        e.write(e.key->get());
}

void TControllerSettingsWindow::OkClick()
{
    const QStringList problems = Store();
    if (!problems.isEmpty()) {
        ProblemLabel->setText(problems.join(u'\n'));
        ProblemLabel->show();
        return;
    }
    ProblemLabel->hide();
    if (OnStored)
        OnStored();
    accept();
}

} // namespace cv
