#include "textread/tag_handler.h"

#include "textread/class_array.h"
#include "suite/text_codec.h"
#include "textread/text_decoder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace cv {

namespace {

inline bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v'; }

std::u16string_view trimmed(std::u16string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::u16string_view toView(const QString& s) { return {reinterpret_cast<const char16_t*>(s.utf16()), std::size_t(s.size())}; }
QString toQString(std::u16string_view s) { return QString(reinterpret_cast<const QChar*>(s.data()), qsizetype(s.size())); }

// Splits a list line into its TAB-separated fields; a line without a TAB
// gives one field, or two at its first blank run when `splitAtBlank`.
std::vector<std::u16string_view> fieldsOf(std::u16string_view line, bool splitAtBlank)
{
    std::vector<std::u16string_view> out;
    if (line.find(u'\t') != std::u16string_view::npos) {
        std::size_t from = 0;
        for (;;) {
            const std::size_t tab = line.find(u'\t', from);
            out.push_back(trimmed(line.substr(from, tab == std::u16string_view::npos ? line.npos : tab - from)));
            if (tab == std::u16string_view::npos)
                break;
            from = tab + 1;
        }
        return out;
    }
    line = trimmed(line);
    std::size_t blank = splitAtBlank ? line.find_first_of(u" \f\v") : line.npos;
    if (blank == line.npos) {
        out.push_back(line);
    } else {
        out.push_back(line.substr(0, blank));
        out.push_back(trimmed(line.substr(blank)));
    }
    return out;
}

bool isCommentOrEmpty(std::u16string_view line)
{
    line = trimmed(line);
    return line.empty() || line.front() == u'#' || line.starts_with(u"//");
}

bool parseNumber(std::u16string_view s, int base, uint64_t& value)
{
    if (s.empty() || s.size() > 16)
        return false;
    value = 0;
    for (const char16_t c : s) {
        int d;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            d = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            d = c - u'A' + 10;
        else
            return false;
        value = value * uint64_t(base) + uint64_t(d);
    }
    return true;
}

void appendCodePoint(char32_t cp, std::u16string& out)
{
    if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
        out.push_back(0xFFFD);
    } else if (cp < 0x10000) {
        out.push_back(char16_t(cp));
    } else {
        cp -= 0x10000;
        out.push_back(char16_t(0xD800 + (cp >> 10)));
        out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    }
}

// "#233" or "#xE9" (what stands between "&" and ";"); false when not numeric.
bool numericEntity(std::u16string_view body, std::u16string& out)
{
    if (body.size() < 2 || body[0] != u'#')
        return false;
    uint64_t v = 0;
    const bool hex = body[1] == u'x' || body[1] == u'X';
    if (!parseNumber(body.substr(hex ? 2 : 1), hex ? 16 : 10, v))
        return false;
    appendCodePoint(v > 0x10FFFF ? 0x110000 : char32_t(v), out);
    return true;
}

// The value column of the entity lists: "233", "U+00E9", "0xE9", "&#233;",
// "&#xE9;", or the text itself.
std::u16string parseCharValue(std::u16string_view s)
{
    std::u16string out;
    uint64_t v = 0;
    if ((s.starts_with(u"U+") || s.starts_with(u"u+") || s.starts_with(u"0x") || s.starts_with(u"0X")) &&
        parseNumber(s.substr(2), 16, v)) {
        appendCodePoint(v > 0x10FFFF ? 0x110000 : char32_t(v), out);
        return out;
    }
    if (s.size() > 3 && s.front() == u'&' && s.back() == u';' && numericEntity(s.substr(1, s.size() - 2), out))
        return out;
    if (s.size() > 1 && parseNumber(s, 10, v)) {
        appendCodePoint(v > 0x10FFFF ? 0x110000 : char32_t(v), out);
        return out;
    }
    return std::u16string(s);
}

// "#RRGGBB" gives the Windows colour value 0x00BBGGRR; a plain number is taken as it stands.
bool parseColour(std::u16string_view s, int32_t& colour)
{
    uint64_t v = 0;
    if (s.size() == 7 && s[0] == u'#' && parseNumber(s.substr(1), 16, v)) {
        colour = int32_t(((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF));
        return true;
    }
    if (s.starts_with(u"0x") && parseNumber(s.substr(2), 16, v) && v <= 0xFFFFFFFFu) {
        colour = int32_t(uint32_t(v));
        return true;
    }
    if (parseNumber(s, 10, v) && v <= 0xFFFFFFFFu) {
        colour = int32_t(uint32_t(v));
        return true;
    }
    return false;
}

// Calls fn for every line of a list file that is neither blank nor a comment.
template <typename Fn>
bool forEachListLine(const QString& fileName, uint32_t codePage, QString* error, Fn fn)
{
    std::vector<std::u16string> lines;
    if (!ReadListFileLines(fileName, codePage, lines, error))
        return false;
    for (const auto& line : lines)
        if (!isCommentOrEmpty(line))
            fn(std::u16string_view(line));
    return true;
}

struct FileCheck {
    bool exists = false;
    QDateTime time;
    int64_t size = -1;
};

FileCheck checkFile(const QString& fileName)
{
    const QFileInfo fi(fileName);
    return {fi.isFile(), fi.isFile() ? fi.lastModified() : QDateTime(), fi.isFile() ? fi.size() : -1};
}

template <typename Stamp>
bool changedSince(const QString& fileName, const Stamp& stamp)
{
    const FileCheck c = checkFile(fileName);
    if (!c.exists)
        return stamp.size >= 0; // it was there and went away
    return c.time != stamp.time || c.size != stamp.size;
}

template <typename Stamp>
void remember(const QString& fileName, Stamp& stamp)
{
    const FileCheck c = checkFile(fileName);
    stamp.time = c.time;
    stamp.size = c.exists ? c.size : -1;
}

} // namespace

TTagOptions TTagOptions::FromSettings(const TTextSettings& s)
{
    TTagOptions o;
    o.mode = s.MarkupMode();
    if (o.mode != TMarkupMode::Plain && o.mode != TMarkupMode::IgnoreTags && o.mode != TMarkupMode::TagRules)
        o.mode = TMarkupMode::IgnoreTags;
    o.maxTagSpan = s.MaxTagSpan() > 0 ? std::min(s.MaxTagSpan(), 65536) : 1000;
    o.translateEntities = s.TranslateEntities();
    o.textSelection = s.TextSelectionOn();
    o.textStartMarker = s.TextStartMarker();
    o.textEndMarker = s.TextEndMarker();
    o.sectionStartMarker = s.SectionStartMarker();
    o.headingStartTag = s.HeadingStartTag();
    o.headingEndTag = s.HeadingEndTag();
    o.useUnicode = s.Unicode();
    o.countScriptAndStyle = s.CountScriptAndStyle();
    return o;
}

bool ReadListFileLines(const QString& fileName, uint32_t codePage, std::vector<std::u16string>& lines, QString* error)
{
    lines.clear();
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot open file \"%1\": %2").arg(QDir::toNativeSeparators(fileName), f.errorString());
        return false;
    }
    const QString text = DecodeText(f.readAll(), codePage);
    const std::u16string_view all = toView(text);
    std::size_t from = 0;
    while (from <= all.size()) {
        std::size_t end = all.find_first_of(u"\r\n", from);
        if (end == std::u16string_view::npos)
            end = all.size();
        lines.emplace_back(all.substr(from, end - from));
        if (end + 1 < all.size() && all[end] == u'\r' && all[end + 1] == u'\n')
            ++end;
        from = end + 1;
    }
    return true;
}

