#pragma once
// Turning the bytes of a source text into UTF-16, block by block.
//
// A source text arrives in blocks of up to a few megabytes. The decoder keeps
// the bytes of a character cut at the end of one block and joins them to the
// next, so a block boundary never damages a character. Anything that is not
// well formed (a bad UTF-8 sequence, a lone surrogate, a byte an 8-bit code
// page does not define) becomes U+FFFD; the decoder never reads outside the
// bytes it is given.
//
// Texts without a byte-order mark are recognised as follows:
// - UTF-16: zero bytes in nearly every other position (texts in a Latin
//   script); the side the zeros fall on gives the byte order. Otherwise,
//   when an 8-bit reading would be binary data, by structure: read as
//   UTF-16 in one byte order (Cyrillic, Arabic, Chinese...), nearly every
//   unit is a character texts hold, and clearly more than in the other.
// - UTF-8 (when the settings ask for the test): the bytes above 0x7F form
//   well-formed UTF-8 sequences. While a text has shown nothing but ASCII the
//   question stays open (both readings agree on ASCII); the first byte above
//   0x7F settles it, looking at what follows it.
// - otherwise the 8-bit code page of the text settings.

#include <QStringDecoder>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace cv {

// How the bytes of a source text are read.
enum class TSourceEncoding : uint8_t {
    Ansi = 1,    // an 8-bit Windows code page
    Utf8 = 2,
    Utf16LE = 3,
    Utf16BE = 4,
};

struct TEncodingGuess {
    TSourceEncoding encoding = TSourceEncoding::Ansi;
    int bomLength = 0;     // bytes of the byte-order mark at the start (0, 2 or 3)
    bool decided = true;   // false: nothing but ASCII so far, UTF-8 or the code page is settled later
    bool utf32 = false;    // the text opens with a UTF-32 byte-order mark (not readable here)
};

// Guesses from the first bytes of a text (as many as are at hand; a few
// kilobytes suffice). `wholeText` says the bytes are all there is, so a
// sequence cut at their end is a fault rather than the end of the sample.
TEncodingGuess GuessSourceEncoding(std::span<const uint8_t> head, bool detectUtf8, bool wholeText);
// The structural test of UTF-16 without a mark (see above); sets the byte order.
bool LooksLikeUtf16ByStructure(std::span<const uint8_t> head, bool& bigEndian);
// Whether the bytes after a byte-order mark (as many as are at hand) look
// like the encoding the mark claims: UTF-16 whose words are parted as a
// text's are (by blanks, line breaks or the stops of a script without
// blanks, as LooksLikeUtf16ByStructure asks), UTF-8 that is mostly well
// formed. A head too short to tell looks like it.
bool LooksLikeItsMark(std::span<const uint8_t> head, TSourceEncoding marked);
// Bytes an 8-bit reading would show as controls a text never holds (the
// same controls the reader takes for binary data: below U+0020 but the tab,
// line breaks, U+001A and escape).
std::size_t OddControlBytes(std::span<const uint8_t> bytes);

// Decoded units, grown without being filled first: the decoder writes every
// unit it makes, so a reader that decodes megabytes need not clear them too.
template <class T>
struct TDefaultInitAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = TDefaultInitAllocator<U>;
    };
    using std::allocator<T>::allocator;
    template <class U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using TUnitBuffer = std::vector<char16_t, TDefaultInitAllocator<char16_t>>;

// Code pages decoded without the system converter: 1252 (with its own table
// for 0x80 to 0x9F) and 28591 (ISO 8859-1). Other code pages go through the
// system converter; a code page it does not know reads as ISO 8859-1.
class TTextDecoder {
public:
    // `decided` false: the text has been ASCII so far (see TEncodingGuess);
    // the encoding given must then be Utf8.
    TTextDecoder(TSourceEncoding encoding, uint32_t codePage, bool decided = true);
    ~TTextDecoder();
    TTextDecoder(const TTextDecoder&) = delete;
    TTextDecoder& operator=(const TTextDecoder&) = delete;

    // Appends the UTF-16 of `bytes` to `out`. Bytes of a character cut at the
    // end wait for the next call; with `final` set they become U+FFFD.
    void Decode(std::span<const uint8_t> bytes, bool final, std::u16string& out);
    void Decode(std::span<const uint8_t> bytes, bool final, TUnitBuffer& out);

    TSourceEncoding Encoding() const { return m_encoding; }
    bool Decided() const { return m_decided; }
    // Number of U+FFFD put in place of malformed input so far.
    int64_t Replacements() const { return m_replacements; }
    // At most this many UTF-16 units come out of n bytes (plus what waits).
    static std::size_t MaxUnitsFor(std::size_t bytes) { return bytes + 4; }

private:
    std::size_t decodeUtf8(const uint8_t* p, std::size_t n, bool final, char16_t* out, std::size_t& produced);
    std::size_t decodeUtf16(const uint8_t* p, std::size_t n, bool final, bool bigEndian, char16_t* out,
                            std::size_t& produced);
    template <class Units>
    void decode(std::span<const uint8_t> bytes, bool final, Units& out);
    template <class Units>
    std::size_t decodeAnsi(const uint8_t* p, std::size_t n, bool final, Units& out);
    template <class Units>
    std::size_t decodeUndecided(const uint8_t* p, std::size_t n, bool final, Units& out);
    void settle();

    TSourceEncoding m_encoding;
    uint32_t m_codePage;
    bool m_decided;
    const char16_t* m_table = nullptr;              // 256 entries for a table-driven code page
    std::unique_ptr<QStringDecoder> m_system;       // other code pages
    uint8_t m_pending[8] = {};
    std::size_t m_pendingCount = 0;
    std::vector<uint8_t> m_joined;                  // waiting bytes + the next block
    int64_t m_replacements = 0;
};

// True when the bytes are well-formed UTF-8 throughout (no overlong forms, no
// surrogates, nothing above U+10FFFF); a sequence cut at the very end counts
// as well formed when `allowCutEnd` is set.
bool IsWellFormedUtf8(std::span<const uint8_t> bytes, bool allowCutEnd = false);

// Length of the UTF-8 byte-order mark or of a UTF-16 one at the start; 0 when none.
int ByteOrderMarkLength(std::span<const uint8_t> head);

} // namespace cv
