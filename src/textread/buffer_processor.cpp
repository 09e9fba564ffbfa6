#include "textread/buffer_processor.h"

#include "suite/cv_globals.h"
#include "suite/decipher.h"
#include "suite/dialogs.h"
#include "suite/file_system.h"
#include "suite/zip_archive.h"
#include "textread/class_array.h"
#include "textread/preparsed_text.h"
#include "textread/tag_handler.h"
#include "textread/text_decoder.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QtDebug>

#include <algorithm>
#include <cerrno>
#include <cstring>


#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cv {

thread_local TOneFilesStats Global_OneFilesStats;

namespace {

constexpr std::size_t kGuessBytes = 64 * 1024;

inline bool isLineBreak(char16_t c) { return c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029 || c == 0x85; }
inline bool isBlankUnit(char16_t c) { return c == u' ' || c == u'\t' || c == 0x3000 || c == 0xA0 || c == u'\f' || c == u'\v'; }
inline bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// A text whose first units are full of control characters or undecodable
// bytes is not a text at all (a program, a picture, a word-processor file).
// `undecodableCount`: U+FFFD counts against it; not so where a byte-order
// mark made the reader decode a text as what it is not (a Latin-1 text
// behind the UTF-8 mark), which is read all the same, with a note.
bool looksBinary(std::u16string_view head, bool undecodableCount)
{
    const std::size_t n = std::min<std::size_t>(head.size(), kGuessBytes);
    auto badUnit = [undecodableCount](char16_t c) {
        if (c < 0x20)
            return !(c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v' || c == 0x1A || c == 0x1B);
        return undecodableCount && c == 0xFFFD;
    };
    std::size_t bad = 0, i = 0;
#if defined(__SSE2__)
    // Eight units at a time, the same test in lanes: below U+0020 but none
    // of the controls a text holds (U+0009..U+000D, U+001A, U+001B), or U+FFFD.
    const __m128i zero = _mm_setzero_si128();
    const __m128i below = _mm_set1_epi16(0x1F);
    const __m128i replacement = _mm_set1_epi16(short(0xFFFD));
    const __m128i replacementCounts = undecodableCount ? _mm_set1_epi16(-1) : zero;
    __m128i lanes = zero;
    auto countEight = [&](std::size_t at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(head.data() + at));
        const __m128i control = _mm_cmpeq_epi16(_mm_subs_epu16(v, below), zero);
        const __m128i allowed = _mm_or_si128(
            _mm_cmpeq_epi16(_mm_subs_epu16(_mm_sub_epi16(v, _mm_set1_epi16(0x09)), _mm_set1_epi16(4)), zero),
            _mm_cmpeq_epi16(_mm_subs_epu16(_mm_sub_epi16(v, _mm_set1_epi16(0x1A)), _mm_set1_epi16(1)), zero));
        const __m128i odd = _mm_or_si128(_mm_andnot_si128(allowed, control),
                                         _mm_and_si128(_mm_cmpeq_epi16(v, replacement), replacementCounts));
        // Counted in lanes (an odd unit's lane is all ones: minus one);
        // a lane takes at most kGuessBytes / 8 of them, within 16 bits.
        lanes = _mm_sub_epi16(lanes, odd);
    };
    for (; i + 16 <= n; i += 16) {
        // Most texts hold no unit below U+0020 but line breaks and tabs, so
        // sixteen units are first looked at as bytes; units from U+8000
        // (U+FFFD among them) become 0 then, and are looked at closely.
        const __m128i b = _mm_packus_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(head.data() + i)),
                                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(head.data() + i + 8)));
        const __m128i control = _mm_cmpeq_epi8(_mm_subs_epu8(b, _mm_set1_epi8(0x1F)), zero);
        const __m128i usual = _mm_cmpeq_epi8(_mm_subs_epu8(_mm_sub_epi8(b, _mm_set1_epi8(0x09)), _mm_set1_epi8(4)), zero);
        if (_mm_movemask_epi8(_mm_andnot_si128(usual, control)) == 0)
            continue;
        countEight(i);
        countEight(i + 8);
    }
    for (; i + 8 <= n; i += 8)
        countEight(i);
    alignas(16) uint16_t counts[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(counts), lanes);
    for (const uint16_t c : counts)
        bad += c;