// ---------------------------------------------------------------------------
// TTagsToTranslateList

TTagsToTranslateList::TTagsToTranslateList() { resetToBuiltIn(); }

void TTagsToTranslateList::resetToBuiltIn()
{
    m_entities.clear();
    for (const TNamedEntity& e : BuiltInHtmlEntities()) {
        std::u16string text;
        appendCodePoint(e.codePoint, text);
        m_entities.emplace(e.name, std::move(text));
    }
}

bool TTagsToTranslateList::AddTranslation(std::u16string_view from, std::u16string_view to)
{
    from = trimmed(from);
    if (from.size() > 2 && from.front() == u'&' && from.back() == u';') {
        m_entities[std::u16string(from.substr(1, from.size() - 2))] = parseCharValue(to);
        return true;
    }
    TTagPattern p;
    if (!TTagPattern::Parse(from, p))
        return false;
    auto it = std::find_if(m_tagTranslations.begin(), m_tagTranslations.end(),
                           [&](const auto& e) { return e.first.inner == p.inner; });
    if (it != m_tagTranslations.end())
        it->second = parseCharValue(to);
    else
        m_tagTranslations.emplace_back(std::move(p), parseCharValue(to));
    return true;
}

bool TTagsToTranslateList::loadEntitiesFile(const QString& fileName, uint32_t codePage, QString* error)
{
    return forEachListLine(fileName, codePage, error, [&](std::u16string_view line) {
        const auto f = fieldsOf(line, true);
        if (f.size() < 2 || f[0].empty() || f[1].empty())
            return;
        std::u16string_view name = f[0];
        if (name.front() == u'&')
            name.remove_prefix(1);
        if (!name.empty() && name.back() == u';')
            name.remove_suffix(1);
        if (!name.empty() && name.size() <= 32)
            m_entities[std::u16string(name)] = parseCharValue(f[1]);
    });
}

