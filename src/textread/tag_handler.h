#pragma once
// The mark-up rules of a job: which tags are kept, which are excluded with
// what they enclose, which are translated, how entities read, which stretch
// of each text is read (text markers), where sections and headings begin.
//
// The lists come from plain-text files in the temporary folder (their format
// is in docs/textread-formats.md):
//   "tags_to_keep.dat"     tags the job keeps and shows (the tag-file tags)
//   "tags_to_exclude.dat"  tags removed, alone or with everything up to an end tag
//   "entity_tags.dat"      entities and tags translated into other text
//   "html_entities.txt"    named entities (a built-in HTML table serves when absent)
// Each list is optional; a missing file is an empty list.

#include "model/tag_handler_base.h"
#include "suite/text_settings.h"
#include "textread/tag_records.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace cv {

inline constexpr const char* kTagsToKeepFile = "tags_to_keep.dat";
inline constexpr const char* kTagsToExcludeFile = "tags_to_exclude.dat";
inline constexpr const char* kEntityTagsFile = "entity_tags.dat";
inline constexpr const char* kHtmlEntitiesFile = "html_entities.txt";

// The text-settings fields that steer mark-up handling.
struct TTagOptions {
    TMarkupMode mode = TMarkupMode::IgnoreTags;
    int32_t maxTagSpan = 1000;     // a "<" with no ">" within this many characters is no tag
    bool translateEntities = true;
    bool textSelection = false;    // only the text between the start and end markers is read
    QString textStartMarker;
    QString textEndMarker;
    QString sectionStartMarker;    // a line starting with this begins a new section
    QString headingStartTag;       // the paragraph this tag starts is a heading
    QString headingEndTag;
    bool useUnicode = true;
    bool countScriptAndStyle = false; // clear: with tags ignored, <script> and <style> are left out with what they hold

    static TTagOptions FromSettings(const TTextSettings& s);
};

// Reads a small user list in whatever encoding it was saved (UTF-8 or UTF-16
// with or without a mark, else the code page) and splits it into lines.
bool ReadListFileLines(const QString& fileName, uint32_t codePage, std::vector<std::u16string>& lines,
                       QString* error);

// Entities and tags that turn into other text.
class TTagsToTranslateList {
public:
    // Starts with the built-in table of HTML named entities.
    TTagsToTranslateList();

    // Reads "html_entities.txt" (its entries add to and override the built-in
    // table) and "entity_tags.dat" from the folder. False when a file exists
    // but cannot be read (the message names it); the lists read so far stay.
    bool LoadFromFolder(const QString& folder, uint32_t codePage = 1252, QString* error = nullptr);
    // Reads again the files whose time or size changed since they were read;
    // true when anything was re-read.
    bool ReloadIfModified(const QString& folder, uint32_t codePage = 1252);

    // The text of an entity, given what stands between "&" and ";": a name
    // ("amp"), "#233" or "#xE9". False when it is unknown or not a character.
    bool TranslateEntity(std::u16string_view body, std::u16string& out) const;
    // The replacement of a tag listed for translation, or nullptr.
    const std::u16string* TagTranslation(std::u16string_view lowerName, std::u16string_view inner) const;

    int EntityCount() const { return int(m_entities.size()); }
    int TagTranslationCount() const { return int(m_tagTranslations.size()); }
    // Adds or replaces one entry (as a line of the lists would).
    void AddEntity(const std::u16string& name, const std::u16string& text) { m_entities[name] = text; }
    bool AddTranslation(std::u16string_view from, std::u16string_view to);

private:
    struct FileStamp {
        QDateTime time;
        int64_t size = -1;
    };
    bool loadEntitiesFile(const QString& fileName, uint32_t codePage, QString* error);
    bool loadTranslationsFile(const QString& fileName, uint32_t codePage, QString* error);
    void resetToBuiltIn();

    std::unordered_map<std::u16string, std::u16string> m_entities;
    std::vector<std::pair<TTagPattern, std::u16string>> m_tagTranslations;
    FileStamp m_entitiesStamp, m_translationsStamp;
};

// What happens to one tag of a text.
enum class TTagAction : uint8_t {
    Keep,        // stays in the buffer as a tag (numbered when it is a listed tag)
    Exclude,     // removed
    ExcludeSpan, // removed with everything up to its end tag
    Translate,   // replaced by its translation
};

class TTextTagHandler : public TTagHandlerBase {
public:
    TTextTagHandler(uint32_t languageId, uint32_t codePage, const TTagOptions& options);
    ~TTextTagHandler() override;

    // Reads "tags_to_keep.dat" and "tags_to_exclude.dat" from the folder.
    // False when a list exists but cannot be read (message in `error`).
    bool LoadTagLists(const QString& folder, QString* error = nullptr);
    // Re-reads the lists whose files changed since they were read.
    bool ReloadIfModified(const QString& folder);
    // Adds a tag to keep, as a line of "tags_to_keep.dat" would; false when
    // the text is no tag or the table is full.
    bool AddTagfileTag(const TStoredTagRec& rec);
    bool AddExclusion(std::u16string_view startTag, std::u16string_view endTag = {});
    void ClearLists();

    // The entities and tag translations used with this handler (not owned;
    // nullptr: the built-in HTML entities only).
    void SetTagsToTranslateList(const TTagsToTranslateList* list) { m_translate = list; }
    const TTagsToTranslateList& TagsToTranslate() const;

