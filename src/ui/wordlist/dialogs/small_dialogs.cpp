#include "ui/wordlist/dialogs/small_dialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSaveFile>
#include <QTableView>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "model/base_list.h"
#include "runtime/controller_link.h"
#include "suite/controller_codes.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/resource_strings.h"
#include "suite/text_settings.h"
#include "suite/wdef.h"
#include "suite/window_messages.h"
#include "ui/framework/tool_data_module.h"

namespace cv {

namespace {

constexpr int kHelpLanguage = 5390;
constexpr int kHelpFilenameReplace = 1420;
constexpr int kHelpCompare = 2740;
constexpr int kHelpSetColumn = 1950;
// How many categories the set-column dialog remembers.
constexpr int kSetHistoryLength = 50;

QPushButton* Button(QWidget* parent, const QString& caption, int image, const char* name)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setProperty("imageIndex", image);
    return b;
}

QLabel* Label(QWidget* parent, const QString& caption, const char* name)
{
    auto* l = new QLabel(caption, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

// The tool's main window (the first main window of the application).
QWidget* ApplicationMainWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(w))
            return w;
    return nullptr;
}

// The list's sort key of a grid column, back to the column (-1 when none gives it).
int ColumnOfSortKey(const TCVBaseDataClass& list, int32_t key)
{
    if (key < 0)
        return -1;
    for (int c = 1; c < list.ColumnCount(); ++c)
        if (list.HeaderColumnToSortNeeded(c) == key)
            return c;
    return -1;
}

} // namespace

// ---------------------------------------------------------------------------
// General input

TGeneralInputDlg::TGeneralInputDlg(QWidget* parent) : TCVDialog(parent, QStringLiteral("GeneralInputDlg"), 0)
{
    setWindowTitle(QStringLiteral("Input"));
    LabelTopic = Label(this, QString(), "LabelTopic");
    LabelPrompt = Label(this, QString(), "LabelPrompt");
    LabelPrompt->setWordWrap(true);
    ElComboBox1 = new QComboBox(this);
    ElComboBox1->setObjectName(QStringLiteral("ElComboBox1"));
    ElComboBox1->setEditable(true);
    ElComboBox1->setInsertPolicy(QComboBox::NoInsert);
    AdvGlowButtonOption1 = Button(this, QStringLiteral("One"), 0, "AdvGlowButtonOption1");
    AdvGlowButtonOption2 = Button(this, QStringLiteral("Two"), 0, "AdvGlowButtonOption2");
    ButtonOK = Button(this, QStringLiteral("OK"), kImageOK, "ButtonOK");
    ButtonHelp = Button(this, QStringLiteral("Help"), kImageHelp, "ButtonHelp");

    auto* options = new QHBoxLayout;
    options->addWidget(AdvGlowButtonOption1);
    options->addWidget(AdvGlowButtonOption2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LabelTopic);
    layout->addWidget(LabelPrompt);
    layout->addWidget(ElComboBox1);
    layout->addLayout(options);
    layout->addLayout(OkHelpButtonRow(ButtonOK, ButtonHelp));

    connect(ButtonOK, &QPushButton::clicked, this, [this] { SetModalResult(kModalOK); });
    connect(ButtonHelp, &QPushButton::clicked, this, [this] { ButtonHelpClick(); });
    connect(AdvGlowButtonOption1, &QPushButton::clicked, this, [this] { OptionClick(1); });
    connect(AdvGlowButtonOption2, &QPushButton::clicked, this, [this] { OptionClick(2); });
}

QString TGeneralInputDlg::Prompt() const { return LabelPrompt->text(); }
void TGeneralInputDlg::SetPrompt(const QString& prompt) { LabelPrompt->setText(prompt); }
QString TGeneralInputDlg::Value() const { return ElComboBox1->currentText(); }
void TGeneralInputDlg::SetValue(const QString& value) { ElComboBox1->setEditText(value); }
QString TGeneralInputDlg::Topic() const { return LabelTopic->text(); }
void TGeneralInputDlg::SetTopic(const QString& topic) { LabelTopic->setText(topic); }