bool TTagsToTranslateList::loadTranslationsFile(const QString& fileName, uint32_t codePage, QString* error)
{
    m_tagTranslations.clear();
    return forEachListLine(fileName, codePage, error, [&](std::u16string_view line) {
        const std::u16string_view l = trimmed(line);
        // A tag may hold blanks: without a TAB the "from" side ends after its ">" or ";".
        std::u16string_view from, to;
        if (const auto tab = l.find(u'\t'); tab != l.npos) {
            from = l.substr(0, tab);
            to = trimmed(l.substr(tab + 1));
        } else {
            const auto close = l.find_first_of(l.front() == u'<' ? u">" : u";");
            if (close == l.npos)
                return;
            from = l.substr(0, close + 1);
            to = trimmed(l.substr(close + 1));
        }
        AddTranslation(from, to);
    });
}

bool TTagsToTranslateList::LoadFromFolder(const QString& folder, uint32_t codePage, QString* error)
{
    const QString entities = QDir(folder).filePath(QLatin1String(kHtmlEntitiesFile));
    const QString translations = QDir(folder).filePath(QLatin1String(kEntityTagsFile));
    resetToBuiltIn();
    m_tagTranslations.clear();
    bool ok = true;
    if (QFileInfo::exists(entities))
        ok = loadEntitiesFile(entities, codePage, error) && ok;
    if (ok && QFileInfo::exists(translations))
        ok = loadTranslationsFile(translations, codePage, error) && ok;
    remember(entities, m_entitiesStamp);
    remember(translations, m_translationsStamp);
    return ok;
}

bool TTagsToTranslateList::ReloadIfModified(const QString& folder, uint32_t codePage)
{
    const QString entities = QDir(folder).filePath(QLatin1String(kHtmlEntitiesFile));
    const QString translations = QDir(folder).filePath(QLatin1String(kEntityTagsFile));
    if (!changedSince(entities, m_entitiesStamp) && !changedSince(translations, m_translationsStamp))
        return false;
    LoadFromFolder(folder, codePage);
    return true;
}

bool TTagsToTranslateList::TranslateEntity(std::u16string_view body, std::u16string& out) const
{
    out.clear();
    if (body.empty())
        return false;
    if (body[0] == u'#')
        return numericEntity(body, out);
    const auto it = m_entities.find(std::u16string(body));
    if (it == m_entities.end())
        return false;
    out = it->second;
    return true;
}

const std::u16string* TTagsToTranslateList::TagTranslation(std::u16string_view lowerName, std::u16string_view inner) const
{
    for (const auto& [pattern, text] : m_tagTranslations)
        if (pattern.Matches(lowerName, inner))
            return &text;
    return nullptr;
}

// ---------------------------------------------------------------------------
// TTextTagHandler

TTextTagHandler::TTextTagHandler(uint32_t languageId, uint32_t codePage, const TTagOptions& options)
    : fUse_Unicode(options.useUnicode), m_languageId(languageId), m_codePage(codePage), m_options(options)
{
}

TTextTagHandler::~TTextTagHandler() = default;

const TTagsToTranslateList& TTextTagHandler::TagsToTranslate() const
{
    static const TTagsToTranslateList builtIn;
    return m_translate ? *m_translate : builtIn;
}

