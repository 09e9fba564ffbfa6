#include "ui/wordlist/views/one_text_viewer.h"

#include <QApplication>
#include <QBoxLayout>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QListWidget>
#include <QMenu>
#include <QRegularExpression>
#include <QSet>
#include <QSplitter>

#include <algorithm>

#include "gui/cv_status_bar.h"
#include "gui/desktop_services.h"
#include "gui/file_dialogs.h"
#include "suite/cv_format.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/resource_strings.h"
#include "suite/window_messages.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/wordlist/views/view_support.h"

namespace cv {

namespace {

enum : int { kRoleWord = Qt::UserRole, kRoleNumber = Qt::UserRole + 1, kRoleTotal = Qt::UserRole + 2 };
constexpr int kNoTotal = -999999;
constexpr int kListMargin = 24;

// Colours of highlighted words: the plot colour of the settings on a pale yellow.
constexpr uint32_t kKeywordBackground = 0xFFFFF59Du;
constexpr uint32_t kMarkupColour = 0xFF9E9E9Eu;

} // namespace

TFormOneTextFileShower::TFormOneTextFileShower(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FormOneTextFileShower"));
    SetWindowHelp(this, kHelpContext);
    SourceTextRich = new TSourceTextRichEdit(this);
    StyledListboxKWs = new QListWidget(this);
    PCPLotBar1 = new TPlotBar(this);
    PCPLotBar1->hide();
    AdvSplitter1 = new QSplitter(this);
    AdvSplitter1->addWidget(StyledListboxKWs);
    AdvSplitter1->addWidget(SourceTextRich);
    AdvSplitter1->setStretchFactor(1, 1);
    connect(AdvSplitter1, &QSplitter::splitterMoved, StyledListboxKWs->viewport(), qOverload<>(&QWidget::update));

    AdvOfficeStatusBar1 = new TCVStatusBar(this);
    for (int i = 0; i < kPanels; ++i) {
        if (i == kPanelProgressA || i == kPanelProgressB)
            AdvOfficeStatusBar1->AddPanel(TStatusPanelStyle::Progress, 80);
        else if (i == kPanelPrevious)
            AdvOfficeStatusBar1->AddPanel(TStatusPanelStyle::Button, 24, QStringLiteral("<"));
        else if (i == kPanelNext)
            AdvOfficeStatusBar1->AddPanel(TStatusPanelStyle::Button, 24, QStringLiteral(">"));
        else if (i == kPanelStop)
            AdvOfficeStatusBar1->AddPanel(TStatusPanelStyle::Button, 50, CVStopped.toString());
        else
            AdvOfficeStatusBar1->AddPanel(TStatusPanelStyle::Text, i == kPanelLineMessage ? 0 : 90);
    }
    AdvOfficeStatusBar1->PutAStatusbarMessage(kPanelStop, QStringLiteral("Stop"));
    AdvOfficeStatusBar1->SetPanelEnabled(kPanelStop, false);
    AdvOfficeStatusBar1->OnPanelClick = [this](int panel) { StatusPanelClick(panel); };

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(AdvSplitter1, 1);
    layout->addWidget(PCPLotBar1);
    layout->addWidget(AdvOfficeStatusBar1);
    resize(900, 650);

    AdvPopupMenuHighlighter = new QMenu(this);
    AdvPopupMenuHighlighter->addAction(QStringLiteral("Highlight all"), this, &TFormOneTextFileShower::HighlightAll);
    AdvPopupMenuHighlighter->addAction(QStringLiteral("Highlight selected"), this,
                                       &TFormOneTextFileShower::HighlightSelected);
    AdvPopupMenuHighlighter->addAction(QStringLiteral("Save as RTF"), this, &TFormOneTextFileShower::TryToSaveAsRTF);
    AdvPopupMenuHighlighter->addAction(QStringLiteral("Trim the text"), this, [this] { TrimTheText(false); });
    AdvPopupMenuHighlighter->addAction(QStringLiteral("Grey out <*>"), this, &TFormOneTextFileShower::GreyOutAnyMarkup);
    AdvPopupMenuHighlighter->addAction(QStringLiteral("Info on scores"), this, &TFormOneTextFileShower::InfoOnScores);
    AdvPopupMenuHighlighter->addAction(QStringLiteral("Show ruler"), this, &TFormOneTextFileShower::ToggleRuler);
    for (QWidget* w : {static_cast<QWidget*>(SourceTextRich), static_cast<QWidget*>(StyledListboxKWs)}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this,
                [this, w](const QPoint& at) { AdvPopupMenuHighlighter->popup(w->mapToGlobal(at)); });
    }
    connect(StyledListboxKWs, &QListWidget::itemClicked, this, &TFormOneTextFileShower::KeyWordClicked);