int TGeneralInputDlg::ValueAsInteger() const
{
    bool whole = false;
    const int n = Value().toInt(&whole);
    return whole ? n : -1;
}

bool TGeneralInputDlg::Execute(const QString& prompt, const QString& initial, int helpContext)
{
    SetPrompt(prompt);
    SetValue(initial);
    SetHelpContextNumber(helpContext);
    return RunModalDialog(*this) == kModalOK;
}

bool TGeneralInputDlg::Execute(const QString& prompt, int initial, int helpContext)
{
    return Execute(prompt, QString::number(initial), helpContext);
}

bool TGeneralInputDlg::GetAlternative(const QString& prompt, int helpContext)
{
    BotaoPressed = 0;
    SetPrompt(prompt);
    SetHelpContextNumber(helpContext);
    return RunModalDialog(*this) == kModalOK;
}

void TGeneralInputDlg::OptionClick(int option)
{
    // With the alternatives there is no OK button: choosing one is the answer.
    BotaoPressed = option;
    SetModalResult(kModalOK);
}

void TGeneralInputDlg::FormShow()
{
    LabelTopic->setVisible(offering_alternatives);
    AdvGlowButtonOption1->setVisible(offering_alternatives);
    AdvGlowButtonOption2->setVisible(offering_alternatives);
    ElComboBox1->setVisible(!offering_alternatives);
    ButtonOK->setVisible(!offering_alternatives);
    if (!offering_alternatives)
        ElComboBox1->setFocus();
}

// ---------------------------------------------------------------------------
// Language

TFormLangChange::TFormLangChange(QWidget* parent) : TCVDialog(parent, QStringLiteral("FormLangChange"), kHelpLanguage)
{
    setWindowTitle(QStringLiteral("Change language"));
    AdvEdit1 = new QLineEdit(this);
    AdvEdit1->setObjectName(QStringLiteral("AdvEdit1"));
    AdvEdit1->setReadOnly(true);
    AdvComboBox1 = new QComboBox(this);
    AdvComboBox1->setObjectName(QStringLiteral("AdvComboBox1"));
    ElPopupButtonChange = Button(this, QStringLiteral("Change"), kImageChange, "ElPopupButtonChange");
    ElPopupButtonHelp = Button(this, QStringLiteral("Help"), kImageHelp, "ElPopupButtonHelp");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(AdvEdit1);
    layout->addWidget(AdvComboBox1);
    layout->addLayout(OkHelpButtonRow(ElPopupButtonChange, ElPopupButtonHelp));
    connect(ElPopupButtonChange, &QPushButton::clicked, this, [this] { ElPopupButtonChangeClick(); });
    connect(ElPopupButtonHelp, &QPushButton::clicked, this, [this] { ButtonHelpClick(); });
}

void TFormLangChange::SetAlternatives(const QString& names)
{
    AdvComboBox1->clear();
    AdvComboBox1->addItems(names.split(u'\t', Qt::SkipEmptyParts));
    AdvComboBox1->setCurrentIndex(AdvComboBox1->findText(GetTextSettings().LanguageName(), Qt::MatchExactly));
}

void TFormLangChange::SetCurrentLangTo(const QString& name) { AdvEdit1->setText(name); }

void TFormLangChange::ElPopupButtonChangeClick()
{
    if (AdvComboBox1->currentIndex() < 0)
        return;
    PostToControllerWithParam(kCodeLanguageChosen, AdvComboBox1->currentIndex());
    if (QWidget* main = ApplicationMainWindow())
        main->lower();
    SetModalResult(kModalOK);
}

// ---------------------------------------------------------------------------
// File names

