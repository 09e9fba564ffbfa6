#pragma once
// Key words of one word list against a reference word list.
//
// Both lists stand in alphabetical order (EnsureAlphabeticalForKeyWords),
// and the comparison walks them together as a merge: each word of the study
// list is looked for forward from where the last one was found, galloping
// over the reference words between. Comparing two words costs no collator
// call for most words: words made only of the collation's small alphabet
// (a-z, digits, the few marks inside words: TAlphabeticalOrderer's fast
// road) compare by a rank table taken from the collator once; only other
// words go to the collator. The reference side (TKWReferenceList) is
// prepared once per run and serves every study list of a batch.
//
// For every word the statistics come from the suite's maths module
// (maths/statistics.h), with a, b the word's frequencies in the study
// and reference lists and c, d their running words:
//   keyness   log likelihood G2, or chi-square with or without Yates's
//             correction (settings byte KeynessStatistic), signed: below 0
//             for words relatively rarer in the study list
//   p         P(chi-square with 1 df > |keyness|)
//   second    log ratio, log2((a/c) / (b/d)), a zero frequency counted as 0.5
//   third     %DIFF, 100 (a/c - b/d) / (b/d)
// A word is key when p <= the largest p value, its frequency reaches the
// minimum (lowered to 2 for study lists of fewer than 600 running words),
// |second| and |third| reach their minimums, and, with the text-presence
// rule, a positive key word occurs in at least the set percentage of the
// study list's texts. Two-way comparisons also test the reference words
// absent from the study list (a = 0); their frequency in the reference list
// must reach the minimum.

#include "suite/settings_records.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace cv {

class TCVWordList;
class TKeyWordList;
class TKWExcelTree;
class T_WholeKeywordsHolder;
class T_WholeWordlistHolder;
class TAlphabeticalOrderer;

// One word of a list in merge order: the run of entries of that word (the
// same word with different tags adds up). Deleted entries are left out.
struct TKWMergeWord {
    const char16_t* chars = nullptr;
    int32_t length = 0;
    bool fast = false;  // on the rank-table road
    int64_t freq = 0;   // with the forms joined under it
    int32_t texts = 0;
    int32_t entry = 0;  // first entry of the run
    std::u16string_view View() const { return {chars, std::size_t(length)}; }
};

// The alphabetical order of a collation, as the merge compares words.
class TKWWordOrder {
public:
    explicit TKWWordOrder(const QString& collationName);
    ~TKWWordOrder();
    TKWWordOrder(const TKWWordOrder&) = delete;
    TKWWordOrder& operator=(const TKWWordOrder&) = delete;

    QString CollationName() const { return fCollation; }
    // Negative, zero or positive, as the collator orders the two words.
    int Compare(const TKWMergeWord& x, const TKWMergeWord& y) const;
    // The list's words in merge order; `sorted` tells whether the list stood
    // in this order (when not, the words are of no use for a merge).
    std::vector<TKWMergeWord> Words(const TCVWordList& list, bool* sorted) const;

private:
    bool OnFastRoad(std::u16string_view w) const;

    QString fCollation;
    std::unique_ptr<TAlphabeticalOrderer> fOrderer;
    bool fFast = false;
    uint8_t fRank[128] = {};
};

// Sorts the list alphabetically ascending in the collation of the language
// (its own when the language is unknown) unless it already stands so.
// Returns whether it had to sort.
bool EnsureAlphabeticalForKeyWords(uint32_t language, TCVWordList& list);
// The collation of a language identifier: its locale, else `fallback`.
QString CollationOfLanguage(uint32_t language, const QString& fallback);

// The reference list of a run, prepared once: its words in merge order, its
// totals, and its words by frequency (for the two-way pass).
class TKWReferenceList {
public:
    // The list must stay alive and unchanged while this object is used; it
    // is sorted first when it does not stand in alphabetical order.
    TKWReferenceList(TCVWordList& list, uint32_t language);
    ~TKWReferenceList();

    const TCVWordList& List() const { return *fList; }
    const TKWWordOrder& Order() const { return *fOrder; }
    uint32_t Language() const { return fLanguage; }
    const std::vector<TKWMergeWord>& Words() const { return fWords; }
    // Word indexes, most frequent first.
    const std::vector<int32_t>& ByFrequency() const { return fByFrequency; }
    int64_t RunningWords() const { return fRunningWords; }
    int32_t Texts() const { return fTexts; }
    // Some entries have forms joined under them (lemmas).
    bool HasLemmas() const { return fHasLemmas; }
    // Stamps of the words matched by the current study list (two-way pass).
    std::vector<uint32_t>& Stamps() const { return fStamps; }
    uint32_t NextStamp() const { return ++fStamp; }

private:
    TCVWordList* fList;
    uint32_t fLanguage;
    std::unique_ptr<TKWWordOrder> fOrder;
    std::vector<TKWMergeWord> fWords;
    std::vector<int32_t> fByFrequency;
    int64_t fRunningWords = 0;
    int32_t fTexts = 0;
    bool fHasLemmas = false;
    mutable std::vector<uint32_t> fStamps;
    mutable uint32_t fStamp = 0;
};

// What the comparison of two lists gives besides the key words.
struct TKWComparisonFigures {
    int64_t studyTypes = 0;      // types considered (not deleted)
    int64_t referenceTypes = 0;
    int64_t commonTypes = 0;     // study types found in the reference list
    double dice = 0;             // ListDiceCoefficient of the two
    double matchPercent = 0;     // MatchPercentage of the study types
    int32_t obtained = 0;        // key words before the limit on their number
    int32_t leftOutForPresence = 0; // positive key words left out by the text-presence rule
};

struct TKWComparisonOptions {
    bool twoWay = false;
    bool applyTextPresenceRule = false;
};

// Fills the key-word list (emptied first) with the key words of the study
// list against the reference, in the list's default order: keyness
// descending, so positive ones first and the most negative last; each
// entry's number is its place (1-based). Uses the list's KWSettings for the statistic and the
// thresholds, and the study list's running words and texts from the list.
// The study list must stand in the reference's alphabetical order.
TKWComparisonFigures CompareWithReference(const TCVWordList& study, const TKWReferenceList& reference,
                                          TKeyWordList& keyWords, const TKWComparisonOptions& options);

// The thresholds as they apply to one study list.
struct TKWThresholds {
    int minFrequency = 1;
    double largestP = 1;
    double minSecond = 0;
    double minThird = 0;
    double textPercent = 0;
};
TKWThresholds ThresholdsFor(const TKeyWordsSettingsRec& settings, int64_t studyRunningWords);

// The key-word statistics of one study list inside a run (see the key-word
// document for the run). Reads nothing: the study document is given, the
// reference prepared. Returns false when the list was refused (another
// primary language) or, after a reference-corpus mismatch, the user asked
// to stop (stopRequest set).
bool ComputeKWsOfOneList(const QString& studyFilename, int32_t listsRead, TKeyWordList& keyWords, bool& stopRequest,
                         int32_t& textTotal, int32_t& mismatchCounter, const std::function<void(uint8_t)>& plotsCallback,
                         bool applyTextPresenceRule, bool twoWay, const QDateTime& fileTime, uint8_t batchMode,
                         T_WholeWordlistHolder& studyDocument, const TKWReferenceList& reference,
                         TKWExcelTree* excelTree, T_WholeKeywordsHolder& keywordsDocument);

} // namespace cv
