#include "index/index_files.h"

#include "files/shared_folders.h"
#include "model/check_signature.h"
#include "suite/cv_globals.h"
#include "suite/cv_stream.h"
#include "suite/dialog_routines.h"
#include "suite/wdef.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QThread>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace cv {

namespace {

constexpr std::array<TIndexFileInfo, kIndexFileCount> kFiles = {{
    {TIndexFileKind::Tokens, ".tokens", "TOKN"},
    {TIndexFileKind::Types, ".types", "TYPE"},
    {TIndexFileKind::Stats, ".stats", "STAT"},
    {TIndexFileKind::Markup, ".markup", "MARK"},
}};

const TIndexFileInfo& InfoOf(TIndexFileKind kind)
{
    return kFiles[std::size_t(kind)];
}

QString Quoted(const QString& fileName)
{
    return QStringLiteral("\"%1\"").arg(fileName);
}

} // namespace

std::span<const TIndexFileInfo> IndexFiles()
{
    return kFiles;
}

QString IndexBaseName(const QString& anyName)
{
    for (const TIndexFileInfo& f : kFiles) {
        const QString ext = QString::fromLatin1(f.extension);
        if (anyName.endsWith(ext, Qt::CaseInsensitive))
            return anyName.left(anyName.size() - ext.size());
    }
    return anyName;
}

QString IndexFileName(const QString& base, TIndexFileKind kind)
{
    return base + QString::fromLatin1(InfoOf(kind).extension);
}

uint32_t IndexCrc(uint32_t crc, const uint8_t* data, std::size_t n)
{
    while (n > 0) {
        const auto piece = uInt(std::min<std::size_t>(n, 1u << 30));
        crc = uint32_t(crc32(uLong(crc), data, piece));
        data += piece;
        n -= piece;
    }
    return crc;
}

bool WriteIndexFileHeader(TStream& s, TIndexFileKind kind, const TIndexFileHeader& h)
{
    TCheckSignature sig;
    sig.SetForSaving(kListIndexWordList, kIndexFormatVersion, ListTypeSignature(kListIndexWordList));
    return sig.SaveToStream(s) && s.WriteExact(InfoOf(kind).tag, 4) && s.WriteU64(h.stamp) && s.WriteI64(h.tokens)
        && s.WriteI32(h.texts) && s.WriteI32(h.types) && s.WriteI64(h.bodyBytes) && s.WriteU32(h.bodyCrc);
}

namespace {

// The tag of a damaged header as text that can be shown: printable ASCII
// as it is, any other byte as \xNN.
QString PrintableTag(const char* tag)
{
    QString out;
    for (int i = 0; i < 4; ++i) {
        const auto b = uint8_t(tag[i]);
        out += b >= 0x20 && b < 0x7F ? QString(QChar(b)) : QStringLiteral("\\x%1").arg(b, 2, 16, QLatin1Char('0'));
    }
    return out;
}

} // namespace

bool ReadIndexFileHeaderFields(TStream& s, TIndexFileKind kind, TIndexFileHeader& h, QString* reason)
{
    auto fail = [&](const QString& why) {
        if (reason)
            *reason = why;
        return false;
    };
    TCheckSignature sig;
    const TSignatureCheck check = sig.ReadFromStream(s, kIndexFormatVersion);
    if (check == TSignatureCheck::NewerFormat || check == TSignatureCheck::NewerVersion)
        return fail(QStringLiteral("it was written by a newer version of the index (version %1)").arg(sig.Version));
    if (check != TSignatureCheck::OK)
        return fail(TCheckSignature::CheckText(check));
    if (sig.Kind != kListIndexWordList || ListTypeFromSignature(sig.ListTypeSignature) != kListIndexWordList)
        return fail(QStringLiteral("it is not a file of a corpus index"));
    if (!s.ReadExact(h.tag, 4) || !s.ReadU64(h.stamp) || !s.ReadI64(h.tokens) || !s.ReadI32(h.texts)
        || !s.ReadI32(h.types) || !s.ReadI64(h.bodyBytes) || !s.ReadU32(h.bodyCrc))
        return fail(QStringLiteral("the file is cut short"));
    if (std::memcmp(h.tag, InfoOf(kind).tag, 4) != 0) {
        for (const TIndexFileInfo& f : kFiles)
            if (std::memcmp(h.tag, f.tag, 4) == 0)
                return fail(QStringLiteral("it is another part of an index (%1 file)").arg(QLatin1String(f.extension)));
        return fail(QStringLiteral("its header is damaged (its part is \"%1\")").arg(PrintableTag(h.tag)));
    }
    if (h.tokens < 0 || h.texts < 0 || h.types < 0 || h.bodyBytes < 0)
        return fail(QStringLiteral("its header is damaged"));
    return true;
}

bool ReadIndexFileHeader(TStream& s, TIndexFileKind kind, TIndexFileHeader& h, QString* reason)
{
    auto fail = [&](const QString& why) {
        if (reason)
            *reason = why;
        return false;
    };
    if (!ReadIndexFileHeaderFields(s, kind, h, reason))
        return false;
    if (h.bodyBytes > s.Remaining())
        return fail(QStringLiteral("the file is cut short"));
    if (h.bodyBytes < s.Remaining())
        return fail(QStringLiteral("the file has bytes beyond its end"));
    return true;
}

bool DecodeTokenCodes(const uint8_t*& p, const uint8_t* end, std::span<uint32_t> out, uint32_t codeLimit)
{
    uint32_t* o = out.data();
    const auto count = std::size_t(out.size());
    // The fast path decodes while at least ten bytes are left (no number is longer).
    std::size_t i = 0;
    while (i < count && end - p >= 10) {
        uint32_t v = *p++;
        if (v & 0x80) {
            v &= 0x7F;
            unsigned shift = 7;
            uint8_t b;
            do {
                b = *p++;
                v |= uint32_t(b & 0x7F) << shift;
                shift += 7;
            } while ((b & 0x80) && shift < 35);
            if (b & 0x80)
                return false;
        }
        if (v >= codeLimit)
            return false;
        o[i++] = v;
    }
    for (; i < count; ++i) {
        uint64_t v = 0;
        if (!GetVarint(p, end, v) || v >= codeLimit)
            return false;
        o[i] = uint32_t(v);
    }
    return true;
}

bool DecodeTokenCodes(const uint8_t*& p, const uint8_t* end, int64_t count, uint32_t codeLimit,
                      std::vector<uint32_t>& out)
{
    out.resize(std::size_t(count));
    return DecodeTokenCodes(p, end, std::span<uint32_t>(out), codeLimit);
}