TFormSearchAndReplaceFilename::TFormSearchAndReplaceFilename(QWidget* parent)
    : TCVDialog(parent, QStringLiteral("FormSearchAndReplaceFilename"), kHelpFilenameReplace)
{
    setWindowTitle(QStringLiteral("Search and Replace -- filenames"));
    ElEditSearch = new QLineEdit(this);
    ElEditSearch->setObjectName(QStringLiteral("ElEditSearch"));
    ElEditSearch->setPlaceholderText(QStringLiteral("path"));
    ElLabel1 = Label(this, CVPathAndFilename, "ElLabel1");
    ElEditReplacement = new QLineEdit(this);
    ElEditReplacement->setObjectName(QStringLiteral("ElEditReplacement"));
    ElEditReplacement->setPlaceholderText(QStringLiteral("replacement"));
    ElLabel3 = Label(this, QStringLiteral("replacement"), "ElLabel3");
    ElRadioGroup1 = new TRadioGroup(QStringLiteral("replacement within"),
                                    {QStringLiteral("the path only"), QStringLiteral("the filename only")}, this);
    ElRadioGroup1->setObjectName(QStringLiteral("ElRadioGroup1"));
    ElPopupButtonOK = Button(this, QStringLiteral("OK"), kImageOK, "ElPopupButtonOK");
    ElPopupButtonCancel = Button(this, QStringLiteral("Cancel"), kImageCancel, "ElPopupButtonCancel");
    ElPopupButtonHelp = Button(this, QStringLiteral("Help"), kImageHelp, "ElPopupButtonHelp");

    auto* fields = new QGridLayout;
    fields->addWidget(ElLabel1, 0, 0);
    fields->addWidget(ElEditSearch, 0, 1);
    fields->addWidget(ElLabel3, 1, 0);
    fields->addWidget(ElEditReplacement, 1, 1);
    auto* buttons = OkHelpButtonRow(ElPopupButtonOK, ElPopupButtonHelp, ElPopupButtonCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(ElRadioGroup1);
    layout->addLayout(buttons);

    connect(ElRadioGroup1, &TRadioGroup::itemClicked, this, [this] { ElRadioGroup1Click(); });
    connect(ElPopupButtonOK, &QPushButton::clicked, this, [this] { SetModalResult(kModalOK); });
    connect(ElPopupButtonCancel, &QPushButton::clicked, this, [this] { SetModalResult(kModalCancel); });
    connect(ElPopupButtonHelp, &QPushButton::clicked, this, [this] { ButtonHelpClick(); });
}

void TFormSearchAndReplaceFilename::ElRadioGroup1Click()
{
    switch (ElRadioGroup1->ItemIndex()) {
    case -1: ElLabel1->setText(CVPathAndFilename); break;
    case 1: ElLabel1->setText(CVFilename); break;
    default: ElLabel1->setText(CVPathToTheFile); break;
    }
}

void TFormSearchAndReplaceFilename::FormShow()
{
    ElRadioGroup1Click();
    ElEditSearch->setFocus();
    MyYieldProcess();
}

// ---------------------------------------------------------------------------
// Comparison

TFormCompare2Wordlists::TFormCompare2Wordlists(QWidget* parent)
    : TTMSStylableReadIniForm(QStringLiteral("FormCompare2Wordlists"), parent)
{
    SetHelpContext(this, kHelpCompare);
    setWindowTitle(QStringLiteral("Compare two word-lists"));
    ElLabel1 = Label(this, QStringLiteral("reference corpus"), "ElLabel1");
    ElFileNameEdit1 = new TFileNameEdit(TFileNameEdit::TMode::OneFile, this);
    ElFileNameEdit1->setObjectName(QStringLiteral("ElFileNameEdit1"));
    ElFileNameEdit1->Filter = LimitedDefaultFilter(kListWordList) + QStringLiteral(";;All files (*)");
    ElFileNameEdit1->DefaultExt = QStringLiteral("lst");
    AdvOfficeRadioGroup1 = new TRadioGroup(QStringLiteral("comparison"),
                                           {QStringLiteral("1-way (your word-list's words only)"),
                                            QStringLiteral("2-way (both sets of words)")},
                                           this);
    AdvOfficeRadioGroup1->setObjectName(QStringLiteral("AdvOfficeRadioGroup1"));
    ElPopupButtonOK = Button(this, QStringLiteral("OK"), kImageOK, "ElPopupButtonOK");
    ElPopupButtonHelp = Button(this, QStringLiteral("Help"), kImageHelp, "ElPopupButtonHelp");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ElLabel1);
    layout->addWidget(ElFileNameEdit1);
    layout->addWidget(AdvOfficeRadioGroup1);
    layout->addLayout(OkHelpButtonRow(ElPopupButtonOK, ElPopupButtonHelp));
    connect(ElPopupButtonOK, &QPushButton::clicked, this, [this] { ElPopupButtonOKClick(); });
    connect(ElPopupButtonHelp, &QPushButton::clicked, this, [] { ShowHelpTopic(kHelpCompare); });
}