#endif
    for (; i < n; ++i)
        bad += badUnit(head[i]) ? 1 : 0;
    return n > 0 && bad * 20 > n;
}

// The scratch's buffers grow by half again at least: texts of a job come in
// any order of size, and every buffer made anew is fresh pages to fault in.
std::size_t grownCapacity(std::size_t have, std::size_t need) { return std::max(need, have + have / 2); }

uint8_t formatOf(TSourceEncoding e)
{
    switch (e) {
    case TSourceEncoding::Ansi: return kTextFormatAnsi;
    case TSourceEncoding::Utf8: return kTextFormatUtf8;
    case TSourceEncoding::Utf16LE: return kTextFormatUtf16LE;
    case TSourceEncoding::Utf16BE: return kTextFormatUtf16BE;
    }
    return kTextFormatUnknown;
}

} // namespace

std::size_t ChunkCutPosition(std::u16string_view text, bool tagsActive, int32_t maxTagSpan, std::size_t maxCut,
                             bool* blankFound)
{
    if (blankFound)
        *blankFound = true;
    const std::size_t n = std::min(text.size(), std::max<std::size_t>(maxCut, 1));
    if (n == 0)
        return 0;
    const std::size_t half = n / 2;
    // Some text is left after a cut where possible: boundaries at the end of
    // a chunk are decided by looking at what follows.
    const std::size_t reserve = std::min<std::size_t>(256, n / 4);
    auto lastIn = [&](std::size_t from, auto pred, std::size_t to) -> std::size_t {
        for (std::size_t k = to; k-- > from;)
            if (pred(k))
                return k + 1;
        return 0;
    };
    // A "\r" at the very end may be the first half of "\r\n": not a place to cut.
    auto lineBreakAt = [&](std::size_t k) {
        return isLineBreak(text[k]) && !(text[k] == u'\r' && (k + 1 >= text.size() || text[k + 1] == u'\n'));
    };
    auto blankAt = [&](std::size_t k) { return isBlankUnit(text[k]) || lineBreakAt(k); };
    std::size_t cut = lastIn(half, lineBreakAt, n - reserve);
    if (cut == 0)
        cut = lastIn(half, blankAt, n - reserve);
    if (cut == 0)
        cut = lastIn(0, lineBreakAt, n);
    if (cut == 0)
        cut = lastIn(0, blankAt, n);
    if (cut == 0) {
        cut = n; // no blank at all: the chunk is not made of words
        if (blankFound)
            *blankFound = false;
    }
    if (cut == n && cut < text.size() && isHighSurrogate(text[cut - 1]) && cut > 1)
        --cut;
    return tagsActive ? CutBeforeOpenTag(text, cut, maxTagSpan) : cut;
}

std::size_t CutBeforeOpenTag(std::u16string_view text, std::size_t cut, int32_t maxTagSpan)
{
    // A "<" still waiting for its ">" must go with the next chunk.
    const std::size_t span = std::size_t(std::max(maxTagSpan, 1)) + 2;
    const std::size_t from = cut > span ? cut - span : 0;
    for (std::size_t k = cut; k-- > from;) {
        if (text[k] == u'>')
            break;
        if (text[k] != u'<')
            continue;
        const int64_t gt = TMarkupPass::TagEnd(text, k, text.size(), maxTagSpan);
        const bool open = gt >= int64_t(cut) || (gt < 0 && k + span > text.size());
        if (open && k > 0)
            cut = k;
        break;
    }
    return cut;
}

struct TBufferProcessor::Source {
    // Not a QFile: a text may be read on a thread of its own, where Qt
    // makes its record of the thread inside the first QObject's
    // constructor and cannot undo it when memory runs out there.
    TReadOnlyFile file;
    QString error;    // why the file could not be read (Read gave -1)
    bool fileEnded = false;
    std::vector<uint8_t> memory;
    std::size_t pos = 0, end = 0;
    bool inMemory = false;
    // An entry of a zip archive, read a piece at a time as a loose file is
    // (its number in the archive of the reader's scratch, for a second reading).
    std::unique_ptr<TZipEntryReader> entry;
    int entryIndex = -1;
    int64_t size = 0;
    int64_t fileLeft = 0; // of a loose file or an entry: what is not read yet of the size it had when opened
    uint8_t flags = 0;

