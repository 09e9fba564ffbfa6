#pragma once
// Search words as the user types them, with the options that say how they
// match, and their stream form inside result documents.
//
// A typed search word is one word ("house"), a pattern ("hous*", "colo?r";
// "*" any run of characters within a word, also none, "?" exactly one
// character), or a phrase of several words and patterns ("in the *"); it may
// name mark-up tags ("<head>", "<w *>") and punctuation that must stand
// between its words ("Mr. Smith"). Several search words can be typed at once
// separated by "/" ("house/home*"). A search word made of wildcards only
// would match every word and is refused.
//
// How a phrase matches running text: between two of its words the text may
// hold any plain space and ordinary line breaks; punctuation only where the
// phrase itself has the same punctuation, or anywhere when the engine skips
// punctuation; mark-up tags only when tags are blanked (or where the phrase
// names them); never a paragraph, heading or section end.

#include "suite/search_buffer.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

namespace cv {

class TStream;
class TTextSettings;

// A typed search word cut into the elements it matches in order.
struct TSearchPatternElement {
    bool tag = false;          // a mark-up tag ("<...>", marks shown as "<" and ">")
    std::u16string text;       // the word or tag as typed, wildcards kept
    std::u16string punctBefore; // punctuation required between the previous element and this one (spaces removed)
};

struct TSearchPattern {
    std::vector<TSearchPatternElement> elements;
    std::u16string leadingPunct;  // punctuation required just before the first element
    std::u16string trailingPunct; // punctuation required just after the last element
};

// One search word (the suite's search-word record).
class TSearch_word_format_rec {
public:
    enum Mode : uint8_t {
        kWildcard = 1,    // at least one "*" or "?"
        kPhrase = 2,      // more than one element
        kTag = 4,         // names a mark-up tag
        kPunctuation = 8, // requires punctuation
    };

    // Cuts the typed form into its pattern; false (with the reason in
    // `why`) when it cannot be searched for.
    static bool Parse(const QString& typed, const TWordRules& rules, TSearch_word_format_rec& out, QString* why);

    // As typed, trimmed, white space runs made single blanks.
    const QString& Typed() const { return fTyped; }
    // The typed form without its wildcards; equal to Typed() for plain words.
    const QString& Plain() const { return fPlain; }
    uint8_t ModeByte() const { return fMode; }
    bool ContainsTag() const { return fMode & kTag; }
    const TSearchPattern& Pattern() const { return fPattern; }

    // Caller's data kept with the search word (and in its stream).
    int32_t EntryIndex = -1;   // e.g. the key word this search word was made from
    int32_t Hits = 0;
    QStringList ContextWords;  // context words of this search word alone

private:
    QString fTyped;
    QString fPlain;
    uint8_t fMode = 0;
    TSearchPattern fPattern;
};

// A list of search words with their matching options (also used for
// context, exclusion and tag-context words).
class TBaseSearchItems {
public:
    TBaseSearchItems() = default;
    virtual ~TBaseSearchItems() = default;
    TBaseSearchItems(const TBaseSearchItems&) = default;
    TBaseSearchItems& operator=(const TBaseSearchItems&) = default;

    // Adds each "/"-separated search word of the text that is not already
    // present (by the case rule); returns how many were added. Refused
    // search words are skipped and their reasons appended to `refusals`.
    int AddedSearchWords(const QString& text, QStringList* refusals = nullptr);
    // Inserts one typed search word (no "/" splitting) at the index.
    bool InsertSearchWord(int index, const QString& typed, QString* refusal = nullptr);
    void Delete(int index);
    void Clear();

    int Count() const { return int(fItems.size()); }
    bool IsEmpty() const { return fItems.empty(); }
    const TSearch_word_format_rec& Item(int i) const { return fItems[std::size_t(i)]; }
    // -1 when absent; compared as the items compare (case-sensitive or folded).
    int IndexOf(const QString& typed) const;
    // The number of searches a run over these items plans: one per search word.
    int PlannedCount() const { return Count(); }
    QStringList TypedSearchWords() const;
    QStringList PlainSearchWords() const;

    void SetEntryIndex(int i, int32_t v) { fItems[std::size_t(i)].EntryIndex = v; }
    void SetHits(int i, int32_t v) { fItems[std::size_t(i)].Hits = v; }
    void ClearHits();
    void SetContextWords(int i, const QStringList& words) { fItems[std::size_t(i)].ContextWords = words; }

    // Options.
    bool CaseSensitive() const { return fCaseSensitive; }
    void SetCaseSensitive(bool v) { fCaseSensitive = v; touch(); }
    // Mark-up tags of the text are invisible to search words that do not name them.
    bool BlankTags() const { return fBlankTags; }
    void SetBlankTags(bool v) { fBlankTags = v; touch(); }
    // Locale name ("tr_TR") whose case folding applies; empty: the engine's language.
    const QString& Language() const { return fLanguage; }
    void SetLanguage(const QString& localeName) { fLanguage = localeName; touch(); }
    const TWordRules& WordRules() const { return fRules; }
    // Re-cuts every search word under the new rules; words that no longer
    // parse are dropped.
    void SetWordRules(const TWordRules& rules);
    // Language, word rules and tag blanking of the text settings.
    void TakeTextSettings(const TTextSettings& settings);

    // Options of context-word lists.
    bool RequireAllContextWords() const { return fRequireAll; }
    void SetRequireAllContextWords(bool v) { fRequireAll = v; }
    bool RequireExactPosition() const { return fRequireExact; }
    void SetRequireExactPosition(bool v) { fRequireExact = v; }
    int32_t ExactOffset() const { return fExactOffset; } // word position relative to the hit
    void SetExactOffset(int32_t v) { fExactOffset = v; }
    // When 0 or more, runs search only this item.
    int32_t OnlyItem() const { return fOnlyItem; }
    void SetOnlyItem(int32_t v) { fOnlyItem = v; }

    // Every option (not the search words) of the other list.
    void TakeOptionsFrom(const TBaseSearchItems& other);

    // Changes with every change that affects matching; engines recompile on it.
    uint32_t Revision() const { return fRevision; }

    // Stream form (docs/search-words.md). Reading replaces the list and its
    // options only when the whole stream is sound.
    bool SaveToStream(TStream& s) const;
    bool ReadFromStream(TStream& s);

protected:
    void touch() { ++fRevision; }
    bool sameWord(const QString& a, const QString& b) const;

    std::vector<TSearch_word_format_rec> fItems;
    bool fCaseSensitive = false;
    bool fBlankTags = false;
    QString fLanguage;
    TWordRules fRules;
    bool fRequireAll = false;
    bool fRequireExact = false;
    int32_t fExactOffset = 0;
    int32_t fOnlyItem = -1;
    uint32_t fRevision = 0;
};

// The search words of a job.
class TSearchWordItems final : public TBaseSearchItems {
public:
    TSearchWordItems() = default;
    explicit TSearchWordItems(bool blankTags) { fBlankTags = blankTags; }
};

// Whether the text holds a "<" with a later ">" that the text settings
// would take as mark-up (never when mark-up is read as plain text).
bool ContainsPairedTagMarkup(const QString& text, const TTextSettings& settings);

} // namespace cv