    SourceTextRich->OnLineShowMessage = [this](int item, int items, int line, int lines) {
        AdvOfficeStatusBar1->PutAStatusbarMessage(kPanelLineMessage,
                                                  Format(CVItemNOfNAndLineNofN, {item + 1, items, line, lines}));
    };
    const TTextSettings text = GetTextSettings();
    SourceTextRich->SetFont(text.FontName(), text.FontSize());
}

void TFormOneTextFileShower::SetProgress(int panel, int percent)
{
    MyYieldProcess();
    AdvOfficeStatusBar1->SetPanelStyle(panel, TStatusPanelStyle::Progress);
    AdvOfficeStatusBar1->SetPanelProgress(panel, percent);
}

void TFormOneTextFileShower::ShowTextNotes()
{
    for (const auto& [panel, note] : {std::pair{int(kPanelProgressA), m_wordsNote}, std::pair{int(kPanelProgressB), m_hitTypesNote}}) {
        AdvOfficeStatusBar1->SetPanelStyle(panel, TStatusPanelStyle::Text);
        AdvOfficeStatusBar1->PutAStatusbarMessage(panel, note);
    }
}

void TFormOneTextFileShower::ShowStop(bool shown)
{
    AdvOfficeStatusBar1->SetPanelEnabled(kPanelStop, shown);
    if (PaiStatusBar)
        PaiStatusBar->SetPanelEnabled(kPanelStopButton, shown);
}

void TFormOneTextFileShower::StatusPanelClick(int panel)
{
    switch (panel) {
    case kPanelPrevious: SourceTextRich->GotoNextKW(true); break;
    case kPanelNext: SourceTextRich->GotoNextKW(false); break;
    case kPanelStop:
        SourceTextRich->Stop();
        ShowStop(false);
        break;
    default: break;
    }
}

bool TFormOneTextFileShower::OpenAndShowAText(const TOneTextFileDetails& details, int32_t maxChars,
                                              TCVStatusBar* callerStatusBar)
{
    PCPLotBar1->hide();
    PaiStatusBar = callerStatusBar;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const TTextSettings text = GetTextSettings();
    // Mark-up is greyed where the text settings treat it as mark-up, within their tag span.
    SourceTextRich->SetMarkupEtc(text.MarkupMode() != TMarkupMode::Plain, text.MaxTagSpan());
    SourceTextRich->SetColoursEtc(0xFF000000u, kMarkupColour, GetRulerPlotWordCloudFeatures().PlotColour(),
                                  kKeywordBackground);
    SourceTextRich->SetFont(text.FontName(), text.FontSize());
    if (!SourceTextRich->LoadedASourceText(details.fileName, maxChars)) {
        QApplication::restoreOverrideCursor();
        FailedToRead(details.fileName);
        return false;
    }
    if (SourceTextRich->LineCount() < TSourceTextRichEdit::kGreyOutLineLimit)
        SourceTextRich->GreyOutAnyMarkup([this](int p) {
            SetProgress(kPanelProgressA, p);
            return true;
        });
    current_short_filename = QFileInfo(details.fileName).fileName();
    setWindowTitle(current_short_filename);
    // Loaded: the progress panels become texts telling the words and hit types.
    m_wordsNote = details.words.isEmpty() ? QString() : QStringLiteral("%1 ").arg(details.words) + CVWords;
    m_hitTypesNote = details.hitTypes.isEmpty() ? QString() : QStringLiteral("%1 ").arg(details.hitTypes) + CVHitTypes;
    ShowTextNotes();
    if (!isVisible())
        show();
    SourceTextRich->moveCursor(QTextCursor::Start);
    QApplication::restoreOverrideCursor();
    return true;
}

void TFormOneTextFileShower::AddStringsToLeftListbox(const QString& text)
{
    AddStringsToLeftListbox(text.split(QRegularExpression(QStringLiteral("\r?\n")), Qt::SkipEmptyParts));
}

void TFormOneTextFileShower::AddStringsToLeftListbox(const QStringList& lines)
{
    StyledListboxKWs->clear();
    QPalette p = StyledListboxKWs->palette();
    p.setColor(QPalette::Text, QColor::fromRgba(GetRulerPlotWordCloudFeatures().PlotColour()));
    StyledListboxKWs->setPalette(p);
    for (const QString& line : lines) {
        auto* item = new QListWidgetItem(line, StyledListboxKWs);
        item->setData(kRoleWord, line);
    }
}