void TFormCompare2Wordlists::showEvent(QShowEvent* event)
{
    setResult(kModalNone);
    TTMSStylableReadIniForm::showEvent(event);
    const QString reference = GetKeywordsSettingsReferenceCorpus();
    ElFileNameEdit1->SetText(reference);
    ElFileNameEdit1->InitialDir = reference.isEmpty() ? GetLastOpenedFolder() : QFileInfo(reference).absolutePath();
    AdvOfficeRadioGroup1->SetItemIndex(GetKeywordsSettingsHandleAmount() ? 1 : 0);
    if (!reference.isEmpty() && !CurrentFile.isEmpty() &&
        QDir::cleanPath(reference).compare(QDir::cleanPath(CurrentFile), Qt::CaseInsensitive) == 0) {
        CantCompareWithSameFile(reference);
        done(kModalCancel);
    }
}

void TFormCompare2Wordlists::ElPopupButtonOKClick()
{
    const QString reference = ElFileNameEdit1->Text().trimmed();
    // The same file on OK would compare a list with itself: the dialog stays open.
    if (!CurrentFile.isEmpty() &&
        QDir::cleanPath(reference).compare(QDir::cleanPath(CurrentFile), Qt::CaseInsensitive) == 0) {
        CantCompareWithSameFile(reference);
        return;
    }
    SetKeywordsSettingsReferenceCorpus(reference);
    // The choice shown is the one the comparison makes.
    TKeyWordsSettingsRec settings = GetKeywordsSettings();
    settings.SetTwoWay(AdvOfficeRadioGroup1->ItemIndex() == 1);
    SetKeywordsSettings(settings);
    done(kModalOK);
}

// ---------------------------------------------------------------------------
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
    QSaveFile file(TheIniName());
    if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        file.write(lines.join(u'\n').toUtf8());
        file.commit();
    }
}

// ---------------------------------------------------------------------------
// Three-way sort

