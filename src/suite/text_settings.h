#pragma once
// The text-settings record of the shared settings buffer: how texts are read
// and cut into words. Every job fetches it fresh (GetTextSettings) and result
// documents store it whole. The first 1040 bytes are the language block,
// which other records (key words, concordance) copy into their own start.

#include "suite/settings_record.h"

namespace cv {

// What a number in a text becomes in a word list.
enum class TNumberHandling : uint8_t { Drop = 0, Keep = 1 };
// How words are folded for counting.
enum class TCaseFolding : uint8_t { Lower = 0, Keep = 1, Upper = 2 };
// How mark-up in angle brackets is treated.
enum class TMarkupMode : uint8_t {
    Plain = 0,      // "<" and ">" are ordinary characters
    IgnoreTags = 1, // anything between "<" and ">" (within the tag span) is skipped
    TagRules = 2,   // tags to keep, exclude and translate follow the tag lists
};

class TTextSettings : public TSettingsRecord<2048> {
public:
    static constexpr std::size_t kLanguageBlockSize = 1040;
    static constexpr int32_t kRecordVersion = 1;

    // --- language block (bytes 0..1039) ---
    CV_FIELD(int32_t, 0, RecordVersion)
    CV_FIELD(uint32_t, 4, LanguageId)      // Windows-style locale identifier (0x0809 English UK)
    CV_FIELD(uint32_t, 8, CodePage)        // code page of 8-bit texts without a byte-order mark
    CV_BOOL_FIELD(12, Unicode)             // documents hold UTF-16 text
    CV_BOOL_FIELD(13, CombiningCharacters) // treat the language as having combining characters
    CV_BOOL_FIELD(14, HyphensSeparateWords) // clear: a hyphen between letters joins them
    CV_BOOL_FIELD(15, ApostrophesInWords)  // set: an apostrophe between letters stays in the word
    CV_FIELD(uint8_t, 16, CaseFoldingByte)
    CV_TEXT_FIELD(20, 40, ExtraWordCharacters) // characters counted as letters wherever they stand
    CV_TEXT_FIELD(100, 20, SentenceEndCharacters)
    CV_TEXT_FIELD(140, 40, CollationName)  // locale name used for alphabetical sorting ("en_GB")
    CV_TEXT_FIELD(936, 51, LanguageName)

    // --- the rest ---
    CV_FIELD(int32_t, 1040, MaxTexts)      // below 1: no limit (the setter of a document makes it INT32_MAX)
    CV_FIELD(uint8_t, 1044, MarkupModeByte)
    CV_BOOL_FIELD(1045, TranslateEntities) // "&amp;" and friends become their characters
    CV_FIELD(uint8_t, 1046, TagDisplay)    // 0 tags hidden, 1 as prefix, 2 as suffix, 3 words hidden
    CV_BOOL_FIELD(1047, KeepNumbers)       // clear: numbers are removed (or become "#" where counted)
    CV_FIELD(int32_t, 1048, MinWordLength)
    CV_FIELD(int32_t, 1052, MaxWordLength)
    CV_FIELD(int32_t, 1056, STTRBasis)     // words per chunk of the standardised type/token ratio
    CV_FIELD(int32_t, 1060, MaxTagSpan)    // a "<" with no ">" within this many characters is no tag
    CV_FIELD(uint8_t, 1064, FontSize)
    CV_BOOL_FIELD(1065, TextSelectionOn)   // only the text between the start and end markers is read
    CV_BOOL_FIELD(1066, BlankLineEndsParagraph) // clear: every line end ends a paragraph
    CV_BOOL_FIELD(1067, BlankTagsInSearch)  // search engines blank out tags before matching
    CV_TEXT_FIELD(1068, 101, FontName)
    CV_TEXT_FIELD(1270, 50, TextStartMarker)
    CV_TEXT_FIELD(1370, 50, TextEndMarker)
    CV_TEXT_FIELD(1470, 50, SectionStartMarker) // a line starting with this begins a new section
    CV_TEXT_FIELD(1570, 20, HeadingStartTag)    // e.g. "<head>": the paragraph it starts is a heading
    CV_TEXT_FIELD(1610, 20, HeadingEndTag)
    CV_BOOL_FIELD(1650, DetectUtf8)        // 8-bit texts without a mark are tested for UTF-8 first
    // Set: what stands inside <script> and <style> is read as text when tags
    // are ignored. Clear (the default, and what records older than the
    // field hold): it is left out, as a reader of the page never sees it.
    CV_BOOL_FIELD(1651, CountScriptAndStyle)
    // Bytes 1652..2047 are free for later fields; they are zero in every record written so far.

    TCaseFolding CaseFolding() const { return TCaseFolding(CaseFoldingByte()); }
    void SetCaseFolding(TCaseFolding f) { SetCaseFoldingByte(uint8_t(f)); }
    TMarkupMode MarkupMode() const { return TMarkupMode(MarkupModeByte()); }
    void SetMarkupMode(TMarkupMode m) { SetMarkupModeByte(uint8_t(m)); }

    // Sensible settings for an English corpus.
    static TTextSettings Defaults();

    // The first 1040 bytes, as other records copy them.
    std::span<const uint8_t> LanguageBlock() const { return Bytes().first(kLanguageBlockSize); }
};

inline TTextSettings TTextSettings::Defaults()
{
    TTextSettings s;
    s.SetRecordVersion(kRecordVersion);
    s.SetLanguageId(0x0809);
    s.SetCodePage(1252);
    s.SetUnicode(true);
    s.SetApostrophesInWords(true);
    s.SetCaseFolding(TCaseFolding::Lower);
    s.SetSentenceEndCharacters(QStringLiteral(".!?"));
    s.SetCollationName(QStringLiteral("en_GB"));
    s.SetLanguageName(QStringLiteral("English"));
    s.SetMaxTexts(0);
    s.SetMarkupMode(TMarkupMode::IgnoreTags);
    s.SetTranslateEntities(true);
    s.SetKeepNumbers(false);
    s.SetMinWordLength(1);
    s.SetMaxWordLength(50);
    s.SetSTTRBasis(1000);
    s.SetMaxTagSpan(1000);
    s.SetFontSize(12);
    s.SetFontName(QStringLiteral("Sans Serif"));
    s.SetSectionStartMarker(QString());
    s.SetHeadingStartTag(QStringLiteral("<head>"));
    s.SetHeadingEndTag(QStringLiteral("</head>"));
    s.SetDetectUtf8(true);
    return s;
}

} // namespace cv