    int64_t Read(uint8_t* dst, int64_t max)
    {
        if (entry) {
            const int64_t n = entry->Read(dst, max, &error);
            fileLeft -= std::max<int64_t>(n, 0);
            return n;
        }
        if (!inMemory) {
            const int64_t want = std::min(max, fileLeft);
            const int64_t n = want > 0 ? file.Read(dst, want, &error) : 0;
            fileLeft -= std::max<int64_t>(n, 0);
            fileEnded = fileEnded || (n >= 0 && n < want);
            return n;
        }
        const std::size_t n = std::min<std::size_t>(std::size_t(max), end - pos);
        if (n > 0)
            std::memcpy(dst, memory.data() + pos, n);
        pos += n;
        return int64_t(n);
    }
    // A text that grows while it is read ends where it ended when opened
    // (a text written to without end would be read for ever).
    bool AtEnd() const { return entry ? entry->AtEnd() : inMemory ? pos >= end : fileLeft <= 0 || fileEnded; }
    // A loose text that ended before the size it had when opened, or was
    // written to since (a text in memory was read whole at once; an entry
    // that is not what its archive says is refused).
    bool ChangedWhileRead() const { return !inMemory && !entry && (fileLeft > 0 || file.ChangedSinceOpened()); }
};

TBufferProcessor::TBufferProcessor(TCorvantisholder* document, TFileHandledCallback fileHandled,
                                   TUnicodeChangeCallback unicodeChange, TTagHandlerBase* tagHandler,
                                   const TChosenTextRec& text, const TTextSettings& settings, uint8_t jobKind,
                                   uint8_t combining, bool maySaveBuffer)
    : fTagHandler(dynamic_cast<TTextTagHandler*>(tagHandler)), WH(document), fFullFilename(text.FullFilename), m_fileHandled(std::move(fileHandled)),
      m_unicodeChange(std::move(unicodeChange)), m_text(text), m_settings(settings), m_jobKind(jobKind),
      m_combining(combining), m_maySaveBuffer(maySaveBuffer)
{
    if (!fTagHandler) {
        m_ownHandler = std::make_unique<TTextTagHandler>(settings.LanguageId(), settings.CodePage(),
                                                         TTagOptions::FromSettings(settings));
        fTagHandler = m_ownHandler.get();
    }
    m_map.Reset(0);
    m_scratch = &ownScratch();
}

TBufferProcessor::~TBufferProcessor() = default;

TReadScratch& TBufferProcessor::ownScratch()
{
    if (!m_ownScratch)
        m_ownScratch = std::make_unique<TReadScratch>();
    return *m_ownScratch;
}

TTextClassifier& TBufferProcessor::classifierFor(const TTextTagHandler& handler, bool tagMarks)
{
    // Made again only when the settings or the tag rules it depends on changed.
    TReadScratch& s = *m_scratch;
    const TTagOptions& o = handler.Options();
    const bool same = s.classifier && s.classifierHandler == &handler && s.classifierTagMarks == tagMarks
                      && std::memcmp(s.classifierSettings.Bytes().data(), m_settings.Bytes().data(), TTextSettings::kSize) == 0
                      && s.classifierTagSpan == o.maxTagSpan
                      && s.classifierMarkers[0] == o.sectionStartMarker && s.classifierMarkers[1] == o.headingStartTag
                      && s.classifierMarkers[2] == o.headingEndTag;
    if (!same) {
        s.classifier = std::make_unique<TTextClassifier>(m_settings, handler, tagMarks);
        s.classifierSettings = m_settings;
        s.classifierHandler = &handler;
        s.classifierTagMarks = tagMarks;
        s.classifierTagSpan = o.maxTagSpan;
        s.classifierMarkers[0] = o.sectionStartMarker;
        s.classifierMarkers[1] = o.headingStartTag;
        s.classifierMarkers[2] = o.headingEndTag;
    }
    s.classifier->SetAsciiBlocks(true);
    return *s.classifier;
}

void TBufferProcessor::SetMaxChunkChars(int32_t units) { m_maxChunk = std::clamp(units, 64, kMaxChunkChars); }

