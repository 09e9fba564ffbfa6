#include "ui/wordlist/views/extra_details.h"

#include "files/save_file.h"

#include <QApplication>
#include <QBoxLayout>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QStringEncoder>

#include <algorithm>

#include "gui/cv_status_bar.h"
#include "gui/file_dialogs.h"
#include "model/chosen_text_rec.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/dialog_routines.h"
#include "suite/resource_strings.h"
#include "suite/window_messages.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/wordlist/views/one_text_viewer.h"
#include "ui/wordlist/views/view_support.h"
#include "wordlist/wordlist_holder.h"

namespace cv {

QString WordFoundLine(const QString& word, int64_t frequency)
{
    return QStringLiteral("  %1: ").arg(word) + Format(CVFunctionNFound, {frequency});
}

void ComputeWordFrequencies(const QStringList& files, const TSimpleSearchlist& words, TTagHandlerBase* tagHandler,
                            TTagsToTranslateList* tagsToTranslate, const std::function<void(int)>& progress,
                            const std::function<void(const QStringList&)>& found)
{
    if (words.empty() || files.isEmpty())
        return;
    // A fresh document (it also resets the cancel state).
    T_WholeWordlistHolder doc(kListWordList, tagsToTranslate, tagHandler, false, false);
    const bool combining = doc.ftextsettings.CombiningCharacters();
    const int n = int(files.size());
    for (int i = 0; i < n && global_panic_state == kPanicRun; ++i) {
        if (progress)
            progress(i * 100 / n);
        // A stop asked for while progress was shown ends the search before this text.
        if (global_panic_state != kPanicRun)
            break;
        const QFileInfo info(files[i]);
        if (!info.isFile())
            continue;
        doc.NewWordTree(1);
        TChosenTextRec text;
        text.FullFilename = info.absoluteFilePath();
        text.FileSize = info.size();
        text.FileTime = info.lastModified();
        if (!doc.MadeOneFileWordlist(text, i, n, combining) || !doc.WordTreeToWordlist())
            continue;
        const TCVWordList* list = doc.WordlistOfType(kListWordList);
        if (!list)
            continue;
        QStringList lines;
        for (const TSimpleSearchEntry& w : words) {
            const int at = list->Find_WordStr(w.word, false);
            if (at >= 0)
                lines << WordFoundLine(w.word, list->CorrectFreq(at, false));
        }
        if (!lines.isEmpty()) {
            lines.prepend(files[i]);
            found(lines);
        }
    }
}

// ---------------------------------------------------------------------------

TFormExtraDetails::TFormExtraDetails(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FormExtraDetails"));
    SetWindowHelp(this, kHelpContext);
    setWindowTitle(QStringLiteral("Details"));
    StyledListboxFiles = new QListWidget(this);
    AdvOfficeStatusBar1 = new TCVStatusBar(this);
    for (int i = 0; i < kPanels; ++i) {
        if (i == kPanelProgress)
            AdvOfficeStatusBar1->AddPanel(TStatusPanelStyle::Progress, 100);
        else if (i == kPanelStop)
            AdvOfficeStatusBar1->AddPanel(TStatusPanelStyle::Button, 50, QStringLiteral("Stop"));
        else
            AdvOfficeStatusBar1->AddPanel(TStatusPanelStyle::Text, i == kPanelMessage ? 0 : 4);
    }
    AdvOfficeStatusBar1->SetPanelEnabled(kPanelStop, false);
    AdvOfficeStatusBar1->OnPanelClick = [this](int panel) { StatusPanelClick(panel); };
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(StyledListboxFiles, 1);
    layout->addWidget(AdvOfficeStatusBar1);
    resize(600, 500);

    AdvPopupMenu1 = new QMenu(this);
    AdvPopupMenu1->addAction(QStringLiteral("Frequencies"), this, &TFormExtraDetails::Frequencies);
    AdvPopupMenu1->addAction(QStringLiteral("Open selected file"), this, &TFormExtraDetails::OpenSelected);
    AdvPopupMenu1->addAction(QStringLiteral("Save list of files"), this, &TFormExtraDetails::SaveListOfFiles);
    StyledListboxFiles->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(StyledListboxFiles, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (AdvPopupMenu1)
            AdvPopupMenu1->popup(StyledListboxFiles->viewport()->mapToGlobal(at));
    });
    connect(StyledListboxFiles, &QListWidget::itemDoubleClicked, this, &TFormExtraDetails::OpenSelected);
    MakeOwnTaskbarWindow(*this);
}

TFormExtraDetails::~TFormExtraDetails() = default;

TFormOneTextFileShower* TFormExtraDetails::Viewer() const { return FormOneTextFileShower; }

void TFormExtraDetails::AddHighlightWords(const TSimpleSearchlist& words, int maxN)
{
    for (int i = 0; i < int(words.size()) && i < maxN; ++i)
        HighLightWords.push_back(words[size_t(i)]);
}

void TFormExtraDetails::AddHighlightWords(const QStringList& words, int maxN)
{
    for (int i = 0; i < int(words.size()) && i < maxN; ++i)
        HighLightWords.push_back({words[i], 0, INT32_MAX});
}

void TFormExtraDetails::SetTagHandlerAndTagTranslate(TTagHandlerBase* tagHandler,
                                                     TTagsToTranslateList* tagsToTranslate)
{
    TextTagHandler = tagHandler;
    TagsToTranslateList = tagsToTranslate;
}

