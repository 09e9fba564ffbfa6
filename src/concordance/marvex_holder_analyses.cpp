// Part of T_WholeMarvexHolder (concordance/marvex_holder.h), the concordance
// document, whose members stand in files by topic (marvex_holder.cpp: its
// lists, the one-text run and the plot). Here: what the document derives
// from its lines besides the plot: collocates and their association scores,
// concordance clusters, patterns, the timeline, and the batch job that
// writes the collocates of every word of a word list.

#include "concordance/collocate_relationships.h"
#include "concordance/conc_text_files.h"
#include "concordance/marvex_holder.h"

#include "model/chosen_files.h"
#include "runtime/progress.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/logging.h"
#include "suite/menu_commands.h"
#include "suite/my_types.h"
#include "suite/private_files.h"
#include "suite/resource_strings.h"
#include "suite/window_messages.h"
#include "textread/tag_handler.h"
#include "wordlist/word_folding.h"
#include "wordlist/wordlist_holder.h"

#include <QDir>
#include <QFileInfo>
#include <QTimeZone>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <bit>
#include <unordered_map>

namespace cv {

void TReferenceWordlistDeleter::operator()(T_WholeWordlistHolder* p) const
{
    delete p;
}

namespace {

// More periods than this are taken as dates gone wrong, not a timeline.
constexpr int64_t kMaxTimelinePeriods = 100000;

constexpr uint32_t kLangTurkish = 0x1F;
constexpr uint32_t kLangAzeri = 0x2C;

// Capitals one unit for one, so that every word keeps its place in the line
// (a character whose capital is longer, as German sharp s, stays as it is).
void CapitaliseInPlace(QString& text, uint32_t languageId)
{
    const uint32_t primary = languageId & 0x3FF;
    const bool dottedI = primary == kLangTurkish || primary == kLangAzeri;
    char16_t* p = reinterpret_cast<char16_t*>(text.data());
    const qsizetype n = text.size();
    for (qsizetype k = 0; k < n; ++k) {
        const char16_t c = p[k];
        if (c < 0x80) {
            if (c >= u'a' && c <= u'z')
                p[k] = (dottedI && c == u'i') ? char16_t(0x0130) : char16_t(c - 32);
            continue;
        }
        if (QChar::isHighSurrogate(c) && k + 1 < n && QChar::isLowSurrogate(p[k + 1])) {
            const char32_t up = QChar::toUpper(QChar::surrogateToUcs4(c, p[k + 1]));
            if (QChar::requiresSurrogates(up)) {
                p[k] = QChar::highSurrogate(up);
                p[k + 1] = QChar::lowSurrogate(up);
            }
            ++k;
            continue;
        }
        if (dottedI && c == 0x0131) {
            p[k] = u'I';
            continue;
        }
        const char32_t up = QChar::toUpper(char32_t(c));
        if (!QChar::requiresSurrogates(up))
            p[k] = char16_t(up);
    }
}

bool ContainsDigit(QStringView w)
{
    return std::any_of(w.begin(), w.end(), [](QChar c) { return c.isDigit(); });
}

QString WithoutMarkup(QString s)
{
    for (qsizetype open = s.indexOf(u'<'); open >= 0; open = s.indexOf(u'<', open)) {
        const qsizetype close = s.indexOf(u'>', open + 1);
        if (close < 0)
            break;
        s.remove(open, close - open + 1);
    }
    return s;
}

bool InRange(int64_t v, int64_t lo, int64_t hi)
{
    return v >= lo && v <= hi;
}

} // namespace

// ---------------------------------------------------------------------------
// The line as the analyses see it

int T_WholeMarvexHolder::LineWorkingCopy(int lineIndex, TMarvexEntryRec& rec)
{
    const int lines = fConcordanceList->Count();
    if ((lineIndex & 0xFF) == 0) {
        GlobalProgress().OverallPercent(lines > 0 ? int(int64_t(lineIndex) * 100 / lines) : 0);
        MyYieldProcess();
    }
    if (lineIndex < 0 || lineIndex >= lines) {
        rec = {};
        return 0;
    }
    rec = fConcordanceList->MarvexData(lineIndex);
    if (!fSettings.CaseSensitive())
        CapitaliseInPlace(rec.conc_line, ftextsettings.LanguageId());
    return int(rec.conc_line.size());
}

template <typename TVisit>
bool T_WholeMarvexHolder::ForEachAnalysedLine(TVisit&& visit)
{
    const int lines = fConcordanceList->Count();
    TMarvexEntryRec rec;
    for (int i = 0; i < lines; ++i) {
        if (global_panic_state >= kPanicStopNow)
            return false;
        if (fConcordanceList->GetDeleted(i) || LineWorkingCopy(i, rec) == 0)
            continue;
        visit(rec);
    }
    return true;
}

QString T_WholeMarvexHolder::HitWordAsFound(const TMarvexEntryRec& rec, const TSearch_word_format_rec& sw) const
{
    const TMarvexEntryRecBase& b = rec.base;
    const bool plainHasWord =
        std::any_of(sw.Plain().begin(), sw.Plain().end(), [](QChar c) { return c.isLetterOrNumber(); });
    QString hit;
    if (b.sw_starts >= 1 && b.sw_finishes > b.sw_starts && b.sw_finishes <= rec.conc_line.size() && !Using_Lemmalist
        && sw.Typed() != sw.Plain() && plainHasWord)
        hit = rec.conc_line.mid(b.sw_starts, b.sw_finishes - b.sw_starts);
    else
        hit = sw.Plain();
    return WithoutMarkup(hit);
}

// ---------------------------------------------------------------------------
// Collocates

bool T_WholeMarvexHolder::ComputeCollocates()
{
    const int lines = fConcordanceList->Count();
    if (lines == 0)
        return false;
    fCollocateList->Clear();
    const TTextSettings text = ftextsettings;
    LoadStopListIfWanted();
    fSettings.SetPunctuationBarrier(GetConcSaveRec().PunctuationBarrier());
    TCollocateTree tree(fSettings, Using_Stoplist);
    fCollocateList->Clear();
    fCollocateList->SetListBusy(kListBusy);
    fCollocateList->ComputeLeftAndRightSpan(fSettings);
    fCollocateList->ResetHeadingsForSpan();
    fCollocateList->SetScoreColumnsHidden(true);
    GlobalProgress().ProgressShortMessage(CVCollocates);

    const TSpan span = tree.Span();
    const int barrier = fSettings.PunctuationBarrier();
    const bool keepNumbers = text.KeepNumbers();
    const bool cancelled = !ForEachAnalysedLine([&](const TMarvexEntryRec& rec) {
        const int32_t sw = rec.base.sw_number;
        const bool knownSw = sw >= 0 && sw < fSWs->Count();
        const QString hit = knownSw ? HitWordAsFound(rec, fSWs->Item(sw)) : QString();
        const int from = OutwardSearch(rec, span.left, barrier);
        const int to = OutwardSearch(rec, span.right, barrier);
        for (int p = from; p <= to; ++p) {
            QStringView chars;
            int length = 0;
            if (!TConcordanceList::WordAtCollocatePosition(rec, p, chars, length))
                continue;
            TCollocTreeRec node;
            node.wd = chars.toString();
            if (!keepNumbers && ContainsDigit(node.wd))
                node.wd = QStringLiteral("#");
            node.tag_number_1Based = WordAtPosition(rec, p).Tag_number_1Based;
            node.search_w = hit;
            if (p == kHitPosition)
                node.s_w_number = -99;
            else
                node.s_w_number = tree.MergesSearchWords() ? -2 : sw;
            node.textnumbers = {rec.base.filename_num_original};
            node.freqs.assign(size_t(span.Width()), 0);
            node.freqs[size_t(p - span.left)] = 1;
            tree.AddNode(std::move(node));
        }
    });
    if (!cancelled)
        tree.Collect(*fCollocateList, SavedTagsAsStoredArray());
    work_done.Collocates_computed = fCollocateList->Count() > 0;
    if (Using_Lemmalist)
        fCollocateList->CheckLemmas(false);
    if (Using_Stoplist)
        fCollocateList->CheckStops();
    fCollocateList->Set1Sort(0, TCollocateList::kColTotal);
    while (fCollocateList->SortLevel(0).ascending)
        fCollocateList->ToggleMainSortAscends();
    fCollocateList->CompleteResort();
    fCollocateList->SetListBusy(kListNotBusy);
    LinkLists();
    GlobalProgress().ProgressShortMessage(QString());
    return work_done.Collocates_computed;
}

void T_WholeMarvexHolder::REComputeCollocateAssociation(const QString& referenceFile,
                                                        TCollocateRelationshipChoices& choices,
                                                        const TCollocateRelationshipOptions& options,
                                                        int32_t preferredColumn)
{
    preferred_column_for_joint = preferredColumn;
    choices = {};
    if (fCollocateList->Count() == 0) {
        choices.failure = fConcordanceList->Count() == 0
            ? QStringLiteral("The concordance has no lines, so it has no collocates to relate.")
            : QStringLiteral("There are no collocates to relate: compute the collocates first.");
        ReportedAFact(choices.failure);
        return;
    }
    if (referenceFile.isEmpty() || !QFileInfo::exists(referenceFile)) {
        choices.failure = QStringLiteral("Cannot find the reference word list \"%1\".").arg(referenceFile);
        FailedToFind(referenceFile.isEmpty() ? QStringLiteral("(no reference word list chosen)") : referenceFile);
        return;
    }
    if (fCollocateList->ColumnCount() < TCollocateList::kStandardColumns)
        fCollocateList->ResetHeadingsForSpan();
    if (LoggingIsOn())
        AddToLogFile(QStringLiteral("using %1 to compute relationships").arg(referenceFile));
    GlobalProgress().ClearBarsOnly();
    GlobalProgress().ProgressShortMessage(CVCollocateRelationship);

    bool ok = false;
    {
        const int32_t panic = global_panic_state;
        T_WholeWordlistHolder reference(kListWordList, TagsToTranslate, TextTagHandler, Using_Lemmalist,
                                        Using_Stoplist);
        // Making a word-list document resets the cancel state; a cancel asked for before stays.
        global_panic_state = std::max<uint8_t>(global_panic_state, uint8_t(panic));
        if (reference.ReadWholeFromFile(referenceFile)) {
            const TCVWordList* list = reference.WordlistOfType(kListWordList);
            TCollocateRelationshipOptions opts = options;
            if (opts.referenceName.isEmpty())
                opts.referenceName = referenceFile;
            opts.languageId = ftextsettings.LanguageId();
            TCollocateNodes nodes;
            nodes.searchWords = fSWs->TypedSearchWords();
            nodes.linesPerSearchWord.assign(size_t(fSWs->Count()), 0);
            for (int i = 0; i < fConcordanceList->Count(); ++i) {
                if (fConcordanceList->GetDeleted(i))
                    continue;
                ++nodes.allLines;
                const int32_t sw = fConcordanceList->Line(i).fData.base.sw_number;
                if (sw >= 0 && sw < fSWs->Count())
                    ++nodes.linesPerSearchWord[size_t(sw)];
            }
            ok = list
                && ComputeCollocateRelationships(*fCollocateList, *list, list->TotalTokens(), choices, opts,
                                                 preferredColumn,
                                                 {fSettings.CollocHorizonLeft(), fSettings.CollocHorizonRight()},
                                                 nodes);
            if (!list)
                choices.failure = QStringLiteral("\"%1\" holds no word list.").arg(referenceFile);
            WriteSettingsToLog(ok, QStringLiteral("ComputeCVsCollocateAssociation"));
            if (!ok && !choices.failure.isEmpty())
                ReportedAFact(choices.failure);
        } else {
            // The reader has told the user why (file and reason).
            choices.failure = QStringLiteral("Cannot read the reference word list \"%1\": %2")
                                  .arg(referenceFile, reference.LastReadError());
            fCollocateList->CollocateSettings.saved_relationships_computed = false;
        }
    }
    if (LoggingIsOn())
        AddToLogFile(QStringLiteral("result: %1").arg(ok ? QStringLiteral("true") : QStringLiteral("false")));
    if (ok)
        fCollocateList->SetChangeMark(1u << 8);
    work_done.Association_computed = true;
    Global_Busy_Dont_Show_Data = false;
    GlobalProgress().ProgressShortMessage(QString());
}

bool T_WholeMarvexHolder::LoadedAReferenceCorpusWordlist(const QString& fileName)
{
    const int32_t panic = global_panic_state;
    fReferenceCorpusWordlist.reset(new T_WholeWordlistHolder(kListWordList, TagsToTranslate, TextTagHandler,
                                                              Using_Lemmalist, Using_Stoplist));
    global_panic_state = std::max<uint8_t>(global_panic_state, uint8_t(panic));
    if (!fReferenceCorpusWordlist->ReadWholeFromFile(fileName)) {
        fReferenceCorpusWordlist.reset();
        return false;
    }
    ReferenceCorpusWordlistFilename = fileName;
    if (TCVWordList* list = fReferenceCorpusWordlist->WordlistOfType(kListWordList))
        list->SortAlphabetically();
    fReferenceCorpusWordlist->ComputedRankOrdersOfWords();
    return true;
}

// ---------------------------------------------------------------------------
// Concordance clusters

namespace {

// Counts word runs without making a text for each: every word gets a number,
// and a run is a node reached from the run one word shorter by its last
// word, so each position of a line costs one look-up. Runs are the same
// when their words are (a search word of several words counts as its words).
class TClusterCounter {
public:
    struct TNode {
        uint32_t prefix = 0; // the run without its last word (0: none)
        uint32_t word = 0;
        int32_t frequency = 0;
        int32_t length = 0;  // as the cluster list counts it
        int32_t kept = -1;   // place in the cluster list
    };

