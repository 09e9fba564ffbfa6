#include "wordlist/plain_text_wordlist.h"

#include <QDir>
#include <QFileInfo>

#include <limits>
#include <new>

#include "runtime/progress.h"
#include "suite/cv_globals.h"
#include "suite/lemmatiser.h"
#include "suite/my_types.h"
#include "suite/text_codec.h"
#include "suite/dialog_routines.h"
#include "suite/wdef.h"
#include "suite/window_messages.h"
#include "wordlist/wordlist_holder.h"

namespace cv {

namespace {

// Lines between two yields to the event loop (and progress reports).
constexpr int kYieldEvery = 256;

const QString kTotalMark = QStringLiteral("\\TOTAL\\");

bool isControlOtherThanTab(QChar c) { return c.unicode() < 0x20 ? c != u'\t' : c.unicode() == 0x7F; }

} // namespace

// ---- TUserPlainTextStringlist ------------------------------------------------

TUserPlainTextStringlist::TUserPlainTextStringlist(bool filterOutEmptyLines, const QString& sourceFilename)
    : fCodepage(int32_t(LCIDToCodePage(0))), fFilter_out_empty_lines(filterOutEmptyLines), Source_Filename(sourceFilename)
{
}

int TUserPlainTextStringlist::Add(const QString& text, int32_t object)
{
    fLines.push_back({text, object});
    return Count() - 1;
}

void TUserPlainTextStringlist::Delete(int i) { fLines.erase(fLines.begin() + i); }

void TUserPlainTextStringlist::Clear()
{
    fLines.clear();
    nextWordCloudNum = 0;
}

QStringList TUserPlainTextStringlist::Lines() const
{
    QStringList out;
    out.reserve(Count());
    for (const Line& l : fLines)
        out << l.text;
    return out;
}

bool TUserPlainTextStringlist::StringIsWanted(const QString& line, int) { return !line.isEmpty(); }

void TUserPlainTextStringlist::FilterOutUnwantedStrings()
{
    // One pass that keeps the accepted lines in place; the index handed to
    // the test is the number of lines accepted above the one tested.
    size_t kept = 0;
    for (size_t i = 0; i < fLines.size(); ++i) {
        if (i % kYieldEvery == 0)
            MyYieldProcess();
        if (StringIsWanted(fLines[i].text, int(kept))) {
            if (kept != i)
                fLines[kept] = std::move(fLines[i]);
            ++kept;
        }
    }
    fLines.resize(kept);
}

void TUserPlainTextStringlist::SetLCID(uint32_t lcid)
{
    if (lcid == fLCID)
        return;
    fCodepage = int32_t(LCIDToCodePage(lcid));
    fLCID = lcid;
}

void TUserPlainTextStringlist::GetNextCloudDatum(TWordFreqAndSourceNum& datum)
{
    if (nextWordCloudNum >= 0 && nextWordCloudNum < Count()) {
        datum.number = nextWordCloudNum + 1;
        datum.word = Strings(nextWordCloudNum);
        datum.frequency = Objects(nextWordCloudNum);
    } else {
        datum = {};
    }
    ++nextWordCloudNum;
}

// ---- TWordListPlainTextStringlist --------------------------------------------

bool TWordListPlainTextStringlist::StringIsWanted(const QString& line, int index)
{
    if (line.isEmpty())
        return false;
    const qsizetype tab = line.indexOf(u'\t');
    if (tab < 0)
        return false;
    // Text files hold no control characters; a line that does comes from a
    // binary file and would only bring rubbish words.
    for (QChar c : line)
        if (isControlOtherThanTab(c))
            return false;
    // The digits of every column after the first TAB, in order ("1,234" is 1234).
    int64_t value = 0;
    bool anyDigit = false, fits = true;
    for (qsizetype i = tab + 1; i < line.size(); ++i) {
        const int d = line[i].digitValue();
        if (!line[i].isDigit() || d < 0)
            continue;
        anyDigit = true;
        if (fits) {
            value = value * 10 + d;
            fits = value <= std::numeric_limits<int32_t>::max();
        }
    }
    if (!anyDigit)
        return false;
    if (index < 10 && QStringView(line).left(tab) == kTotalMark) {
        // A total too big for the field says nothing usable.
        total = fits ? int32_t(value) : 0;
        return false;
    }
    return true;
}

// ---- reading ------------------------------------------------------------------

std::unique_ptr<TWordListPlainTextStringlist> LoadPlainTextWordListFile(const QString& fileName, uint32_t lcid,
                                                                       uint8_t caseSensitivity, uint8_t loadFlag)
{
    auto list = std::make_unique<TWordListPlainTextStringlist>(true, fileName);
    list->total = 0;
    list->SetLCID(lcid);
    if (fileName.isEmpty() || !QFileInfo::exists(fileName))
        return list;

    const uint8_t tool = current_tool_var;
    constexpr auto slot = TLemmatiserListKind::Match;
    TProgressClass& progress = GlobalProgress();
    progress.ClearBarsOnly();
    int lines = 0;
    // The lemmatiser reports the lines once, then its progress; a cancel of
    // the job reaches the load through it.
    const auto onLineCount = [&lines](int n, const QString&) { lines = n; };
    const auto onProgress = [&](int done) {
        if (lines > 0)
            progress.ThisPercent(int(int64_t(done) * 100 / lines));
        MyYieldProcess();
        if (global_panic_state.load() != kPanicRun)
            CancelOne(tool, slot);
    };
    TListCase caseRule = TListCase::AsSettings;
    if (caseSensitivity <= uint8_t(TListCase::Sensitive))
        caseRule = TListCase(caseSensitivity);
    if (LoadedOne(tool, slot, fileName, TListSettingsRec::Defaults(), onLineCount, onProgress, lcid, caseRule, loadFlag)
        == 0)
        return list;

    TraverseMatchesDoing(tool, [&](const QString& line, int lineNumber) {
        if (lineNumber % kYieldEvery == 0) {
            onProgress(lineNumber);
            if (global_panic_state.load() != kPanicRun)
                return false;
        }
        if (!(list->fFilter_out_empty_lines && line.isEmpty()))
            list->Add(line);
        return true;
    });
    // A traversal the user stopped leaves no half list behind.
    if (global_panic_state.load() != kPanicRun) {
        list->Clear();
        list->total = 0;
    }
    return list;
}

// ---- the import step ------------------------------------------------------------

bool SplitPlainTextColumns(TWordListPlainTextStringlist& list, int wordColumn, int freqColumn)
{
    if (wordColumn < 0 || freqColumn < 0 || wordColumn == freqColumn)
        return false;
    const int n = list.Count();
    TProgressClass& progress = GlobalProgress();
    for (int i = 0; i < n; ++i) {
        if (i % kYieldEvery == 0) {
            MyYieldProcess();
            progress.ThisPercent(int(int64_t(i) * 100 / n));
        }
        const QString& line = list.Strings(i);
        if (line.isEmpty())
            continue;
        // Every column, always: a frequency column followed by further
        // columns (a percentage, say) still reads as its own number.
        const QStringList parts = line.split(u'\t');
        const QString word = parts.value(wordColumn).trimmed();
        QString number = parts.value(freqColumn).trimmed();
        number.remove(u',');
        number.remove(u'.');
        bool readable = false;
        const int32_t frequency = number.toInt(&readable);
        if (!word.isEmpty() && word.size() <= kMaxPlainTextWordLength && readable && frequency > 0) {
            list.PutString(i, word);
            list.PutObject(i, frequency);
        } else {
            list.PutString(i, QString());
            list.PutObject(i, 0);
        }
    }
    return true;
}

// ---- the job --------------------------------------------------------------------

namespace {

// A shortage of memory ends an import the way it ends the other jobs: what
// was made so far goes, and the user is told.
template <typename Job>
auto StoppedForWantOfMemory(const QString& what, bool* shortOfMemory, Job&& job) -> decltype(job())
{
    if (shortOfMemory)
        *shortOfMemory = false;
    try {
        return job();
    } catch (const std::bad_alloc&) {
        if (shortOfMemory)
            *shortOfMemory = true;
        NotEnoughMemory(what);
        return nullptr;
    }
}

} // namespace

std::unique_ptr<TWordListPlainTextStringlist> ImportPlainTextWordList(const QString& fileName, uint32_t lcid,
                                                                      uint8_t caseSensitivity, int wordColumn,
                                                                      int freqColumn, bool* shortOfMemory)
{
    return StoppedForWantOfMemory(QStringLiteral("read the plain-text word list"), shortOfMemory,
                                  [&]() -> std::unique_ptr<TWordListPlainTextStringlist> {
        if (wordColumn < 0 || freqColumn < 0 || wordColumn == freqColumn)
            return nullptr;
        // A new import is a new job: a stop asked of an earlier one does not carry over.
        global_panic_state = kPanicRun;
        auto list = LoadPlainTextWordListFile(fileName, lcid, caseSensitivity, kLoadLines);
        list->FilterOutUnwantedStrings();
        SplitPlainTextColumns(*list, wordColumn, freqColumn);
        return list;
    });
}

std::unique_ptr<T_WholeWordlistHolder> MakeWordlistFromPlainText(const TWordListPlainTextStringlist& list,
                                                                 const QString& notes, bool* shortOfMemory)
{
    return StoppedForWantOfMemory(QStringLiteral("make a word list of the plain-text word list"), shortOfMemory,
                                  [&]() -> std::unique_ptr<T_WholeWordlistHolder> {
        auto doc = std::make_unique<T_WholeWordlistHolder>(kListWordList, nullptr, nullptr, false, false);
        TCVWordList* words = doc->WordlistOfType(kListWordList);
        const int n = words->ImportDataFromStringList(list, list.total);
        if (n <= 0)
            return nullptr;

        // The statistics show the source file as the one text behind the list.
        const QFileInfo source(list.Source_Filename);
        TStatsRec rec;
        rec.FileName = source.fileName();
        rec.Folder = QDir::toNativeSeparators(source.absolutePath());
        rec.Texts = 1;
        rec.Bytes = source.size();
        rec.TokensInText = rec.TokensUsed = words->TotalTokens();
        rec.Types = n;
        doc->fStats->Clear();
        doc->fStats->AddText(rec);
        doc->fStats->RecomputeOverall();
        doc->fStats->SetOverallTypes(n, 0);
        doc->CVBaseFilenames(*doc->fStats);

        doc->SuggestedFilename = source.completeBaseName();
        doc->MainFile.Clear();
        doc->MainFile.ListType = kListWordList;
        doc->fTotalFilesToProcess = 1;
        doc->StartStandardNotes(kListWordList, 0, ListTypeName(kListPlainTextWordList), list.Source_Filename);
        if (!notes.trimmed().isEmpty())
            doc->AddNoteDetails(notes.split(u'\n'));
        return doc;
    });
}

QString PlainTextWordListSaveName(const QString& folder, const QString& sourceFile)
{
    return QDir(folder).filePath(QFileInfo(sourceFile).completeBaseName() + DefaultExtFromListType(kListWordList));
}

bool SavePlainTextWordList(const TWordListPlainTextStringlist& list, const QString& folder, const QString& notes,
                           QString* savedFile)
{
    if (savedFile)
        savedFile->clear();
    bool shortOfMemory = false;
    auto doc = MakeWordlistFromPlainText(list, notes, &shortOfMemory);
    if (!doc) {
        if (!shortOfMemory)
            NoWordListWordsFoundIn(list.Source_Filename);
        return false;
    }
    try {
        const QString fileName = PlainTextWordListSaveName(folder, list.Source_Filename);
        doc->MainFile.FileName = fileName;
        // A failed save is reported by the document, with the system's reason.
        if (!doc->SaveToFile(fileName))
            return false;
        if (savedFile)
            *savedFile = fileName;
        return true;
    } catch (const std::bad_alloc&) {
        NotEnoughMemory(QStringLiteral("save the word list of the plain-text word list"));
        return false;
    }
}

} // namespace cv