namespace {

// The token file of a loaded index: the one kept open, else the set's file opened now.
std::shared_ptr<const TReadOnlyFile> TokensOf(const TIndexData& d, QString* error)
{
    if (d.tokensFile)
        return d.tokensFile;
    auto f = std::make_shared<TReadOnlyFile>();
    if (!OpenIndexFile(d.base, TIndexFileKind::Tokens, *f, error))
        return nullptr;
    return f;
}

} // namespace

bool TTokenStreamReader::Open(const TIndexData& d, int32_t first, int32_t last, QString* error)
{
    fName = d.tokensFile ? d.tokensFile->FileName() : IndexFileName(d.base, TIndexFileKind::Tokens);
    fData = &d;
    fLimit = uint32_t(d.types.size()) + kIndexFirstTypeCode;
    fText = first - 1;
    fLast = last;
    fLeftInText = 0;
    fBytes.resize(kBufferBytes);
    fAt = fEnd = 0;
    const int64_t from = first <= last ? d.texts[std::size_t(first)].byteOffset : 0;
    const int64_t to = last + 1 < d.TextCount() ? d.texts[std::size_t(last) + 1].byteOffset : d.streamBytes;
    fFileLeft = std::max<int64_t>(0, to - from);
    fConsumed = from;
    fFileAt = kIndexHeaderSize + from;
    fFile = TokensOf(d, error);
    if (!fFile)
        return false;
    fName = fFile->FileName();
    return true;
}

bool TTokenStreamReader::Fail(const QString& why, QString* error) const
{
    if (error)
        *error = QStringLiteral("Cannot read file %1: %2").arg(Quoted(fName), why);
    return false;
}

bool TTokenStreamReader::NextText(int32_t& text, int64_t& tokens, QString* error)
{
    if (fText >= fLast)
        return false;
    if (fText >= 0 && fLeftInText != 0)
        return Fail(QStringLiteral("its token stream is damaged"), error);
    ++fText;
    const TIndexText& t = fData->texts[std::size_t(fText)];
    if (fConsumed != t.byteOffset)
        return Fail(QStringLiteral("its token stream is damaged"), error);
    fLeftInText = t.tokens;
    text = fText;
    tokens = t.tokens;
    return true;
}

bool TTokenStreamReader::Read(std::span<uint32_t> out, QString* error)
{
    if (int64_t(out.size()) > fLeftInText)
        return Fail(QStringLiteral("its token stream is damaged"), error);
    // Codes take at most five bytes each: room for them all, or for the rest of the stream.
    const std::size_t want = std::min<std::size_t>(out.size() * 5, std::size_t(fFileLeft) + (fEnd - fAt));
    if (fEnd - fAt < want) {
        std::memmove(fBytes.data(), fBytes.data() + fAt, fEnd - fAt);
        fEnd -= fAt;
        fAt = 0;
        if (fBytes.size() < want)
            fBytes.resize(want);
        const auto n = std::min<int64_t>(fFileLeft, int64_t(fBytes.size() - fEnd));
        QString why;
        if (n > 0 && !fFile->ReadAt(fFileAt, fBytes.data() + fEnd, n, &why)) {
            if (error)
                *error = why;
            return false;
        }
        fFileAt += n;
        fEnd += std::size_t(n);
        fFileLeft -= n;
    }
    const uint8_t* p = fBytes.data() + fAt;
    if (!DecodeTokenCodes(p, fBytes.data() + fEnd, out, fLimit))
        return Fail(QStringLiteral("its token stream is damaged"), error);
    const auto used = std::size_t(p - (fBytes.data() + fAt));
    fAt += used;
    fConsumed += int64_t(used);
    fLeftInText -= int64_t(out.size());
    // The text's codes must end where the next text's begin.
    if (fLeftInText == 0) {
        const int64_t end = fText + 1 < fData->TextCount() ? fData->texts[std::size_t(fText) + 1].byteOffset : fData->streamBytes;
        if (fConsumed != end)
            return Fail(QStringLiteral("its token stream is damaged"), error);
    }
    return true;
}