    TClusterCounter() { fNodes.emplace_back(); }

    uint32_t WordNumber(QStringView word)
    {
        const QString w = word.toString();
        if (const auto it = fWordNumbers.find(w); it != fWordNumbers.end())
            return it->second;
        fWords.push_back(w);
        const uint32_t n = uint32_t(fWords.size());
        fWordNumbers.emplace(w, n);
        return n;
    }
    // The run `node` followed by `word`; made when `make` is set, else 0 when unknown.
    uint32_t Next(uint32_t node, uint32_t word, bool make = true)
    {
        // Open addressing: a slot holds a node's number, its key is the node's (prefix, word).
        if (make && (fSlots.empty() || fNodes.size() * 2 >= fSlots.size()))
            Grow();
        if (fSlots.empty())
            return 0;
        const size_t mask = fSlots.size() - 1;
        for (size_t i = Slot(node, word);; i = (i + 1) & mask) {
            const uint32_t n = fSlots[i];
            if (n == 0) {
                if (!make)
                    return 0;
                fNodes.push_back({node, word, 0, 0, -1});
                fSlots[i] = uint32_t(fNodes.size() - 1);
                return fSlots[i];
            }
            if (fNodes[n].prefix == node && fNodes[n].word == word)
                return n;
        }
    }
    TNode& Node(uint32_t n) { return fNodes[n]; }
    size_t NodeCount() const { return fNodes.size(); }
    // The words of a run, first to last.
    std::vector<uint32_t> Words(uint32_t node) const
    {
        std::vector<uint32_t> out;
        for (; node != 0; node = fNodes[node].prefix)
            out.push_back(fNodes[node].word);
        std::reverse(out.begin(), out.end());
        return out;
    }
    QString Text(uint32_t node) const
    {
        QString t;
        for (uint32_t w : Words(node)) {
            if (!t.isEmpty())
                t += u' ';
            t += fWords[w - 1];
        }
        return t;
    }

private:
    size_t Slot(uint32_t node, uint32_t word) const
    {
        const uint64_t key = ((uint64_t(node) << 32) | word) * 0x9E3779B97F4A7C15ull;
        return size_t(key >> fShift);
    }
    void Grow()
    {
        const size_t size = std::max<size_t>(1u << 16, fSlots.size() * 2);
        fShift = 64 - std::countr_zero(size);
        fSlots.assign(size, 0);
        const size_t mask = size - 1;
        for (uint32_t n = 1; n < fNodes.size(); ++n) {
            size_t i = Slot(fNodes[n].prefix, fNodes[n].word);
            while (fSlots[i] != 0)
                i = (i + 1) & mask;
            fSlots[i] = n;
        }
    }