bool TTextTagHandler::KeepsOrMarksTags() const { return RecognisesTags() && !m_tags.empty(); }

void TTextTagHandler::ClearLists()
{
    m_tags.clear();
    m_excludes.clear();
    rebuildIndex();
}

bool TTextTagHandler::AddTagfileTag(const TStoredTagRec& rec)
{
    if (m_tags.size() >= kMaxTagNumber)
        return false;
    TextTagRec t;
    t.stored = rec;
    if (!TTagPattern::Parse(toView(rec.tag), t.pattern))
        return false;
    m_tags.push_back(std::move(t));
    linkPartners();
    rebuildIndex();
    return true;
}

bool TTextTagHandler::AddExclusion(std::u16string_view startTag, std::u16string_view endTag)
{
    ExcludeRule r;
    if (!TTagPattern::Parse(startTag, r.start))
        return false;
    r.hasEnd = !trimmed(endTag).empty();
    if (r.hasEnd && !TTagPattern::Parse(endTag, r.end))
        return false;
    m_excludes.push_back(std::move(r));
    return true;
}

void TTextTagHandler::linkPartners()
{
    for (auto& t : m_tags) {
        const bool isEnd = !t.pattern.name.empty() && t.pattern.name.front() == u'/';
        t.stored.tag_type = isEnd ? TTag_OnOffUnique::off_tag : TTag_OnOffUnique::unique_tag;
        t.stored.partner = 0;
    }
    for (std::size_t i = 0; i < m_tags.size(); ++i) {
        const TTagPattern& end = m_tags[i].pattern;
        if (end.name.size() < 2 || end.name.front() != u'/')
            continue;
        const std::u16string_view openName = std::u16string_view(end.name).substr(1);
        for (std::size_t j = 0; j < m_tags.size(); ++j) {
            if (m_tags[j].pattern.name == openName && m_tags[j].stored.partner == 0) {
                m_tags[j].stored.tag_type = TTag_OnOffUnique::on_tag;
                m_tags[j].stored.partner = int16_t(i + 1);
                m_tags[i].stored.partner = int16_t(j + 1);
                break;
            }
        }
    }
}

void TTextTagHandler::rebuildIndex()
{
    m_byName.clear();
    m_wildNames.clear();
    for (std::size_t i = 0; i < m_tags.size(); ++i) {
        if (m_tags[i].pattern.name.empty())
            m_wildNames.push_back(int(i));
        else
            m_byName.emplace_back(m_tags[i].pattern.name, int(i));
    }
    std::sort(m_byName.begin(), m_byName.end());
}

bool TTextTagHandler::loadKeepFile(const QString& fileName, QString* error)
{
    return forEachListLine(fileName, m_codePage, error, [&](std::u16string_view line) {
        const auto f = fieldsOf(line, false);
        TextTagRec t;
        if (m_tags.size() >= kMaxTagNumber || !TTagPattern::Parse(f[0], t.pattern))
            return;
        TStoredTagRec& rec = t.stored;
        rec.tag = toQString(f[0]);
        if (f.size() > 1)
            rec.description = toQString(f[1]);
        if (f.size() > 2 && !f[2].empty())
            parseColour(f[2], rec.foreground_colour);
        if (f.size() > 3 && !f[3].empty())
            parseColour(f[3], rec.background_colour);
        if (f.size() > 4) {
            const QString opts = toQString(f[4]).toLower();
            rec.isMediaTag = opts.contains(QLatin1String("media"));
            rec.added.isTagForTagStringOnlyDisplay = opts.contains(QLatin1String("stringonly"));
        }
        m_tags.push_back(std::move(t));
    });
}

bool TTextTagHandler::loadExcludeFile(const QString& fileName, QString* error)
{
    return forEachListLine(fileName, m_codePage, error, [&](std::u16string_view line) {
        const auto f = fieldsOf(line, false);
        AddExclusion(f[0], f.size() > 1 ? f[1] : std::u16string_view());
    });
}

