#include "ui/wordlist/dialogs/column_edit_dialog.h"

#include "files/save_file.h"

#include <QComboBox>
#include <QLineEdit>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "suite/cvbuf.h"
#include "suite/resource_strings.h"
#include "ui/wordlist/dialogs/dialog_controls.h"

namespace cv {

namespace {

constexpr int kHelpSetColumn = 1950;

// How many categories the set-column dialog remembers.
constexpr int kSetHistoryLength = 50;

} // namespace

// Set-column category

TFormSetColumnEdit::TFormSetColumnEdit(QWidget* parent)
    : TCVDialog(parent, QStringLiteral("FormSetColumnEdit"), kHelpSetColumn)
{
    setWindowTitle(CVEnterSetData);
    ElComboBox1 = new QComboBox(this);
    ElComboBox1->setObjectName(QStringLiteral("ElComboBox1"));
    ElComboBox1->setEditable(true);
    ElComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ElComboBox1->setAcceptDrops(true);
    ElComboBox1->installEventFilter(this);
    ElComboBox1->lineEdit()->installEventFilter(this);
    ElComboBox1->lineEdit()->setAcceptDrops(false);
    ColourSharingListbox1 = new QListWidget(this);
    ColourSharingListbox1->setObjectName(QStringLiteral("ColourSharingListbox1"));
    ColourSharingListbox1->setDragEnabled(true);
    for (const char* name : {"red", "orange", "yellow", "lime", "green", "cyan", "blue", "magenta", "purple", "brown",
                             "grey", "silver", "white"}) {
        auto* item = new QListWidgetItem(QString::fromLatin1(name), ColourSharingListbox1);
        item->setBackground(QColor(QString::fromLatin1(name)));
        item->setData(Qt::UserRole, QColor(QString::fromLatin1(name)));
    }
    ButtonOK = Button(this, QStringLiteral("OK"), kImageOK, "ButtonOK");
    ButtonHelp = Button(this, QStringLiteral("Help"), kImageHelp, "ButtonHelp");
    ButtonCancel = Button(this, QStringLiteral("Cancel"), kImageCancel, "ButtonCancel");
    auto* buttons = OkHelpButtonRow(ButtonOK, ButtonHelp, ButtonCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ElComboBox1);
    layout->addWidget(ColourSharingListbox1);
    layout->addLayout(buttons);
    connect(ButtonOK, &QPushButton::clicked, this, [this] { SetModalResult(kModalOK); });
    connect(ButtonCancel, &QPushButton::clicked, this, [this] { SetModalResult(kModalCancel); });
    connect(ButtonHelp, &QPushButton::clicked, this, [this] { ButtonHelpClick(); });
    ClearColourChanged();
    LoadHistory();
}

void TFormSetColumnEdit::ClearColourChanged()
{
    ColourChanged = false;
    m_colour = palette().color(QPalette::Base);
    ElComboBox1->setStyleSheet(QString());
}

QColor TFormSetColumnEdit::ComboColour() const { return m_colour; }

bool TFormSetColumnEdit::ColourDropped(QObject* source, const QColor& colour)
{
    if (source != ColourSharingListbox1 || !colour.isValid())
        return false;
    m_colour = colour;
    ColourChanged = true;
    ElComboBox1->setStyleSheet(QStringLiteral("QComboBox { background: %1; }").arg(colour.name()));
    return true;
}

bool TFormSetColumnEdit::ComboKeyDown(int key)
{
    if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Execute)
        return false;
    SetModalResult(kModalOK);
    return true;
}

QString TFormSetColumnEdit::TheIniName() const
{
    const QString folder = GetUserReadWriteFolder();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(QStringLiteral("set_history.txt"));
}

void TFormSetColumnEdit::FormShow() { ElComboBox1->setFocus(); }

void TFormSetColumnEdit::done(int result)
{
    if (result == kModalOK) {
        const QString text = ElComboBox1->currentText();
        if (!text.trimmed().isEmpty()) {
            if (const int at = ElComboBox1->findText(text, Qt::MatchExactly); at >= 0)
                ElComboBox1->removeItem(at);
            ElComboBox1->insertItem(0, text);
            while (ElComboBox1->count() > kSetHistoryLength)
                ElComboBox1->removeItem(ElComboBox1->count() - 1);
            ElComboBox1->setEditText(text);
            SaveHistory();
        }
    }
    TCVDialog::done(result);
}

bool TFormSetColumnEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ElComboBox1 || watched == ElComboBox1->lineEdit()) {
        switch (event->type()) {
        case QEvent::KeyPress:
            if (ComboKeyDown(static_cast<QKeyEvent*>(event)->key()))
                return true;
            break;
        case QEvent::DragEnter: {
            auto* drag = static_cast<QDragEnterEvent*>(event);
            if (drag->source() == ColourSharingListbox1) {
                drag->acceptProposedAction();
                return true;
            }
            drag->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QListWidgetItem* item = ColourSharingListbox1->currentItem();
            if (item && ColourDropped(drop->source(), item->data(Qt::UserRole).value<QColor>()))
                drop->acceptProposedAction();
            return true;
        }
        default:
            break;
        }
    }
    return TCVDialog::eventFilter(watched, event);
}

void TFormSetColumnEdit::LoadHistory()
{
    QFile file(TheIniName());
    if (TheIniName().isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString& line : lines.mid(0, kSetHistoryLength))
        ElComboBox1->addItem(line.trimmed());
    ElComboBox1->setEditText(QString());
}

void TFormSetColumnEdit::SaveHistory() const
{
    if (TheIniName().isEmpty())
        return;
    QStringList lines;
    for (int i = 0; i < ElComboBox1->count(); ++i)
        lines << ElComboBox1->itemText(i);
    // A history that cannot be written is only a convenience lost: no message.
    TSaveFile file(TheIniName());
    if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        file.write(lines.join(u'\n').toUtf8());
        file.commit();
    }
}

} // namespace cv