void TFormExtraDetails::ClearForNewSearch(bool withPopup, bool clearAll)
{
    StyledListboxFiles->setContextMenuPolicy(withPopup ? Qt::CustomContextMenu : Qt::NoContextMenu);
    if (clearAll) {
        fListOfPotentialFilenames.clear();
        HighLightWords.clear();
    }
    AdvOfficeStatusBar1->SetPanelProgress(kPanelProgress, 0);
    StyledListboxFiles->clear();
    fopen_filename.clear();
}

void TFormExtraDetails::ComputeWordFrequencies(const TSimpleSearchlist& words, TTagHandlerBase* tagHandler,
                                               TTagsToTranslateList* tagsToTranslate)
{
    if (EDBusy || words.empty() || fListOfPotentialFilenames.isEmpty())
        return;
    EDBusy = true;
    SetTagHandlerAndTagTranslate(tagHandler, tagsToTranslate);
    // The lists may be the window's own, which clearing must not touch.
    const TSimpleSearchlist searchWords = words;
    const QStringList files = fListOfPotentialFilenames;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    AdvOfficeStatusBar1->SetPanelEnabled(kPanelStop, true);
    AdvOfficeStatusBar1->PutAStatusbarMessage(kPanelMessage, QString());
    ClearForNewSearch(true, false);
    BringToFront(this);
    cv::ComputeWordFrequencies(
        files, searchWords, tagHandler, tagsToTranslate,
        [this](int percent) {
            MyYieldProcess();
            AdvOfficeStatusBar1->SetPanelProgress(kPanelProgress, percent);
        },
        [this](const QStringList& lines) {
            StyledListboxFiles->addItems(lines);
            StyledListboxFiles->update();
        });
    QApplication::restoreOverrideCursor();
    AdvOfficeStatusBar1->SetPanelProgress(kPanelProgress, 0);
    AdvOfficeStatusBar1->SetPanelEnabled(kPanelStop, false);
    EDBusy = false;
}

void TFormExtraDetails::Frequencies()
{
    ComputeWordFrequencies(HighLightWords, TextTagHandler, TagsToTranslateList);
}

void TFormExtraDetails::StatusPanelClick(int panel)
{
    if (panel != kPanelStop)
        return;
    global_panic_state = kPanicStopAtEndOfText;
    AdvOfficeStatusBar1->PutAStatusbarMessage(kPanelMessage, CVStopped);
}

bool TFormExtraDetails::OpenInViewer(const QString& fileName)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!FormOneTextFileShower)
        FormOneTextFileShower = new TFormOneTextFileShower(this);
    const bool opened = FormOneTextFileShower->OpenAndShowAText({fileName, {}, {}}, INT32_MAX, AdvOfficeStatusBar1);
    if (opened) {
        fopen_filename = fileName;
        FormOneTextFileShower->setWindowTitle(fileName);
    }
    QApplication::restoreOverrideCursor();
    return opened;
}

bool TFormExtraDetails::AddHighlightKWSToOneTextFileShower()
{
    if (!FormOneTextFileShower)
        return false;
    QStringList words;
    for (const TSimpleSearchEntry& w : HighLightWords)
        words << w.word;
    FormOneTextFileShower->AddStringsToLeftListbox(words);
    FormOneTextFileShower->SourceTextRich->SearchList().clear();
    return true;
}

bool TFormExtraDetails::OpenSelected()
{
    const int row = StyledListboxFiles->currentRow();
    if (EDBusy || row < 0)
        return false;
    fopen_filename.clear();
    auto fileLine = [this](int r) { return StyledListboxFiles->item(r)->text().section(u'\t', 0, 0); };
    const QString line = fileLine(row);
    bool opened = false;
    if (!line.startsWith(u' ')) {
        if (QFileInfo(line).isFile() && OpenInViewer(line)) {
            AddHighlightKWSToOneTextFileShower();
            opened = true;
        }
    } else {
        for (int r = row - 1; r >= 0 && !opened; --r) {
            const QString above = fileLine(r);
            if (!above.startsWith(u' ') && QFileInfo(above).isFile())
                opened = OpenInViewer(above);
        }
        if (opened) {
            TSimpleSearchlist& list = FormOneTextFileShower->SourceTextRich->SearchList();
            list.clear();
            const QString word = line.trimmed().section(u':', 0, 0);
            list.push_back(SearchEntryOf(word));
            FormOneTextFileShower->HighlightAnyKWS();
        }
    }
    AdvOfficeStatusBar1->SetPanelProgress(kPanelProgress, 0);
    return opened;
}

bool TFormExtraDetails::SaveListOfFiles()
{
    TCVFileDialog dialog(TCVFileDialog::TKind::Save);
    dialog.Filter = QStringLiteral("Text files (*.txt);;All files (*)");
    dialog.DefaultExt = QStringLiteral("txt");
    if (!dialog.Execute())
        return false;
    QStringList lines;
    for (int i = 0; i < StyledListboxFiles->count(); ++i)
        lines << StyledListboxFiles->item(i)->text();
    QStringEncoder encoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    const QByteArray bytes = encoder.encode(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    TSaveFile f(dialog.FileName);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        FailedToSave(dialog.FileName, QStringLiteral("Cannot write file \"%1\": %2").arg(dialog.FileName, f.errorString()));
        return false;
    }
    return true;
}

} // namespace cv
