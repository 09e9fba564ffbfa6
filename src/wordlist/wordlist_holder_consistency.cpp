// Part of T_WholeWordlistHolder (wordlist/wordlist_holder.h), kept apart from
// the word-list job: the detailed-consistency job of the word-list document,
// saved word lists in, one row per word with its frequency in each of them
// out (the list it makes is detailed_consistency.h).

#include "wordlist/detailed_consistency.h"
#include "wordlist/wordlist_holder.h"

#include <QFileInfo>

#include "runtime/progress.h"
#include "suite/cv_globals.h"
#include "suite/cv_stream.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/cv_format.h"
#include "suite/window_messages.h"
#include "suite/zip_archive.h"

namespace cv {

namespace {

// A name of the list's own, never one of its word lists' (a save under
// that name would replace the list compared): the first names joined,
// then what it is.
QString ConsistencySuggestedName(const std::vector<TConsistencySource>& sources)
{
    constexpr size_t kNamesShown = 3;
    QStringList names;
    for (size_t i = 0; i < sources.size() && i < kNamesShown; ++i)
        names << QFileInfo(sources[i].fileName.section(u'|', -1)).completeBaseName();
    if (sources.size() > kNamesShown)
        names << QStringLiteral("etc");
    names << QStringLiteral("consistency");
    return names.join(u'_');
}

// While the lists are read one by one, a list that cannot be used must not
// stop the job with a dialog of its own: the job names them all at the end.
class TQuietReads {
public:
    TQuietReads() : m_quiet(Global_run_without_error_messages), m_message(Global_FailureMessage)
    {
        Global_run_without_error_messages = true;
    }
    ~TQuietReads()
    {
        Global_run_without_error_messages = m_quiet;
        Global_FailureMessage = m_message;
    }
    TQuietReads(const TQuietReads&) = delete;
    TQuietReads& operator=(const TQuietReads&) = delete;

private:
    bool m_quiet;
    QString m_message;
};

bool stopAsked() { return global_panic_state.load() != kPanicRun; }

// The words of a read word-list document as a consistency source: every
// entry not deleted, a head word with the forms joined under it.
bool TakeWords(T_WholeWordlistHolder& doc, const QString& name, TConsistencySource& out, QString& why)
{
    const TCVWordList* list = doc.WordlistOfType(kListWordList);
    if (!list || list->Count() == 0) {
        why = QStringLiteral("it holds no word list");
        return false;
    }
    out.fileName = name;
    out.tokens = std::max<int64_t>(0, list->TotalTokens());
    out.words.clear();
    out.words.reserve(size_t(list->Count()));
    for (int i = 0; i < list->Count(); ++i) {
        if (list->GetDeleted(i))
            continue;
        const int64_t freq = list->CorrectFreq(i, true);
        if (freq > 0)
            out.words.emplace_back(list->Entry(i).fWord, freq);
    }
    if (out.words.empty()) {
        why = QStringLiteral("its word list is empty");
        return false;
    }
    return true;
}

} // namespace

bool T_WholeWordlistHolder::MakeDetailedConsistencyList(const QStringList& files)
{
    MarkJobStart();
    std::vector<TConsistencySource> sources;
    QStringList reasons;
    TProgressClass& progress = GlobalProgress();
    const auto unusable = [&](const QString& name, const QString& why) {
        dud_compute_files << name;
        reasons << QStringLiteral("%1: %2").arg(QFileInfo(name).fileName(), why);
    };
    // One saved list, from a file or from the bytes of a zip entry.
    const auto readOne = [&](const QString& name, TMemoryStream* bytes) {
        TConsistencySource src;
        QString why;
        {
            TQuietReads quiet;
            T_WholeWordlistHolder doc(kListWordList, nullptr, nullptr, false, false);
            bool read = false;
            if (bytes) {
                bytes->SetPosition(0);
                try {
                    read = doc.ReadWholeFromStream(*bytes);
                } catch (...) {
                    read = false;
                }
            } else {
                read = doc.ReadWholeFromFile(name);
            }
            if (!read)
                why = doc.LastReadError().isEmpty() ? QStringLiteral("it cannot be read") : doc.LastReadError();
            else if (TakeWords(doc, name, src, why))
                sources.push_back(std::move(src));
        }
        if (!why.isEmpty())
            unusable(name, why);
    };

    const int n = int(files.size());
    for (int k = 0; k < n; ++k) {
        const QString& file = files[k];
        progress.ProgressShortMessageOutOf(QFileInfo(file).fileName(), k, n);
        MyYieldProcess();
        if (stopAsked())
            return false;
        if (file.endsWith(QStringLiteral(".zip"), Qt::CaseInsensitive)) {
            // A batch zip: each word list inside it counts as one list.
            TZipArchive zip;
            if (!zip.OpenArchive(file)) {
                unusable(file, zip.ErrorString());
                continue;
            }
            int found = 0;
            for (int e = 0; e < zip.FileCount(); ++e) {
                const TZipEntryInfo& entry = zip.Entry(e);
                if (entry.IsDirectory() || !entry.name.endsWith(QStringLiteral(".lst"), Qt::CaseInsensitive))
                    continue;
                ++found;
                const QString name = file + u'|' + entry.name;
                MyYieldProcess();
                if (stopAsked())
                    return false;
                TMemoryStream bytes;
                if (!zip.ExtractToStream(e, bytes))
                    unusable(name, zip.ErrorString());
                else
                    readOne(name, &bytes);
            }
            if (found == 0)
                unusable(file, QStringLiteral("the archive holds no word lists"));
        } else {
            readOne(file, nullptr);
        }
    }
    if (stopAsked())
        return false;
    if (sources.size() < 2) {
        if (!reasons.isEmpty())
            fNotes << reasons;
        return false;
    }

    auto list = std::make_unique<TDetailedConsistencyList>(this, CurrentToolSignature());
    const bool built = list->BuildFrom(sources, TConsistencyRelationSettings{}, [&](int percent) {
        progress.ThisPercent(percent);
        return !stopAsked();
    });
    if (!built)
        return false;

    fDetailedConsistencyList = std::move(list);
    MainFile.ListType = kListDetailedConsistency;
    RegisterLists();
    fTotalFilesToProcess = int32_t(sources.size());
    SuggestedFilename = ConsistencySuggestedName(sources);
    QStringList details;
    for (const TConsistencySource& s : sources)
        details << s.fileName;
    StartStandardNotes(kListDetailedConsistency, 0, CVDetailedConsistency,
                       QStringLiteral("based on %1 word lists").arg(sources.size()));
    AddNoteDetails(details);
    if (!reasons.isEmpty())
        AddNoteDetails(QStringList{QStringLiteral("not used:")} + reasons);
    AddATimingNote();
    return true;
}

} // namespace cv
