#include "suite/wildcard.h"

#include <QChar>

namespace cv {

namespace {

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Units of the character that starts at i: a surrogate pair counts as one.
std::size_t charUnits(std::u16string_view text, std::size_t i)
{
    return (isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) ? 2 : 1;
}

} // namespace

TFoldTable::TFoldTable(bool turkic)
{
    for (uint32_t c = 0; c < 65536; ++c) {
        const auto u = char16_t(c);
        m_map[c] = (isHighSurrogate(u) || isLowSurrogate(u)) ? u : char16_t(QChar::toCaseFolded(char32_t(c)));
    }
    if (turkic) {
        m_map[u'I'] = u'\u0131';
        m_map[0x0130] = u'i';
    }
}

const TFoldTable& TFoldTable::Standard()
{
    static const auto table = std::unique_ptr<TFoldTable>(new TFoldTable(false));
    return *table;
}

const TFoldTable& TFoldTable::Turkic()
{
    static const auto table = std::unique_ptr<TFoldTable>(new TFoldTable(true));
    return *table;
}

const TFoldTable& TFoldTable::ForLocale(const QLocale& locale)
{
    const auto lang = locale.language();
    return (lang == QLocale::Turkish || lang == QLocale::Azerbaijani) ? Turkic() : Standard();
}

std::u16string TFoldTable::Folded(std::u16string_view text) const
{
    std::u16string out(text);
    for (char16_t& c : out)
        c = m_map[c];
    return out;
}

bool OnlyWildcards(std::u16string_view text)
{
    bool wildcard = false;
    for (char16_t c : text) {
        if (c == u'*' || c == u'?')
            wildcard = true;
        else if (!QChar::isSpace(char32_t(c)))
            return false;
    }
    return wildcard;
}

TWildcardMatcher::TWildcardMatcher(std::u16string_view pattern, const TFoldTable* fold)
    : m_pattern(fold ? fold->Folded(pattern) : std::u16string(pattern)), m_fold(fold)
{
    const auto first = m_pattern.find_first_of(u"*?");
    m_plain = first == std::u16string::npos;
    if (m_plain) {
        m_minUnits = m_pattern.size();
        return;
    }
    m_prefix = first;
    m_suffix = m_pattern.size() - 1 - m_pattern.find_last_of(u"*?");
    for (char16_t c : m_pattern)
        m_minUnits += c == u'*' ? 0 : 1;
}

bool TWildcardMatcher::matchesPattern(std::u16string_view text) const
{
    // Cheap refusals first: most words of a text fail here.
    if (text.size() < m_minUnits)
        return false;
    if (m_prefix && !equalUnits(text.data(), m_pattern.data(), m_prefix))
        return false;
    if (m_suffix && !equalUnits(text.data() + text.size() - m_suffix, m_pattern.data() + m_pattern.size() - m_suffix, m_suffix))
        return false;

    // Two pointers with one back-track point at the last "*" seen: the
    // classic linear-in-practice glob match, stepping over whole characters
    // so that "?" takes a surrogate pair as one character.
    const std::u16string_view pat(m_pattern);
    const std::size_t n = text.size(), m = pat.size();
    std::size_t p = 0, t = 0, starP = std::u16string_view::npos, starT = 0;
    while (t < n) {
        if (p < m && pat[p] == u'?') {
            ++p;
            t += charUnits(text, t);
        } else if (p < m && pat[p] == u'*') {
            starP = p++;
            starT = t;
        } else if (p < m && (m_fold ? (*m_fold)(text[t]) : text[t]) == pat[p]) {
            ++p;
            ++t;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            starT += charUnits(text, starT);
            t = starT;
        } else {
            return false;
        }
    }
    while (p < m && pat[p] == u'*')
        ++p;
    return p == m;
}

} // namespace cv
