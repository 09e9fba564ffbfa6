#include "controller/customise_window.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QHeaderView>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLocale>
#include <QMap>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

#include "suite/cv_format.h"
#include "suite/cvbuf.h"
#include "suite/my_types.h"
#include "suite/window_handle.h"

namespace cv {

namespace {
enum : int { kColCommand = 0, kColShortcut, kColRightClick };
} // namespace

TControllerCustomiseWindow::TControllerCustomiseWindow(const TMenuCommandsOfTools& commands, QWidget* parent)
    : QDialog(parent), m_commands(commands)
{
    setWindowTitle(QStringLiteral("Customise menus"));
    setObjectName(QStringLiteral("ControllerCustomiseWindow"));
    auto* column = new QVBoxLayout(this);
    column->addWidget(new QLabel(QStringLiteral("The shortcut of each command, and the commands offered when a list "
                                                "is right-clicked:")));
    Table = new QTableWidget(int(m_commands.commands.size()), 3);
    Table->setHorizontalHeaderLabels({QStringLiteral("Command"), QStringLiteral("Shortcut"),
                                      QStringLiteral("On right-click menu")});
    Table->verticalHeader()->hide();
    for (int row = 0; row < int(m_commands.commands.size()); ++row) {
        const auto& c = m_commands.commands[size_t(row)];
        auto* caption = new QTableWidgetItem(StripHotkey(c.caption));
        caption->setFlags(Qt::ItemIsEnabled);
        caption->setData(Qt::UserRole, c.tag);
        Table->setItem(row, kColCommand, caption);
        auto* key = new QKeySequenceEdit;
        if (m_commands.toSequence)
            key->setKeySequence(m_commands.toSequence(GetMenuShortcut(c.tag)));
        Table->setCellWidget(row, kColShortcut, key);
        auto* popup = new QCheckBox;
        popup->setChecked(GetPopupMenuTagInUse(c.tag));
        Table->setCellWidget(row, kColRightClick, popup);
    }
    Table->resizeColumnsToContents();
    Table->horizontalHeader()->setStretchLastSection(true);
    Table->setColumnWidth(kColShortcut, std::max(Table->columnWidth(kColShortcut), 160));
    column->addWidget(Table, 1);
    ProblemLabel = new QLabel;
    ProblemLabel->setWordWrap(true);
    ProblemLabel->setStyleSheet(QStringLiteral("color: #a00000"));
    ProblemLabel->hide();
    column->addWidget(ProblemLabel);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    column->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { OkClick(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(640, 560);
}

int TControllerCustomiseWindow::RowOfTag(int tag) const
{
    for (int row = 0; row < Table->rowCount(); ++row)
        if (Table->item(row, kColCommand)->data(Qt::UserRole).toInt() == tag)
            return row;
    return -1;
}

void TControllerCustomiseWindow::SetShortcut(int tag, const QKeySequence& key)
{
    if (const int row = RowOfTag(tag); row >= 0)
        static_cast<QKeySequenceEdit*>(Table->cellWidget(row, kColShortcut))->setKeySequence(key);
}

void TControllerCustomiseWindow::SetOnRightClickMenu(int tag, bool on)
{
    if (const int row = RowOfTag(tag); row >= 0)
        static_cast<QCheckBox*>(Table->cellWidget(row, kColRightClick))->setChecked(on);
}

QStringList TControllerCustomiseWindow::Store()
{
    QStringList problems;
    std::vector<std::pair<int, uint16_t>> shortcuts;
    QMap<uint16_t, QString> holder;
    QStringList rightClick;
    for (int row = 0; row < Table->rowCount(); ++row) {
        const int tag = Table->item(row, kColCommand)->data(Qt::UserRole).toInt();
        const QString caption = Table->item(row, kColCommand)->text();
        const QKeySequence key = static_cast<QKeySequenceEdit*>(Table->cellWidget(row, kColShortcut))->keySequence();
        const uint16_t code = key.isEmpty() || !m_commands.fromSequence ? 0 : m_commands.fromSequence(key);
        if (!key.isEmpty() && code == 0)
            problems << QStringLiteral("%1: %2 cannot be a shortcut.")
                            .arg(caption, key.toString(QKeySequence::NativeText));
        if (code != 0) {
            if (holder.contains(code))
                problems << QStringLiteral("%1 is given to both \"%2\" and \"%3\".")
                                .arg(key.toString(QKeySequence::NativeText), holder.value(code), caption);
            holder.insert(code, caption);
        }
        shortcuts.emplace_back(tag, code);
        if (static_cast<QCheckBox*>(Table->cellWidget(row, kColRightClick))->isChecked())
            rightClick << (code != 0 && m_commands.shortcutText ? caption + u':' + m_commands.shortcutText(code)
                                                               : caption);
    }
    if (rightClick.size() > kMaxRightClickCommands)
        problems << QStringLiteral("The right-click menu offers at most %1 commands; %2 are ticked.")
                        .arg(kMaxRightClickCommands)
                        .arg(rightClick.size());
    if (!problems.isEmpty())
        return problems;
    // Shortcuts that change are first taken off their commands, so that two
    // commands may swap theirs; then each is given through the tools' rule.
    std::vector<std::pair<int, uint16_t>> changed;
    for (const auto& [tag, code] : shortcuts)
        if (GetMenuShortcut(tag) != code) {
            SetMenuShortcut(tag, 0);
            changed.emplace_back(tag, code);
        }
    for (const auto& [tag, code] : changed) {
        if (code == 0)
            continue;
        const int row = RowOfTag(tag);
        const QString caption = Table->item(row, kColCommand)->text();
        const bool stored = m_commands.trySetShortcut ? m_commands.trySetShortcut(tag, caption, code)
                                                      : (SetMenuShortcut(tag, code), true);
        if (!stored)
            problems << QStringLiteral("%1: the shortcut is held by another command.").arg(caption);
    }
    if (m_commands.setRightClickEntries) {
        if (m_commands.normaliseEntry)
            for (QString& entry : rightClick)
                m_commands.normaliseEntry(entry);
        m_commands.setRightClickEntries(rightClick);
    } else {
        for (int row = 0; row < Table->rowCount(); ++row)
            SetPopupMenuTagInUse(Table->item(row, kColCommand)->data(Qt::UserRole).toInt(),
                                 static_cast<QCheckBox*>(Table->cellWidget(row, kColRightClick))->isChecked());
    }
    SetMenuAltered(true);
    return problems;
}

void TControllerCustomiseWindow::OkClick()
{
    const QStringList problems = Store();
    if (!problems.isEmpty()) {
        ProblemLabel->setText(problems.join(u'\n'));
        ProblemLabel->show();
        return;
    }
    if (OnStored)
        OnStored();
    accept();
}

// ---------------------------------------------------------------------------

int64_t ResidentMemoryOfProcess(int64_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return 0;
}

TControllerAboutWindow::TControllerAboutWindow(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About and memory"));
    setObjectName(QStringLiteral("ControllerAboutWindow"));
    auto* column = new QVBoxLayout(this);
    Label = new QLabel;
    Label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Label->setWordWrap(true);
    column->addWidget(Label, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    column->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Refresh();
    resize(560, 320);
}

void TControllerAboutWindow::Refresh()
{
    const QLocale locale;
    const auto mb = [&](int64_t bytes) { return locale.toString(double(bytes) / (1024.0 * 1024.0), 'f', 1) + QStringLiteral(" MB"); };
    QStringList lines;
    lines << QStringLiteral("Corvantis WordList %1").arg(QCoreApplication::applicationVersion());
    lines << QStringLiteral("Settings buffer: %1").arg(TSettingsBuffer::Instance().FileName());
    lines << QString();
    lines << QStringLiteral("Controller (process %1): %2")
                 .arg(QCoreApplication::applicationPid())
                 .arg(mb(ResidentMemoryOfProcess(QCoreApplication::applicationPid())));
    // Every process of a tool, once (a process may hold several windows of it).
    std::vector<int64_t> listed;
    for (const TOpenToolWindow& w : GetOpenToolWindows()) {
        const int64_t pid = WindowHandleProcess(w.wnd);
        if (std::find(listed.begin(), listed.end(), pid) != listed.end())
            continue;
        listed.push_back(pid);
        lines << QStringLiteral("%1 (process %2): %3").arg(Tool_Name(w.tool)).arg(pid).arg(mb(ResidentMemoryOfProcess(pid)));
    }
    Label->setText(lines.join(u'\n'));
}

QString TControllerAboutWindow::Text() const { return Label->text(); }

} // namespace cv
