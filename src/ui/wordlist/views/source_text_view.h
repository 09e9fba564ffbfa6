#pragma once
// The source-text display of the one-text viewer and the plot bar beside it.
//
// TSourceTextRichEdit shows one text read from disk (its encoding detected),
// greys out its mark-up, highlights the words of its search list, steps from
// hit to hit, trims the text and saves it as RTF with the highlights.
// TPlotBar draws where the hits fall in the text as upright lines.
//
// A search word matches as the user types it: whole words, case ignored,
// "*" any run of word characters (also none), "?" one, several words as a
// phrase across any white space; a search word that is a mark-up tag
// ("<head>", "<w *>") is matched as typed, case kept.

#include <QString>
#include <QStringList>
#include <QTextEdit>
#include <QWidget>

#include <climits>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace cv {

// Flag of a search entry matched exactly as it stands (whole lines of a compared text).
constexpr uint8_t kSWLiteral = 0x80;

// One search word with its flags (as FlagsFromSW gives them) and a limit of hits (largest: no limit).
struct TSimpleSearchEntry {
    QString word;
    uint8_t flags = 0;
    int32_t limit = INT32_MAX;
};
using TSimpleSearchlist = std::vector<TSimpleSearchEntry>;

// A search entry for a typed word, its flags from the word.
TSimpleSearchEntry SearchEntryOf(const QString& word);

// Character positions where the entry matches in the text, in order, with
// the length of each match; at most the entry's limit.
std::vector<std::pair<int, int>> FindSearchWordHits(const QString& text, const TSimpleSearchEntry& entry);

// Spans of mark-up ("<...>" not spanning another "<") in the text; a "<"
// with no ">" within maxSpan characters after it starts no tag.
std::vector<std::pair<int, int>> MarkupSpans(const QString& text, int maxSpan = INT_MAX);

// The text with white space cut from the ends of its lines and runs of empty
// lines made one; with `allLines` every empty line goes.
QString TrimmedText(const QString& text, bool allLines);

// Goes on (true) or stops (false); given percent done.
using TViewProgress = std::function<bool(int percent)>;

class TSourceTextRichEdit final : public QTextEdit {
    Q_OBJECT
public:
    explicit TSourceTextRichEdit(QWidget* parent = nullptr);

    // Texts longer than this many lines are not greyed out on loading.
    static constexpr int kGreyOutLineLimit = 200000;

    // Whether mark-up is greyed out, and the longest tag (characters between "<" and ">").
    void SetMarkupEtc(bool greyMarkup, int tagSpan = INT_MAX)
    {
        m_greyMarkup = greyMarkup;
        m_tagSpan = tagSpan > 0 ? tagSpan : INT_MAX;
    }
    // Colours: plain text, mark-up, key-word text and background (0xAARRGGBB).
    void SetColoursEtc(uint32_t text, uint32_t markup, uint32_t keyword, uint32_t keywordBackground);
    void SetFont(const QString& name, int points);

    // Reads the file (encoding detected, at most maxChars characters); false
    // with the reason in LastError when it cannot be read.
    bool LoadedASourceText(const QString& fileName, int32_t maxChars);
    const QString& LastError() const { return m_error; }
    int TextLength() const { return int(m_text.size()); }
    int LineCount() const;

    void GreyOutAnyMarkup(const TViewProgress& progress = {});
    bool MarkupGreyed() const { return !m_markup.empty(); }

    TSimpleSearchlist& SearchList() { return m_search; }
    // Highlights every entry of the search list; returns the hits found.
    int HighlightKWs(const TViewProgress& progress = {});
    // Highlights one word alone (the search list becomes that word).
    int HighlightOneKW(const QString& word);
    int HighlightsFoundCount() const;
    // Every hit's position, in text order.
    std::vector<int> KeyWordPositionsAsArray() const;
    // Hits of search entry i and the position of its first (-1 when none).
    std::pair<int, int> CountAndFirstPosOfKWPositions(int i) const;
    // The entry whose hits GotoNextKW steps through; -1 all.
    void SetCurrentKW(int i) { m_currentKW = i; }
    int CurrentKW() const { return m_currentKW; }
    // Moves to the next (previous) hit after (before) the cursor; false when there is none.
    bool GotoNextKW(bool backward);
    // Item, of, line, of: where GotoNextKW went (1-based item and line).
    std::function<void(int item, int items, int line, int lines)> OnLineShowMessage;

    // Trims the text (TrimmedText); highlights are made again.
    void TrimTheText(bool allLines);
    // Writes the text as RTF with mark-up grey and hits highlighted; the
    // note heads the document when not empty. False with the reason in LastError.
    bool SaveAsRTF(const QString& fileName, const QString& note);
    void Stop() { m_stop = true; }

private:
    void ApplySelections();

    QString m_text;
    QString m_error;
    bool m_greyMarkup = true;
    int m_tagSpan = INT_MAX;
    bool m_stop = false;
    uint32_t m_textColour = 0xFF000000u;
    uint32_t m_markupColour = 0xFFA0A0A0u;
    uint32_t m_kwColour = 0xFF0000FFu;
    uint32_t m_kwBackground = 0xFFFFFF80u;
    std::vector<std::pair<int, int>> m_markup;
    TSimpleSearchlist m_search;
    std::vector<std::vector<std::pair<int, int>>> m_hits; // per search entry
    int m_currentKW = -1;
};

// Upright lines at positions within a range, with an optional ruler.
class TPlotBar final : public QWidget {
    Q_OBJECT
public:
    explicit TPlotBar(QWidget* parent = nullptr);
    void SetColours(uint32_t plot, uint32_t background, uint32_t ruler, int divisions);
    void SetRange(int first, int last);
    void SetLines(std::vector<int> positions);
    const std::vector<int>& Lines() const { return m_lines; }
    void SetRuler(bool on);
    bool Ruler() const { return m_ruler; }
    QSize sizeHint() const override { return {400, 24}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_first = 1;
    int m_last = 1;
    std::vector<int> m_lines;
    bool m_ruler = false;
    uint32_t m_plot = 0xFF000080u, m_background = 0xFFFFFFFFu, m_rulerColour = 0xFF808080u;
    int m_divisions = 8;
};

} // namespace cv