TFormThreeWaySort::TFormThreeWaySort(QWidget* parent) : TCVDialog(parent, QStringLiteral("FormThreeWaySort"), 0)
{
    setWindowTitle(QStringLiteral("Mutual Information Sort"));
    Label1 = Label(this, QStringLiteral("Main sort:"), "Label1");
    LabelSort2 = Label(this, QStringLiteral("Secondary sort:"), "LabelSort2");
    ElLabelSort3 = Label(this, QStringLiteral("Third sort"), "ElLabelSort3");
    const auto combo = [this](const char* name) {
        auto* c = new QComboBox(this);
        c->setObjectName(QString::fromLatin1(name));
        return c;
    };
    const auto direction = [this](const char* name) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    ComboBox1 = combo("ComboBox1");
    ComboBox2 = combo("ComboBox2");
    ComboBox3 = combo("ComboBox3");
    AdvGlowButtonUpDown1 = direction("AdvGlowButtonUpDown1");
    AdvGlowButtonUpDown2 = direction("AdvGlowButtonUpDown2");
    AdvGlowButtonUpDown3 = direction("AdvGlowButtonUpDown3");
    for (QToolButton* b : {AdvGlowButtonUpDown1, AdvGlowButtonUpDown2, AdvGlowButtonUpDown3})
        SetDirection(b, 1);
    ButtonOK = Button(this, QStringLiteral("OK"), kImageOK, "ButtonOK");
    ButtonHelp = Button(this, QStringLiteral("Help"), kImageHelp, "ButtonHelp");
    ButtonSwap = Button(this, QStringLiteral("Swap"), kImageSwap, "ButtonSwap");

    auto* grid = new QGridLayout;
    const QLabel* labels[] = {Label1, LabelSort2, ElLabelSort3};
    for (int level = 0; level < 3; ++level) {
        grid->addWidget(const_cast<QLabel*>(labels[level]), level, 0);
        grid->addWidget(Combo(level), level, 1);
        grid->addWidget(DirectionButton(level), level, 2);
        connect(DirectionButton(level), &QToolButton::clicked, this, [this, level] { DirectionClick(level); });
    }
    auto* buttons = OkHelpButtonRow(ButtonOK, ButtonHelp);
    buttons->insertWidget(1, ButtonSwap);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    connect(ButtonOK, &QPushButton::clicked, this, [this] { ButtonOKClick(); });
    connect(ButtonSwap, &QPushButton::clicked, this, [this] { ButtonSwapClick(); });
    connect(ButtonHelp, &QPushButton::clicked, this, [this] { ShowHelpTopic(helpnum); });
}

QComboBox* TFormThreeWaySort::Combo(int level) const
{
    return std::array{ComboBox1, ComboBox2, ComboBox3}[size_t(std::clamp(level, 0, 2))];
}

QToolButton* TFormThreeWaySort::DirectionButton(int level) const
{
    return std::array{AdvGlowButtonUpDown1, AdvGlowButtonUpDown2, AdvGlowButtonUpDown3}[size_t(std::clamp(level, 0, 2))];
}

int TFormThreeWaySort::Tag(const QToolButton* button) { return button->property("tag").toInt(); }
int TFormThreeWaySort::Image(const QToolButton* button) { return button->property("imageIndex").toInt(); }

void TFormThreeWaySort::SetDirection(QToolButton* button, int tag)
{
    const bool ascending = (tag & 1) != 0;
    button->setProperty("tag", tag);
    button->setProperty("imageIndex", ascending ? kImageAscending : kImageDescending);
    button->setArrowType(ascending ? Qt::UpArrow : Qt::DownArrow);
    button->setToolTip(ascending ? QStringLiteral("ascending") : QStringLiteral("descending"));
}

void TFormThreeWaySort::SetTo(const TCVBaseDataClass& list, int maxSortLevel, int helpNumber)
{
    Lst = &list;
    MaxSort = std::clamp(maxSortLevel, 0, 2);
    helpnum = helpNumber;
    SetHelpContextNumber(helpNumber);
    for (int level = 0; level < 3; ++level) {
        QComboBox* c = Combo(level);
        c->clear();
        for (int column = 1; column < list.ColumnCount(); ++column)
            c->addItem(list.Heading(column), column);
    }
    switch (list.ListType()) {
    case kListDetailedConsistency: setWindowTitle(CVDetailedConsistency); break;
    case kListIndexRelationships: setWindowTitle(CVRelationships); break;
    case kListChargrams: setWindowTitle(CVChargramList); break;
    default: break;
    }
    for (int level = 0; level < 3; ++level) {
        const TSortLevel sort = list.SortLevel(level);
        SetDirection(DirectionButton(level), sort.ascending ? 1 : 0);
        const int column = ColumnOfSortKey(list, sort.key);
        Combo(level)->setCurrentIndex(column >= 1 ? column - 1 : -1);
    }
    const bool second = MaxSort >= 1;
    const bool third = MaxSort >= 2;
    for (QWidget* w : {static_cast<QWidget*>(ComboBox2), static_cast<QWidget*>(LabelSort2),
                       static_cast<QWidget*>(AdvGlowButtonUpDown2)})
        w->setVisible(second);
    for (QWidget* w : {static_cast<QWidget*>(ComboBox3), static_cast<QWidget*>(ElLabelSort3),
                       static_cast<QWidget*>(AdvGlowButtonUpDown3)})
        w->setVisible(third);
    ButtonSwap->setVisible(second);
}