void TBufferProcessor::SetLargestChunkChars(int32_t units)
{
    m_largestChunk = std::clamp(units, 64, kMaxChunkChars);
    m_maxChunk = std::min(m_maxChunk, m_largestChunk);
}

std::size_t WordSafeCut(std::u16string_view chunk, const TTextClassifier& classifier)
{
    // Only marks that always end a word, never "<", ">" or "&" (a tag or
    // an entity may stand around them), and only in the second half.
    if (chunk.size() < 2)
        return chunk.size();
    auto digitAt = [&](std::size_t k) { return k < chunk.size() && classifier.KindOf(chunk[k]) == TTextClassifier::kDigit; };
    for (std::size_t k = chunk.size() - 1; k-- > chunk.size() / 2;) {
        const char16_t c = chunk[k];
        const auto kind = classifier.KindOf(c);
        // "," and "." join only digits ("1,000"), also where they end sentences.
        const bool inNumber = JoinsDigits(c) && digitAt(k - 1) && digitAt(k + 1);
        if ((kind == TTextClassifier::kPunct || kind == TTextClassifier::kSentenceEnd || kind == TTextClassifier::kSpace
             || kind == TTextClassifier::kNumberSep)
            && !inNumber && c != u'<' && c != u'>' && c != u'&')
            return k + 1;
    }
    return chunk.size();
}

void ContinueWord(std::span<uint16_t> classes)
{
    for (uint16_t& c : classes) {
        if (!IsWordClass(c))
            return;
        c = uint16_t((c & ~kClassCodeMask) | kClassSpace);
    }
}

void TBufferProcessor::AddReadNote(const QString& note)
{
    m_notes << QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_text.DisplayName()), note);
}

int64_t TBufferProcessor::countTextUnits(Source& src, const TEncodingGuess& guess, std::span<const uint8_t> first,
                                         bool eof)
{
    // The bytes go through a decoder of their own, a block at a time, in
    // the very steps the text's own decoder takes them (an ASCII start
    // settles as it does there).
    // UTF-16 gives a unit for every two bytes and one for an odd byte at
    // its end, nothing else: its size tells, and no byte is read again.
    if (guess.encoding == TSourceEncoding::Utf16LE || guess.encoding == TSourceEncoding::Utf16BE) {
        const int64_t rest = eof ? 0 : src.inMemory ? int64_t(src.end - src.pos) : src.fileLeft;
        return (int64_t(first.size()) + rest + 1) / 2;
    }
    TTextDecoder counter(guess.encoding, m_settings.CodePage(), guess.decided);
    TUnitBuffer units;
    int64_t total = 0;
    auto take = [&](std::span<const uint8_t> bytes, bool final) {
        counter.Decode(bytes, final, units);
        total += int64_t(units.size());
        units.clear();
    };
    take(first, eof);
    if (eof)
        return total;
    constexpr std::size_t kBlock = std::size_t(1) << 20;
    if (src.inMemory) {
        for (std::size_t at = src.pos; at < src.end; at += kBlock) {
            const std::size_t n = std::min(kBlock, src.end - at);
            take({src.memory.data() + at, n}, at + n >= src.end);
        }
        return total;
    }
    // The rest of a loose text as far as it reached when opened; of an
    // entry, the rest of a second reading of it.
    std::vector<uint8_t> block(std::size_t(std::min<int64_t>(int64_t(kBlock), std::max<int64_t>(src.fileLeft, 1))));
    const int64_t from = src.size - src.fileLeft;
    std::unique_ptr<TZipEntryReader> again = src.entry ? m_scratch->zip->OpenEntry(src.entryIndex) : nullptr;
    auto readAt = [&](int64_t at, uint8_t* to, int64_t n) {
        if (!src.entry)
            return src.file.ReadAt(at, to, n, nullptr);
        return again && again->Read(to, n, nullptr) == n;
    };
    for (int64_t skipped = 0; again && skipped < from;) {
        const int64_t n = std::min<int64_t>(int64_t(block.size()), from - skipped);
        if (!readAt(skipped, block.data(), n))
            return -1;
        skipped += n;
    }
    for (int64_t at = from; at < src.size; at += int64_t(block.size())) {
        const auto n = std::size_t(std::min<int64_t>(int64_t(block.size()), src.size - at));
        if (!readAt(at, block.data(), int64_t(n)))
            return -1; // cut short meanwhile: the reading itself tells
        take({block.data(), n}, at + int64_t(n) >= src.size);
    }
    return total;
}

