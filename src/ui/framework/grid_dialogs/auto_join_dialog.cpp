#include "ui/framework/grid_dialogs/auto_join_dialog.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QShowEvent>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "suite/cvbuf.h"
#include "ui/framework/grid_dialogs/search_switches.h"

namespace cv {

namespace {

constexpr int kHelpAutoJoin = 2720;
const QString kGeometryKey = QStringLiteral("form/geometry");

} // namespace

TTMSStylableReadIniForm::TTMSStylableReadIniForm(const QString& objectName, QWidget* parent) : QDialog(parent)
{
    setObjectName(objectName);
}

QString TTMSStylableReadIniForm::TheIniName() const
{
    QString folder = GetUserReadWriteFolder();
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    return QDir::toNativeSeparators(QDir(folder).absolutePath()) + QDir::separator() + objectName() +
           QStringLiteral(".ini");
}

void TTMSStylableReadIniForm::showEvent(QShowEvent* event)
{
    if (!m_restored) {
        m_restored = true;
        QSettings ini(TheIniName(), QSettings::IniFormat);
        const QByteArray geometry = ini.value(kGeometryKey).toByteArray();
        if (!geometry.isEmpty())
            restoreGeometry(geometry);
    }
    QDialog::showEvent(event);
}

void TTMSStylableReadIniForm::hideEvent(QHideEvent* event)
{
    QSettings ini(TheIniName(), QSettings::IniFormat);
    ini.setValue(kGeometryKey, saveGeometry());
    QDialog::hideEvent(event);
}

std::vector<TAutoJoinAffixRec> ParseAutoJoinAffixes(const QString& typed)
{
    std::vector<TAutoJoinAffixRec> result;
    const auto add = [&result](const QString& part) {
        if (!part.isEmpty() && part != QStringLiteral("*"))
            result.push_back({part, 0});
    };
    QString text = typed.trimmed();
    for (qsizetype at = text.indexOf(u';'); at >= 0; at = text.indexOf(u';')) {
        add(text.left(at).trimmed());
        text = text.mid(at + 1).trimmed();
    }
    add(text.trimmed());

    for (TAutoJoinAffixRec& affix : result) {
        const bool leading = affix.text.startsWith(u'*');
        if (leading)
            affix.text.remove(0, 1);
        if (affix.text.endsWith(u'*')) {
            affix.text.chop(1);
            affix.kind = leading ? 2 : 1;
        }
    }
    // "**" leaves nothing to look for: an empty affix would join every word to itself.
    std::erase_if(result, [](const TAutoJoinAffixRec& a) { return a.text.isEmpty(); });
    return result;
}

TAutoJoinDlg::TAutoJoinDlg(QWidget* parent) : TTMSStylableReadIniForm(QStringLiteral("AutoJoinDlg"), parent)
{
    setWindowTitle(QStringLiteral("Auto-Join"));
    auto* group = new QGroupBox(QStringLiteral("Prefix(es) and Suffix(es)"));
    ElEdit1 = new QLineEdit;
    ElEdit1->setObjectName(QStringLiteral("ElEdit1"));
    ElEdit1->setPlaceholderText(QStringLiteral("ing; un*; *ab*"));
    ConfirmCheckBox = new QCheckBox(QStringLiteral("Confirm each"));
    CheckBoxCaseSensitive = new QCheckBox(QStringLiteral("Case sensitive"));
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(ElEdit1);
    groupLayout->addWidget(ConfirmCheckBox);
    groupLayout->addWidget(CheckBoxCaseSensitive);

    ButtonOK = new QPushButton(QStringLiteral("OK"));
    ButtonOK->setDefault(true);
    ButtonCancel = new QPushButton(QStringLiteral("Cancel"));
    ButtonHelp = new QPushButton(QStringLiteral("Help"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonOK);
    buttons->addWidget(ButtonCancel);
    buttons->addWidget(ButtonHelp);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);

    ElEdit1->clear();
    ConfirmCheckBox->setChecked(autosearch_confirm);
    connect(ButtonOK, &QPushButton::clicked, this, [this] { ButtonOKClick(); });
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ButtonHelp, &QPushButton::clicked, this, [this] { ButtonHelpClick(); });
}

void TAutoJoinDlg::ButtonOKClick()
{
    affixes = ParseAutoJoinAffixes(ElEdit1->text());
    autosearch_confirm = ConfirmCheckBox->isChecked();
    if (!affixes.empty())
        accept();
}

void TAutoJoinDlg::ButtonHelpClick() { PostHelpRequest(kHelpAutoJoin); }

bool RunAutoJoinDialog(QWidget* parent, std::vector<TAutoJoinAffixRec>& affixes, bool& confirmEach)
{
    TAutoJoinDlg dialog(parent);
    if (RunModalDialog(dialog) != QDialog::Accepted || dialog.affixes.empty())
        return false;
    affixes = dialog.affixes;
    confirmEach = autosearch_confirm;
    return true;
}

} // namespace cv
