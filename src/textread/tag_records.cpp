#include "textread/tag_records.h"

#include "suite/cv_stream.h"

#include <QChar>

namespace cv {

namespace {

inline char16_t lowerUnit(char16_t c)
{
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
    return QChar(c).toLower().unicode();
}

inline bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v'; }

} // namespace

bool TStoredTagRec::WriteFixedPart(TStream& s, bool oldLayout) const
{
    bool ok = s.WriteU8(uint8_t(tag_type)) && s.WriteI16(partner) && s.WriteBool(isMediaTag) &&
              s.WriteI32(foreground_colour) && s.WriteI32(background_colour);
    if (ok && !oldLayout)
        ok = s.WriteBool(added.isTagForTagStringOnlyDisplay) && s.WriteBytes(added.spare);
    return ok;
}

bool TStoredTagRec::ReadFixedPart(TStream& s, bool oldLayout)
{
    uint8_t type = 0;
    bool ok = s.ReadU8(type) && s.ReadI16(partner) && s.ReadBool(isMediaTag) && s.ReadI32(foreground_colour) &&
              s.ReadI32(background_colour);
    tag_type = TTag_OnOffUnique(type);
    if (!ok)
        return false;
    if (oldLayout) {
        added = TAddedTagData{};
        return true;
    }
    return s.ReadBool(added.isTagForTagStringOnlyDisplay) && s.ReadExact(added.spare.data(), int64_t(added.spare.size()));
}

bool TStoredTagRec::SaveToStream(TStream& s, int charWidth) const
{
    return WriteFixedPart(s) && WriteAString(s, tag, charWidth) && WriteAString(s, description, charWidth);
}

bool TStoredTagRec::ReadFromStream(TStream& s, bool oldLayout, int charWidth)
{
    return ReadFixedPart(s, oldLayout) && ReadAString(s, tag, charWidth) && ReadAString(s, description, charWidth);
}

std::u16string FoldTagInner(std::u16string_view inner)
{
    std::u16string out;
    out.reserve(inner.size());
    bool blank = false;
    for (const char16_t c : inner) {
        if (isBlank(c)) {
            blank = !out.empty();
            continue;
        }
        if (blank)
            out.push_back(u' ');
        blank = false;
        out.push_back(lowerUnit(c));
    }
    return out;
}

std::u16string_view TagNameOf(std::u16string_view inner, char16_t* scratch, std::size_t cap)
{
    std::size_t i = 0, o = 0;
    while (i < inner.size() && isBlank(inner[i]))
        ++i;
    if (inner.substr(i, 3) == u"!--") {
        const std::size_t n = std::min<std::size_t>(3, cap);
        for (std::size_t k = 0; k < n; ++k)
            scratch[o++] = inner[i + k];
        return {scratch, o};
    }
    if (i < inner.size() && inner[i] == u'/' && o < cap) {
        scratch[o++] = u'/';
        ++i;
    }
    for (; i < inner.size() && o < cap; ++i) {
        const char16_t c = inner[i];
        if (isBlank(c) || c == u'/' || c == u'>')
            break;
        scratch[o++] = lowerUnit(c);
    }
    return {scratch, o};
}

bool WildcardMatch(std::u16string_view pattern, std::u16string_view text)
{
    std::size_t p = 0, t = 0, star = std::u16string_view::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            mark = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::u16string_view::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

bool TTagPattern::Parse(std::u16string_view text, TTagPattern& out)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    if (text.size() < 3 || text.front() != u'<' || text.back() != u'>')
        return false;
    const std::u16string_view innerText = text.substr(1, text.size() - 2);
    out = TTagPattern{};
    out.inner = FoldTagInner(innerText);
    if (out.inner.empty())
        return false;
    out.wildcard = out.inner.find(u'*') != std::u16string::npos;
    char16_t scratch[64];
    const std::u16string_view name = TagNameOf(innerText, scratch, 64);
    if (name.find(u'*') == std::u16string_view::npos)
        out.name.assign(name);
    out.nameOnly = !out.wildcard && !out.name.empty() &&
                   (out.inner == out.name || (out.inner.size() == out.name.size() + 1 && out.inner.back() == u'/'));
    return true;
}

bool TTagPattern::Matches(std::u16string_view lowerName, std::u16string_view innerText) const
{
    if (!name.empty() && name != lowerName)
        return false;
    if (nameOnly)
        return true;
    const std::u16string folded = FoldTagInner(innerText);
    return wildcard ? WildcardMatch(inner, folded) : folded == inner;
}

} // namespace cv
