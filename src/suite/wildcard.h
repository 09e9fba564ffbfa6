#pragma once
// Case folding and compiled word patterns for the search engine.
//
// Searching folds text one UTF-16 unit at a time through a table made once
// per language, so comparing a word costs a table look-up per character and
// never allocates. A pattern is compiled once: a plain word compares
// directly (length first), a pattern with "*" (any run of characters, also
// none) or "?" (exactly one character) first checks its literal prefix,
// literal suffix and least length, and only then runs a two-pointer matcher
// that never takes exponential time.

#include <QLocale>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace cv {

// Simple (one unit to one unit) case folding of the Basic Multilingual
// Plane; surrogates map to themselves. Multi-character foldings such as
// "ß" to "ss" are not made.
class TFoldTable {
public:
    // The folding of every language except the Turkic ones.
    static const TFoldTable& Standard();
    // Turkish and Azerbaijani: "I" folds to dotless "ı", dotted "İ" to "i".
    static const TFoldTable& Turkic();
    static const TFoldTable& ForLocale(const QLocale& locale);

    char16_t operator()(char16_t c) const { return m_map[c]; }
    std::u16string Folded(std::u16string_view text) const;

private:
    explicit TFoldTable(bool turkic);
    std::array<char16_t, 65536> m_map;
};

inline bool HasWildcards(std::u16string_view text)
{
    return text.find_first_of(u"*?") != std::u16string_view::npos;
}

// True when the text has at least one wildcard and nothing else but
// wildcards and white space ("*", "? *").
bool OnlyWildcards(std::u16string_view text);

class TWildcardMatcher {
public:
    TWildcardMatcher() = default;
    // fold: the folding to compare with; nullptr compares case-sensitively.
    TWildcardMatcher(std::u16string_view pattern, const TFoldTable* fold);

    // Whether the whole text matches (not a part of it).
    bool Matches(std::u16string_view text) const
    {
        if (m_plain)
            return text.size() == m_pattern.size() && equalUnits(text.data(), m_pattern.data(), m_pattern.size());
        return matchesPattern(text);
    }

    bool IsPlain() const { return m_plain; }
    // The pattern as compared (folded when case-insensitive).
    const std::u16string& Pattern() const { return m_pattern; }
    // Length of a plain pattern; the least length in units of a wildcard one.
    std::size_t MinUnits() const { return m_minUnits; }

private:
    bool equalUnits(const char16_t* text, const char16_t* pattern, std::size_t n) const
    {
        if (m_fold) {
            const TFoldTable& f = *m_fold;
            for (std::size_t i = 0; i < n; ++i)
                if (f(text[i]) != pattern[i])
                    return false;
            return true;
        }
        return std::char_traits<char16_t>::compare(text, pattern, n) == 0;
    }
    bool matchesPattern(std::u16string_view text) const;

    std::u16string m_pattern;
    const TFoldTable* m_fold = nullptr;
    bool m_plain = true;
    std::size_t m_prefix = 0;   // literal units before the first wildcard
    std::size_t m_suffix = 0;   // literal units after the last wildcard
    std::size_t m_minUnits = 0; // literal units plus one per "?"
};

} // namespace cv