bool TTextTagHandler::LoadTagLists(const QString& folder, QString* error)
{
    const QString keep = QDir(folder).filePath(QLatin1String(kTagsToKeepFile));
    const QString exclude = QDir(folder).filePath(QLatin1String(kTagsToExcludeFile));
    ClearLists();
    bool ok = true;
    if (QFileInfo::exists(keep))
        ok = loadKeepFile(keep, error);
    if (ok && QFileInfo::exists(exclude))
        ok = loadExcludeFile(exclude, error);
    linkPartners();
    rebuildIndex();
    remember(keep, m_keepStamp);
    remember(exclude, m_excludeStamp);
    return ok;
}

void ReloadModifiedTagLists(TTextTagHandler* tagHandler, TTagsToTranslateList* tagsToTranslate,
                            const QString& folder, uint32_t codePage)
{
    if (tagHandler)
        tagHandler->ReloadIfModified(folder);
    if (tagsToTranslate)
        tagsToTranslate->ReloadIfModified(folder, codePage);
}

bool TTextTagHandler::ReloadIfModified(const QString& folder)
{
    const QString keep = QDir(folder).filePath(QLatin1String(kTagsToKeepFile));
    const QString exclude = QDir(folder).filePath(QLatin1String(kTagsToExcludeFile));
    if (!changedSince(keep, m_keepStamp) && !changedSince(exclude, m_excludeStamp))
        return false;
    LoadTagLists(folder);
    return true;
}

uint16_t TTextTagHandler::TagNumberOfInner(std::u16string_view inner) const
{
    if (m_tags.empty())
        return 0;
    char16_t scratch[64];
    const std::u16string_view name = TagNameOf(inner, scratch, 64);
    int best = -1;
    auto it = std::lower_bound(m_byName.begin(), m_byName.end(), name,
                               [](const auto& e, std::u16string_view n) { return std::u16string_view(e.first) < n; });
    for (; it != m_byName.end() && it->first == name; ++it) {
        if (m_tags[std::size_t(it->second)].pattern.Matches(name, inner)) {
            best = it->second;
            break;
        }
    }
    for (const int i : m_wildNames) {
        if (best >= 0 && i > best)
            break;
        if (m_tags[std::size_t(i)].pattern.Matches(name, inner)) {
            best = i;
            break;
        }
    }
    return best < 0 ? 0 : uint16_t(best + 1);
}

TTagAction TTextTagHandler::ActionForTag(std::u16string_view inner, int& endRule, const std::u16string*& translation) const
{
    endRule = -1;
    translation = nullptr;
    char16_t scratch[64];
    if (m_options.mode == TMarkupMode::IgnoreTags) {
        // A script or a style sheet is no text a reader sees; "<script ... />"
        // has no content (and no end tag to wait for).
        if (m_options.countScriptAndStyle || inner.empty() || inner.back() == u'/')
            return TTagAction::Keep;
        const std::u16string_view name = TagNameOf(inner, scratch, 64);
        endRule = name == u"script" ? kScriptSpan : name == u"style" ? kStyleSpan : -1;
        return endRule >= 0 ? TTagAction::ExcludeSpan : TTagAction::Keep;
    }
    if (m_options.mode != TMarkupMode::TagRules)
        return TTagAction::Keep;
    const std::u16string_view name = TagNameOf(inner, scratch, 64);
    for (std::size_t i = 0; i < m_excludes.size(); ++i) {
        if (m_excludes[i].start.Matches(name, inner)) {
            if (!m_excludes[i].hasEnd)
                return TTagAction::Exclude;
            endRule = int(i);
            return TTagAction::ExcludeSpan;
        }
    }
    if ((translation = TagsToTranslate().TagTranslation(name, inner)))
        return TTagAction::Translate;
    return TTagAction::Keep;
}

bool TTextTagHandler::EndsExcludedSpan(int rule, std::u16string_view inner) const
{
    char16_t scratch[64];
    if (IsScriptOrStyleSpan(rule))
        return TagNameOf(inner, scratch, 64) == (rule == kScriptSpan ? u"/script" : u"/style");
    if (rule < 0 || std::size_t(rule) >= m_excludes.size() || !m_excludes[std::size_t(rule)].hasEnd)
        return false;
    return m_excludes[std::size_t(rule)].end.Matches(TagNameOf(inner, scratch, 64), inner);
}