QString TFormOneTextFileShower::WordOf(const QListWidgetItem& item)
{
    const QVariant w = item.data(kRoleWord);
    return w.isValid() ? w.toString() : item.text();
}

int TFormOneTextFileShower::TotalOf(const QListWidgetItem& item)
{
    const QVariant t = item.data(kRoleTotal);
    return t.isValid() ? t.toInt() : kNoTotal;
}

void TFormOneTextFileShower::SetSearchWords(const QStringList& words)
{
    TSimpleSearchlist& list = SourceTextRich->SearchList();
    list.clear();
    for (const QString& w : words) {
        MyYieldProcess();
        if (!w.trimmed().isEmpty())
            list.push_back(SearchEntryOf(w.trimmed()));
    }
}

void TFormOneTextFileShower::AddStringsASKWsAndSeek(const QStringList& words)
{
    SetSearchWords(words);
    HighlightAnyKWS();
}

int TFormOneTextFileShower::HighlightOneKW(const QString& word)
{
    SourceTextRich->SearchList() = {SearchEntryOf(word)};
    return HighlightAnyKWS();
}

int TFormOneTextFileShower::HighlightAnyKWS()
{
    ShowStop(true);
    SourceTextRich->SetCurrentKW(-1);
    const int hits = SourceTextRich->HighlightKWs([this](int p) {
        SetProgress(kPanelProgressB, p);
        return true;
    });
    // The words found, most hits first.
    struct TFound {
        QString word;
        int number;
        int total;
    };
    std::vector<TFound> found;
    const TSimpleSearchlist& list = SourceTextRich->SearchList();
    for (int i = 0; i < int(list.size()); ++i) {
        const int count = SourceTextRich->CountAndFirstPosOfKWPositions(i).first;
        if (count > 0)
            found.push_back({list[size_t(i)].word, i, count});
    }
    std::stable_sort(found.begin(), found.end(), [](const TFound& a, const TFound& b) { return a.total > b.total; });
    StyledListboxKWs->clear();
    int widest = 0;
    const QFontMetrics fm(StyledListboxKWs->font());
    for (const TFound& f : found) {
        auto* item = new QListWidgetItem(QStringLiteral("%1 (%2)").arg(f.word).arg(f.total), StyledListboxKWs);
        item->setData(kRoleWord, f.word);
        item->setData(kRoleNumber, f.number);
        item->setData(kRoleTotal, f.total);
        widest = std::max(widest, fm.horizontalAdvance(item->text()));
    }
    ShowStop(false);
    ShowTextNotes();
    if (widest + kListMargin > StyledListboxKWs->width()) {
        QList<int> sizes = AdvSplitter1->sizes();
        const int grow = widest + kListMargin - sizes[0];
        if (grow > 0 && sizes.size() == 2) {
            sizes[0] += grow;
            sizes[1] = std::max(0, sizes[1] - grow);
            AdvSplitter1->setSizes(sizes);
        }
    }
    if (hits > 0) {
        const TRulerPlotWordCloudFeatures f = GetRulerPlotWordCloudFeatures();
        PCPLotBar1->SetColours(f.PlotColour(), f.PlotBackgroundColour(), f.RulerColour(), f.Divisions());
        PCPLotBar1->SetRange(1, std::max(1, SourceTextRich->TextLength()));
        std::vector<int> lines = SourceTextRich->KeyWordPositionsAsArray();
        for (int& p : lines)
            ++p;
        PCPLotBar1->SetLines(std::move(lines));
        PCPLotBar1->SetRuler(false);
        PCPLotBar1->show();
        StyledListboxKWs->setCurrentRow(0);
        SourceTextRich->moveCursor(QTextCursor::Start);
        SourceTextRich->GotoNextKW(false);
    }
    return hits;
}

void TFormOneTextFileShower::KeyWordClicked(QListWidgetItem* item)
{
    if (!item || !item->data(kRoleNumber).isValid())
        return;
    SourceTextRich->SetCurrentKW(item->data(kRoleNumber).toInt());
    SourceTextRich->moveCursor(QTextCursor::Start);
    SourceTextRich->GotoNextKW(false);
}

void TFormOneTextFileShower::HighlightAll()
{
    QStringList words;
    for (int i = 0; i < StyledListboxKWs->count(); ++i)
        words << WordOf(*StyledListboxKWs->item(i));
    SetSearchWords(words);
    HighlightAnyKWS();
}