bool TBufferProcessor::fail(const QString& reason)
{
    m_error = reason;
    if (m_showFailures) {
        TDialogRequest r;
        r.routine = QStringLiteral("FailedToRead");
        r.kind = TDialogKind::Error;
        r.caption = QStringLiteral("Reading texts");
        r.text = reason;
        ShowDialog(r);
    }
    return false;
}

bool TBufferProcessor::openSource(Source& src)
{
    const QString shown = QDir::toNativeSeparators(m_text.DisplayName());
    auto cannotRead = [&](const QString& why) { return fail(QStringLiteral("Cannot read text \"%1\": %2").arg(shown, why)); };
    const QString name = (m_text.InsideZip() ? m_text.ZipEntryName : m_text.FullFilename).toLower();
    const bool enciphered = name.endsWith(QLatin1String(".cvencrypted"));
    const bool preparsed = name.endsWith(QLatin1String(".cvpreparsed"));
    if (const QString why = NotARegularFileReason(m_text.FullFilename); !why.isEmpty())
        return cannotRead(why);

    if (m_text.InsideZip()) {
        TReadScratch& sc = *m_scratch;
        const QFileInfo file(m_text.FullFilename);
        const int64_t time = file.lastModified().toMSecsSinceEpoch();
        if (!sc.zip || sc.zip->FileName() != m_text.FullFilename || !sc.zip->IsOpen() || sc.zipSize != file.size()
            || sc.zipTime != time) {
            sc.zip = std::make_unique<TZipArchive>();
            sc.zipSize = file.size();
            sc.zipTime = time;
            if (!sc.zip->OpenArchive(m_text.FullFilename)) {
                const QString why = sc.zip->ErrorString();
                sc.zip.reset();
                return fail(why);
            }
        }
        TZipArchive& zip = *sc.zip;
        const int index = zip.IndexOf(m_text.ZipEntryName);
        if (index < 0)
            return cannotRead(QStringLiteral("the archive holds no entry of that name"));
        src.flags |= kTextFormatInZip;
        // An entry is read as it unpacks, as a loose text is read: only an
        // enciphered or a pre-parsed text (by its name, or by its magic
        // bytes) is unpacked whole first.
        if (!enciphered && !preparsed) {
            std::unique_ptr<TZipEntryReader> entry = zip.OpenEntry(index);
            if (!entry)
                return fail(zip.ErrorString());
            uint8_t head[sizeof(kPreparsedMagic)];
            QString why;
            const int64_t n = entry->Read(head, int64_t(sizeof(head)), &why);
            if (n < 0)
                return fail(why);
            if (!LooksPreparsed({head, std::size_t(n)})) {
                src.entry = zip.OpenEntry(index); // from its start
                if (!src.entry)
                    return fail(zip.ErrorString());
                src.entryIndex = index;
                src.size = src.entry->Size();
                src.fileLeft = src.size;
                return true;
            }
        }
        TMemoryStream whole;
        if (!zip.ExtractToStream(index, whole))
            return fail(zip.ErrorString());
        src.memory = whole.TakeBytes();
        src.inMemory = true;
    } else if (enciphered || preparsed) {
        TMemoryStream whole;
        QString error;
        if (!whole.LoadFromFile(m_text.FullFilename, &error))
            return fail(error);
        src.memory = whole.TakeBytes();
        src.inMemory = true;
    } else {
        // Checked again as it is opened: a named pipe put in the text's
        // place after the check above is refused, not waited on.
        QString why;
        if (!src.file.Open(m_text.FullFilename, &why))
            return fail(why);
        src.size = src.file.Size();
        src.fileLeft = src.size;
        return true;
    }
    src.size = int64_t(src.memory.size());
    if (enciphered) {
        std::vector<uint8_t> plain;
        QString why;
        if (!DecipheredBytes(src.memory, plain, &why))
            return cannotRead(why);
        src.memory = std::move(plain);
        src.flags |= kTextFormatEnciphered;
    }
    src.pos = 0;
    src.end = src.memory.size();
    if (preparsed || LooksPreparsed(src.memory)) {
        TPreparsedInfo info;
        std::size_t offset = 0, bytes = 0;
        QString why;
        if (!ParsePreparsed(src.memory, info, offset, bytes, &why))
            return cannotRead(why);
        src.pos = offset;
        src.end = offset + bytes;
        src.flags |= kTextFormatPreparsed;
        m_preparsed = true;
    }
    return true;
}