bool DecodeTokenPieces(const TFileReader& file, int64_t offset, int64_t bytes, int64_t count, uint32_t codeLimit,
                       const std::function<void(std::span<const uint32_t>)>& take, QString* error, int64_t pieceBytes)
{
    // A piece is decoded up to its last whole number; the bytes of a number
    // cut at its end go first into the next piece.
    const int64_t kPiece = std::max<int64_t>(pieceBytes, 1);
    std::vector<uint8_t> piece;
    std::vector<uint32_t> codes;
    std::size_t carried = 0;
    int64_t done = 0;
    for (int64_t at = 0; at < bytes || carried > 0;) {
        const int64_t n = std::min(kPiece, bytes - at);
        piece.resize(carried + std::size_t(n));
        if (n > 0 && !file.ReadAt(offset + at, piece.data() + carried, n, error))
            return false;
        at += n;
        const bool last = at >= bytes;
        // The codes of the piece: the numbers that end in it.
        std::size_t whole = piece.size();
        if (!last)
            while (whole > 0 && (piece[whole - 1] & 0x80))
                --whole;
        int64_t inPiece = 0;
        for (std::size_t k = 0; k < whole; ++k)
            inPiece += (piece[k] & 0x80) ? 0 : 1;
        if (done + inPiece > count || (last && (whole != piece.size() || done + inPiece != count))) {
            if (error)
                *error = QStringLiteral("the token stream is damaged");
            return false;
        }
        const uint8_t* p = piece.data();
        if (!DecodeTokenCodes(p, piece.data() + whole, inPiece, codeLimit, codes) || p != piece.data() + whole) {
            if (error)
                *error = QStringLiteral("the token stream is damaged");
            return false;
        }
        take(codes);
        done += inPiece;
        carried = piece.size() - whole;
        std::memmove(piece.data(), piece.data() + whole, carried);
        if (last)
            break;
    }
    if (done != count) {
        if (error)
            *error = QStringLiteral("the token stream is damaged");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------

// The look-up of types by spelling: an open-addressed table of type ids by
// the hash of the spelling alone, so that the types of one spelling with
// different tags lie on one probe path. Made when first asked for, and
// extended as types are added.
struct TIndexData::TLookUp {
    std::vector<uint32_t> table; // type id + 1; 0 empty
    std::vector<uint64_t> hashes;
    std::size_t count = 0;       // types entered
};

namespace {

uint64_t SpellingHash(QStringView word)
{
    uint64_t h = 0x9E3779B97F4A7C15ull ^ uint64_t(word.size());
    for (QChar c : word)
        h = (h ^ c.unicode()) * 0x100000001B3ull;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    return h ^ (h >> 33);
}

} // namespace

const TIndexData::TLookUp& TIndexData::LookUp() const
{
    if (!fLookUp || fLookUp->count > types.size())
        fLookUp = std::make_shared<TLookUp>();
    TLookUp& l = *fLookUp;
    if (l.count == types.size())
        return l;
    if (l.table.size() < types.size() * 2 + 2) {
        std::size_t size = 1024;
        while (size < types.size() * 2 + 2)
            size *= 2;
        l.table.assign(size, 0);
        l.count = 0;
        l.hashes.clear();
    }
    const std::size_t mask = l.table.size() - 1;
    for (; l.count < types.size(); ++l.count) {
        const uint64_t h = SpellingHash(types[l.count].word);
        l.hashes.push_back(h);
        std::size_t i = std::size_t(h) & mask;
        while (l.table[i] != 0)
            i = (i + 1) & mask;
        l.table[i] = uint32_t(l.count) + 1;
    }
    return l;
}

int64_t TIndexData::RunningWords() const
{
    return tokenCount - fNumbersRemoved;
}

int32_t TIndexData::FindType(const QString& word, uint16_t tag) const
{
    const TLookUp& l = LookUp();
    const uint64_t h = SpellingHash(word);
    const std::size_t mask = l.table.size() - 1;
    for (std::size_t i = std::size_t(h) & mask; l.table[i] != 0; i = (i + 1) & mask) {
        const uint32_t id = l.table[i] - 1;
        if (l.hashes[id] == h && types[id].tag == tag && types[id].word == word)
            return int32_t(id);
    }
    return -1;
}

std::vector<uint32_t> TIndexData::TypesOfWord(const QString& word) const
{
    std::vector<uint32_t> out;
    const TLookUp& l = LookUp();
    const uint64_t h = SpellingHash(word);
    const std::size_t mask = l.table.size() - 1;
    for (std::size_t i = std::size_t(h) & mask; l.table[i] != 0; i = (i + 1) & mask) {
        const uint32_t id = l.table[i] - 1;
        if (l.hashes[id] == h && types[id].word == word)
            out.push_back(id);
    }
    std::sort(out.begin(), out.end());
    return out;
}

QString TIndexData::CodeText(uint32_t code) const
{
    if (code == kIndexCodeNumber)
        return QStringLiteral("#");
    if (code == kIndexCodeUnlisted)
        return QStringLiteral("_");
    const uint32_t t = IndexTypeOfCode(code);
    return t < types.size() ? types[t].word : QString();
}

std::span<const TIndexMarkup> TIndexData::TextMarkup(int32_t text) const
{
    if (text < 0 || text >= TextCount())
        return {};
    const int64_t from = texts[std::size_t(text)].firstToken;
    const int64_t to = from + texts[std::size_t(text)].tokens;
    auto lo = std::lower_bound(markup.begin(), markup.end(), from,
                               [](const TIndexMarkup& m, int64_t t) { return m.token < t; });
    auto hi = std::lower_bound(lo, markup.end(), to, [](const TIndexMarkup& m, int64_t t) { return m.token < t; });
    return {markup.data() + (lo - markup.begin()), std::size_t(hi - lo)};
}

void TIndexData::TextLevels(int32_t text, std::vector<uint8_t>& levels) const
{
    const int64_t first = texts[std::size_t(text)].firstToken;
    levels.assign(std::size_t(texts[std::size_t(text)].tokens), 0);
    for (const TIndexMarkup& m : TextMarkup(text))
        levels[std::size_t(m.token - first)] = m.level;
}

bool TIndexData::ReadTextTokens(int32_t text, std::vector<uint32_t>& codes, QString* error) const
{
    const QString name = IndexFileName(base, TIndexFileKind::Tokens);
    auto fail = [&](const QString& why) {
        if (error)
            *error = QStringLiteral("Cannot read file %1: %2").arg(Quoted(name), why);
        return false;
    };
    if (text < 0 || text >= TextCount())
        return fail(QStringLiteral("there is no text %1 in the index").arg(text + 1));
    const TIndexText& t = texts[std::size_t(text)];
    const int64_t end = text + 1 < TextCount() ? texts[std::size_t(text) + 1].byteOffset : streamBytes;
    const int64_t length = end - t.byteOffset;
    if (length < 0)
        return fail(QStringLiteral("the index is damaged"));
    const std::shared_ptr<const TReadOnlyFile> f = TokensOf(*this, error);
    if (!f)
        return false;
    std::vector<uint8_t> bytes(static_cast<std::size_t>(length));
    if (!f->ReadAt(kIndexHeaderSize + t.byteOffset, bytes.data(), length, error))
        return false;
    const uint8_t* p = bytes.data();
    if (!DecodeTokenCodes(p, bytes.data() + bytes.size(), t.tokens, uint32_t(types.size()) + kIndexFirstTypeCode, codes)
        || p != bytes.data() + bytes.size())
        return fail(QStringLiteral("its token stream is damaged"));
    return true;
}

bool WalkIndexTexts(const TIndexData& d, const TIndexTextVisitor& visit, QString* error, bool* cancelled, int32_t first,
                    int32_t last)
{
    const QString name = IndexFileName(d.base, TIndexFileKind::Tokens);
    auto fail = [&](const QString& why) {
        if (error)
            *error = QStringLiteral("Cannot read file %1: %2").arg(Quoted(name), why);
        return false;
    };
    if (cancelled)
        *cancelled = false;
    if (last < 0 || last >= d.TextCount())
        last = d.TextCount() - 1;
    first = std::max(0, first);
    if (first > last)
        return true;
    const std::shared_ptr<const TReadOnlyFile> f = TokensOf(d, error);
    if (!f)
        return false;
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> codes;
    std::vector<uint8_t> levels;
    const uint32_t limit = uint32_t(d.types.size()) + kIndexFirstTypeCode;
    for (int32_t t = first; t <= last; ++t) {
        if (global_panic_state.load() != kPanicRun) {
            if (cancelled)
                *cancelled = true;
            return true;
        }
        const TIndexText& text = d.texts[std::size_t(t)];
        const int64_t end = t + 1 < d.TextCount() ? d.texts[std::size_t(t) + 1].byteOffset : d.streamBytes;
        const int64_t length = end - text.byteOffset;
        if (length < 0)
            return fail(QStringLiteral("the file is cut short"));
        bytes.resize(std::size_t(length));
        if (!f->ReadAt(kIndexHeaderSize + text.byteOffset, bytes.data(), length, error))
            return false;
        const uint8_t* p = bytes.data();
        if (!DecodeTokenCodes(p, bytes.data() + bytes.size(), text.tokens, limit, codes) || p != bytes.data() + bytes.size())
            return fail(QStringLiteral("its token stream is damaged"));
        d.TextLevels(t, levels);
        if (!visit(t, codes, levels))
            return true;
    }
    return true;
}

// ---------------------------------------------------------------------------
// The commit record: which set a save put in place.

namespace {

// "CVIC", version 1, the stamp of the set, CRC-32 of those 16 bytes.
constexpr char kCommitMagic[4] = {'C', 'V', 'I', 'C'};
constexpr uint32_t kCommitVersion = 1;
constexpr int64_t kCommitRecordSize = 20;

struct TCommitRecord {
    bool present = false;
    uint64_t stamp = 0;
};

TCommitRecord ReadCommitRecord(const QString& base)
{
    TCommitRecord r;
    TReadOnlyFile f;
    if (!f.Open(IndexCommitFileName(base), nullptr) || f.Size() != kCommitRecordSize)
        return r;
    uint8_t bytes[kCommitRecordSize];
    if (!f.ReadAt(0, bytes, kCommitRecordSize, nullptr))
        return r;
    TMemoryStream s(std::vector<uint8_t>(bytes, bytes + kCommitRecordSize));
    char magic[4];
    uint32_t version = 0, crc = 0;
    uint64_t stamp = 0;
    if (!s.ReadExact(magic, 4) || std::memcmp(magic, kCommitMagic, 4) != 0 || !s.ReadU32(version)
        || version != kCommitVersion || !s.ReadU64(stamp) || !s.ReadU32(crc) || crc != IndexCrc(0, bytes, 16))
        return r;
    r.present = true;
    r.stamp = stamp;
    return r;
}

// The record goes through a temporary name and one rename: the commit.
bool WriteCommitRecord(const QString& base, uint64_t stamp, QString* error, const std::function<void(int)>& atStep)
{
    TMemoryStream s;
    s.WriteExact(kCommitMagic, 4);
    s.WriteU32(kCommitVersion);
    s.WriteU64(stamp);
    s.WriteU32(IndexCrc(0, s.Memory(), 16));
    const QString name = IndexCommitFileName(base);
    TDurableFile f(name + QStringLiteral(".tmp"));
    if (!f.Create(error) || !f.Write(s.Memory(), s.Size(), error) || !f.Finish(error))
        return false;
    if (atStep)
        atStep(4);
    return RenameReplacing(f.FileName(), name, error) && SyncFolderOf(name, error);
}

bool RemoveIfThere(const QString& name, QString* error)
{
    QFile f(name);
    if (!f.exists() || f.remove())
        return true;
    if (error)
        *error = QStringLiteral("Cannot remove file %1: %2").arg(Quoted(name), f.errorString());
    return false;
}

} // namespace

QString IndexLockFileName(const QString& base) { return IndexBaseName(base) + QStringLiteral(".lock"); }

QString IndexCommitFileName(const QString& base) { return IndexBaseName(base) + QStringLiteral(".commit"); }

QString IndexPendingFileName(const QString& base, TIndexFileKind kind)
{
    return IndexFileName(IndexBaseName(base), kind) + QStringLiteral(".new");
}

bool CompleteInterruptedIndexSave(const QString& anyName, QString* error)
{
    const QString base = IndexBaseName(anyName);
    // What lies beside the index is ours to finish or remove; a part that
    // another user put there (in a folder others may write to) is neither
    // read, put in place nor removed.
    QStringList parts{IndexCommitFileName(base), IndexCommitFileName(base) + QStringLiteral(".tmp")};
    for (const TIndexFileInfo& f : kFiles)
        parts << IndexPendingFileName(base, f.kind);
    for (const QString& part : parts)
        if (const QString why = AnotherUsersEntryReason(part); !why.isEmpty()) {
            if (error)
                *error = QStringLiteral("%1: %2; it is not used").arg(Quoted(part), why);
            return false;
        }
    if (!RemoveIfThere(IndexCommitFileName(base) + QStringLiteral(".tmp"), error))
        return false;
    if (!ReadCommitRecord(base).present) {
        // A save that stopped before its commit: its files are of no set.
        for (const TIndexFileInfo& f : kFiles)
            if (!RemoveIfThere(IndexPendingFileName(base, f.kind), error))
                return false;
        return RemoveIfThere(IndexCommitFileName(base), error);
    }
    for (const TIndexFileInfo& f : kFiles) {
        const QString pending = IndexPendingFileName(base, f.kind);
        if (QFileInfo::exists(pending) && !RenameReplacing(pending, IndexFileName(base, f.kind), error))
            return false;
    }
    return SyncFolderOf(base, error) && RemoveIfThere(IndexCommitFileName(base), error) && SyncFolderOf(base, error);
}

bool TIndexWriteLock::Lock(const QString& anyName, int waitMs, QString* error)
{
    const QString base = IndexBaseName(anyName);
    QString why;
    bool busy = false;
    if (!fLock.Lock(IndexLockFileName(base), waitMs, &why, &busy)) {
        if (error)
            *error = busy ? QStringLiteral("Cannot write index \"%1\": another program is writing it (waited %2 seconds); "
                                           "try again when it has finished")
                                .arg(base)
                                .arg(waitMs / 1000.0, 0, 'g', 3)
                          : QStringLiteral("Cannot write index \"%1\": %2").arg(base, why);
        return false;
    }
    if (!CompleteInterruptedIndexSave(base, &why)) {
        fLock.Release();
        if (error)
            *error = QStringLiteral("Cannot write index \"%1\": %2").arg(base, why);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Loading

namespace {

// Opens one file of a set: under its pending name when a commit record
// names the set and the file is not in place yet, else under its name.
bool OpenPart(const QString& base, TIndexFileKind kind, bool committed, TReadOnlyFile& f, QString* error)
{
    // A file put in place meanwhile is found under its name.
    if (committed && f.Open(IndexPendingFileName(base, kind), nullptr))
        return true;
    return f.Open(IndexFileName(base, kind), error);
}

// The header of an open index file, checked against the file's length.
bool ReadPartHeader(const TReadOnlyFile& f, TIndexFileKind kind, TIndexFileHeader& h, QString* error)
{
    const QString name = Quoted(f.FileName());
    std::vector<uint8_t> bytes(std::size_t(std::min<int64_t>(f.Size(), kIndexHeaderSize)));
    QString why;
    if (!f.ReadAt(0, bytes.data(), int64_t(bytes.size()), error))
        return false;
    TMemoryStream s(std::move(bytes));
    if (!ReadIndexFileHeaderFields(s, kind, h, &why)) {
        *error = QStringLiteral("Cannot read file %1: %2").arg(name, why);
        return false;
    }
    const int64_t body = f.Size() - kIndexHeaderSize;
    if (h.bodyBytes > body || h.bodyBytes < body) {
        *error = QStringLiteral("Cannot read file %1: %2")
                     .arg(name, h.bodyBytes > body ? QStringLiteral("the file is cut short")
                                                   : QStringLiteral("the file has bytes beyond its end"));
        return false;
    }
    return true;
}

// Reads a whole small index file: header checked, body in memory with its CRC checked.
// The progress of a load: the types file's body is checked and then read,
// each byte counting once for each.
class TLoadProgress {
public:
    explicit TLoadProgress(const TIndexLoadStep& step) : m_step(step) {}
    void SetBytes(int64_t bytes) { m_all = 2 * bytes; }
    // `done` of the load's steps; false (and stopped) when the step says stop.
    bool At(int64_t done)
    {
        if (m_stopped || !m_step)
            return !m_stopped;
        m_stopped = !m_step(done, m_all);
        return !m_stopped;
    }
    bool Stopped() const { return m_stopped; }

private:
    const TIndexLoadStep& m_step;
    int64_t m_all = 0;
    bool m_stopped = false;
};

// Bytes of a body checked between two steps of a load.
constexpr std::size_t kCheckPiece = std::size_t(4) << 20;
// Types read between two steps of a load.
constexpr std::size_t kTypesPerStep = 4096;

bool ReadSmallFile(const TReadOnlyFile& f, TIndexFileKind kind, TIndexFileHeader& h, TMemoryStream& body, QString* error,
                   TLoadProgress* progress = nullptr)
{
    if (!ReadPartHeader(f, kind, h, error))
        return false;
    std::vector<uint8_t> bytes(std::size_t(h.bodyBytes));
    if (!f.ReadAt(kIndexHeaderSize, bytes.data(), h.bodyBytes, error))
        return false;
    uint32_t crc = 0;
    if (progress)
        progress->SetBytes(int64_t(bytes.size()));
    for (std::size_t at = 0; at < bytes.size(); at += kCheckPiece) {
        const std::size_t piece = std::min(kCheckPiece, bytes.size() - at);
        crc = IndexCrc(crc, bytes.data() + at, piece);
        if (progress && !progress->At(int64_t(at + piece)))
            return false;
    }
    if (crc != h.bodyCrc) {
        *error = QStringLiteral("Cannot read file %1: its contents are damaged").arg(Quoted(f.FileName()));
        return false;
    }
    body = TMemoryStream(std::move(bytes));
    return true;
}

bool ReadTypes(TMemoryStream& s, TIndexData& d, TLoadProgress* progress)
{
    int32_t n = 0;
    if (!s.ReadCount(n, 20))
        return false;
    d.types.resize(std::size_t(n));
    const int64_t checked = s.Size();
    for (std::size_t i = 0; i < d.types.size(); ++i) {
        TIndexType& t = d.types[i];
        if (!ReadAString(s, t.word) || !s.ReadU16(t.tag) || !s.ReadU8(t.flags) || !s.ReadI64(t.freq)
            || !s.ReadI32(t.texts) || !s.ReadF32(t.dispersion) || t.freq < 0)
            return false;
        if (progress && (i + 1) % kTypesPerStep == 0 && !progress->At(checked + s.Position()))
            return false;
    }
    return ReadAStringList(s, d.tagTexts) && s.Remaining() == 0;
}

bool ReadStats(TMemoryStream& s, TIndexData& d, TLoadProgress*)
{
    uint32_t size = 0;
    if (!s.ReadU32(size) || size > s.Remaining())
        return false;
    std::vector<uint8_t> settings(size);
    if (!s.ReadExact(settings.data(), size))
        return false;
    d.textSettings = TTextSettings();
    d.textSettings.CopyBytesFrom(settings);
    int32_t n = 0;
    int64_t numbers = 0;
    if (!ReadAStringList(s, d.notes) || !s.ReadCount(n, 16))
        return false;
    d.texts.resize(std::size_t(n));
    int64_t first = 0;
    for (TIndexText& t : d.texts) {
        if (!t.stats.ReadFromStream(s) || !s.ReadI64(t.tokens) || !s.ReadI64(t.byteOffset) || t.tokens < 0)
            return false;
        t.firstToken = first;
        first += t.tokens;
    }
    if (!s.ReadI64(numbers) || s.Remaining() != 0)
        return false;
    d.SetNumbersRemoved(numbers);
    return true;
}

bool ReadMarkup(TMemoryStream& s, TIndexData& d, TLoadProgress*)
{
    int64_t n = 0;
    if (!s.ReadI64(n) || n < 0 || n > s.Remaining())
        return false;
    d.markup.resize(std::size_t(n));
    const uint8_t* p = s.Memory() + s.Position();
    const uint8_t* end = s.Memory() + s.Size();
    int64_t token = 0;
    for (TIndexMarkup& m : d.markup) {
        uint64_t delta = 0, tag = 0;
        if (!GetVarint(p, end, delta) || p >= end)
            return false;
        const uint8_t b = *p++;
        if ((b & 0x08) && (!GetVarint(p, end, tag) || tag > 0xFFFF))
            return false;
        // Beyond what a record holds is damage (no index has that many tokens).
        if (delta >= (uint64_t(1) << 44) || (token += int64_t(delta)) >= (int64_t(1) << 44))
            return false;
        m.token = token;
        m.level = b & 0x07;
        m.tag = uint16_t(tag);
    }
    return p == end;
}

} // namespace

bool OpenIndexFile(const QString& anyName, TIndexFileKind kind, TReadOnlyFile& f, QString* error)
{
    const QString base = IndexBaseName(anyName);
    return OpenPart(base, kind, ReadCommitRecord(base).present, f, error);
}

namespace {

// Reads the token stream through once: its checksum (false, with the
// reason, when it does not match), and whether it holds what the other
// files say (`agrees`): each text's codes begin where its offset says,
// every code names a type, and each type occurs as often as its
// frequency says, the numbers removed as often as the statistics say.
// A file whose checksum is right can still be wrong in these (written so,
// or made to deceive); its readers would then count what is not there.
bool CheckTokenStream(const TReadOnlyFile& f, const TIndexData& d, bool& agrees, QString& why)
{
    const int64_t bytes = d.streamBytes;
    const uint32_t limit = uint32_t(d.types.size()) + kIndexFirstTypeCode;
    std::vector<int64_t> counts(limit, 0);
    std::vector<uint8_t> piece(std::size_t(std::min<int64_t>(std::max<int64_t>(bytes, 1), 4 << 20)));
    uint32_t crc = 0;
    agrees = true;
    int64_t decoded = 0;      // codes so far
    std::size_t nextText = 0; // the next text whose first code is to come
    uint64_t v = 0;           // a code being decoded (across pieces)
    unsigned shift = 0;
    const std::size_t texts = d.texts.size();
    for (int64_t at = 0; at < bytes;) {
        const int64_t n = std::min<int64_t>(bytes - at, int64_t(piece.size()));
        if (!f.ReadAt(kIndexHeaderSize + at, piece.data(), n, &why))
            return false;
        crc = IndexCrc(crc, piece.data(), std::size_t(n));
        for (int64_t k = 0; k < n && agrees; ++k) {
            if (shift == 0)
                for (; nextText < texts && d.texts[nextText].firstToken == decoded; ++nextText)
                    agrees = agrees && d.texts[nextText].byteOffset == at + k;
            const uint8_t c = piece[std::size_t(k)];
            v |= uint64_t(c & 0x7F) << shift;
            if (c & 0x80) {
                shift += 7;
                agrees = agrees && shift < 35;
                continue;
            }
            agrees = agrees && v < limit;
            if (agrees)
                ++counts[v];
            ++decoded;
            v = 0;
            shift = 0;
        }
        at += n;
    }
    if (crc != d.streamCrc) {
        why = QStringLiteral("Cannot read file %1: its contents are damaged").arg(Quoted(f.FileName()));
        return false;
    }
    for (; agrees && nextText < texts; ++nextText)
        agrees = d.texts[nextText].firstToken == decoded && d.texts[nextText].byteOffset == bytes;
    agrees = agrees && shift == 0 && decoded == d.tokenCount && counts[kIndexCodeNumber] == d.NumbersRemoved();
    for (std::size_t t = 0; agrees && t < d.types.size(); ++t)
        agrees = counts[t + kIndexFirstTypeCode] == d.types[t].freq;
    return true;
}

// One reading of the set on disk. `racing`: the files read were of
// different saves, as when a writer put a set in place meanwhile.
bool LoadSet(const QString& b, TIndexData& d, QString& why, bool& racing, TLoadProgress& progress)
{
    racing = false;
    d = TIndexData();
    d.base = b;
    const TCommitRecord record = ReadCommitRecord(b);
    std::array<TIndexFileHeader, kIndexFileCount> headers;

    // The token file: its header and its length now; its body (read in
    // pieces, not kept) once the other files say what it must hold.
    auto tokens = std::make_shared<TReadOnlyFile>();
    if (!OpenPart(b, TIndexFileKind::Tokens, record.present, *tokens, &why))
        return false;
    if (!ReadPartHeader(*tokens, TIndexFileKind::Tokens, headers[0], &why))
        return false;
    d.streamBytes = headers[0].bodyBytes;
    d.streamCrc = headers[0].bodyCrc;

    struct TPart {
        TIndexFileKind kind;
        bool (*read)(TMemoryStream&, TIndexData&, TLoadProgress*);
    };
    const TPart parts[] = {{TIndexFileKind::Types, ReadTypes},
                           {TIndexFileKind::Stats, ReadStats},
                           {TIndexFileKind::Markup, ReadMarkup}};
    std::array<QString, kIndexFileCount> names;
    names[0] = tokens->FileName();
    for (const TPart& part : parts) {
        TReadOnlyFile f;
        TMemoryStream body;
        // The types file is by far the largest: its progress is the load's.
        TLoadProgress* const told = part.kind == TIndexFileKind::Types ? &progress : nullptr;
        if (!OpenPart(b, part.kind, record.present, f, &why)
            || !ReadSmallFile(f, part.kind, headers[std::size_t(part.kind)], body, &why, told))
            return false;
        names[std::size_t(part.kind)] = f.FileName();
        // A file of another save is not read further (its bodies may not fit the others').
        const TIndexFileHeader& h = headers[std::size_t(part.kind)];
        if (h.stamp != headers[0].stamp || h.tokens != headers[0].tokens || h.texts != headers[0].texts
            || h.types != headers[0].types)
            break;
        if (!part.read(body, d, told)) {
            if (progress.Stopped())
                return false;
            why = QStringLiteral("Cannot read file %1: its contents are damaged").arg(Quoted(f.FileName()));
            return false;
        }
    }

    // All four from one save (the one the commit record names, when there is one).
    for (const TIndexFileInfo& f : kFiles) {
        const TIndexFileHeader& h = headers[std::size_t(f.kind)];
        if (h.stamp != headers[0].stamp || h.tokens != headers[0].tokens || h.texts != headers[0].texts
            || h.types != headers[0].types || (record.present && h.stamp != record.stamp)) {
            racing = true;
            why = QStringLiteral("The files of index %1 do not belong together: %2 comes from another save of the index")
                      .arg(Quoted(b), Quoted(names[std::size_t(f.kind)].isEmpty() ? IndexFileName(b, f.kind)
                                                                                    : names[std::size_t(f.kind)]));
            return false;
        }
    }
    int64_t tokenCount = 0;
    for (const TIndexText& t : d.texts)
        tokenCount += t.tokens;
    bool offsetsOK = true;
    for (std::size_t i = 0; i < d.texts.size(); ++i) {
        const int64_t next = i + 1 < d.texts.size() ? d.texts[i + 1].byteOffset : d.streamBytes;
        offsetsOK = offsetsOK && d.texts[i].byteOffset >= 0 && d.texts[i].byteOffset <= next
            && next - d.texts[i].byteOffset >= d.texts[i].tokens;
    }
    const bool markupOK = d.markup.empty() || (d.markup.back().token < tokenCount);
    if (tokenCount != headers[0].tokens || int64_t(d.texts.size()) != headers[0].texts
        || int64_t(d.types.size()) != headers[0].types || !offsetsOK || !markupOK
        || d.NumbersRemoved() < 0 || d.NumbersRemoved() > tokenCount) {
        why = QStringLiteral("The files of index %1 do not agree with each other: the index is damaged").arg(Quoted(b));
        return false;
    }
    d.tokenCount = tokenCount;
    bool contentsOK = true;
    if (!CheckTokenStream(*tokens, d, contentsOK, why))
        return false;
    if (!contentsOK) {
        why = QStringLiteral("The files of index %1 do not agree with each other: the index is damaged").arg(Quoted(b));
        return false;
    }
    d.stamp = headers[0].stamp;
    d.tokensFile = std::move(tokens);
    return true;
}

} // namespace

bool TIndexData::Load(const QString& baseName, QString* error, bool writing, const TIndexLoadStep& step, bool* stopped)
{
    QString dummy;
    QString& why = error ? *error : dummy;
    const QString b = IndexBaseName(baseName);
    TLoadProgress progress(step);
    if (stopped)
        *stopped = false;
    // Every job on an index starts here: a shortage of memory while it
    // loads stops it with a message (nothing of the index is kept).
    try {
        TIndexData d;
        // Files of two saves are read again: a writer may have been putting a
        // set in place (a few renames). While a writer holds the index's lock
        // that is waited for a while; otherwise the index is damaged.
        constexpr int kQuickTries = 3;
        constexpr int kTriesWhileLocked = 200;
        for (int attempt = 0;; ++attempt) {
            bool racing = false;
            if (LoadSet(b, d, why, racing, progress))
                break;
            if (progress.Stopped()) {
                why = QStringLiteral("The index \"%1\" was not opened: it was stopped.").arg(b);
                if (stopped)
                    *stopped = true;
                return false;
            }
            if (!racing || writing || attempt + 1 >= kTriesWhileLocked
                || (attempt + 1 >= kQuickTries && !LockIsHeld(IndexLockFileName(b))))
                return false;
            QThread::msleep(attempt < kQuickTries ? 5 : 50);
        }
        *this = std::move(d);
        return true;
    } catch (const std::bad_alloc&) {
        why = NotEnoughMemoryText(QStringLiteral("open the index \"%1\"").arg(b));
        return false;
    }
}

// ---------------------------------------------------------------------------
// Saving

namespace {

bool WriteTypes(TStream& s, const TIndexData& d)
{
    if (!s.WriteCount(int64_t(d.types.size())))
        return false;
    // Type after type into the writer's room, without a call per field.
    constexpr std::size_t kFixed = 2 + 1 + 8 + 4 + 4;
    TBulkWriter w(s);
    for (const TIndexType& t : d.types) {
        uint8_t* at = TBulkWriter::PutAString(w.Place(TBulkWriter::AStringBytes(t.word) + kFixed), t.word);
        at = TBulkWriter::Put<uint16_t>(at, t.tag);
        at = TBulkWriter::Put<uint8_t>(at, t.flags);
        at = TBulkWriter::Put<int64_t>(at, t.freq);
        at = TBulkWriter::Put<int32_t>(at, t.texts);
        TBulkWriter::Put<float>(at, t.dispersion);
    }
    return w.Finish() && WriteAStringList(s, d.tagTexts);
}

bool WriteStats(TStream& s, const TIndexData& d)
{
    const auto settings = d.textSettings.Bytes();
    if (!s.WriteU32(uint32_t(settings.size())) || !s.WriteBytes(settings) || !WriteAStringList(s, d.notes)
        || !s.WriteCount(int64_t(d.texts.size())))
        return false;
    for (const TIndexText& t : d.texts)
        if (!t.stats.SaveToStream(s) || !s.WriteI64(t.tokens) || !s.WriteI64(t.byteOffset))
            return false;
    return s.WriteI64(d.NumbersRemoved());
}

// Writes bytes given piece by piece into a file's body, keeping its length and CRC.
class TBodyWriter {
public:
    TBodyWriter(TDurableFile& out, QString* error) : fOut(out), fError(error) {}
    bool Put(const uint8_t* p, int64_t n)
    {
        fCrc = IndexCrc(fCrc, p, std::size_t(n));
        fBytes += n;
        return n == 0 || fOut.Write(p, n, fError);
    }
    // Bytes of a file (or of memory), in pieces.
    bool PutAdded(const TAddedBytes& added, std::vector<uint8_t>& piece)
    {
        if (!added.file)
            return Put(added.memory.data(), int64_t(added.memory.size()));
        return PutFrom(*added.file, 0, added.fileBytes, piece);
    }
    bool PutFrom(const TFileReader& from, int64_t offset, int64_t bytes, std::vector<uint8_t>& piece)
    {
        piece.resize(std::size_t(std::min<int64_t>(std::max<int64_t>(bytes, 1), 4 << 20)));
        for (int64_t at = 0; at < bytes;) {
            const int64_t n = std::min<int64_t>(bytes - at, int64_t(piece.size()));
            if (!from.ReadAt(offset + at, piece.data(), n, fError) || !Put(piece.data(), n))
                return false;
            at += n;
        }
        return true;
    }
    // The header (its body's length and CRC now known) over the room left
    // for it at the start, and the file to the disk.
    bool Finish(TIndexFileKind kind, TIndexFileHeader h, TIndexFileHeader* written = nullptr)
    {
        h.bodyBytes = fBytes;
        h.bodyCrc = fCrc;
        if (written)
            *written = h;
        TMemoryStream header;
        WriteIndexFileHeader(header, kind, h);
        return fOut.WriteAt(0, header.Memory(), header.Size(), fError) && fOut.Finish(fError);
    }
    bool LeaveRoomForHeader()
    {
        const std::vector<uint8_t> blank(std::size_t(kIndexHeaderSize), 0);
        return fOut.Write(blank.data(), kIndexHeaderSize, fError);
    }

private:
    TDurableFile& fOut;
    QString* fError;
    uint32_t fCrc = 0;
    int64_t fBytes = 0;
};

// The markup body: the record count, the records of `data` (encoded a piece
// at a time), then those the save adds, already encoded.
bool WriteMarkupBody(TBodyWriter& w, const TIndexData& data, const TIndexAdditions& added)
{
    uint8_t count[8];
    const uint64_t records = uint64_t(data.markup.size()) + uint64_t(added.markupRecords);
    for (int k = 0; k < 8; ++k)
        count[k] = uint8_t(records >> (8 * k));
    if (!w.Put(count, 8))
        return false;
    std::vector<uint8_t> bytes;
    bytes.reserve(1 << 20);
    int64_t token = 0;
    for (const TIndexMarkup& m : data.markup) {
        if (bytes.size() > (1u << 20) - 16) {
            if (!w.Put(bytes.data(), int64_t(bytes.size())))
                return false;
            bytes.clear();
        }
        EncodeIndexMarkup(bytes, m, token);
    }
    if (!w.Put(bytes.data(), int64_t(bytes.size())))
        return false;
    return w.PutAdded(added.markup, bytes);
}

uint64_t NewStamp(uint64_t old)
{
    uint64_t stamp = uint64_t(QDateTime::currentMSecsSinceEpoch()) * 0x9E3779B97F4A7C15ull ^ uint64_t(quintptr(&old));
    stamp ^= uint64_t(QCoreApplication::applicationPid()) << 40;
    return stamp == old ? stamp + 1 : stamp;
}

// The token file: the old stream and the new one after it.
bool WriteTokenBody(TBodyWriter& w, const TIndexData& data, const QString& oldBase, int64_t oldStreamBytes,
                    const TIndexAdditions& added, QString* error)
{
    std::vector<uint8_t> piece;
    if (!oldBase.isEmpty() && oldStreamBytes > 0) {
        std::shared_ptr<const TReadOnlyFile> old = data.tokensFile;
        if (!old) {
            auto f = std::make_shared<TReadOnlyFile>();
            if (!OpenIndexFile(oldBase, TIndexFileKind::Tokens, *f, error))
                return false;
            old = std::move(f);
        }
        if (!w.PutFrom(*old, kIndexHeaderSize, oldStreamBytes, piece))
            return false;
    }
    return w.PutAdded(added.tokens, piece);
}

} // namespace

bool SaveIndexFiles(TIndexData& data, const QString& oldBase, int64_t oldStreamBytes, const TIndexAdditions& added,
                    QString* error, const std::function<void(int)>& atStep)
{
    QString dummy;
    QString& why = error ? *error : dummy;
    const QString base = IndexBaseName(data.base);
    TIndexFileHeader h;
    h.stamp = NewStamp(data.stamp);
    h.tokens = data.tokenCount;
    h.texts = int32_t(data.texts.size());
    h.types = int32_t(data.types.size());
    auto step = [&](int n) {
        if (atStep)
            atStep(n);
    };

    // The small files' bodies.
    std::array<TMemoryStream, kIndexFileCount> bodies;
    // The types' body gets its room at once (no doublings that copy it).
    TMemoryStream& types = bodies[std::size_t(TIndexFileKind::Types)];
    std::size_t typeBytes = 64;
    for (const TIndexType& t : data.types)
        typeBytes += 25 + std::size_t(t.word.size()) * 2;
    types.SetSize(int64_t(typeBytes));
    types.SetPosition(0);
    const bool typesWritten = WriteTypes(types, data);
    types.SetSize(types.Position());
    if (!typesWritten || !WriteStats(bodies[std::size_t(TIndexFileKind::Stats)], data)) {
        why = QStringLiteral("Cannot save index %1: it is too large for its files").arg(Quoted(data.base));
        return false;
    }

    // 1. Every file under its pending name, on the disk. A failure here
    //    leaves the set in place as it was.
    auto dropPending = [&] {
        for (const TIndexFileInfo& f : kFiles)
            QFile::remove(IndexPendingFileName(base, f.kind));
        return false;
    };
    // The bodies are written after room for the header, which goes over it
    // at the end (the lengths and checksums known then).
    TIndexFileHeader tokensHeader;
    int written = 0;
    for (const TIndexFileInfo& f : kFiles) {
        TDurableFile out(IndexPendingFileName(base, f.kind));
        TBodyWriter w(out, &why);
        bool ok = out.Create(&why) && w.LeaveRoomForHeader();
        if (ok && f.kind == TIndexFileKind::Tokens)
            ok = WriteTokenBody(w, data, oldBase, oldStreamBytes, added, &why);
        else if (ok && f.kind == TIndexFileKind::Markup)
            ok = WriteMarkupBody(w, data, added);
        else if (ok)
            ok = w.Put(bodies[std::size_t(f.kind)].Memory(), bodies[std::size_t(f.kind)].Size());
        if (!ok || !w.Finish(f.kind, h, f.kind == TIndexFileKind::Tokens ? &tokensHeader : nullptr))
            return dropPending();
        step(written++);
    }
    // 2. The commit: the record naming the new set put in place at once.
    if (!SyncFolderOf(base, &why) || !WriteCommitRecord(base, h.stamp, &why, atStep)) {
        QFile::remove(IndexCommitFileName(base) + QStringLiteral(".tmp"));
        return dropPending();
    }
    step(5);
    // 3. The files in place, then the record goes. A failure from here on
    //    leaves the new set committed: readers read it, and the next writer
    //    finishes putting it in place.
    int moved = 6;
    for (const TIndexFileInfo& f : kFiles) {
        if (!RenameReplacing(IndexPendingFileName(base, f.kind), IndexFileName(base, f.kind), &why))
            return false;
        step(moved++);
    }
    if (!SyncFolderOf(base, &why) || !RemoveIfThere(IndexCommitFileName(base), &why) || !SyncFolderOf(base, &why))
        return false;
    step(10);
    data.stamp = h.stamp;
    data.streamBytes = tokensHeader.bodyBytes;
    data.streamCrc = tokensHeader.bodyCrc;
    auto tokens = std::make_shared<TReadOnlyFile>();
    data.tokensFile = tokens->Open(IndexFileName(base, TIndexFileKind::Tokens), nullptr) ? std::move(tokens) : nullptr;
    return true;
}

// ---------------------------------------------------------------------------

bool IndexFilesExist(const QString& anyName)
{
    const QString b = IndexBaseName(anyName);
    // A set committed but not yet in place (its writer killed) is an index too.
    const bool committed = ReadCommitRecord(b).present;
    return std::any_of(kFiles.begin(), kFiles.end(), [&](const TIndexFileInfo& f) {
        return QFileInfo::exists(IndexFileName(b, f.kind)) || (committed && QFileInfo::exists(IndexPendingFileName(b, f.kind)));
    });
}

bool TryToBackupIndexFiles(const QString& anyName, QString* error)
{
    const QString b = IndexBaseName(anyName);
    TIndexWriteLock lock;
    if (!lock.Lock(b, kIndexLockWaitMs, error))
        return false;
    bool ok = true;
    for (const TIndexFileInfo& f : kFiles) {
        const QString name = IndexFileName(b, f.kind);
        if (!QFileInfo::exists(name))
            continue;
        const QString backup = name + QStringLiteral(".bak");
        QFile::remove(backup);
        QFile src(name);
        if (!src.copy(backup)) {
            ok = false;
            if (error)
                *error = QStringLiteral("Cannot copy file %1 to %2: %3").arg(Quoted(name), Quoted(backup), src.errorString());
        }
    }
    return ok;
}

bool TryToDeleteIndexFiles(const QString& anyName, QString* error)
{
    const QString b = IndexBaseName(anyName);
    TIndexWriteLock lock;
    if (!lock.Lock(b, kIndexLockWaitMs, error))
        return false;
    bool ok = true;
    for (const TIndexFileInfo& f : kFiles) {
        QFile file(IndexFileName(b, f.kind));
        if (file.exists() && !file.remove()) {
            ok = false;
            if (error)
                *error = QStringLiteral("Cannot remove file %1: %2").arg(Quoted(file.fileName()), file.errorString());
        }
    }
    return ok;
}

} // namespace cv