void TFormOneTextFileShower::HighlightSelected()
{
    if (QListWidgetItem* item = StyledListboxKWs->currentItem())
        HighlightOneKW(WordOf(*item));
}

void TFormOneTextFileShower::HighlightSimilarities()
{
    if (ComparisonWholeLines.isEmpty())
        return;
    TSimpleSearchlist& list = SourceTextRich->SearchList();
    list.clear();
    const QStringList shown = SourceTextRich->toPlainText().split(u'\n');
    const QSet<QString> lines(shown.begin(), shown.end());
    for (const QString& line : ComparisonWholeLines) {
        MyYieldProcess();
        if (!line.isEmpty() && lines.contains(line))
            list.push_back({line, kSWLiteral, INT32_MAX});
    }
    SourceTextRich->HighlightKWs([this](int p) {
        SetProgress(kPanelProgressB, p);
        return true;
    });
    ShowTextNotes();
}

void TFormOneTextFileShower::TrimTheText(bool allLines)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ShowStop(false);
    SourceTextRich->TrimTheText(allLines);
    ShowTextNotes();
    ShowStop(false);
    QApplication::restoreOverrideCursor();
}

void TFormOneTextFileShower::GreyOutAnyMarkup()
{
    SourceTextRich->GreyOutAnyMarkup([this](int p) {
        SetProgress(kPanelProgressA, p);
        return true;
    });
    ShowTextNotes();
}

QString TFormOneTextFileShower::ScoresText(int* total) const
{
    QStringList parts;
    int sum = 0;
    const TSimpleSearchlist& list = SourceTextRich->SearchList();
    for (int i = 0; i < int(list.size()); ++i) {
        const int count = SourceTextRich->CountAndFirstPosOfKWPositions(i).first;
        if (count > 0) {
            parts << QStringLiteral("%1 (%2)").arg(list[size_t(i)].word).arg(count);
            sum += count;
        }
    }
    if (total)
        *total = sum;
    return parts.join(u',');
}

void TFormOneTextFileShower::InfoOnCurrentText(QString& text)
{
    int total = 0;
    const QString scores = ScoresText(&total);
    text = scores + QLatin1Char('\r') + Format(CVTotalN, {total});
}

void TFormOneTextFileShower::InfoOnScores()
{
    if (SourceTextRich->HighlightsFoundCount() == 0)
        HighlightAll();
    QString text;
    InfoOnCurrentText(text);
    ReportedAFact(text, kInfoHelpContext);
}

bool TFormOneTextFileShower::HighlightAndSaveToRTF(const QString& folder, bool confirm)
{
    if (!QDir().mkpath(folder)) {
        CannotWriteToXFolder(folder);
        return false;
    }
    if (SourceTextRich->HighlightKWs() == 0)
        return false;
    const QString note = QLatin1Char('<') + ScoresText(nullptr) + QLatin1Char('>');
    const QString file = QDir(folder).filePath(QFileInfo(current_short_filename).completeBaseName() +
                                               QStringLiteral(".rtf"));
    const bool keep = confirm_RTF_save;
    confirm_RTF_save = confirm_RTF_save && confirm;
    const bool saved = AutoSaveAsRTF(file, note);
    confirm_RTF_save = keep;
    return saved;
}

bool TFormOneTextFileShower::AutoSaveAsRTF(const QString& fileName, const QString& note)
{
    if (QFileInfo::exists(fileName) && !OKToOverwrite(fileName))
        return false;
    if (!SourceTextRich->SaveAsRTF(fileName, note)) {
        FailedToSave(fileName);
        return false;
    }
    if (confirm_RTF_save && SavedOKOpenNow(fileName))
        TryToShow(fileName);
    return true;
}

bool TFormOneTextFileShower::TryToSaveAsRTF()
{
    TCVFileDialog dialog(TCVFileDialog::TKind::Save);
    dialog.Filter = QStringLiteral("RTF files (*.rtf);;All files (*)");
    dialog.DefaultExt = QStringLiteral("rtf");
    dialog.FileName = QFileInfo(windowTitle()).completeBaseName();
    if (!dialog.Execute())
        return false;
    return AutoSaveAsRTF(dialog.FileName, QString());
}

void TFormOneTextFileShower::CopySelectionToClipboard() { SourceTextRich->copy(); }

void TFormOneTextFileShower::ToggleRuler() { PCPLotBar1->SetRuler(!PCPLotBar1->Ruler()); }

} // namespace cv