void TBufferProcessor::processChunk(std::u16string_view chunk, std::u16string_view rest, bool final)
{
    TReadScratch& s = *m_scratch;
    // A chunk that processing leaves as it is is read where it was decoded
    // (the decoded units stay until the chunk is done with), not copied.
    const bool markup = m_markup && m_markup->Active();
    if (markup && m_markup->Process(chunk, m_chunkPosition, s.buffer, m_map, s.tagNumbers, s.forced)) {
        s.text = s.buffer;
    } else {
        s.text = chunk;
        s.buffer.clear();
        m_map.Reset(m_chunkPosition);
        s.tagNumbers.clear();
        s.forced.clear();
    }
    if (s.classCapacity < s.text.size() + 1) {
        s.classCapacity = grownCapacity(s.classCapacity, s.text.size() + 1);
        s.classes = std::make_unique_for_overwrite<uint16_t[]>(s.classCapacity);
    }
    m_chunkStats = TOneFilesStats{};
    m_classifier->Classify(s.text, rest, final, markup ? &s.tagNumbers : nullptr, s.forced, s.classes.get(),
                           m_sectionStarts, m_chunkStats);
    m_chunkPosition += int64_t(chunk.size());
    m_wordsBeforeChunk = m_textStats.Words;
    m_textStats.Add(m_chunkStats);
    if (m_maySaveBuffer && !m_preparsedFolder.isEmpty())
        m_savedText += s.text;
}

bool TBufferProcessor::finish(bool ok)
{
    FileHandledInfo.SetNotProcessed(!ok);
    uint8_t format = FileHandledInfo.Format();
    if (m_textStats.Tags > 0)
        format |= kTextFormatMarkup;
    FileHandledInfo.SetFormat(format);
    Global_OneFilesStats = ok ? m_textStats : TOneFilesStats{};
    if (ok && m_maySaveBuffer && !m_preparsedFolder.isEmpty() && !m_preparsed) {
        const QString base = QFileInfo(m_text.InsideZip() ? m_text.ZipEntryName : m_text.FullFilename).fileName();
        const QString target = QDir(m_preparsedFolder).filePath(base + QStringLiteral(".CVpreparsed"));
        TPreparsedInfo info{FileHandledInfo.TextSize(), format, m_settings.CodePage()};
        QString error;
        if (!SavePreparsedText(target, m_savedText, info, &error))
            qWarning().noquote() << error;
    }
    std::u16string().swap(m_savedText);
    if (m_fileHandled)
        m_fileHandled(FileHandledInfo);
    return ok;
}

