// Part of T_WholeWordlistHolder (wordlist/wordlist_holder.h), the word-list
// document: its corpus-index operations. They are built into the index
// library (cv_index), above the word-list library, so that the word list
// never depends on the index: the document reaches them only through its
// handler slot, and whoever calls them links cv_index.

#include "wordlist/wordlist_holder.h"

#include "index/index_clusters.h"
#include "index/index_handler.h"
#include "index/index_moving_window.h"
#include "index/index_relationships.h"
#include "model/batch_procedures.h"
#include "model/check_signature.h"
#include "runtime/progress.h"
#include "suite/cv_globals.h"
#include "suite/cv_stream.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/lemmatiser.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/wdef.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <new>
#include <limits>

namespace cv {

namespace {

void DestroyIndexHandler(TIndexHandler* handler)
{
    std::unique_ptr<TIndexHandler> owned(handler);
}

std::unique_ptr<TIndexHandler, TIndexHandlerDeleter> NewIndexHandler(T_WholeWordlistHolder* document,
                                                                       const QString& name, uint8_t mode)
{
    return std::unique_ptr<TIndexHandler, TIndexHandlerDeleter>(
        std::make_unique<TIndexHandler>(document, name, mode).release(), TIndexHandlerDeleter{&DestroyIndexHandler});
}

} // namespace

// ---------------------------------------------------------------------------
// Relationships documents: the block of their file holds the index's
// ".tokens" file name, then the relationships list in its stream form.

bool T_WholeWordlistHolder::PrepareRelationshipsBlock()
{
    fRelationshipsBlock.clear();
    if (!fIndexHandler || !fIndexHandler->fRelationshipsList || fIndexHandler->fRelationshipsList->Count() == 0)
        return false;
    TMemoryStream s;
    if (!WriteAString(s, IndexFileName(fIndexHandler->BaseName(), TIndexFileKind::Tokens))
        || !fIndexHandler->fRelationshipsList->SaveToStream(s))
        return false;
    fRelationshipsBlock = QByteArray(reinterpret_cast<const char*>(s.Memory()), qsizetype(s.Size()));
    return true;
}

QString T_WholeWordlistHolder::RelationshipsParentIndex() const
{
    TMemoryStream s;
    QString parent;
    if (fRelationshipsBlock.isEmpty()
        || !s.WriteBytes({reinterpret_cast<const uint8_t*>(fRelationshipsBlock.constData()), size_t(fRelationshipsBlock.size())}))
        return {};
    s.SetPosition(0);
    return ReadAString(s, parent) ? parent : QString();
}

bool T_WholeWordlistHolder::TakeRelationshipsBlock()
{
    if (!fIndexHandler || fRelationshipsBlock.isEmpty())
        return false;
    TMemoryStream s;
    s.WriteBytes({reinterpret_cast<const uint8_t*>(fRelationshipsBlock.constData()), size_t(fRelationshipsBlock.size())});
    s.SetPosition(0);
    QString parent;
    auto relations = std::make_unique<TRelationshipsList>(this, CurrentToolSignature());
    if (!ReadAString(s, parent) || !relations->ReadFromStream(s) || s.Remaining() != 0)
        return false;
    relations->SetGridHeadings(TRelationshipsList::Headings());
    fIndexHandler->fRelationshipsList = std::move(relations);
    MainFile.ListType = kListIndexRelationships;
    return true;
}

bool T_WholeWordlistHolder::StartAnIndexHandler(const QString& indexFileName, uint8_t openingMode)
{
    SetTokenSink(nullptr);
    fIndexHandler = NewIndexHandler(this, indexFileName, openingMode == kIndexOpenAdd ? kIndexOpenAdd : kIndexOpenNew);
    MainFile.ListType = kListIndexWordList;
    MainFile.FileName = IndexFileName(fIndexHandler->BaseName(), TIndexFileKind::Tokens);
    if (IndexBaseName(indexFileName).trimmed().isEmpty()) {
        fIndexHandler->fOk = false;
        return false;
    }
    SetTokenSink(fIndexHandler.get());
    return true;
}

uint16_t T_WholeWordlistHolder::OpenAnIndexAndLoadWords(const QString& indexFileName)
try {
    SetTokenSink(nullptr);
    auto handler = NewIndexHandler(this, indexFileName, kIndexOpenRead);
    // The share of the whole open: the files' check and reading, then the
    // list made of the types. A stop says nothing: the user asked for it.
    TProgressSteps loading(0, 75);
    handler->SetLoadStep([&loading](int64_t done, int64_t all) { return loading.Step(done, all); });
    if (!handler->LoadedTheFiles()) {
        if (handler->LoadStopped())
            return 0;
        const QString why = handler->LastError();
        const uint8_t failure = why.contains(QStringLiteral("does not exist")) || why.contains(QStringLiteral("Cannot open"))
            ? kReadCannotOpen
            : why.contains(QStringLiteral("newer version")) ? kReadNewer
            : why.contains(QStringLiteral("not a saved result")) || why.contains(QStringLiteral("not a file of a corpus index"))
            ? kReadNotOurs
            : kReadDamaged;
        SetReadError(failure, why);
        Complain(QStringLiteral("FailedToRead"), why);
        return uint16_t(failure) << 8;
    }
    const TIndexData& index = handler->Data();
    TextSettings(index.textSettings);
    fNotes = index.notes;

    // The statistics rows as they were made, the overall row recomputed.
    auto stats = std::make_unique<TCVStatsList>(this, CurrentToolSignature());
    for (const TIndexText& t : index.texts)
        stats->AddText(t.stats);
    stats->RecomputeOverall();

    // The index word list: every type as the word list of the same texts
    // would list it, with the settings' limits, the stop, lemma and match lists.
    const uint8_t tool = current_tool_var;
    const bool stopList = Using_Stoplist && TLemmatiser::Instance().IsLoaded(tool, TLemmatiserListKind::Stop);
    const int64_t minFreq = std::max(1, WordlistSettings.MinFrequency());
    const int64_t maxFreq = WordlistSettings.MaxFrequency() > 0 ? WordlistSettings.MaxFrequency()
                                                                : std::numeric_limits<int64_t>::max();
    const int32_t minTexts = std::max(1, WordlistSettings.MinTexts());
    auto list = std::make_unique<TCVWordList>(this, kListIndexWordList, CurrentToolSignature());
    std::vector<std::unique_ptr<TWordListEntry>> entries;
    int64_t listTypes = 0, stopTypes = 0;
    TProgressSteps listing(75, 95);
    int64_t seen = 0;
    for (const TIndexType& t : index.types) {
        if (++seen % 4096 == 0 && !listing.Step(seen, int64_t(index.types.size())))
            return 0;
        if (t.freq <= 0)
            continue;
        if (t.IsStop() || (stopList && FoundInTheList(tool, TLemmatiserListKind::Stop, t.word))) {
            ++stopTypes;
            continue;
        }
        ++listTypes;
        if (t.freq < minFreq || t.freq > maxFreq || t.texts < minTexts)
            continue;
        auto e = std::make_unique<TWordListEntry>(list.get());
        e->fWord = t.word;
        if (t.tag > 0 && t.tag <= index.tagTexts.size())
            e->fTag = index.tagTexts[t.tag - 1];
        e->fData.Freq = t.freq;
        e->fData.Texts = t.texts;
        e->fData.Dispersion = t.dispersion;
        entries.push_back(std::move(e));
    }
    stats->SetOverallTypes(listTypes, stopTypes);
    stats->ClearChangeMark();
    list->SetLocale(ftextsettings.LanguageId(), ftextsettings.CollationName());
    list->AdoptEntries(std::move(entries));
    list->SortAlphabetically();
    list->ComputedRankOrdersOfWords();
    FinishNewList(*list, index.RunningWords(), index.TextCount());
    listing.Show(1, 1);

    MainFile.ListType = kListIndexWordList;
    MainFile.FileName = IndexFileName(index.base, TIndexFileKind::Tokens);
    OpenedFilename = MainFile.FileName;
    SuggestedFilename = QFileInfo(index.base).fileName();
    fStats = std::move(stats);
    SetWordlistOfType(kListIndexWordList, std::move(list));
    CVBaseFilenames(*fStats);
    CorvantisHolderMainListCount(WordlistOfType(kListIndexWordList)->Count());
    fIndexHandler = std::move(handler);
    // A relationships document keeps its relationships in its file.
    fBeforeSave = [this] { PrepareRelationshipsBlock(); };
    return 1;
} catch (const std::bad_alloc&) {
    NotEnoughMemory(QStringLiteral("open the index \"%1\"").arg(indexFileName));
    return uint16_t(kReadDamaged) << 8;
}

bool T_WholeWordlistHolder::ComputeClusters(const std::function<void()>& perText)
try {
    if (!fIndexHandler) {
        CantMakeClustersWithoutIndex();
        return false;
    }
    TIndexHandler& h = *fIndexHandler;
    const TIndexData& index = h.Data();
    const TClusterOptions options = TClusterOptions::FromSettings(h.fSettings);
    std::vector<uint32_t> nodes;
    if (h.fWordChoice != kIndexProcessAll) {
        nodes = h.ChosenTypes();
        if (nodes.empty())
            return false;
    }
    const std::vector<uint8_t> stop = options.omitStopWords ? StopListTypes(index) : std::vector<uint8_t>{};
    TClusterRun run;
    QString error;
    TProgressClass& progress = GlobalProgress();
    progress.ProgressShortMessage(CVClusters.toString());
    const bool ok = CountClusters(index, nodes, stop, options, run, &error);
    progress.ProgressShortMessage(QString());
    if (!ok) {
        Complain(QStringLiteral("FailedToRead"), error);
        return false;
    }
    if (run.cancelled) {
        h.fCancel_pressed = true;
        return false;
    }
    if (run.clusters.empty())
        return false;
    const QString made = QStringLiteral("%1: %2 clusters, %3 phrase frames from index %4")
                             .arg(options.Summary())
                             .arg(run.clusters.size())
                             .arg(run.frames.size())
                             .arg(QDir::toNativeSeparators(index.base));
    const bool stoppedByTime = run.stoppedByTime;
    SetWordlistOfType(kListWordList,
                      ClusterWordListOfRun(this, index, std::move(run), index.RunningWords(), index.TextCount()));
    AddOneLaterNote(made);
    if (stoppedByTime)
        AddOneLaterNote(QStringLiteral("The time allowed ran out: the clusters come from the first texts of the index only."));
    if (h.fSettings.ClusterListsPerText() && perText)
        perText();
    return true;
} catch (const std::bad_alloc&) {
    NotEnoughMemory(QStringLiteral("make the list of clusters"));
    return false;
}

bool T_WholeWordlistHolder::SaveTempClusterWordlists(const QString& batchRootFolder)
{
    if (!fIndexHandler)
        return false;
    TIndexHandler& h = *fIndexHandler;
    const TIndexData& index = h.Data();
    const TClusterOptions options = TClusterOptions::FromSettings(h.fSettings);
    std::vector<uint32_t> nodes;
    if (h.fWordChoice != kIndexProcessAll)
        nodes = h.ChosenTypes();
    const std::vector<uint8_t> stop = options.omitStopWords ? StopListTypes(index) : std::vector<uint8_t>{};
    TBatchProceduresRec& b = Global_BatchProcedures;
    const QString root = b.BatchRootFolder;
    const bool wasBatch = Global_batch_mode;
    b.BatchRootFolder = batchRootFolder;
    Global_batch_mode = true;
    int32_t saved = 0;
    bool ok = true;
    TProgressClass& progress = GlobalProgress();
    for (int32_t t = 0; t < index.TextCount() && ok; ++t) {
        if (global_panic_state.load() != kPanicRun) {
            ok = false;
            break;
        }
        progress.OverallPercent(int(int64_t(t) * 100 / std::max(1, index.TextCount())));
        TClusterRun run;
        QString error;
        if (!CountClusters(index, nodes, stop, options, run, &error, t, t)) {
            Complain(QStringLiteral("FailedToRead"), error);
            ok = false;
            break;
        }
        if (run.cancelled) {
            ok = false;
            break;
        }
        const TIndexText& text = index.texts[std::size_t(t)];
        T_WholeWordlistHolder one(kListWordList, TagsToTranslate, TextTagHandler, false, false);
        one.TextSettings(ftextsettings);
        one.SetWordlistOfType(kListWordList, MakeClusterWordList(&one, index, run, text.stats.TokensInText, 1));
        one.fStats->AddText(text.stats);
        one.fStats->RecomputeOverall();
        one.CVBaseFilenames(*one.fStats);
        const QString name = text.stats.ZipEntryName.isEmpty() ? text.stats.FileName : text.stats.ZipEntryName;
        one.SuggestedFilename = QFileInfo(name).completeBaseName();
        one.StartStandardNotes(kListWordList, t + 1, CVClusters.toString(), options.Summary());
        ok = one.BatchSaveToTempDir(name, t + 1, index.TextCount(),
                                    text.stats.FileTime > 0 ? QDateTime::fromMSecsSinceEpoch(text.stats.FileTime)
                                                            : QDateTime());
        saved += ok ? 1 : 0;
    }
    if (ok && saved > 0 && b.Zip_Too) {
        QString zipName = b.ZipShortFilename;
        BatchZipName(zipName, CVFiles);
        ok = BatchZipFromTempDir(DefaultExtension(), zipName, saved);
    }
    b.BatchRootFolder = root;
    Global_batch_mode = wasBatch;
    return ok && saved > 0;
}

QStringList T_WholeWordlistHolder::MakeAndSaveMovingWindow(const TMovingWindowSettings& settings)
{
    QStringList written{QString(), QString()};
    if (!fIndexHandler)
        return written;
    const TIndexData& index = fIndexHandler->Data();
    TMovingWindowPlotDataHolder data;
    QString error;
    if (!ComputeMovingWindow(index, settings, data, &error)) {
        // A stop the user asked for is no failure to tell of.
        if (global_panic_state.load() == kPanicRun)
            Complain(QStringLiteral("FailedToRead"), error);
        return written;
    }
    const QStringList names = MovingWindowFileNames(index.base, settings);
    TMemoryStream plot;
    if (data.SavePlotDataToStream(plot) && plot.SaveToFile(names[0], &error))
        written[0] = names[0];
    else
        Complain(QStringLiteral("FailedToSave"), error.isEmpty() ? names[0] : error);
    TMemoryStream text;
    const QByteArray bytes = MovingWindowText(data, QFileInfo(index.base).fileName()).toUtf8();
    if (text.WriteExact(bytes.constData(), bytes.size()) && text.SaveToFile(names[1], &error))
        written[1] = names[1];
    else
        Complain(QStringLiteral("FailedToSave"), error.isEmpty() ? names[1] : error);
    return written;
}

} // namespace cv