    std::vector<TNode> fNodes;
    std::vector<uint32_t> fSlots; // 0: empty (node 0 is the empty run, never stored)
    int fShift = 64;
    // A std:: map: an insert without the memory for it throws and leaves
    // the map as it was (a QHash ends the program there).
    std::unordered_map<QString, uint32_t> fWordNumbers;
    std::vector<QString> fWords;
};

// Every pair of kept clusters of which the longer's text contains the
// shorter's, at word boundaries (a run of its words; "a cat" is no part of
// "sofa cat sat"): each names the other with its frequency in its
// related-clusters string. The list runs longest first, so a cluster's
// shorter relatives all come after it: taking the clusters in order gives
// the pairs in the order of the list.
void RelateClusters(std::vector<TClusterEntryRec>& clusters, const std::vector<uint32_t>& nodeOf,
                    TClusterCounter& counter)
{
    for (size_t i = 0; i < nodeOf.size(); ++i)
        counter.Node(nodeOf[i]).kept = int32_t(i);
    auto append = [](TClusterEntryRec& to, const TClusterEntryRec& other) {
        if (!to.related_line.isEmpty())
            to.related_line += u',';
        to.related_line += other.line;
        to.related_line += QLatin1String(" (");
        to.related_line += QString::number(other.frequency);
        to.related_line += u')';
    };
    std::vector<int32_t> inside;
    for (size_t i = 0; i < clusters.size(); ++i) {
        if ((i & 0xFFF) == 0) {
            GlobalProgress().OverallPercent(int(int64_t(i) * 100 / int64_t(clusters.size())));
            MyYieldProcess();
        }
        const std::vector<uint32_t> words = counter.Words(nodeOf[i]);
        const size_t n = words.size();
        inside.clear();
        for (size_t start = 0; start < n; ++start) {
            uint32_t node = 0;
            for (size_t k = start; k < n && !(start == 0 && k == n - 1); ++k) {
                node = counter.Next(node, words[k], false);
                if (node == 0)
                    break;
                if (const int32_t j = counter.Node(node).kept; j >= 0 && size_t(j) != i)
                    inside.push_back(j);
            }
        }
        std::sort(inside.begin(), inside.end());
        inside.erase(std::unique(inside.begin(), inside.end()), inside.end());
        for (int32_t j : inside) {
            append(clusters[i], clusters[size_t(j)]);
            append(clusters[size_t(j)], clusters[i]);
        }
    }
}

} // namespace

bool T_WholeMarvexHolder::ComputeClusters(bool keep_lengths)
{
    const TConcSettingsRec32 shared = GetConcSaveRec();
    if (!keep_lengths) {
        fSettings.SetClusterLengthMin(shared.ClusterLengthMin());
        fSettings.SetClusterLengthMax(shared.ClusterLengthMax());
    }
    fClusterList->Clear();
    fSettings.SetPunctuationBarrier(shared.PunctuationBarrier());
    const int from = std::max(0, kHitPosition - int(fSettings.ClusterReachLeft()));
    const int to = std::min(kWordPositions - 1, kHitPosition + int(fSettings.ClusterReachRight()));
    const int lines = fConcordanceList->Count();
    if (lines == 0) {
        GlobalProgress().ClearBarsOnly();
        work_done.Clusters_computed = true;
        return false;
    }
    const int minLength = std::max<int>(1, fSettings.ClusterLengthMin());
    const int maxLength = std::max<int>(minLength, fSettings.ClusterLengthMax());
    const int barrier = fSettings.PunctuationBarrier();
    // The minimum cluster frequency as set (1 keeps every run seen).
    const int minimumFrequency = std::max<int>(1, fSettings.MinClusterFrequency());
    // A cluster's length counts its words and the spaces of the document's
    // search word (a search word of two words stands at one position).
    const int swSpaces = int(fSettings.SearchWord().trimmed().count(u' '));
    GlobalProgress().ProgressShortMessage(CVClusters);

    TClusterCounter counter;
    // Per position of the line: its words' numbers (several for a search word
    // of several words) and its barrier.
    std::array<std::vector<uint32_t>, kWordPositions> wordsAt;
    std::array<uint8_t, kWordPositions> barriers{};
    ForEachAnalysedLine([&](const TMarvexEntryRec& rec) {
        for (int p = from; p <= to; ++p) {
            std::vector<uint32_t>& w = wordsAt[size_t(p)];
            w.clear();
            QStringView chars;
            int length = 0;
            if (TConcordanceList::WordAtCollocatePosition(rec, p, chars, length))
                for (QStringView part : chars.split(u' ', Qt::SkipEmptyParts))
                    w.push_back(counter.WordNumber(part));
            barriers[size_t(p)] = WordAtPosition(rec, p).barrier;
        }
        // A cluster starting at s of len positions ends before s + len, which is not beyond `to`.
        for (int s = from; s <= to; ++s) {
            uint32_t node = 0;
            for (int len = 1; len <= maxLength && s + len <= to; ++len) {
                const int last = s + len - 1;
                // A gap, or a barrier after a word that is no longer the last, ends every longer run too.
                if (wordsAt[size_t(last)].empty()
                    || (len > 1 && barrier > 0 && barriers[size_t(last - 1)] >= barrier))
                    break;
                for (uint32_t w : wordsAt[size_t(last)])
                    node = counter.Next(node, w);
                if (len < minLength)
                    continue;
                TClusterCounter::TNode& n = counter.Node(node);
                if (n.frequency++ == 0)
                    n.length = len + swSpaces;
            }
        }
    });

    // The clusters frequent enough, in the order of their texts, then longest first.
    std::vector<std::pair<QString, uint32_t>> kept;
    int32_t mostFrequent = 0;
    for (uint32_t n = 1; n < counter.NodeCount(); ++n) {
        const int32_t f = counter.Node(n).frequency;
        mostFrequent = std::max(mostFrequent, f);
        if (f >= minimumFrequency)
            kept.emplace_back(counter.Text(n), n);
    }
    std::sort(kept.begin(), kept.end(), [](const auto& a, const auto& b) {
        return QStringView(a.first).compare(QStringView(b.first)) < 0;
    });
    std::stable_sort(kept.begin(), kept.end(), [&](const auto& a, const auto& b) {
        return counter.Node(a.second).length > counter.Node(b.second).length;
    });
    std::vector<TClusterEntryRec> clusters;
    std::vector<uint32_t> nodeOf;
    clusters.reserve(kept.size());
    nodeOf.reserve(kept.size());
    for (auto& [text, n] : kept) {
        TClusterEntryRec c;
        c.line = std::move(text);
        c.frequency = counter.Node(n).frequency;
        c.cluster_length = counter.Node(n).length;
        clusters.push_back(std::move(c));
        nodeOf.push_back(n);
    }
    kept = {};
    max_clusters_found = mostFrequent;
    if (minLength != maxLength && !clusters.empty()) {
        GlobalProgress().ProgressLongMessage(QStringLiteral("Relating %1 clusters of %2 to %3 words")
                                                 .arg(clusters.size())
                                                 .arg(minLength)
                                                 .arg(maxLength));
        RelateClusters(clusters, nodeOf, counter);
    }
    for (const TClusterEntryRec& c : clusters)
        fClusterList->AddCluster(c);
    fClusterList->SetChangeMark(1u << 8);
    GlobalProgress().ProgressShortMessage(QString());
    work_done.Clusters_computed = true;
    return fClusterList->Count() > 0;
}

// ---------------------------------------------------------------------------
// Patterns

bool T_WholeMarvexHolder::ComputePatterns()
{
    fPatternsList->Clear();
    const int lines = fConcordanceList->Count();
    if (lines == 0)
        return false;
    LoadStopListIfWanted();
    std::vector<std::unique_ptr<TPatternTree>> trees;
    for (int k = 0; k < kPatternPositions; ++k)
        trees.push_back(std::make_unique<TPatternTree>(fSettings, Using_Stoplist, kFirstPatternPosition + k));
    GlobalProgress().ProgressShortMessage(CVPatterns);
    ForEachAnalysedLine([&](const TMarvexEntryRec& rec) {
        for (int k = 0; k < kPatternPositions; ++k) {
            QStringView chars;
            int length = 0;
            if (TConcordanceList::WordAtCollocatePosition(rec, kFirstPatternPosition + k, chars, length))
                trees[size_t(k)]->AddWord(chars.toString());
        }
    });
    size_t rows = 0;
    for (auto& t : trees) {
        t->Collect();
        // Most frequent first; equal frequencies stay in alphabetical order.
        std::stable_sort(t->fFreqList.begin(), t->fFreqList.end(),
                         [](const TPatternTreeRec& a, const TPatternTreeRec& b) { return a.freq > b.freq; });
        rows = std::max(rows, t->fFreqList.size());
    }
    for (size_t r = 0; r < rows; ++r) {
        TPatternEntryRec row;
        for (int k = 0; k < kPatternPositions; ++k) {
            const auto& list = trees[size_t(k)]->fFreqList;
            if (r < list.size()) {
                row.freqs[size_t(k)] = list[r].freq;
                row.words[size_t(k)] = list[r].w;
            }
        }
        fPatternsList->AddRow(row);
    }
    work_done.Patterns_computed = true;
    GlobalProgress().ProgressShortMessage(QString());
    return fPatternsList->Count() > 0;
}

// ---------------------------------------------------------------------------
// Timeline

void T_WholeMarvexHolder::ComputeTimeline()
{
    // The timeline command's carry-out switch says whether runs make one.
    if (!GetCarryoutProcedureTagBoolean(TagOf(TMenuCommand::Timeline)))
        return;
    fTimeLineList->Clear();
    const int lines = fConcordanceList->Count();
    if (lines == 0)
        return;
    GlobalProgress().ProgressShortMessage(CVTimelines);
    const uint8_t unit = GetTimeLinePlotBase() <= kTimelineDays ? GetTimeLinePlotBase() : uint8_t(kTimelineYears);
    fTimeLineList->SetTimeBasis(unit);

    // A text's date; unknown dates (day number 0 or below) give an invalid date.
    auto dateOf = [](double dayNumber) {
        return dayNumber > 0 ? DateTimeFromDayNumber(dayNumber).date() : QDate();
    };
    const int texts = fTextFilesWithSearchWord->Count();
    auto lineDate = [&](const TMarvexEntryRec& rec) {
        const int t = fTextFilesWithSearchWord->IndexOfTextNumber(rec.base.filename_num_original);
        return dateOf(t >= 0 ? fTextFilesWithSearchWord->Record(t).DayNumber() : rec.base.textfile_date);
    };

    QDate earliest, latest;
    int undatedLines = 0;
    for (int i = 0; i < lines; ++i) {
        if (fConcordanceList->GetDeleted(i))
            continue;
        const QDate d = lineDate(fConcordanceList->Line(i).fData);
        if (!d.isValid()) {
            ++undatedLines;
            continue;
        }
        if (!earliest.isValid() || d < earliest)
            earliest = d;
        if (!latest.isValid() || d > latest)
            latest = d;
    }
    work_done.Timeline_computed = true;
    if (!earliest.isValid()) {
        const QString why = QStringLiteral("No timeline: none of the texts with concordance lines has a date.");
        AddOneLaterNote(why);
        ReportedAFact(why);
        GlobalProgress().ProgressShortMessage(QString());
        return;
    }
    const QDate first = PeriodStart(earliest, unit);
    const QDate last = PeriodEnd(latest, unit);
    const int64_t periods = PeriodsBetween(first, last, unit);
    if (periods > kMaxTimelinePeriods) {
        const QString why = QStringLiteral("No timeline: the texts' dates (%1 to %2) span %3 %4, too many to show.")
                                .arg(earliest.toString(Qt::ISODate), latest.toString(Qt::ISODate))
                                .arg(periods)
                                .arg(TimelineUnitName(unit));
        AddOneLaterNote(why);
        ReportedAFact(why);
        GlobalProgress().ProgressShortMessage(QString());
        return;
    }
    const double firstDay = DayNumberFromDateTime(first.startOfDay(QTimeZone::utc()));
    const double lastDay = DayNumberFromDateTime(last.startOfDay(QTimeZone::utc()));
    auto periodOf = [&](const QDate& d) -> int64_t {
        if (!d.isValid() || d < first || d > last)
            return -1;
        return PeriodIndex(first, d, unit);
    };

    const int sws = fSWs->Count();
    std::vector<TTimeLineRow> rows(static_cast<size_t>(sws));
    for (int s = 0; s < sws; ++s) {
        TTimeLineRow& r = rows[size_t(s)];
        r.rec.SetPeriodUnit(unit);
        r.rec.SetFirstDate(firstDay);
        r.rec.SetLastDate(lastDay);
        r.rec.SetSearchWordNumber(s);
        r.periods.assign(size_t(periods), {});
        r.label = fSWs->Item(s).Typed();
    }
    TTimeLineEntry& overall = *fTimeLineList->OverallTimeLineEntry;
    overall.Rec().SetPeriodUnit(unit);
    overall.Rec().SetFirstDate(firstDay);
    overall.Rec().SetLastDate(lastDay);
    overall.Rec().SetSearchWordNumber(-1);
    overall.Rec().SetIsOverall(true);
    overall.Periods().assign(size_t(periods), {});
    overall.Label() = CVOverall.toString();
    int64_t allWords = 0, allHits = 0;

    // Words: every text with lines counts for every search word.
    for (int t = 0; t < texts; ++t) {
        const TMarvexFilenameRec r = fTextFilesWithSearchWord->Record(t);
        const int64_t k = periodOf(dateOf(r.DayNumber()));
        if (k < 0)
            continue;
        const uint32_t w = uint32_t(r.WordCount());
        overall.Periods()[size_t(k)].words += w;
        allWords += w;
        for (TTimeLineRow& row : rows) {
            row.periods[size_t(k)].words += w;
            row.rec.SetWords(row.rec.Words() + int32_t(w));
            row.rec.SetMaxPeriodWords(std::max<int32_t>(row.rec.MaxPeriodWords(), int32_t(row.periods[size_t(k)].words)));
        }
    }
    for (int u = 0; u < fTextFilesWithoutSearchWord->Count(); ++u) {
        const TUnusedFileRec r = fTextFilesWithoutSearchWord->Record(u);
        const int64_t k = periodOf(dateOf(r.Juliandate));
        if (k < 0)
            continue;
        overall.Periods()[size_t(k)].words += uint32_t(std::max(0, r.wordcount));
        allWords += std::max(0, r.wordcount);
    }

    // Hits.
    for (int i = 0; i < lines; ++i) {
        if ((i & 0xFF) == 0) {
            GlobalProgress().OverallPercent(int(int64_t(i) * 100 / lines));
            MyYieldProcess();
        }
        if (fConcordanceList->GetDeleted(i))
            continue;
        const TMarvexEntryRec& rec = fConcordanceList->Line(i).fData;
        const int32_t s = rec.base.sw_number;
        if (s < 0 || s >= sws || fTextFilesWithSearchWord->IndexOfTextNumber(rec.base.filename_num_original) < 0)
            continue;
        const int64_t k = periodOf(lineDate(rec));
        if (k < 0)
            continue;
        TTimeLineRow& row = rows[size_t(s)];
        const uint32_t h = ++row.periods[size_t(k)].hits;
        row.rec.SetHits(row.rec.Hits() + 1);
        row.rec.SetMaxPeriodHits(std::max<int32_t>(row.rec.MaxPeriodHits(), int32_t(h)));
        ++overall.Periods()[size_t(k)].hits;
        ++allHits;
    }

    for (TTimeLineRow& row : rows) {
        row.rec.SetRate(row.rec.Words() > 0 ? float(row.rec.Hits()) * 1000.0f / float(row.rec.Words()) : -1.0f);
        fTimeLineList->AddRow(row);
    }
    int32_t maxHits = 0, maxWords = 0;
    for (const TTimelinePeriod& p : overall.Periods()) {
        maxHits = std::max<int32_t>(maxHits, int32_t(p.hits));
        maxWords = std::max<int32_t>(maxWords, int32_t(p.words));
    }
    overall.Rec().SetHits(int32_t(allHits));
    overall.Rec().SetWords(int32_t(std::min<int64_t>(allWords, INT32_MAX)));
    overall.Rec().SetMaxPeriodHits(maxHits);
    overall.Rec().SetMaxPeriodWords(maxWords);
    overall.Rec().SetRate(allWords > 0 ? float(allHits) * 1000.0f / float(allWords) : -1.0f);
    fTimeLineList->ComputeDispersion();
    if (undatedLines > 0) {
        const QString why =
            QStringLiteral("%1 concordance lines come from texts without a date and are left out of the timeline.")
                .arg(undatedLines);
        AddOneLaterNote(why);
        ReportedAFact(why);
    }
    GlobalProgress().ProgressShortMessage(QString());
}

// ---------------------------------------------------------------------------
// Collocates of every word of a word list

int T_WholeMarvexHolder::ComputeAndSaveCollocatesForWholeWordList(T_WholeWordlistHolder& wordlist,
                                                                  const QString& folder)
{
    if (!QDir().mkpath(folder)) {
        CannotWriteToXFolder(folder);
        return -1;
    }
    if (auto* tags = dynamic_cast<TTextTagHandler*>(TextTagHandler))
        tags->ReloadIfModified(SuiteTempFolder());
    const TCollocateScriptSettings limits = GetCollocateScriptSettings();
    const TConcgramMutualChecks checks = GetConcgramMutualChecks();
    const std::unique_ptr<TCVFileDetails> chosen = wordlist.fStats ? wordlist.fStats->BuildCVFileDetails() : nullptr;
    const TCVWordList* list = wordlist.WordlistOfType(kListWordList);
    if (!chosen || chosen->FileCount() == 0 || !list) {
        ReportedAFact(QStringLiteral("The word list names no texts to make concordances from."));
        return 0;
    }
    const QString thresholds = RelationshipThresholdsText(checks);
    const TWordFolder folder_(TCaseFolding::Upper, ftextsettings.LanguageId());
    int files = 0;
    const int32_t startPanic = global_panic_state;
    for (int i = 0; i < list->Count(); ++i) {
        MyYieldProcess();
        if (global_panic_state != kPanicRun || startPanic != kPanicRun)
            break;
        const TWordListEntry& entry = list->Entry(i);
        if (entry.Deleted())
            continue;
        const QString word = entry.fWord;
        if (!InRange(word.size(), limits.MinWordLength(), limits.MaxWordLength())
            || !InRange(list->CorrectFreq(i), limits.MinFrequency(), limits.MaxFrequency())
            || !InRange(entry.fData.Texts, limits.MinTexts(), limits.MaxTexts()))
            continue;
        if (fRunsScript)
            HandleScriptProgress(i, list->Count());
        QStringList out;
        out << QStringLiteral("Collocates of \"%1\"").arg(word);
        if (!thresholds.isEmpty())
            out << QStringLiteral("Relationship thresholds: %1").arg(thresholds);

        TSearchWordItems searchWords;
        searchWords.TakeTextSettings(ftextsettings);
        if (searchWords.AddedSearchWords(word) == 0)
            continue;
        T_WholeMarvexHolder doc(kListConcordance, TagsToTranslate, TextTagHandler, Using_Lemmalist, Using_Stoplist);
        // Each word's run keeps quiet: what goes wrong is collected, not shown.
        const bool quiet = Global_run_without_error_messages;
        const bool batch = Global_batch_mode;
        Global_run_without_error_messages = true;
        int32_t converted = 0;
        bool ok = doc.MakeConcordance(*chosen, searchWords, 0, kListConcordance, converted, nullptr, nullptr, nullptr,
                                      nullptr, 0, false);
        Global_run_without_error_messages = quiet;
        Global_batch_mode = batch;
        if (global_panic_state >= kPanicStopAtEndOfText)
            break;
        TCollocateList& collocates = *doc.fCollocateList;
        ok = ok && InRange(collocates.Count(), limits.MinCollocates(), limits.MaxCollocates());
        if (ok) {
            TCollocateRelationshipChoices choices;
            TCollocateNodes nodes;
            nodes.searchWords = doc.fSWs->TypedSearchWords();
            nodes.allLines = doc.fConcordanceList->Count();
            nodes.linesPerSearchWord = {int32_t(nodes.allLines)};
            TCollocateRelationshipOptions options;
            options.referenceName = wordlist.OpenedFilename;
            options.languageId = ftextsettings.LanguageId();
            ok = ComputeCollocateRelationships(collocates, *list, list->TotalTokens(), choices, options,
                                               preferred_column_for_joint,
                                               {doc.fSettings.CollocHorizonLeft(), doc.fSettings.CollocHorizonRight()},
                                               nodes);
            doc.work_done.Association_computed = true;
        }
        if (!ok)
            continue;
        // The statistics follow every column but the search word's and the scores' own.
        QStringList heading;
        std::vector<int> columns;
        for (int c = 0; c < collocates.ColumnCount(); ++c) {
            if (c == TCollocateList::kColSearchWord
                || (c >= TCollocateList::kColFirstScore && c <= TCollocateList::kColLastScore))
                continue;
            columns.push_back(c);
            heading << collocates.Heading(c);
        }
        for (const TAssociationEntry& e : AssociationTable())
            heading << QString::fromUtf8(e.caption.data(), qsizetype(e.caption.size()));
        out << heading.join(u'\t');
        int written = 0;
        const QString node = folder_.Folded(word);
        for (int r = 0; r < collocates.Count(); ++r) {
            const TCollocateEntryRec32& row = collocates.Entry(r)->Data();
            if (row.sw_number == -99 || folder_.Folded(row.word) == node
                || !InRange(row.total, limits.MinFrequency(), limits.MaxFrequency())
                || !doc.work_done.Association_computed || !PassesRelationshipThresholdTests(row, checks))
                continue;
            QStringList cells;
            for (int c : columns) {
                TDrawgridDataRec cell;
                collocates.DrawgridDataRec(r, c, 0, cell);
                cells << cell.text;
            }
            for (int k = 0; k < kAssociationCount; ++k)
                cells << QString::number(row.block.Score(k), 'f', 3);
            out << cells.join(u'\t');
            ++written;
        }
        if (written > 0) {
            const QString file = QDir(folder).filePath(AcceptableFilename(word) + QStringLiteral(".txt"));
            QString error;
            if (SaveUtf16TextFile(file, out, &error)) {
                ++files;
                if (OnProgressMessage)
                    OnProgressMessage(QStringLiteral("Collocates of \"%1\" saved").arg(word));
            } else {
                FailedToSave(file);
                break;
            }
        }
    }
    return files;
}

} // namespace cv