void TFormThreeWaySort::SetPressedColumn(int column)
{
    if (column >= 1 && column - 1 < ComboBox1->count())
        ComboBox1->setCurrentIndex(column - 1);
}

void TFormThreeWaySort::ButtonSwapClick()
{
    const int first = ComboBox1->currentIndex();
    ComboBox1->setCurrentIndex(ComboBox2->currentIndex());
    ComboBox2->setCurrentIndex(first);
}

void TFormThreeWaySort::DirectionClick(int level)
{
    QToolButton* b = DirectionButton(level);
    SetDirection(b, Tag(b) + 1);
}

void TFormThreeWaySort::ButtonOKClick()
{
    for (int level = 0; level < 3; ++level) {
        const QComboBox* c = Combo(level);
        sort_column_choices[size_t(level)] =
            level <= MaxSort && c->currentIndex() >= 0 ? c->currentData().toInt() : -1;
    }
    SetModalResult(kModalOK);
}

// ---------------------------------------------------------------------------
// The framework's questions

std::optional<int> RunLanguageChangeDialog(QWidget* owner, const QStringList& names, const QString& current)
{
    TFormLangChange dialog(owner);
    dialog.SetAlternatives(names.join(u'\t'));
    dialog.SetCurrentLangTo(current);
    if (RunModalDialog(dialog) != kModalOK || dialog.AdvComboBox1->currentIndex() < 0)
        return std::nullopt;
    return dialog.AdvComboBox1->currentIndex();
}

std::optional<TFileNameReplacement> RunFileNameReplaceDialog(QWidget* owner)
{
    TFormSearchAndReplaceFilename dialog(owner);
    if (RunModalDialog(dialog) != kModalOK || dialog.ElEditSearch->text().isEmpty())
        return std::nullopt;
    // File names compare without regard to case on the suite's systems.
    return TFileNameReplacement{dialog.ElEditSearch->text(), dialog.ElEditReplacement->text(), false};
}

// ---------------------------------------------------------------------------
// Lemma shower

TLemmaShowerModel::TLemmaShowerModel(QObject* parent) : QAbstractTableModel(parent) {}

void TLemmaShowerModel::SetLines(std::vector<TLine> lines)
{
    beginResetModel();
    m_lines = std::move(lines);
    endResetModel();
}

void TLemmaShowerModel::SetHeadings(const QStringList& headings)
{
    beginResetModel();
    m_headings = headings;
    endResetModel();
}

int TLemmaShowerModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_lines.size()); }

int TLemmaShowerModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max<int>(1, int(m_headings.size()));
}

QVariant TLemmaShowerModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_lines.size()))
        return {};
    const TLine& line = m_lines[size_t(index.row())];
    if (role == Qt::DisplayRole) {
        if (index.column() == 0)
            return line.text;
        return line.second.isEmpty() ? QString::asprintf("%d", line.number) : line.second;
    }
    if (role == Qt::ForegroundRole)
        return QApplication::palette().color(QPalette::Text);
    return {};
}

QVariant TLemmaShowerModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_headings.value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void TLemmaShowerModel::sort(int column, Qt::SortOrder order)
{
    beginResetModel();
    const auto key = [column](const TLine& a, const TLine& b) {
        if (column == 0)
            return QString::localeAwareCompare(a.text, b.text) < 0;
        if (!a.second.isEmpty() || !b.second.isEmpty())
            return QString::localeAwareCompare(a.second, b.second) < 0;
        return a.number < b.number;
    };
    if (order == Qt::AscendingOrder)
        std::stable_sort(m_lines.begin(), m_lines.end(), key);
    else
        std::stable_sort(m_lines.begin(), m_lines.end(), [&key](const TLine& a, const TLine& b) { return key(b, a); });
    endResetModel();
}

