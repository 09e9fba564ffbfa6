#include "wordlist/wordlist_holder.h"

#include "model/batch_procedures.h"
#include "model/check_signature.h"
#include "model/chosen_files.h"
#include "runtime/progress.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cv_stream.h"
#include "suite/cvbuf.h"
#include "suite/decipher.h"
#include "suite/dialog_routines.h"
#include "suite/lemmatiser.h"
#include "suite/menu_commands.h"
#include "suite/my_types.h"
#include "suite/private_files.h"
#include "suite/resource_strings.h"
#include "suite/wdef.h"
#include "suite/window_messages.h"
#include "textread/tag_handler.h"
#include "wordlist/detailed_consistency.h"
#include "wordlist/parallel_reading.h"
#include "wordlist/parts_on_threads.h"
#include "wordlist/word_filter_plugin.h"
#include "wordlist/word_folding.h"
#include "wordlist/wordlist_buffer_processor.h"
#include "wordlist/wordlist_tree.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <map>
#include <mutex>
#include <new>

#include <zlib.h>

namespace cv {

namespace {

// Blocks of a ".lst" file after the envelope: a 4-character name, the
// length of what follows, the block itself (docs/lst-file.md).
constexpr uint32_t BlockId(const char (&name)[5])
{
    return uint32_t(uint8_t(name[0])) | uint32_t(uint8_t(name[1])) << 8 | uint32_t(uint8_t(name[2])) << 16
        | uint32_t(uint8_t(name[3])) << 24;
}
constexpr uint32_t kBlockTextSettings = BlockId("TSET");
constexpr uint32_t kBlockWordlistSettings = BlockId("WSET");
constexpr uint32_t kBlockColours = BlockId("COLR");
constexpr uint32_t kBlockNotes = BlockId("NOTE");
constexpr uint32_t kBlockWordList = BlockId("WORD");
constexpr uint32_t kBlockIndexWordList = BlockId("IWRD");
constexpr uint32_t kBlockPartCounts = BlockId("PRTS");
constexpr uint32_t kBlockStatistics = BlockId("STAT");
constexpr uint32_t kBlockKeyWords = BlockId("KEYW");
constexpr uint32_t kBlockConsistency = BlockId("CONS");
constexpr uint32_t kBlockRelationships = BlockId("RELS");
constexpr uint32_t kBlockCheck = BlockId("CRC ");
constexpr uint32_t kBlockEnd = BlockId("END ");

// CRC-32 of the bytes [from, to) of a stream, its position kept (read a
// megabyte at a time from a stream not in memory). Up to `threads` threads
// take the megabytes in turn, one reading at a time, and sum them side by
// side; the sums are joined in their order.
bool StreamCrc(TStream& s, int64_t from, int64_t to, uint32_t& crc, int threads = 1)
{
    if (auto* memory = dynamic_cast<TMemoryStream*>(&s)) {
        crc = Crc32Of({memory->Memory() + from, std::size_t(to - from)});
        return true;
    }
    const int64_t at = s.Position();
    constexpr int64_t kBlock = int64_t(1) << 20;
    const auto blocks = std::size_t((std::max<int64_t>(0, to - from) + kBlock - 1) / kBlock);
    auto blockBytes = [&](std::size_t b) { return std::size_t(std::min(kBlock, to - from - int64_t(b) * kBlock)); };
    // A thread for every few megabytes at most.
    const std::size_t parts = PartsFor(blocks, 4, threads);
    std::vector<uint32_t> sums(blocks, 0u);
    std::mutex reading;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> ok{true};
    RunPartsOnThreads(parts, [&](std::size_t) {
        std::vector<uint8_t> bytes(blocks > 0 ? blockBytes(0) : 0);
        for (std::size_t b = next++; b < blocks && ok; b = next++) {
            const std::size_t n = blockBytes(b);
            {
                std::lock_guard lock(reading);
                if (!s.SetPosition(from + int64_t(b) * kBlock) || !s.ReadExact(bytes.data(), int64_t(n))) {
                    ok = false;
                    return;
                }
            }
            sums[b] = Crc32Of({bytes.data(), n});
        }
    });
    crc = 0;
    for (std::size_t b = 0; b < blocks; ++b)
        crc = uint32_t(crc32_combine(uLong(crc), uLong(sums[b]), z_off_t(blockBytes(b))));
    return s.SetPosition(at) && ok;
}

// Writes a block: its name, a length filled in afterwards, the content.
template <typename F>
bool WriteBlock(TStream& s, uint32_t id, F&& content)
{
    if (!s.WriteU32(id))
        return false;
    const int64_t lengthAt = s.Position();
    if (!s.WriteU32(0) || !content())
        return false;
    const int64_t end = s.Position();
    const int64_t length = end - lengthAt - 4;
    if (length < 0 || length > int64_t(std::numeric_limits<uint32_t>::max()))
        return false;
    return s.SetPosition(lengthAt) && s.WriteU32(uint32_t(length)) && s.SetPosition(end);
}

QString DisplayName(const TChosenTextRec& text)
{
    return QDir::toNativeSeparators(text.DisplayName());
}

// Texts of a batch grouped by the folder they are in, in the order met.
std::vector<std::pair<QString, std::vector<int>>> TextsByFolder(const TSharedChosenFilesClass& chosen)
{
    std::vector<std::pair<QString, std::vector<int>>> groups;
    QHash<QString, int> where;
    for (int i = 0; i < chosen.FileCount(); ++i) {
        const QString folder = QFileInfo(chosen.FullFilename(i)).absolutePath();
        auto it = where.find(folder);
        if (it == where.end()) {
            it = where.insert(folder, int(groups.size()));
            groups.push_back({folder, {}});
        }
        groups[std::size_t(it.value())].second.push_back(i);
    }
    return groups;
}

} // namespace

// What one run (the texts of one word list) keeps until its list is made.
struct T_WholeWordlistHolder::TRun {
    std::unique_ptr<TWordlistTree> tree;
    std::unique_ptr<TWordFolder> folder;
    TWordlistRunContext context;
    std::unique_ptr<TWordFilterPlugin> filter;
    bool filterChecked = false;
    int32_t textCount = 0;
    int64_t runningWords = 0;
    bool cancelled = false;
    bool stopAsked = false;  // the unread-text callback asked to stop
    QString brokenText;      // a text whose reading broke off after its words were counted
    int64_t wordsTooLong = 0; // passed over as longer than a word may be
    // The threads the job takes (ThreadsWanted when its texts are read: the
    // machine's idle cores then, before its own threads load it); 0 until
    // then. The reading, the list and its saving go by this one choice.
    int threads = 0;
};

T_WholeWordlistHolder::T_WholeWordlistHolder(uint8_t listType, TTagsToTranslateList* tagsToTranslate,
                                             TTagHandlerBase* tagHandler, bool lemmaListLoaded, bool stopListLoaded,
                                             TDudFileCallback onDudFile, TMainListEntriesCallback onMainListEntries,
                                             TCentreOfMainFormCallback centreOfMainForm)
    : TCorvantisholder(GetTextSettings(), listType, tagsToTranslate, tagHandler, lemmaListLoaded, stopListLoaded,
                       std::move(onDudFile), std::move(onMainListEntries), std::move(centreOfMainForm))
{
    global_panic_state = kPanicRun;
    WordlistSettings = GetWordlistSettings();
    const uint32_t signature = CurrentToolSignature();
    fWordList = std::make_unique<TCVWordList>(this, kListWordList, signature);
    if (listType == kListIndexWordList)
        fIndexWordList = std::make_unique<TCVWordList>(this, kListIndexWordList, signature);
    fStats = std::make_unique<TCVStatsList>(this, signature);
    fKeywordsList = std::make_unique<TKeyWordList>(this, kListKeyWords, signature);
    fKeywordsList->KWSettings = GetKeywordsSettings();
    fKeywordsList->KWSettings.SetLanguageBlock(ftextsettings.LanguageBlock());
    fDetailedConsistencyList = std::make_unique<TDetailedConsistencyList>(this, signature);
    RegisterLists();
}

T_WholeWordlistHolder::~T_WholeWordlistHolder() = default;

void T_WholeWordlistHolder::RegisterLists()
{
    fCVBaseLists.Clear();
    auto onEntries = [this](const TCVBaseDataClass&, int64_t n) { ReportMainListEntries(n); };
    if (fWordList)
        fCVBaseLists.Add(fWordList.get(), MainFile.ListType == kListWordList ? onEntries : TCVBaseListList::TEntriesCallback{});
    if (fIndexWordList)
        fCVBaseLists.Add(fIndexWordList.get(),
                         MainFile.ListType == kListIndexWordList ? onEntries : TCVBaseListList::TEntriesCallback{});
    if (fStats)
        fCVBaseLists.Add(fStats.get());
    if (fKeywordsList)
        fCVBaseLists.Add(fKeywordsList.get());
    if (fDetailedConsistencyList) {
        fCVBaseLists.Add(fDetailedConsistencyList.get(),
                         MainFile.ListType == kListDetailedConsistency ? onEntries : TCVBaseListList::TEntriesCallback{});
        if (fDetailedConsistencyList->RelationsList())
            fCVBaseLists.Add(fDetailedConsistencyList->RelationsList());
    }
    SetCVBaseListsLCIDToTextSettingsLCID();
    ApplyTagDisplay();
}

void T_WholeWordlistHolder::ApplyTagDisplay()
{
    for (TCVWordList* l : {fWordList.get(), fIndexWordList.get()})
        if (l)
            l->SetTagDisplay(ftextsettings.TagDisplay());
}

TCVWordList* T_WholeWordlistHolder::WordlistOfType(uint8_t listType) const
{
    return listType == kListIndexWordList ? fIndexWordList.get() : fWordList.get();
}

std::unique_ptr<TCVWordList> T_WholeWordlistHolder::SetWordlistOfType(uint8_t listType,
                                                                      std::unique_ptr<TCVWordList> list)
{
    std::unique_ptr<TCVWordList>& slot = listType == kListIndexWordList ? fIndexWordList : fWordList;
    std::swap(slot, list);
    RegisterLists();
    return list;
}

TWordlistDataRec T_WholeWordlistHolder::WordlistData(int i) const
{
    const TCVWordList* l = WordlistOfType(MainFile.ListType);
    return l ? l->WordlistData(i) : TWordlistDataRec{};
}

bool T_WholeWordlistHolder::ComputedRankOrdersOfWords()
{
    TCVWordList* l = WordlistOfType(MainFile.ListType);
    return l && l->ComputedRankOrdersOfWords();
}

int T_WholeWordlistHolder::DeleteAllTaggedWords(bool deleted)
{
    TCVWordList* l = WordlistOfType(MainFile.ListType);
    return l ? l->DeleteAllTaggedWords(deleted) : 0;
}

// ---------------------------------------------------------------------------
// The job

void T_WholeWordlistHolder::NewWordTree(int32_t textCount)
{
    fRun = std::make_unique<TRun>();
    fRun->tree = std::make_unique<TWordlistTree>();
    // An index of several texts counts its words per text itself (within
    // its memory budget): the tree's own records of them, as many as a
    // large corpus has, would go unread.
    fRun->tree->KeepPartRecords(!(MainFile.ListType == kListIndexWordList && fIndexHandler && textCount > 1));
    fRun->folder = std::make_unique<TWordFolder>(ftextsettings);
    fRun->textCount = textCount;
    TWordlistRunContext& c = fRun->context;
    c.tree = fRun->tree.get();
    c.folder = fRun->folder.get();
    c.settings = ftextsettings;
    c.tool = current_tool_var;
    c.useTags = ftextsettings.TagDisplay() != 0;
    c.stopList = Using_Stoplist && TLemmatiser::Instance().IsLoaded(current_tool_var, TLemmatiserListKind::Stop);
    c.slicedParts = textCount == 1;
    c.sink = fTokenSink;
    if (fChunkUnits > 0)
        c.chunkUnits = fChunkUnits;
    fPendingRows.clear();
}

bool T_WholeWordlistHolder::MadeOneFileWordlist(const TChosenTextRec& text, int32_t textIndex, int32_t textCount,
                                                bool combining)
{
    if (!fRun)
        NewWordTree(textCount);
    TTextReadOutcome outcome;
    TWordlistBufferProcessor p(this, fRun->context, text, textIndex, TextTagHandler, MainFile.ListType,
                               combining ? 1 : 0, [&outcome](const TFileHandledInfo& info) { outcome.handled = info; });
    p.SetShowFailureMessages(false);
    outcome.ok = p.ReadAndProcess(textCount);
    if (outcome.ok) {
        outcome.row = p.TextStatistics();
        outcome.notes = p.ReadNotes();
        outcome.wordsTooLong = p.WordsTooLong();
    } else {
        outcome.cancelled = p.Cancelled();
        outcome.counted = p.Counted();
        outcome.error = p.LastError();
    }
    return TookTextOutcome(text, outcome);
}

bool T_WholeWordlistHolder::TookTextOutcome(const TChosenTextRec& text, const TTextReadOutcome& outcome)
{
    const QString name = DisplayName(text);
    // Mixed formats are about Unicode against 8-bit texts, not about mark-up or zips.
    if (outcome.handled && !outcome.handled->NotProcessed())
        UpdateAllFileHandledInfo(name, (outcome.handled->Format() & kTextFormatEncodingMask) == kTextFormatAnsi ? 1 : 2,
                                 false);
    if (outcome.ok) {
        fPendingRows.push_back(outcome.row);
        fRun->runningWords += outcome.row.TokensInText;
        fRun->wordsTooLong += outcome.wordsTooLong;
        fRunNotes << outcome.notes;
        fTextNotes << outcome.notes;
        if (mini_global_own_HWnd != 0)
            PostMessage(mini_global_own_HWnd, kMsgRunningWords, 0, fRun->runningWords);
        return true;
    }
    if (outcome.cancelled) {
        fRun->cancelled = true;
        return false;
    }
    const QString reason = outcome.error.isEmpty() ? QStringLiteral("it could not be read") : outcome.error;
    if (outcome.counted)
        fRun->brokenText = reason;
    fUnreadReasons << reason;
    if (NoteDudFile(name) != 0)
        fRun->stopAsked = true;
    return false;
}

int T_WholeWordlistHolder::ThreadsWanted() const
{
    return fReadingThreads > 0 ? fReadingThreads : TParallelWordlistReading::DefaultThreads();
}

bool T_WholeWordlistHolder::WordTreeToWordlist()
{
    if (!fRun)
        return false;
    const uint8_t tool = current_tool_var;
    if (!fRun->filterChecked) {
        fRun->filterChecked = true;
        QString error;
        fRun->filter = TWordFilterPlugin::LoadForTool(tool, &error);
        if (!fRun->filter && !error.isEmpty()) {
            Complain(QStringLiteral("FailedToRead"), error);
            fRun.reset();
            return false;
        }
    }
    // The reader's and the cutter's buffers are done with: their memory
    // goes back before the entries take theirs.
    TWordlistRunContext& context = fRun->context;
    context.scratch = TReadScratch();
    context.batchText.Free();
    context.starts.Free();
    context.ends.Free();
    context.specials.Free();

    // An index of several texts keeps its words' counts itself, and the
    // word list of its run goes with the document when the index is
    // written: only the statistics are made then (an index of one text
    // takes the dispersion over tenths of the text from the list, so it
    // keeps the list).
    const bool listWanted = !(MainFile.ListType == kListIndexWordList && fIndexHandler && fPendingRows.size() > 1)
                            && fRun->tree->KeepsPartRecords();
    // Nothing looks a word up any more: the index's memory goes back first,
    // and the spread's sums take it (memory the job has written already,
    // where memory fresh from the system cost up to 5 ms more in some runs).
    fRun->tree->FreeIndex();
    TWordlistTree::TSpread spread = listWanted ? fRun->tree->TakeSpread() : TWordlistTree::TSpread{};
    const TWordlistTree& tree = *fRun->tree;

    // The text of each listed tag a word may carry.
    std::vector<QString> tagTexts;
    if (const auto* handler = dynamic_cast<const TTextTagHandler*>(TextTagHandler))
        for (const TextTagRec& t : handler->TagfileTags())
            tagTexts.push_back(t.stored.tag);
    const QString noTag;
    auto tagText = [&](uint16_t tag) -> const QString& {
        return tag > 0 && std::size_t(tag) <= tagTexts.size() ? tagTexts[tag - 1u] : noTag;
    };

    const int64_t minFreq = std::max(1, WordlistSettings.MinFrequency());
    const int64_t maxFreq = WordlistSettings.MaxFrequency() > 0 ? WordlistSettings.MaxFrequency()
                                                                : std::numeric_limits<int64_t>::max();
    const int32_t minTexts = std::max(1, WordlistSettings.MinTexts());
    // What the entries need of the types that become entries, side by side,
    // in the tree's order, in 32 bytes (the rows are many: the memory they
    // take is memory the entries must take fresh from the system).
    struct TRow {
        const char16_t* text;
        uint64_t freq;
        uint16_t length; // a type's spelling is at most kMaxTypeLength units
        uint16_t tag;
        int32_t texts;
        float dispersion;
    };
    static_assert(sizeof(TRow) == 32 && kMaxTypeLength <= std::numeric_limits<uint16_t>::max());
    // Two passes over the types (a cache line each), in parts side by side:
    // the first counts each part's rows, the second puts them in their
    // places, in memory the threads that fill it touch first.
    const int workThreads = fRun->threads > 0 ? fRun->threads : ThreadsWanted();
    const auto types = std::size_t(tree.Count());
    constexpr std::size_t kTypesPerPart = 64 * 1024;
    const std::size_t parts = PartsFor(types, kTypesPerPart, workThreads);
    auto isRow = [&](uint32_t id, const TWordlistKey& t) {
        return listWanted && t.freq >= uint64_t(minFreq) && t.freq <= uint64_t(maxFreq) && spread.texts[id] >= minTexts;
    };
    struct TPartTypes {
        int64_t listed = 0;
        int64_t stop = 0;
        std::size_t rows = 0;
        bool anyTag = false;
    };
    std::vector<TPartTypes> partTypes(parts);
    RunRangesOnThreads(types, parts, 1, [&](std::size_t p, std::size_t first, std::size_t last) {
        TPartTypes& c = partTypes[p];
        for (auto id = uint32_t(first); id < last; ++id) {
            const TWordlistKey& t = tree.Type(id);
            if (t.Stop()) {
                ++c.stop;
                continue;
            }
            ++c.listed;
            if (isRow(id, t)) {
                ++c.rows;
                c.anyTag = c.anyTag || t.Tag() != 0;
            }
        }
    });
    int64_t listTypes = 0, stopTypes = 0;
    std::size_t n = 0;
    bool anyTag = false;
    std::vector<std::size_t> firstRow(parts);
    for (std::size_t p = 0; p < parts; ++p) {
        firstRow[p] = n;
        n += partTypes[p].rows;
        listTypes += partTypes[p].listed;
        stopTypes += partTypes[p].stop;
        anyTag = anyTag || partTypes[p].anyTag;
    }
    // The rows' counts by part go with the list (a head word's texts and
    // dispersion are made of its forms'): taken from the per-part records
    // before they go.
    std::unique_ptr<TPartCounts> partCounts;
    if (listWanted) {
        std::vector<uint32_t> rowOfId(types, TPartCounts::kNoRow);
        RunRangesOnThreads(types, parts, 1, [&](std::size_t p, std::size_t first, std::size_t last) {
            auto k = uint32_t(firstRow[p]);
            for (auto id = uint32_t(first); id < last; ++id) {
                const TWordlistKey& t = tree.Type(id);
                if (!t.Stop() && isRow(id, t))
                    rowOfId[id] = k++;
            }
        });
        partCounts = fRun->tree->TakePartCounts(rowOfId, n);
    }
    // So are the per-part records: the entries take their memory.
    fRun->tree->FreeCounting();
    auto listed = std::make_unique_for_overwrite<TRow[]>(n);
    // The rows' frequencies again, side by side: the frequency order takes
    // them in alphabetical order, from a small array rather than the rows.
    auto listedFreq = std::make_unique_for_overwrite<uint64_t[]>(n);
    RunRangesOnThreads(types, parts, 1, [&](std::size_t p, std::size_t first, std::size_t last) {
        std::size_t k = firstRow[p];
        for (auto id = uint32_t(first); id < last; ++id) {
            const TWordlistKey& t = tree.Type(id);
            if (t.Stop() || !isRow(id, t))
                continue;
            const std::u16string_view text = tree.Text(id);
            listed[k] = TRow{text.data(), t.freq, uint16_t(text.size()), t.Tag(), spread.texts[id], spread.dispersion[id]};
            listedFreq[k] = t.freq;
            ++k;
        }
    });
    // The types are done with (their spellings stay), and so is their
    // spread: the entries take their memory.
    fRun->tree->FreeTypes();
    spread = {};
    const uint8_t target = MainFile.ListType == kListIndexWordList ? kListIndexWordList : kListWordList;
    auto list = std::make_unique<TCVWordList>(this, target, CurrentToolSignature());
    list->SetLocale(ftextsettings.LanguageId(), ftextsettings.CollationName());
    list->SetPartCounts(std::move(partCounts));
    // The threads the reading took (or would have) make the entries and write them.
    list->SetWorkThreads(workThreads);
    const bool withCounts = list->PartCounts() != nullptr;
    auto newEntry = [&](const TRow& r) {
        const auto row = uint32_t(&r - listed.get());
        return TCVWordList::TNewEntry{{r.text, std::size_t(r.length)}, &tagText(r.tag), int64_t(r.freq), r.texts,
                                      r.dispersion, withCounts ? row : TPartCounts::kNoRow};
    };
    std::vector<std::unique_ptr<TWordListEntry>> entries;
    if (!fRun->filter) {
        // The alphabetical order is taken from the spellings where the tree
        // keeps them side by side, before any entry exists; the entries are
        // then made in that order, and so is the frequency order. Only
        // words with tags can be spelt alike.
        const std::size_t rowParts = PartsFor(n, kTypesPerPart, workThreads);
        std::vector<std::u16string_view> words(n);
        RunRangesOnThreads(n, rowParts, 1, [&](std::size_t, std::size_t first, std::size_t last) {
            for (std::size_t k = first; k < last; ++k)
                words[k] = {listed[k].text, std::size_t(listed[k].length)};
        });
        const std::vector<uint32_t> order = TCVWordList::AlphabeticalOrder(
            list->CollationName(), words,
            anyTag ? std::function<const QString&(uint32_t)>([&](uint32_t k) -> const QString& { return tagText(listed[k].tag); })
                   : std::function<const QString&(uint32_t)>(),
            std::size_t(workThreads));
        std::vector<std::u16string_view>().swap(words);
        std::vector<int64_t> freqs(n);
        RunRangesOnThreads(n, rowParts, 1, [&](std::size_t, std::size_t first, std::size_t last) {
            for (std::size_t k = first; k < last; ++k)
                freqs[k] = int64_t(listedFreq[order[k]]);
        });
        std::vector<int32_t> frequencyOrder = TCVWordList::FrequencyOrder(freqs);
        std::vector<int64_t>().swap(freqs);
        listedFreq.reset();
        // The rows are taken in alphabetical order, they and the spellings
        // they point to lie in the tree's: the rows a little ahead are asked
        // for, and the spellings of the rows asked for before.
        constexpr std::size_t kAhead = 16;
        list->MakeAlphabeticalEntries(
            n,
            [&](std::size_t first, std::span<TCVWordList::TNewEntry> out) {
                for (std::size_t j = 0; j < out.size(); ++j) {
                    const std::size_t k = first + j;
                    if (k + 2 * kAhead < n)
                        PrefetchLine(&listed[order[k + 2 * kAhead]]);
                    if (k + kAhead < n)
                        PrefetchLine(listed[order[k + kAhead]].text);
                    out[j] = newEntry(listed[order[k]]);
                }
            },
            std::move(frequencyOrder));
    } else {
        entries = TCVWordList::MakeEntries(list.get(), n, [&](std::size_t first, std::span<TCVWordList::TNewEntry> out) {
            for (std::size_t j = 0; j < out.size(); ++j)
                out[j] = newEntry(listed[first + j]);
        });
    }
    listed.reset();

    if (fRun->filter) {
        // The user's filter sees every type once; it may drop or respell it.
        bool changed = false;
        std::vector<std::unique_ptr<TWordListEntry>> kept;
        kept.reserve(entries.size());
        for (auto& e : entries) {
            QString word = e->fWord;
            int32_t freq = int32_t(std::min<int64_t>(e->fData.Freq, std::numeric_limits<int32_t>::max()));
            if (!fRun->filter->ChangeWord(word, freq))
                continue;
            if (word != e->fWord || freq != e->fData.Freq) {
                changed = true;
                e->fWord = word;
                e->fData.Freq = freq;
                e->fData.Dispersion = -1.0f;
                e->fPartsRow = TPartCounts::kNoRow; // its counts are the filter's, not the texts'
            }
            kept.push_back(std::move(e));
        }
        if (changed) {
            // Types the filter spelt alike become one entry.
            QHash<QString, std::size_t> seen;
            std::vector<std::unique_ptr<TWordListEntry>> merged;
            for (auto& e : kept) {
                const QString key = e->fTag.isEmpty() ? e->fWord : e->fWord + QChar(0) + e->fTag;
                const auto it = seen.constFind(key);
                if (it == seen.constEnd()) {
                    seen.insert(key, merged.size());
                    merged.push_back(std::move(e));
                    continue;
                }
                TWordListEntry& m = *merged[it.value()];
                m.fData.Freq += e->fData.Freq;
                m.fData.Texts = std::max(m.fData.Texts, e->fData.Texts);
                m.fData.Dispersion = -1.0f;
                m.fPartsRow = TPartCounts::kNoRow;
            }
            kept.swap(merged);
        }
        entries.swap(kept);
        if (fRun->filter->FaultCount() > 0)
            fRunNotes << QStringLiteral("The word filter %1 answered wrongly %2 times (first: %3)")
                             .arg(fRun->filter->LibraryPath())
                             .arg(fRun->filter->FaultCount())
                             .arg(fRun->filter->FirstFault());
    }

    // The list stands for the running words of its texts (the base of its
    // % column, and the c and d of key words).
    int64_t runningWords = 0;
    for (const TStatsRec& r : fPendingRows)
        runningWords += r.TokensInText;
    if (fRun->filter) {
        list->AdoptEntries(std::move(entries));
        list->SortAlphabetically();
        list->ComputedRankOrdersOfWords();
    }
    FinishNewList(*list, runningWords, int32_t(fPendingRows.size()));

    auto stats = std::make_unique<TCVStatsList>(this, CurrentToolSignature());
    for (const TStatsRec& r : fPendingRows)
        stats->AddText(r);
    stats->RecomputeOverall();
    stats->SetOverallTypes(listTypes, stopTypes);
    stats->ClearChangeMark();

    SetWordlistOfType(target, std::move(list));
    fStats = std::move(stats);
    RegisterLists();
    CVBaseFilenames(*fStats);
    CorvantisHolderMainListCount(WordlistOfType(target)->Count());
    fPendingRows.clear();
    fRun.reset();
    return true;
}

void T_WholeWordlistHolder::FinishNewList(TCVWordList& list, int64_t runningWords, int32_t texts) const
{
    const uint8_t tool = current_tool_var;
    list.SetTotalTokens(runningWords);
    list.SetTotalTexts(texts);
    list.SetTagDisplay(ftextsettings.TagDisplay());
    if (Using_Lemmalist && TLemmatiser::Instance().IsLoaded(tool, TLemmatiserListKind::Lemma))
        list.CheckLemmas(false);
    if (GetLemmaMatchStopWanted(tool, uint8_t(TLemmatiserListKind::Match))
        && TLemmatiser::Instance().IsLoaded(tool, TLemmatiserListKind::Match)) {
        list.CheckMatches(TagOf(TMenuCommand::MarkMatches));
        list.ClearUndo();
    }
    list.ClearChangeMark();
}

bool T_WholeWordlistHolder::RunTexts(TSharedChosenFilesClass& chosen, const std::vector<int>& texts,
                                     bool showProgress)
{
    const auto n = int32_t(texts.size());
    fRunNotes.clear();
    NewWordTree(n);
    // The user's word filter is loaded before any text is read: a filter
    // that cannot be loaded stops the job at once.
    {
        fRun->filterChecked = true;
        QString error;
        fRun->filter = TWordFilterPlugin::LoadForTool(current_tool_var, &error);
        if (!fRun->filter && !error.isEmpty()) {
            Complain(QStringLiteral("FailedToRead"), error);
            fRun.reset();
            return false;
        }
    }
    StartProcessUsingTextTagHandler();
    const auto started = std::chrono::steady_clock::now();
    TProgressClass& progress = GlobalProgress();
    const bool combining = ftextsettings.CombiningCharacters();
    // The whole job's share is the share of the texts' bytes taken so far:
    // texts of any sizes move the bar as evenly as the reading goes.
    int64_t allBytes = 0;
    int64_t bytesTaken = 0;
    if (showProgress)
        for (int i : texts)
            if (const TChosenTextRec* rec = chosen.File(i))
                allBytes += std::max<int64_t>(0, rec->FileSize);
    // Before a text is read (or, read on other threads, taken over).
    auto showText = [&](int32_t k, const TChosenTextRec& rec) {
        if (showProgress) {
            progress.ProgressShortMessageOutOf(QFileInfo(rec.InsideZip() ? rec.ZipEntryName : rec.FullFilename).fileName(),
                                               k, n);
            progress.OverallPercent(allBytes > 0 ? int(bytesTaken * 100 / allBytes) : int(int64_t(k) * 100 / n));
        }
    };
    // After it: false when the run stops there.
    auto tookText = [&](int32_t k, bool made) {
        const int i = texts[std::size_t(k)];
        if (showProgress) {
            if (const TChosenTextRec* rec = chosen.File(i))
                bytesTaken += std::max<int64_t>(0, rec->FileSize);
            if (allBytes > 0)
                progress.OverallPercent(int(std::min(bytesTaken, allBytes) * 100 / allBytes));
            progress.ShowTimeToGo();
        }
        if (made) {
            chosen.SetFileWords(i, int32_t(std::min<int64_t>(fPendingRows.back().TokensInText,
                                                             std::numeric_limits<int32_t>::max())));
            chosen.SetFileStatus(i, 1);
            if (showProgress)
                progress.RunningWords(fRun->runningWords);
        } else if (!fRun->cancelled) {
            chosen.SetFileStatus(i, 2);
        }
        return !(fRun->cancelled || fRun->stopAsked || !fRun->brokenText.isEmpty());
    };
    auto keepGoing = [&] {
        MyYieldProcess();
        if (global_panic_state.load() != kPanicRun) {
            fRun->cancelled = true;
            return false;
        }
        return true;
    };
    // Texts [first, last) one after the other on this thread; false when
    // the run stops.
    auto readHere = [&](int32_t first, int32_t last) {
        for (int32_t k = first; k < last; ++k) {
            if (!keepGoing())
                return false;
            TChosenTextRec rec;
            if (!chosen.GetFullFileDetails(texts[std::size_t(k)], rec))
                continue;
            showText(k, rec);
            if (!tookText(k, MadeOneFileWordlist(rec, k, n, combining)))
                return false;
        }
        return true;
    };
    fRun->threads = ThreadsWanted();
    const int threads = std::min(n, fRun->threads);
    fTimings.readingThreads = 1;
    if (threads <= 1 || fRun->context.sink || fRun->context.slicedParts) {
        readHere(0, n);
    } else {
        std::vector<TChosenTextRec> records(std::size_t(n), TChosenTextRec{});
        std::vector<TTextToRead> toRead;
        toRead.reserve(std::size_t(n));
        for (int32_t k = 0; k < n; ++k)
            if (chosen.GetFullFileDetails(texts[std::size_t(k)], records[std::size_t(k)]))
                toRead.push_back({&records[std::size_t(k)], k});
        TParallelWordlistReading reading(fRun->context, threads, this, TextTagHandler, MainFile.ListType,
                                         combining ? 1 : 0);
        const bool whole = reading.Run(
            toRead, n,
            [&](const TTextToRead& t, const TTextReadOutcome& outcome) {
                showText(t.index, *t.text);
                return tookText(t.index, TookTextOutcome(*t.text, outcome));
            },
            keepGoing);
        fTimings.readingThreads = std::max(1, reading.StartedThreads());
        // No thread could be started: the texts are read here.
        if (whole && reading.HandedOver() < toRead.size())
            readHere(toRead[reading.HandedOver()].index, n);
        fRun->context.cutSeconds += reading.CutSeconds();
    }
    fTimings.reading = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    fTimings.cutting = fRun->context.cutSeconds;
    if (fRun->cancelled || global_panic_state.load() != kPanicRun || fRun->stopAsked) {
        fRun.reset();
        fPendingRows.clear();
        return false;
    }
    if (!fRun->brokenText.isEmpty()) {
        Complain(QStringLiteral("FailedToRead"), fRun->brokenText);
        fRun.reset();
        fPendingRows.clear();
        return false;
    }
    int64_t used = 0;
    for (const TStatsRec& r : fPendingRows)
        used += r.TokensUsed;
    if (fPendingRows.empty()) {
        // Every text was unread: the window lists them (dud_compute_files).
        fRun.reset();
        return false;
    }
    if (used == 0) {
        // The texts named, a few of them when there are many.
        constexpr int kNamed = 3;
        QStringList names;
        for (std::size_t k = 0; k < texts.size() && k < kNamed; ++k)
            names << QDir::toNativeSeparators(chosen.FullFilename(texts[k]));
        QString shown = names.join(QStringLiteral(", "));
        if (texts.size() > kNamed)
            shown += QStringLiteral(" and %1 more texts").arg(texts.size() - kNamed);
        NoWordsIn(shown, 4565, WhyNoWords());
        fRun.reset();
        fPendingRows.clear();
        return false;
    }
    if (showProgress) {
        progress.ProgressShortMessage(QString());
        progress.OverallPercent(100);
    }
    const auto listing = std::chrono::steady_clock::now();
    const bool ok = WordTreeToWordlist();
    fTimings.listing = std::chrono::duration<double>(std::chrono::steady_clock::now() - listing).count();
    return ok;
}

QString T_WholeWordlistHolder::WhyNoWords() const
{
    int64_t running = 0, stops = 0, numbers = 0;
    for (const TStatsRec& r : fPendingRows) {
        running += r.TokensInText;
        stops += r.StopTokensRemoved;
        numbers += r.NumbersRemoved;
    }
    const QLocale english(QLocale::English);
    QStringList why;
    if (fRun && fRun->wordsTooLong > 0) {
        QString s = WordsTooLongText(fRun->wordsTooLong);
        why << s.left(1).toUpper() + s.mid(1) + QLatin1Char('.');
    }
    if (running > stops)
        why << QStringLiteral("%1 running words are shorter or longer than the word lengths the settings allow (%2 to %3 "
                              "characters).")
                   .arg(english.toString(qlonglong(running - stops)))
                   .arg(std::max(1, ftextsettings.MinWordLength()))
                   .arg(ftextsettings.MaxWordLength() > 0 ? english.toString(ftextsettings.MaxWordLength())
                                                          : english.toString(kMaxTypeLength));
    if (stops > 0)
        why << QStringLiteral("%1 running words are in the stop list.").arg(english.toString(qlonglong(stops)));
    if (numbers > 0)
        why << QStringLiteral("%1 numbers were left out, as the settings ask.").arg(english.toString(qlonglong(numbers)));
    return why.join(QLatin1Char(' '));
}

bool T_WholeWordlistHolder::MakeWordlist(TSharedChosenFilesClass& chosen, uint8_t batchMode,
                                         int32_t& convertedToUnicode, uint8_t listType)
try {
    (void)convertedToUnicode; // texts are decoded in memory: none is ever converted on disk
    fUnreadReasons.clear();
    fTextNotes.clear();
    fJobFailure.clear();
    if (listType == kListIndexWordList && !fIndexHandler) {
        Complain(QStringLiteral("FailedToRead"), QStringLiteral("An index word list needs an open index."));
        return false;
    }
    if (chosen.FileCount() <= 0)
        return false;
    MarkJobStart();
    if (listType == kListIndexWordList && !fIndexWordList)
        fIndexWordList = std::make_unique<TCVWordList>(this, kListIndexWordList, CurrentToolSignature());
    MainFile.ListType = listType == kListIndexWordList ? kListIndexWordList : kListWordList;
    if (batchMode != 0 && listType != kListIndexWordList)
        return MakeBatch(chosen, batchMode);

    std::vector<int> texts(static_cast<std::size_t>(chosen.FileCount()));
    for (int i = 0; i < chosen.FileCount(); ++i)
        texts[std::size_t(i)] = i;
    if (!RunTexts(chosen, texts, true))
        return false;
    fTotalFilesToProcess = chosen.FileCount();
    SuggestedFilename = chosen.SuggestedFilename();
    StartNotesOfRun(0);
    AddATimingNote();
    return true;
} catch (const std::bad_alloc&) {
    // The job's memory goes back first; the document stays as it was made so far.
    fRun.reset();
    fPendingRows.clear();
    Global_Busy_Dont_Show_Data = false;
    fJobFailure = NotEnoughMemoryText(listType == kListIndexWordList ? QStringLiteral("index the texts")
                                                                     : QStringLiteral("make the word list"));
    NotEnoughMemory(listType == kListIndexWordList ? QStringLiteral("index the texts") : QStringLiteral("make the word list"));
    return false;
}

void T_WholeWordlistHolder::StartNotesOfRun(int32_t batchNumber)
{
    StartStandardNotes(MainFile.ListType, batchNumber, CVWordList,
                       Format(CVBasedOnNmanyFiles, {int(std::max(0, fStats->Count() - 1))}));
    for (const QString& note : fRunNotes)
        AddOneDuringMainComputationNote(note);
}

void T_WholeWordlistHolder::StartIndexNotes(const QString& text)
{
    StartStandardNotes(kListIndexWordList, 0, CVWordListIndexList, text);
    for (const QString& note : fRunNotes)
        AddOneDuringMainComputationNote(note);
}

bool T_WholeWordlistHolder::MakeBatch(TSharedChosenFilesClass& chosen, uint8_t batchMode)
{
    TBatchProceduresRec& b = Global_BatchProcedures;
    const bool wasBatch = Global_batch_mode;
    Global_batch_mode = true;
    b.Files_to_Process = chosen.FileCount();
    const QString root = b.BatchRootFolder;
    int32_t saved = 0;
    bool ok = true;
    TProgressClass& progress = GlobalProgress();
    const int total = chosen.FileCount();
    int done = 0;

    // One list of the texts, saved into the batch folder under `name`.
    auto makeAndSave = [&](const std::vector<int>& texts, const QString& name, const QDateTime& time) {
        if (!RunTexts(chosen, texts, false))
            return global_panic_state.load() == kPanicRun; // an unread text is skipped, a cancel stops
        fTotalFilesToProcess = int32_t(texts.size());
        SuggestedFilename = QFileInfo(name).completeBaseName();
        StartNotesOfRun(saved + 1);
        if (!BatchSaveToTempDir(name, saved + 1, total, time))
            return false;
        ++saved;
        return true;
    };
    auto zipInto = [&](const QString& zipName, int32_t count) {
        if (!b.Zip_Too || count <= 0)
            return true;
        return BatchZipFromTempDir(DefaultExtension(), zipName, count);
    };

    if (batchMode == 1 || batchMode == 2) {
        const auto groups = batchMode == 1 ? std::vector<std::pair<QString, std::vector<int>>>{{root, [&] {
                                                  std::vector<int> all(std::size_t(chosen.FileCount()));
                                                  for (int i = 0; i < chosen.FileCount(); ++i)
                                                      all[std::size_t(i)] = i;
                                                  return all;
                                              }()}}
                                           : TextsByFolder(chosen);
        for (const auto& [folder, texts] : groups) {
            const int32_t savedBefore = saved;
            if (batchMode == 2) {
                b.BatchRootFolder = QDir(root.isEmpty() ? SuiteTempFolder() : root).filePath(QFileInfo(folder).fileName());
                if (b.OnBatchFileNameAndMaxN)
                    b.OnBatchFileNameAndMaxN(b.BatchRootFolder, QFileInfo(folder).fileName(), int(texts.size()));
                // The section's texts, counted over all the chosen texts.
                if (b.OnZippingASection && !texts.empty())
                    b.OnZippingASection(done + 1, done + int(texts.size()), false);
            }
            for (int i : texts) {
                progress.OverallPercent(done++ * 100 / std::max(1, total));
                TChosenTextRec rec;
                chosen.GetFullFileDetails(i, rec);
                const QString name = rec.InsideZip() ? rec.ZipEntryName : rec.FullFilename;
                if (!(ok = makeAndSave({i}, QFileInfo(name).fileName(), rec.FileTime)))
                    break;
            }
            if (ok && batchMode == 2) {
                const QString zip = QDir(root.isEmpty() ? SuiteTempFolder() : root).filePath(QFileInfo(folder).fileName() + QStringLiteral(".zip"));
                ok = zipInto(zip, saved - savedBefore);
            }
            b.BatchRootFolder = root;
            if (!ok)
                break;
        }
    } else {
        // One list per folder, of all its texts together.
        for (const auto& [folder, texts] : TextsByFolder(chosen)) {
            progress.OverallPercent(done * 100 / std::max(1, total));
            done += int(texts.size());
            if (!(ok = makeAndSave(texts, QFileInfo(folder).fileName() + DefaultExtension(), QDateTime())))
                break;
        }
    }
    if (ok && batchMode != 2 && saved > 0) {
        QString zipName = b.ZipShortFilename;
        BatchZipName(zipName, CVFiles);
        ok = zipInto(zipName, saved);
    }
    b.BatchRootFolder = root;
    Global_batch_mode = wasBatch;
    return ok && saved > 0 && global_panic_state.load() == kPanicRun;
}


// ---------------------------------------------------------------------------
// Files

bool T_WholeWordlistHolder::ReadWholeFromFile(const QString& fileName)
{
    return (ReadWholeFromFile(fileName, current_tool_var) & 0xFF) == 1;
}

bool T_WholeWordlistHolder::SaveToStream(TStream& s)
{
    // The check block covers the bytes written before it, so the document
    // is made in memory (and then copied) when the stream cannot give them
    // back. (A file being saved can: the document goes straight into it,
    // and is not held a second time, whole, in memory.)
    if (!s.ReadsBack()) {
        TMemoryStream whole;
        return SaveToStream(whole) && s.WriteExact(whole.Memory(), whole.Size());
    }
    if (fBeforeSave)
        fBeforeSave();
    const TCVWordList* main = WordlistOfType(MainFile.ListType);
    if (MainFile.ListType == kListDetailedConsistency || MainFile.ListType == kListConsistencyRelations)
        CorvantisHolderMainListCount(fDetailedConsistencyList ? fDetailedConsistencyList->Count() : 0);
    else
        CorvantisHolderMainListCount(main ? main->Count() : 0);
    // A stream in memory written at its end gets its room at once (about
    // what the lists take), not in doublings that copy what was written.
    auto* memory = dynamic_cast<TMemoryStream*>(&s);
    const bool presized = memory && memory->Position() == memory->Size();
    if (presized) {
        int64_t room = 64 * 1024;
        for (const TCVWordList* l : {fWordList.get(), fIndexWordList.get()})
            if (l)
                room += int64_t(l->Count()) * 64;
        const int64_t at = memory->Position();
        memory->SetSize(at + room);
        memory->SetPosition(at);
    }
    const int64_t start = s.Position();
    const bool ok = TCorvantisholder::SaveToStream(s) && SaveBlocks(s, start);
    if (presized && memory->Size() > memory->Position())
        memory->SetSize(memory->Position());
    return ok;
}

bool T_WholeWordlistHolder::SaveBlocks(TStream& s, int64_t documentStart)
{
    uint32_t crc = 0;
    const bool ok =
        WriteBlock(s, kBlockTextSettings, [&] { return SavedTextSettings(s); })
        && WriteBlock(s, kBlockWordlistSettings,
                      [&] { return s.WriteU32(uint32_t(TWordlistSettingsRec::kSize)) && s.WriteBytes(WordlistSettings.Bytes()); })
        && WriteBlock(s, kBlockColours, [&] { return SavedColours(s); })
        && WriteBlock(s, kBlockNotes, [&] { return SavedNotes(s); })
        && WriteBlock(s, kBlockWordList,
                      [&] {
                          // A document whose word list was taken away writes an empty one.
                          if (fWordList)
                              return fWordList->SaveToStream(s);
                          TCVWordList none(this, kListWordList, CurrentToolSignature());
                          return none.SaveToStream(s);
                      })
        && (!fWordList || !fWordList->PartCounts()
            || WriteBlock(s, kBlockPartCounts, [&] { return fWordList->SavePartCounts(s); }))
        && (!fIndexWordList || WriteBlock(s, kBlockIndexWordList, [&] { return fIndexWordList->SaveToStream(s); }))
        && WriteBlock(s, kBlockStatistics, [&] { return fStats->SaveToStream(s); })
        && WriteBlock(s, kBlockKeyWords,
                      [&] { return KWSettingsSaved(s, fKeywordsList->KWSettings) && fKeywordsList->SaveToStream(s); })
        && (fDetailedConsistencyList->Count() == 0
            || WriteBlock(s, kBlockConsistency, [&] { return fDetailedConsistencyList->SaveToStream(s); }))
        && (MainFile.ListType != kListIndexRelationships || fRelationshipsBlock.isEmpty()
            || WriteBlock(s, kBlockRelationships,
                          [&] { return s.WriteBytes({reinterpret_cast<const uint8_t*>(fRelationshipsBlock.constData()),
                                                     size_t(fRelationshipsBlock.size())}); }))
        && StreamCrc(s, documentStart, s.Position(), crc, fWordList ? fWordList->WorkThreads() : 1) && WriteBlock(s, kBlockCheck, [&] { return s.WriteU32(crc); })
        && WriteBlock(s, kBlockEnd, [] { return true; });
    return ok;
}

bool T_WholeWordlistHolder::ReadWholeFromStream(TStream& s)
{
    const int64_t start = s.Position();
    // The files of a corpus index carry the index's kind in their signature,
    // but are no saved word list (their part tag follows the signature).
    TCheckSignature sig;
    char part[4] = {};
    if (sig.ReadFromStream(s, std::numeric_limits<int32_t>::max()) == TSignatureCheck::OK
        && sig.Kind == kListIndexWordList && s.ReadExact(part, 4)) {
        for (const char* tag : {"TOKN", "TYPE", "STAT", "MARK"})
            if (std::memcmp(part, tag, 4) == 0) {
                SetReadError(kReadWrongKind, QStringLiteral("it is a file of a corpus index, not a word list"));
                return false;
            }
    }
    if (!s.SetPosition(start) || !TCorvantisholder::ReadWholeFromStream(s))
        return false;
    const uint8_t kind = DiskFileType();
    if (kind != kListWordList && kind != kListDetailedConsistency && kind != kListConsistencyRelations
        && kind != kListIndexWordList && kind != kListIndexRelationships) {
        SetReadError(kReadWrongKind, QStringLiteral("it is a %1 file, not a word list").arg(ListTypeName(kind)));
        return false;
    }
    QString damage;
    if (!ReadBlocks(s, start, damage)) {
        SetReadError(kReadDamaged, damage.isEmpty() ? QStringLiteral("the file is cut short or damaged") : damage);
        return false;
    }
    MainFile.ListType = kind;
    RegisterLists();
    return true;
}

bool T_WholeWordlistHolder::ReadBlocks(TStream& s, int64_t documentStart, QString& damage)
{
    const uint32_t signature = CurrentToolSignature();
    auto words = std::make_unique<TCVWordList>(this, kListWordList, signature);
    std::unique_ptr<TCVWordList> indexWords;
    auto stats = std::make_unique<TCVStatsList>(this, signature);
    auto keyWords = std::make_unique<TKeyWordList>(this, kListKeyWords, signature);
    auto consistency = std::make_unique<TDetailedConsistencyList>(this, signature);
    TWordlistSettingsRec wordlistSettings = TWordlistSettingsRec::Defaults();
    QStringList notesBefore = fNotes;
    QByteArray relationships, partCounts;
    // A block kept as its bytes, to be read later.
    const auto keepBlock = [&s](QByteArray& into, uint32_t length) {
        QByteArray bytes(qsizetype(length), Qt::Uninitialized);
        if (!s.ReadExact(bytes.data(), length))
            return false;
        into = std::move(bytes);
        return true;
    };
    bool haveText = false, haveWords = false, haveStats = false, ended = false;
    while (!ended) {
        uint32_t id = 0, length = 0;
        const int64_t blockStart = s.Position();
        if (!s.ReadU32(id) || !s.ReadU32(length) || int64_t(length) > s.Remaining())
            return false;
        const int64_t start = s.Position();
        bool ok = true;
        switch (id) {
        case kBlockTextSettings:
            ok = haveText = ReadTextSettings(s);
            break;
        case kBlockWordlistSettings: {
            uint32_t n = 0;
            // The record's size is checked against the block before anything is made for it.
            ok = length >= 4 && s.ReadU32(n) && n <= length - 4;
            if (ok) {
                std::vector<uint8_t> bytes(n);
                ok = s.ReadExact(bytes.data(), n);
                wordlistSettings.CopyBytesFrom(bytes);
            }
            break;
        }
        case kBlockColours:
            ok = ReadColours(s);
            break;
        case kBlockNotes:
            ok = ReadNotes(s);
            break;
        case kBlockWordList:
            ok = haveWords = words->ReadFromStream(s);
            break;
        case kBlockPartCounts:
            // Read once the word list is known good (below).
            ok = keepBlock(partCounts, length);
            break;
        case kBlockIndexWordList:
            indexWords = std::make_unique<TCVWordList>(this, kListIndexWordList, signature);
            ok = indexWords->ReadFromStream(s);
            break;
        case kBlockStatistics:
            ok = haveStats = stats->ReadFromStream(s);
            break;
        case kBlockKeyWords:
            ok = KWSettingsRead(s, keyWords->KWSettings) && keyWords->ReadFromStream(s);
            break;
        case kBlockConsistency:
            ok = consistency->ReadFromStream(s);
            break;
        case kBlockRelationships:
            // Kept as it is: the index's part of the document reads it.
            ok = keepBlock(relationships, length);
            break;
        case kBlockCheck: {
            // Files written before the check have none, and read as ever.
            uint32_t stored = 0, computed = 0;
            ok = length == 4 && s.ReadU32(stored) && StreamCrc(s, documentStart, blockStart, computed);
            if (ok && stored != computed) {
                damage = QStringLiteral("it is damaged (its check does not match its contents)");
                ok = false;
            }
            break;
        }
        case kBlockEnd:
            ended = true;
            break;
        default:
            // A block of a later layout: skipped.
            ok = s.Skip(length);
            break;
        }
        if (!ok || s.Position() != start + int64_t(length)) {
            fNotes = notesBefore;
            return false;
        }
    }
    // Nothing follows the end block in a file this program writes (in any
    // of its layouts): bytes after it are damage, as the index's files
    // refuse them, and may be what is left of a longer list.
    if (s.Remaining() > 0) {
        damage = QStringLiteral("it is damaged (it has %1 bytes beyond its end)").arg(s.Remaining());
        fNotes = notesBefore;
        return false;
    }
    if (!haveText || !haveWords || !haveStats) {
        fNotes = notesBefore;
        return false;
    }
    // The running words a list stands for are words of its texts: a list
    // that says it stands for more than its texts hold (as a damaged or
    // forged header may) would make every share and every keyness wrong.
    const TStatsRec* overall = stats->Count() > 0 ? &stats->Row(0)->Data() : nullptr;
    const int64_t textWords = overall ? std::max(overall->TokensInText, overall->TokensUsed) : 0;
    for (const TCVWordList* list : {words.get(), indexWords.get()}) {
        if (!list)
            continue;
        if (textWords > 0 && list->TotalTokens() > textWords) {
            damage = QStringLiteral("it is damaged (its list stands for %1 running words, but its texts hold %2)")
                         .arg(list->TotalTokens())
                         .arg(textWords);
            fNotes = notesBefore;
            return false;
        }
        const QString impossible = list->ImpossibleValue();
        if (!impossible.isEmpty()) {
            damage = QStringLiteral("it is damaged (%1)").arg(impossible);
            fNotes = notesBefore;
            return false;
        }
    }
    if (!partCounts.isEmpty()) {
        TMemoryStream m(std::vector<uint8_t>(partCounts.begin(), partCounts.end()));
        if (!words->ReadPartCounts(m) || m.Remaining() != 0) {
            damage = QStringLiteral("it is damaged (its counts by part do not fit its words)");
            fNotes = notesBefore;
            return false;
        }
    }
    for (const TCVWordList* list : {words.get(), indexWords.get()})
        if (list && list->RanksRenumberedOnReading() > 0)
            AddOneLaterNote(QStringLiteral("Ranks renumbered on opening: %1 of the %2 entries had a rank that was not "
                                           "their place by frequency (kept from before rows were zapped or joined)")
                                .arg(list->RanksRenumberedOnReading())
                                .arg(list->Count()));
    fWordList = std::move(words);
    fIndexWordList = std::move(indexWords);
    fStats = std::move(stats);
    fKeywordsList = std::move(keyWords);
    fDetailedConsistencyList = std::move(consistency);
    fRelationshipsBlock = std::move(relationships);
    WordlistSettings = wordlistSettings;
    CVBaseFilenames(*fStats);
    return true;
}

bool T_WholeWordlistHolder::MergeWith(TCorvantisholder& other, bool withNote)
{
    auto* o = dynamic_cast<T_WholeWordlistHolder*>(&other);
    if (!o || o == this || !fWordList || !o->fWordList)
        return false;
    const int32_t texts = (fStats->Count() > 0 ? fStats->Overall().Data().Texts : 0)
        + (o->fStats->Count() > 0 ? o->fStats->Overall().Data().Texts : 0);
    if (!fWordList->MergeWith(*o->fWordList))
        return false;
    // The overall rows weigh by their own tokens used: the lists' totals are
    // running words (or what Compute > Tokens left), not tokens used.
    if (o->fStats->Count() > 0) {
        if (fStats->Count() == 0)
            fStats->CopyRowsFrom(*o->fStats);
        else
            fStats->MergeWith(*o->fStats, texts, 0, 0);
    }
    if (o->fKeywordsList->Count() > 0)
        fKeywordsList->MergeWith(*o->fKeywordsList);
    const int32_t files = fTotalFilesToProcess;
    if (!TCorvantisholder::MergeWith(other, withNote))
        return false;
    fTotalFilesToProcess = files + o->fTotalFilesToProcess;
    if (Using_Lemmalist && TLemmatiser::Instance().IsLoaded(current_tool_var, TLemmatiserListKind::Lemma))
        fWordList->CheckLemmas(false);
    CVBaseFilenames(*fStats);
    CorvantisHolderMainListCount(fWordList->Count());
    return true;
}

// ---------------------------------------------------------------------------
// Virtual operations

void T_WholeWordlistHolder::AddTextSettingsNotes()
{
    TCorvantisholder::AddTextSettingsNotes();
    const TWordlistSettingsRec& w = WordlistSettings;
    if (w.MinFrequency() > 1)
        fNotes << QStringLiteral("Minimum frequency\t%1").arg(w.MinFrequency());
    if (w.MaxFrequency() > 0)
        fNotes << QStringLiteral("Maximum frequency\t%1").arg(w.MaxFrequency());
    if (w.MinTexts() > 1)
        fNotes << QStringLiteral("Minimum texts\t%1").arg(w.MinTexts());
    const auto& lem = TLemmatiser::Instance();
    if (Using_Stoplist && lem.IsLoaded(current_tool_var, TLemmatiserListKind::Stop))
        fNotes << QStringLiteral("Stop list\t%1").arg(lem.LoadedFileName(current_tool_var, TLemmatiserListKind::Stop));
    if (Using_Lemmalist && lem.IsLoaded(current_tool_var, TLemmatiserListKind::Lemma))
        fNotes << QStringLiteral("Lemma list\t%1").arg(lem.LoadedFileName(current_tool_var, TLemmatiserListKind::Lemma));
}

uint64_t T_WholeWordlistHolder::ChangedListTypes()
{
    return ListTypesWithChangeMark({fWordList.get(), fIndexWordList.get(), fStats.get(), fKeywordsList.get(),
                                    fDetailedConsistencyList.get()});
}

void T_WholeWordlistHolder::ClearHeldLists()
{
    TCorvantisholder::ClearHeldLists();
    if (fKeywordsList)
        fKeywordsList->ClearButNotGridHeadings();
}

void T_WholeWordlistHolder::UpdateSettingsFromTextbuf(int code, TCVBaseDataClass* list, int displayKind)
{
    TCorvantisholder::UpdateSettingsFromTextbuf(code, list, displayKind);
    ApplyTagDisplay();
    if (code == kCodeReReadSettings)
        WordlistSettings = GetWordlistSettings();
}

} // namespace cv