void TTextTagHandler::CheckBufferForTagFileMarkup(std::u16string_view buffer, std::span<uint16_t> classes, int32_t start,
                                                  int32_t length) const
{
    const auto n = int32_t(std::min(buffer.size(), classes.size()));
    if (start < 0)
        start = 0;
    const int32_t end = std::min<int64_t>(int64_t(start) + std::max(length, 0), n);
    if (start >= end)
        return;
    const int32_t span = m_options.maxTagSpan + 2;
    // A tag cut by the start of the stretch: find its opening mark.
    int32_t i = start;
    for (int32_t k = start; k >= 0 && k >= start - span; --k) {
        if (buffer[std::size_t(k)] == kTagMarkClose && k < start)
            break;
        if (buffer[std::size_t(k)] == kTagMarkOpen) {
            i = k;
            break;
        }
    }
    while (i < end) {
        if (buffer[std::size_t(i)] != kTagMarkOpen) {
            ++i;
            continue;
        }
        int32_t close = -1;
        for (int32_t k = i + 1; k < n && k <= i + span; ++k) {
            if (buffer[std::size_t(k)] == kTagMarkClose) {
                close = k;
                break;
            }
            if (buffer[std::size_t(k)] == kTagMarkOpen)
                break;
        }
        if (close < 0) {
            ++i;
            continue;
        }
        const uint16_t number = TagNumberOfInner(buffer.substr(std::size_t(i) + 1, std::size_t(close - i - 1)));
        const uint16_t cls = uint16_t(kTagBit | number);
        for (int32_t k = std::max(i, start); k <= close && k < end; ++k)
            classes[std::size_t(k)] = cls;
        i = close + 1;
    }
}

QString TTextTagHandler::TagToDisplay(const TextTagRec& tag) const
{
    return tag.stored.description.isEmpty() ? tag.stored.tag : tag.stored.description;
}

QString TTextTagHandler::TagToDisplay(int tagNumber1Based) const
{
    if (tagNumber1Based < 1 || std::size_t(tagNumber1Based) > m_tags.size())
        return QString();
    return TagToDisplay(m_tags[std::size_t(tagNumber1Based - 1)]);
}

QString TTextTagHandler::Above32PointerToWide(std::u16string_view text) const
{
    while (!text.empty() && text.front() <= 32)
        text.remove_prefix(1);
    while (!text.empty() && text.back() <= 32)
        text.remove_suffix(1);
    return toQString(text);
}

QString TTextTagHandler::Above32PointerToWide(std::span<const uint8_t> text) const
{
    TTextDecoder decoder(TSourceEncoding::Ansi, m_codePage);
    std::u16string wide;
    decoder.Decode(text, true, wide);
    return Above32PointerToWide(std::u16string_view(wide));
}

std::vector<TStoredTagRec> TTextTagHandler::TagfileTagsAsStoredArray() const
{
    std::vector<TStoredTagRec> out;
    out.reserve(m_tags.size());
    for (const auto& t : m_tags)
        out.push_back(t.stored);
    return out;
}

TMarvexTextTagHandler::TTagContext TMarvexTextTagHandler::TagContextAt(std::span<const uint16_t> classes, int32_t pos,
                                                                       int32_t maxBack) const
{
    TTagContext ctx;
    const auto n = int32_t(classes.size());
    if (n == 0)
        return ctx;
    pos = std::clamp(pos, 0, n - 1);
    const int32_t stop = std::max(0, pos - std::max(maxBack, 0));
    for (int32_t i = pos; i >= stop; --i) {
        const uint16_t number = TagNumberOf(classes[std::size_t(i)]);
        if (number == 0)
            continue;
        int32_t first = i;
        while (first > 0 && classes[std::size_t(first - 1)] == classes[std::size_t(i)])
            --first;
        int32_t last = i;
        while (last + 1 < n && classes[std::size_t(last + 1)] == classes[std::size_t(i)])
            ++last;
        ctx.position = first;
        ctx.length = last - first + 1;
        ctx.tagNumber = number;
        if (number <= TagfileTags().size()) {
            ctx.firstKind = TagfileTags()[number - 1].stored.tag_type == TTag_OnOffUnique::on_tag;
            ctx.text = TagToDisplay(number);
        }
        return ctx;
    }
    return ctx;
}

} // namespace cv