TFormLemmaShower::TFormLemmaShower(QWidget* parent) : TCVDialog(parent, QStringLiteral("FormLemmaShower"), 0)
{
    setWindowTitle(QStringLiteral("Lemma forms"));
    m_model = new TLemmaShowerModel(this);
    CVSimpleVirtualGrid1 = new QTableView(this);
    CVSimpleVirtualGrid1->setObjectName(QStringLiteral("CVSimpleVirtualGrid1"));
    CVSimpleVirtualGrid1->setModel(m_model);
    CVSimpleVirtualGrid1->setSortingEnabled(true);
    CVSimpleVirtualGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CVSimpleVirtualGrid1->verticalHeader()->hide();
    CVSimpleVirtualGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    AdvPopupMenu1 = new QMenu(this);
    Print1 = AdvPopupMenu1->addAction(QStringLiteral("Print"));
    Copy1 = AdvPopupMenu1->addAction(QStringLiteral("Copy"));
    connect(Print1, &QAction::triggered, this, [this] { Print1Click(); });
    connect(Copy1, &QAction::triggered, this, [this] { Copy1Click(); });
    connect(CVSimpleVirtualGrid1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { AdvPopupMenu1->popup(CVSimpleVirtualGrid1->viewport()->mapToGlobal(at)); });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(CVSimpleVirtualGrid1);
}

void TFormLemmaShower::CopyStringData(const std::vector<std::pair<QString, int32_t>>& lines)
{
    std::vector<TLemmaShowerModel::TLine> copy;
    copy.reserve(lines.size());
    for (const auto& [text, number] : lines)
        copy.push_back({text, number, {}});
    m_model->SetLines(std::move(copy));
    SizeColumns();
}

void TFormLemmaShower::CopyRows(const QStringList& rows)
{
    std::vector<TLemmaShowerModel::TLine> copy;
    copy.reserve(size_t(rows.size()));
    for (const QString& row : rows) {
        const qsizetype tab = row.indexOf(u'\t');
        TLemmaShowerModel::TLine line{tab < 0 ? row : row.left(tab), 0, {}};
        const QString rest = tab < 0 ? QString() : row.mid(tab + 1);
        bool whole = false;
        line.number = rest.toInt(&whole);
        if (!whole)
            line.second = rest;
        copy.push_back(std::move(line));
    }
    m_model->SetLines(std::move(copy));
    SizeColumns();
}

void TFormLemmaShower::SetTheHeaders(const QStringList& headings)
{
    m_model->SetHeadings(headings);
    SizeColumns();
}

void TFormLemmaShower::SizeColumns()
{
    const int width = std::max(100, CVSimpleVirtualGrid1->viewport()->width());
    if (m_model->columnCount() == 1) {
        CVSimpleVirtualGrid1->setColumnWidth(0, width);
    } else {
        CVSimpleVirtualGrid1->setColumnWidth(0, width * 80 / 100);
        CVSimpleVirtualGrid1->setColumnWidth(1, width * 20 / 100);
    }
}

QString TFormLemmaShower::GridText() const
{
    QStringList lines{m_model->Headings().join(u'\t')};
    for (int r = 0; r < m_model->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m_model->columnCount(); ++c)
            cells << m_model->index(r, c).data().toString();
        lines << cells.join(u'\t');
    }
    return lines.join(u'\n');
}

void TFormLemmaShower::Copy1Click() const { QApplication::clipboard()->setText(GridText()); }

void TFormLemmaShower::Print1Click()
{
    QPrinter printer;
    printer.setDocName(windowTitle());
    QPrintDialog dialog(&printer, this);
    if (RunModalDialog(dialog) != QDialog::Accepted)
        return;
    QTextDocument text;
    text.setPlainText(windowTitle() + QStringLiteral("\n\n") + GridText());
    text.print(&printer);
}

void TFormLemmaShower::resizeEvent(QResizeEvent* event)
{
    TCVDialog::resizeEvent(event);
    SizeColumns();
}

} // namespace cv
