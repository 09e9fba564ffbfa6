#pragma once
// First step of processing a chunk: from the decoded text to the processed
// buffer. Applies the text markers (only the selected stretches are kept),
// the tag rules (tags kept with their delimiters turned into tag marks,
// excluded tags and stretches removed, listed tags translated) and entities.
// State that spans chunks (inside a selected stretch, inside an excluded
// stretch) is kept between calls.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cv {

class TTextTagHandler;

// Where the units of a processed buffer came from: positions in the decoded
// text (UTF-16 units from the start of the text, after any byte-order mark).
// The buffer differs from the text only where something was removed,
// translated or inserted; an anchor marks each such place.
class TPositionMap {
public:
    void Reset(int64_t chunkPosition);
    // From `index` on, units map one to one to positions from `position`.
    void Add(int32_t index, int64_t position);
    int64_t PositionOf(int32_t index) const;
    // The buffer index that holds a text position (the first unit made from
    // it, or where it would be when it was removed).
    int32_t IndexOf(int64_t position) const;
    std::size_t AnchorCount() const { return m_anchors.size(); }

private:
    struct Anchor {
        int32_t index;
        int64_t position;
    };
    std::vector<Anchor> m_anchors;
};

class TMarkupPass {
public:
    explicit TMarkupPass(const TTextTagHandler& handler);

    // True when the pass changes anything at all with these rules; when
    // false the decoded chunk is the processed buffer as it stands.
    bool Active() const { return m_tags || m_entities || m_selection; }
    void StartText();

    // Turns one chunk (whose first unit is at `chunkPosition` in the text)
    // into the processed buffer `out`. `tagNumbers` gets the number of every
    // tag kept, in order; `forcedBoundaries` the buffer indexes where a
    // separator stands for removed selected text (a section end). False,
    // `out` left empty: nothing in the chunk is changed (no tag, entity or
    // tag mark, no selection or excluded span under way), and the chunk is
    // the processed buffer as it stands (most chunks of plain texts, which
    // are then not copied).
    bool Process(std::u16string_view chunk, int64_t chunkPosition, std::u16string& out, TPositionMap& map,
                 std::vector<uint16_t>& tagNumbers, std::vector<int32_t>& forcedBoundaries);

    // A script or a style sheet was left out of the text (see
    // TTextTagHandler::ActionForTag) since StartText.
    bool LeftOutScriptOrStyle() const { return m_leftOutScript; }

    // Index of the ">" that closes a tag opening at `lt` (text[lt] == "<"),
    // within the tag span; -1 when it is no tag.
    static int64_t TagEnd(std::u16string_view text, std::size_t lt, std::size_t limit, int32_t maxTagSpan);

private:
    // The four units a stretch is searched for: tag and entity starts, and
    // the tag marks a source text may hold (repeated where one is off).
    std::array<char16_t, 4> marks() const;
    // Processes [from, to) of the chunk onto `out`; true when it changed
    // anything. `mayKeep`: a stretch that changes nothing is not copied
    // (`out` is then left as it was, and the stretch is its own result).
    bool processStretch(std::u16string_view chunk, std::size_t from, std::size_t to, int64_t base,
                        std::u16string& out, TPositionMap& map, std::vector<uint16_t>& tagNumbers, bool mayKeep);
    void emitReplacement(std::u16string_view text, std::size_t sourceEnd, int64_t base, std::u16string& out,
                         TPositionMap& map);

    const TTextTagHandler& m_handler;
    bool m_tags;
    bool m_entities;
    bool m_selection;
    std::u16string m_startMarker, m_endMarker;
    int32_t m_maxTagSpan;
    // Text state.
    bool m_selecting = true;
    bool m_emitted = false;   // something of the text has been emitted
    bool m_gapPending = false;
    int m_excludeRule = -1;   // inside the stretch excluded under this rule
    bool m_leftOutScript = false;
    std::u16string m_scratch;
};

// The first index in [0, n) holding one of the four units, or n.
// `widest`: 32 units at a time where the processor has AVX-512 (the same
// answer; off, 16 at a time, for tests).
std::size_t FindFirstOf4(const char16_t* p, std::size_t n, char16_t a, char16_t b, char16_t c, char16_t d,
                         bool widest = true);

} // namespace cv
