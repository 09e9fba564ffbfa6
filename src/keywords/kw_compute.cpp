#include "keywords/kw_compute.h"

#include "keywords/keywords_holder.h"
#include "keywords/kw_excel.h"
#include "maths/statistics.h"
#include "runtime/language_list.h"
#include "runtime/progress.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/lemmatiser.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "wordlist/alphabetical_order.h"
#include "wordlist/keyword_list.h"
#include "wordlist/word_list.h"
#include "wordlist/wordlist_holder.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <limits>

namespace cv {

namespace {

int32_t Clamp32(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// What a candidate key word is, before it becomes an entry.
struct TCandidate {
    int32_t studyWord = -1;     // index into the study words, -1: a reference-only word
    int32_t referenceWord = -1; // index into the reference words, -1: absent
    double keyness = 0;
    double p = 1;
    double second = 0;
    double third = 0;
};

// The first index at or after `from` whose word is not before `w`
// (galloping, then a binary search).
std::size_t LowerBoundFrom(const std::vector<TKWMergeWord>& ref, std::size_t from, const TKWMergeWord& w,
                           const TKWWordOrder& order)
{
    const std::size_t n = ref.size();
    if (from >= n || order.Compare(ref[from], w) >= 0)
        return from;
    // ref[lo] < w throughout.
    std::size_t lo = from, step = 1, hi = from + 1;
    while (hi < n && order.Compare(ref[hi], w) < 0) {
        lo = hi;
        step *= 2;
        hi = lo + step;
    }
    hi = std::min(hi, n);
    // First not-before in (lo, hi].
    std::size_t a = lo + 1, b = hi;
    while (a < b) {
        const std::size_t mid = a + (b - a) / 2;
        if (order.Compare(ref[mid], w) < 0)
            a = mid + 1;
        else
            b = mid;
    }
    return a;
}

bool HasJoinedForms(const TCVWordList& list)
{
    for (int i = 0; i < list.Count(); ++i)
        if (list[i].JoinedCount() > 0)
            return true;
    return false;
}

} // namespace

// ---------------------------------------------------------------------------
// Word order

TKWWordOrder::TKWWordOrder(const QString& collationName)
    : fCollation(collationName), fOrderer(std::make_unique<TAlphabeticalOrderer>(collationName))
{
    fFast = fOrderer->FastRoad();
    if (!fFast)
        return;
    // The alphabet of the fast road in the collator's order gives the ranks.
    std::vector<char16_t> alphabet;
    for (char16_t c = 1; c < 128; ++c)
        if (fOrderer->OnFastRoad(std::u16string_view(&c, 1)))
            alphabet.push_back(c);
    std::vector<std::u16string_view> views;
    views.reserve(alphabet.size());
    for (const char16_t& c : alphabet)
        views.emplace_back(&c, 1);
    const std::vector<uint32_t> order = fOrderer->Order(views);
    for (std::size_t k = 0; k < order.size(); ++k)
        fRank[alphabet[order[k]]] = uint8_t(k + 1);
}

TKWWordOrder::~TKWWordOrder() = default;

bool TKWWordOrder::OnFastRoad(std::u16string_view w) const
{
    if (!fFast || w.empty())
        return false;
    for (const char16_t c : w)
        if (c >= 128 || fRank[c] == 0)
            return false;
    return true;
}

int TKWWordOrder::Compare(const TKWMergeWord& x, const TKWMergeWord& y) const
{
    if (x.fast && y.fast) {
        const int32_t n = std::min(x.length, y.length);
        for (int32_t k = 0; k < n; ++k)
            if (x.chars[k] != y.chars[k])
                return fRank[x.chars[k]] < fRank[y.chars[k]] ? -1 : 1;
        return x.length < y.length ? -1 : (x.length > y.length ? 1 : 0);
    }
    return fOrderer->Compare(x.View(), y.View());
}

std::vector<TKWMergeWord> TKWWordOrder::Words(const TCVWordList& list, bool* sorted) const
{
    std::vector<TKWMergeWord> out;
    out.reserve(std::size_t(list.Count()));
    bool inOrder = true;
    for (int i = 0; i < list.Count(); ++i) {
        if (list.GetDeleted(i))
            continue;
        const QString& word = list.Entry(i).fWord;
        const std::u16string_view v(reinterpret_cast<const char16_t*>(word.constData()), std::size_t(word.size()));
        const int64_t freq = list.CorrectFreq(i, true);
        const int32_t texts = list.Entry(i).fData.Texts;
        if (!out.empty() && out.back().View() == v) {
            out.back().freq += freq;
            out.back().texts = std::max(out.back().texts, texts);
            continue;
        }
        TKWMergeWord w;
        w.chars = v.data();
        w.length = int32_t(v.size());
        w.fast = OnFastRoad(v);
        w.freq = freq;
        w.texts = texts;
        w.entry = i;
        if (inOrder && !out.empty() && Compare(out.back(), w) > 0)
            inOrder = false;
        out.push_back(w);
    }
    if (sorted)
        *sorted = inOrder;
    return out;
}

QString CollationOfLanguage(uint32_t language, const QString& fallback)
{
    const TLanguageList& languages = TLanguageList::Instance();
    const int i = languages.IndexOfLCID(language);
    if (i >= 0 && !languages.At(i).localeName.isEmpty())
        return languages.At(i).localeName;
    return fallback;
}

bool EnsureAlphabeticalForKeyWords(uint32_t language, TCVWordList& list)
{
    const QString collation = CollationOfLanguage(language, list.CollationName());
    bool sorted = false;
    {
        const TKWWordOrder order(collation);
        order.Words(list, &sorted);
    }
    if (sorted)
        return false;
    list.SetLocale(language ? language : list.LCID(), collation);
    list.SortAlphabetically();
    return true;
}

// ---------------------------------------------------------------------------
// The reference list of a run

TKWReferenceList::TKWReferenceList(TCVWordList& list, uint32_t language) : fList(&list), fLanguage(language)
{
    EnsureAlphabeticalForKeyWords(language, list);
    fOrder = std::make_unique<TKWWordOrder>(CollationOfLanguage(language, list.CollationName()));
    bool sorted = true;
    fWords = fOrder->Words(list, &sorted);
    if (!sorted)
        std::stable_sort(fWords.begin(), fWords.end(),
                         [&](const TKWMergeWord& x, const TKWMergeWord& y) { return fOrder->Compare(x, y) < 0; });
    fByFrequency.resize(fWords.size());
    for (std::size_t k = 0; k < fWords.size(); ++k)
        fByFrequency[k] = int32_t(k);
    std::stable_sort(fByFrequency.begin(), fByFrequency.end(),
                     [&](int32_t x, int32_t y) { return fWords[std::size_t(x)].freq > fWords[std::size_t(y)].freq; });
    fRunningWords = list.TotalTokens();
    if (fRunningWords <= 0)
        for (const TKWMergeWord& w : fWords)
            fRunningWords += w.freq;
    fTexts = list.TotalTexts();
    fHasLemmas = HasJoinedForms(list);
    fStamps.assign(fWords.size(), 0);
}

TKWReferenceList::~TKWReferenceList() = default;

// ---------------------------------------------------------------------------
// The comparison

TKWThresholds ThresholdsFor(const TKeyWordsSettingsRec& settings, int64_t studyRunningWords)
{
    TKWThresholds t;
    t.minFrequency = std::max(1, EffectiveMinimumFrequency(settings.MinFrequency(), true, studyRunningWords));
    const double p = settings.MaxPValue();
    t.largestP = std::isnan(p) ? 1.0 : p;
    t.minSecond = std::isfinite(settings.MinSecondScore()) ? settings.MinSecondScore() : 0.0;
    t.minThird = std::isfinite(settings.MinThirdScore()) ? settings.MinThirdScore() : 0.0;
    t.textPercent = std::isfinite(settings.TextPresencePercent()) ? settings.TextPresencePercent() : 0.0;
    return t;
}

TKWComparisonFigures CompareWithReference(const TCVWordList& study, const TKWReferenceList& reference,
                                          TKeyWordList& keyWords, const TKWComparisonOptions& options)
{
    TKWComparisonFigures fig;
    keyWords.Clear();
    const TKeyWordsSettingsRec& settings = keyWords.KWSettings;
    const TKWWordOrder& order = reference.Order();
    bool sorted = true;
    std::vector<TKWMergeWord> words = order.Words(study, &sorted);
    if (!sorted)
        std::stable_sort(words.begin(), words.end(),
                         [&](const TKWMergeWord& x, const TKWMergeWord& y) { return order.Compare(x, y) < 0; });
    const std::vector<TKWMergeWord>& ref = reference.Words();

    int64_t c = study.TotalTokens();
    if (c <= 0)
        for (const TKWMergeWord& w : words)
            c += w.freq;
    const int64_t d = reference.RunningWords();
    const int32_t studyTexts = study.TotalTexts();
    const TKWThresholds th = ThresholdsFor(settings, c);
    const uint8_t statisticByte = settings.KeynessStatistic();
    const auto statistic = TKeynessStatistic(statisticByte <= 2 ? statisticByte : 0);
    const bool presenceRule = options.applyTextPresenceRule && studyTexts > 1;

    // Tests the word's figures; a passing word becomes a candidate.
    std::vector<TCandidate> candidates;
    auto consider = [&](int32_t studyWord, int32_t refWord, int64_t a, int64_t b, int32_t texts) -> bool {
        const double k = Keyness(statistic, double(a), double(b), double(c), double(d));
        if (k == 0)
            return true;
        const double p = ChiSquare1PValue(k);
        if (!PassesLargestPValue(p, th.largestP))
            return false;
        const double second = LogRatio(double(a), double(b), double(c), double(d));
        const double third = PercentDiff(double(a), double(b), double(c), double(d));
        if (!PassesMinimumEffect(second, th.minSecond))
            return true;
        if (th.minThird > 0 && !PassesMinimumEffect(third, th.minThird))
            return true;
        if (k > 0 && presenceRule && !PassesTextPresence(texts, studyTexts, th.textPercent)) {
            ++fig.leftOutForPresence;
            return true;
        }
        candidates.push_back({studyWord, refWord, k, p, second, third});
        return true;
    };

    // The merge: each study word forward from where the last one was found.
    const uint32_t stamp = reference.NextStamp();
    std::vector<uint32_t>& stamps = reference.Stamps();
    std::size_t j = 0;
    for (std::size_t s = 0; s < words.size(); ++s) {
        const TKWMergeWord& w = words[s];
        j = LowerBoundFrom(ref, j, w, order);
        int32_t match = -1;
        for (std::size_t k = j; k < ref.size(); ++k) {
            // Words the collation finds equal but that are spelt apart stand together: look among them.
            if (ref[k].View() == w.View()) {
                match = int32_t(k);
                break;
            }
            if (order.Compare(ref[k], w) != 0)
                break;
        }
        const int64_t b = match >= 0 ? ref[std::size_t(match)].freq : 0;
        if (match >= 0) {
            stamps[std::size_t(match)] = stamp;
            ++fig.commonTypes;
        }
        if (PassesMinimumFrequency(w.freq, th.minFrequency))
            consider(int32_t(s), match, w.freq, b, w.texts);
    }

    // Two-way: the reference words the study list lacks. Their keyness and
    // p value only grow with their frequency, so the walk from the most
    // frequent stops at the first that fails either test.
    if (options.twoWay) {
        for (const int32_t r : reference.ByFrequency()) {
            if (stamps[std::size_t(r)] == stamp)
                continue;
            const TKWMergeWord& rw = ref[std::size_t(r)];
            if (!PassesMinimumFrequency(rw.freq, th.minFrequency))
                break;
            if (!consider(-1, r, 0, rw.freq, 0))
                break;
        }
    }

    fig.studyTypes = int64_t(words.size());
    fig.referenceTypes = int64_t(ref.size());
    fig.dice = ListDiceCoefficient(fig.commonTypes, fig.studyTypes, fig.referenceTypes);
    fig.matchPercent = MatchPercentage(fig.commonTypes, fig.studyTypes);
    fig.obtained = Clamp32(int64_t(candidates.size()));

    // The list's own order: keyness descending, the most negative last.
    auto moreKey = [](const TCandidate& x, const TCandidate& y) { return x.keyness > y.keyness; };
    const int32_t wanted = settings.MaxKeyWordsWanted();
    if (wanted > 0 && candidates.size() > std::size_t(wanted)) {
        // Keep the most key of all, positive or negative.
        std::stable_sort(candidates.begin(), candidates.end(),
                         [](const TCandidate& x, const TCandidate& y) { return std::abs(x.keyness) > std::abs(y.keyness); });
        candidates.resize(std::size_t(wanted));
    }
    std::stable_sort(candidates.begin(), candidates.end(), moreKey);

    const TCVWordList& refList = reference.List();
    for (std::size_t k = 0; k < candidates.size(); ++k) {
        const TCandidate& cand = candidates[k];
        auto e = std::make_unique<TKeyWordEntry>(&keyWords);
        TKeyWordRec& r = e->fData;
        int64_t a = 0, b = 0;
        if (cand.studyWord >= 0) {
            const TKWMergeWord& w = words[std::size_t(cand.studyWord)];
            e->fWord = study.Entry(w.entry).fWord;
            a = w.freq;
            r.Texts = w.texts;
        }
        if (cand.referenceWord >= 0) {
            const TKWMergeWord& rw = ref[std::size_t(cand.referenceWord)];
            if (cand.studyWord < 0)
                e->fWord = refList.Entry(rw.entry).fWord;
            b = rw.freq;
            r.RefTexts = rw.texts;
        }
        r.Freq = a;
        r.RefFreq = b;
        r.P = float(cand.p);
        r.SecondScore = float(cand.second);
        r.ThirdScore = float(cand.third);
        r.Percent = c > 0 ? float(100.0 * double(a) / double(c)) : 0.0f;
        r.RefPercent = d > 0 ? float(100.0 * double(b) / double(d)) : 0.0f;
        r.WordNumber = int32_t(k + 1);
        e->SetKeyness(float(cand.keyness));
        // A keyness too small for a float keeps its sign.
        if (e->fData.Keyness == 0.0f)
            e->SetKeyness(cand.keyness > 0 ? std::numeric_limits<float>::min() : -std::numeric_limits<float>::min());
        keyWords.Add(std::move(e));
    }
    keyWords.n_actually_obtained = fig.obtained;
    keyWords.wds_considered_for_Dice = Clamp32(fig.studyTypes);
    keyWords.DiceCoefficient = fig.dice;
    return fig;
}

// ---------------------------------------------------------------------------
// One study list of a run

bool ComputeKWsOfOneList(const QString& studyFilename, int32_t listsRead, TKeyWordList& keyWords, bool& stopRequest,
                         int32_t& textTotal, int32_t& mismatchCounter, const std::function<void(uint8_t)>& plotsCallback,
                         bool applyTextPresenceRule, bool twoWay, const QDateTime& fileTime, uint8_t batchMode,
                         T_WholeWordlistHolder& studyDocument, const TKWReferenceList& reference,
                         TKWExcelTree* excelTree, T_WholeKeywordsHolder& keywordsDocument)
{
    GlobalProgress().ShowTimeToGo();
    TCVWordList* study = studyDocument.WordlistOfType(studyDocument.MainFile.ListType);
    if (!study)
        study = studyDocument.WordlistOfType(kListWordList);
    if (!study)
        return false;

    // A list of another language cannot be compared: its words would not meet.
    const uint32_t studyLanguage = studyDocument.ftextsettings.LanguageId();
    if (!SamePrimaryLanguage(studyLanguage, reference.Language())) {
        if (Global_run_without_error_messages) {
            Global_FailureMessage = Format(CVCannotComputeXIfLangsDiffer, {CVKeywords});
            keywordsDocument.AddOneDuringMainComputationNote(
                QStringLiteral("%1\t%2").arg(QFileInfo(studyFilename).fileName(), Global_FailureMessage));
        } else {
            QString referenceName = LanguageNameOfLCID(reference.Language());
            if (referenceName.isEmpty())
                referenceName = QStringLiteral("language %1").arg(reference.Language());
            QString studyName = studyDocument.ftextsettings.LanguageName();
            if (studyName.isEmpty())
                studyName = QStringLiteral("language %1").arg(studyLanguage);
            CantComputeKWSIfDifferentLanguages(studyFilename, studyName, referenceName);
        }
        return false;
    }

    EnsureAlphabeticalForKeyWords(reference.Language(), *study);
    keyWords.GetRunningWordsIntoSettings(*study, &studyDocument, 0);
    TKeyWordsSettingsRec& k = keyWords.KWSettings;
    const int32_t studyTexts = std::max<int32_t>(k.StudyTextCount(), 1);
    textTotal += studyTexts;

    // The study list's statistics, and the name of its source text.
    keyWords.fKWStats->CopyRowsFrom(*studyDocument.fStats);
    const bool multiText = studyTexts > 1;
    k.SetMultiTextStudyList(multiText);
    QString source = studyFilename;
    if (studyDocument.fStats->Count() > 1) {
        const QString first = studyDocument.fStats->Row(1)->DataFormatted().FileName;
        if (multiText) {
            const QFileInfo fi(first);
            source = QDir(fi.path()).filePath(fi.completeBaseName()) + CVEtc;
            if (fi.path() == QLatin1String("."))
                source = fi.completeBaseName() + CVEtc;
        } else {
            source = first;
        }
    }
    k.SetSourceTextName(source);

    // The thresholds as the user last set them.
    const TKeyWordsSettingsRec fresh = GetKeywordsSettings();
    k.SetTextPresencePercent(fresh.TextPresencePercent());
    k.SetMaxPValue(fresh.MaxPValue());
    k.SetMinFrequency(fresh.MinFrequency());
    k.SetMinSecondScore(fresh.MinSecondScore());
    k.SetMinThirdScore(fresh.MinThirdScore());
    k.SetTwoWay(twoWay);

    const TKWComparisonFigures fig =
        CompareWithReference(*study, reference, keyWords, {twoWay, applyTextPresenceRule});
    k.SetMatchPercentage(int32_t(std::lround(fig.matchPercent)));
    keyWords.fPercentIgnoredForConsistency =
        fig.leftOutForPresence > 0 ? 100.0 * fig.leftOutForPresence / double(fig.obtained + fig.leftOutForPresence) : 0;
    const bool studyLemmas = HasJoinedForms(*study);
    const bool referenceLemmas = reference.HasLemmas();
    k.SetSomeJoinedToLemmas(studyLemmas || referenceLemmas);
    k.SetLemmaProcessingFull(studyLemmas == referenceLemmas);
    keyWords.fStopListCount = 0;
    if (keywordsDocument.Using_Stoplist && TLemmatiser::Instance().IsLoaded(current_tool_var, TLemmatiserListKind::Stop))
        keyWords.fStopListCount = keyWords.CheckStops();

    if (keyWords.Count() == 0 && k.RunningWords(0) >= 100) {
        ++mismatchCounter;
        if (!Global_run_without_error_messages && RefCorpusAndKWMismatch(studyFilename, k.ReferenceListName())) {
            stopRequest = true;
            return false;
        }
    }

    if (batchMode == 0) {
        keywordsDocument.AddOneDuringMainComputationNote(
            QStringLiteral("Dice coefficient\t%1 (%2 of %3 words of the word list found in the reference list)")
                .arg(fig.dice, 0, 'f', 3)
                .arg(fig.commonTypes)
                .arg(fig.studyTypes));
        keywordsDocument.AddATimingNote();
        if (keyWords.Count() > 0 && plotsCallback)
            plotsCallback(0);
        return true;
    }
    if (keyWords.Count() > 0 && plotsCallback && (batchMode == 1 || batchMode == 2))
        plotsCallback(batchMode);
    keywordsDocument.StartStandardNotes(kListKeyWords, listsRead, CVKeyWordList,
                                        QStringLiteral("%1\t%2").arg(QFileInfo(studyFilename).fileName(), k.ReferenceListName()));
    const bool saved = keywordsDocument.BatchSaveToTempDir(QFileInfo(studyFilename).fileName(), listsRead,
                                                           keywordsDocument.fTotalFilesToProcess, fileTime);
    if (saved && keywordsDocument.ExcelFileAssigned()) {
        keywordsDocument.AddToExcelDetails(keyWords, QFileInfo(studyFilename).fileName());
        if (excelTree)
            excelTree->AddKeyWords(keyWords);
    }
    keyWords.ClearButNotGridHeadings();
    return saved;
}

} // namespace cv