    const TTagOptions& Options() const { return m_options; }
    void SetOptions(const TTagOptions& options) { m_options = options; }
    uint32_t LanguageId() const { return m_languageId; }
    uint32_t CodePage() const { return m_codePage; }

    // Tags are recognised at all (the mark-up mode is not plain).
    bool RecognisesTags() const { return m_options.mode != TMarkupMode::Plain; }
    // The job keeps or marks listed tags (the concordance asks before showing them).
    virtual bool KeepsOrMarksTags() const;
    bool KeepsSectionStarts() const { return !m_options.sectionStartMarker.isEmpty(); }

    // The 1-based number of a tag in the tag-file table, 0 when not listed;
    // `inner` is the tag's text between its delimiters.
    uint16_t TagNumberOfInner(std::u16string_view inner) const;
    // What the rules say about a tag; for ExcludeSpan `endRule` names the rule
    // whose end tag closes the span, for Translate `translation` the text.
    // With tags ignored, <script> and <style> open a span left out up to
    // their end tags (kScriptSpan, kStyleSpan) unless the options count them.
    TTagAction ActionForTag(std::u16string_view inner, int& endRule, const std::u16string*& translation) const;
    // True when the tag closes the span opened under rule `rule`.
    bool EndsExcludedSpan(int rule, std::u16string_view inner) const;
    // The spans of a script and of a style sheet (no rule of the lists).
    static constexpr int kScriptSpan = 0x10000;
    static constexpr int kStyleSpan = 0x10001;
    static bool IsScriptOrStyleSpan(int rule) { return rule == kScriptSpan || rule == kStyleSpan; }

    // Marks the tags found in buffer[start, start+length) in the class array:
    // every unit from a tag mark U+0019 to its U+0018 gets the tag bit and the
    // tag's number.
    void CheckBufferForTagFileMarkup(std::u16string_view buffer, std::span<uint16_t> classes, int32_t start,
                                     int32_t length) const;

    // The text that shows a listed tag: its description, else the tag itself.
    QString TagToDisplay(const TextTagRec& tag) const;
    QString TagToDisplay(int tagNumber1Based) const;
    // 8-bit text read in the handler's code page (or UTF-16 text) with the
    // units up to 32 (blanks, controls) trimmed from both ends.
    QString Above32PointerToWide(std::span<const uint8_t> text) const;
    QString Above32PointerToWide(std::u16string_view text) const;

    // The tag-file tags (the table that tag numbers index, from 1).
    const std::vector<TextTagRec>& TagfileTags() const { return m_tags; }
    std::vector<TStoredTagRec> TagfileTagsAsStoredArray() const;

    void StartProcess() override {}
    void SetUseUnicode(bool on) override { fUse_Unicode = on; }

    // The handler works with UTF-16 text (the settings' Unicode switch).
    bool fUse_Unicode = true;

private:
    struct ExcludeRule {
        TTagPattern start;
        TTagPattern end;
        bool hasEnd = false;
    };
    struct FileStamp {
        QDateTime time;
        int64_t size = -1;
    };
    bool loadKeepFile(const QString& fileName, QString* error);
    bool loadExcludeFile(const QString& fileName, QString* error);
    void linkPartners();
    void rebuildIndex();

    uint32_t m_languageId;
    uint32_t m_codePage;
    TTagOptions m_options;
    std::vector<TextTagRec> m_tags;
    // Listed tags by name (sorted) for a quick look-up; tags whose name holds "*" apart.
    std::vector<std::pair<std::u16string, int>> m_byName;
    std::vector<int> m_wildNames;
    std::vector<ExcludeRule> m_excludes;
    const TTagsToTranslateList* m_translate = nullptr;
    FileStamp m_keepStamp, m_excludeStamp;
};

// The concordance tool's handler: as the text handler, and it finds the tag
// in force at a place of the buffer (the tag context of a concordance line).
class TMarvexTextTagHandler : public TTextTagHandler {
public:
    using TTextTagHandler::TTextTagHandler;

    bool KeepsOrMarksTags() const override { return RecognisesTags(); }

    struct TTagContext {
        int32_t position = -1;  // buffer index of the tag's opening mark; -1 none
        int32_t length = 0;     // units of the tag
        uint16_t tagNumber = 0; // 1-based
        bool firstKind = false; // an on-tag: it opens a stretch that the context spans
        QString text;           // TagToDisplay of the tag
    };
    // The nearest listed tag that starts at or before `pos`, looking back at
    // most `maxBack` units.
    TTagContext TagContextAt(std::span<const uint16_t> classes, int32_t pos, int32_t maxBack = 1 << 20) const;
};

// Re-reads the tag lists whose files in the folder changed since they were
// read (the user edits them in the controller between jobs); every job calls
// it first. Either list may be null.
void ReloadModifiedTagLists(TTextTagHandler* tagHandler, TTagsToTranslateList* tagsToTranslate,
                            const QString& folder, uint32_t codePage);

// The built-in HTML named entities (name, code point).
struct TNamedEntity {
    const char16_t* name;
    char32_t codePoint;
};
std::span<const TNamedEntity> BuiltInHtmlEntities();

} // namespace cv