bool TBufferProcessor::ReadAndProcess(int32_t count)
{
    m_textsInJob = count;
    PleaseConvertTheFileToUnicode = false;
    m_cancelled = false;
    m_error.clear();
    FileHandledInfo = TFileHandledInfo();
    FileSignatureBytes.clear();
    m_textStats = m_chunkStats = TOneFilesStats{};
    m_chunkIndex = -1;
    m_wordsBeforeChunk = 0;
    m_chunkPosition = 0;
    m_wordGoesOn = false;
    m_preparsed = false;
    m_savedText.clear();
    m_scratch->buffer.clear();
    m_scratch->text = {};
    m_sectionStarts.clear();
    m_map.Reset(0);
    m_textUnits = -1;
    m_notes.clear();
    m_changedWhileRead = false;

    Source src;
    if (!openSource(src))
        return finish(false);
    FileHandledInfo.SetTextSize(src.size);
    auto cannotRead = [&](const QString& why) {
        return finish(fail(QStringLiteral("Cannot read text \"%1\": %2")
                               .arg(QDir::toNativeSeparators(m_text.DisplayName()), why)));
    };

    // Blocks as large as a chunk needs, but no larger than the text. They
    // are read into the scratch's bytes, which are never cleared: always
    // read into first.
    TReadScratch& sc = *m_scratch;
    auto bytesFor = [&sc](std::size_t n) {
        if (sc.byteCapacity < n) {
            sc.byteCapacity = grownCapacity(sc.byteCapacity, n);
            sc.bytes = std::make_unique_for_overwrite<uint8_t[]>(sc.byteCapacity);
        }
        return sc.bytes.get();
    };
    const int64_t firstBlock = std::min<int64_t>(m_maxChunk, src.inMemory ? int64_t(src.end - src.pos) + 1 : src.size + 1);
    std::size_t blockSize = std::size_t(std::max<int64_t>(firstBlock, 16));
    uint8_t* block = bytesFor(blockSize);
    int64_t got = src.Read(block, int64_t(blockSize));
    if (got < 0)
        return finish(fail(src.error));
    bool eof = got < int64_t(blockSize) || src.AtEnd();

    TEncodingGuess guess;
    if (m_preparsed) {
        guess.encoding = TSourceEncoding::Utf16LE;
    } else {
        const std::size_t headSize = std::min<std::size_t>(std::size_t(got), kGuessBytes);
        guess = GuessSourceEncoding({block, headSize}, m_settings.DetectUtf8(), eof && std::size_t(got) == headSize);
    }
    if (guess.utf32)
        return cannotRead(QStringLiteral("it is in UTF-32, which cannot be read; please save it as UTF-8 or UTF-16"));
    FileSignatureBytes.assign(block, block + guess.bomLength);
    bool markContradicted = false;
    if (guess.bomLength > 0 && !m_preparsed) {
        // The mark decides, but a mark its text does not look like (an
        // 8-bit text behind a UTF-16 mark reads as a run of ideographs) is
        // told.
        const std::size_t headSize = std::min<std::size_t>(std::size_t(got), kGuessBytes);
        markContradicted = !LooksLikeItsMark({block + guess.bomLength, headSize - std::size_t(guess.bomLength)}, guess.encoding);
        if (markContradicted) {
            const QString claimed = guess.encoding == TSourceEncoding::Utf8      ? QStringLiteral("UTF-8")
                                    : guess.encoding == TSourceEncoding::Utf16BE ? QStringLiteral("UTF-16 big-endian")
                                                                                 : QStringLiteral("UTF-16 little-endian");
            AddReadNote(QStringLiteral("the text does not look like %1, the encoding its byte-order mark claims "
                                       "(it was read as %1)")
                            .arg(claimed));
        }
    }
    const bool utf16 = guess.encoding == TSourceEncoding::Utf16LE || guess.encoding == TSourceEncoding::Utf16BE;
    FileHandledInfo.SetTwoByteText(utf16);
    FileHandledInfo.SetThreeCharLead(guess.bomLength == 3);
    FileHandledInfo.SetAlreadyConverted(true);
    FileHandledInfo.SetFormat(uint8_t(formatOf(guess.encoding) | src.flags | (guess.bomLength ? kTextFormatByteOrderMark : 0)));
    if (m_unicodeChange)
        m_unicodeChange(true);

    const TTextTagHandler& handler = *fTagHandler;
    m_markup.reset(m_preparsed ? nullptr : new TMarkupPass(handler));
    m_classifier = &classifierFor(handler, handler.RecognisesTags() || m_preparsed);
    m_classifier->StartText();
    const bool tagsActive = handler.RecognisesTags() && !m_preparsed;
    const int32_t maxTagSpan = handler.Options().maxTagSpan;

    TTextDecoder decoder(guess.encoding, m_settings.CodePage(), guess.decided);
    TUnitBuffer& pending = sc.pending;
    pending.clear();
    if (pending.capacity() < TTextDecoder::MaxUnitsFor(std::size_t(got)))
        pending.reserve(grownCapacity(pending.capacity(), TTextDecoder::MaxUnitsFor(std::size_t(got))));
    decoder.Decode({block + guess.bomLength, std::size_t(got) - std::size_t(guess.bomLength)}, eof, pending);
    if (!m_preparsed && looksBinary({pending.data(), pending.size()}, !markContradicted))
        return cannotRead(QStringLiteral("it does not look like a text (it holds binary data)"));
    if (m_countUnits)
        m_textUnits = countTextUnits(src, guess, {block + guess.bomLength, std::size_t(got) - std::size_t(guess.bomLength)}, eof);

    // The chunk's limit: m_maxChunk units, but when a chunk holds no blank
    // or line break at all (a "word" longer than a chunk, or a text that
    // puts no blanks between its words) it grows, up to the largest chunk,
    // rather than cutting through it: what is counted should not depend on
    // the chunk size a job reads with.
    std::size_t limit = std::size_t(m_maxChunk);
    auto readMore = [&]() -> bool {
        // Room for the next block: about `limit` units in all (the cut keeps
        // every chunk within it; the minimum only makes sure that reading
        // goes on when the rest could hardly be cut).
        const int64_t room = std::max<int64_t>(int64_t(limit) - int64_t(pending.size()) - 8, 16);
        const int64_t want = utf16 ? room * 2 : room;
        if (std::size_t(want) > blockSize) {
            blockSize = std::size_t(want);
            block = bytesFor(blockSize);
        }
        got = src.Read(block, want);
        if (got < 0)
            return false;
        eof = got < want || src.AtEnd();
        decoder.Decode({block, std::size_t(got)}, eof, pending);
        return true;
    };
    for (;;) {
        if (global_panic_state.load() >= kPanicStopNow) {
            m_cancelled = true;
            return finish(false);
        }
        const bool last = eof && pending.size() <= limit;
        const std::u16string_view all(pending.data(), pending.size());
        bool blankFound = true;
        const std::size_t cut = last ? pending.size() : ChunkCutPosition(all, tagsActive, maxTagSpan, limit, &blankFound);
        if (!blankFound && limit < std::size_t(m_largestChunk)) {
            limit = std::min<std::size_t>(limit * 2, std::size_t(m_largestChunk));
            if (!eof && !readMore())
                return finish(fail(src.error));
            continue;
        }
        // At the largest chunk and still no blank: cut after punctuation
        // that ends a word where there is some, else through the word,
        // whose rest in the next chunk is then no word of its own.
        std::size_t chunkEnd = cut;
        if (!blankFound) {
            chunkEnd = WordSafeCut(all.substr(0, cut), *m_classifier);
            if (chunkEnd < cut && tagsActive)
                chunkEnd = CutBeforeOpenTag(all, chunkEnd, maxTagSpan);
        }
        const bool cutInWord = !blankFound && chunkEnd == cut;
        limit = std::size_t(m_maxChunk);
        processChunk(all.substr(0, chunkEnd), all.substr(chunkEnd), eof && chunkEnd == pending.size());
        const bool endsInWord = !Classes().empty() && IsWordClass(Classes().back());
        if (m_wordGoesOn)
            ContinueWord(MutableClasses());
        m_wordGoesOn = cutInWord && endsInWord;
        ++m_chunkIndex;
        if (!SetupTheBuffer())
            return finish(false);
        ProcessAChunkOfFile(m_chunkIndex);
        HandleTextStatsAtEndOfBuffer();
        // The chunk may be read where it was decoded: its units go only now
        // (and the last chunk's stay until the text is done with).
        if (eof && chunkEnd == pending.size())
            break;
        pending.erase(pending.begin(), pending.begin() + std::ptrdiff_t(chunkEnd));
        if (!eof && !readMore())
            return finish(fail(src.error));
    }
    if (global_panic_state.load() >= kPanicStopNow) {
        m_cancelled = true;
        return finish(false);
    }
    FileHandledInfo.SetFormat(uint8_t((FileHandledInfo.Format() & ~kTextFormatEncodingMask) | formatOf(decoder.Encoding())));
    if (m_markup && m_markup->LeftOutScriptOrStyle())
        AddReadNote(QStringLiteral("what stands inside <script> and <style> was left out, as a reader of the page "
                                   "never sees it (a text setting counts it)"));
    if (src.ChangedWhileRead()) {
        m_changedWhileRead = true;
        AddReadNote(QStringLiteral("the text changed while it was read: what was read of it is counted, and a word "
                                   "may be cut where it changed"));
    }
    ProcessAChunkOfFile(-1);
    return finish(true);
}

} // namespace cv
