#include "concordance/concordance_entry.h"

#include "concordance/concordance_lines.h"
#include "concordance/concordance_list.h"
#include "suite/cv_endian.h"
#include "suite/cv_stream.h"
#include "textread/tag_records.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace cv {

// --- TSortInfoRec ----------------------------------------------------------------

void TSortInfoRec::StoreTo(uint8_t* p) const
{
    endian::storeLE(p, start_position);
    endian::storeLE(p + 2, coll_length);
    p[4] = barrier;
    p[5] = Tag_number_1Based;
}

TSortInfoRec TSortInfoRec::LoadFrom(const uint8_t* p)
{
    TSortInfoRec r;
    r.start_position = endian::loadLE<int16_t>(p);
    r.coll_length = endian::loadLE<int16_t>(p + 2);
    r.barrier = p[4];
    r.Tag_number_1Based = p[5];
    return r;
}

bool TSortInfoRecHolder::SaveToStream(TStream& s) const
{
    uint8_t b[TSortInfoRec::kSize];
    rec.StoreTo(b);
    return s.WriteExact(b, sizeof b);
}

bool TSortInfoRecHolder::ReadFromStream(TStream& s, int32_t /*version*/)
{
    uint8_t b[TSortInfoRec::kSize];
    if (!s.ReadExact(b, sizeof b))
        return false;
    rec = TSortInfoRec::LoadFrom(b);
    return true;
}

bool TSortInfoRecList::SaveToStream(TStream& s) const
{
    const auto items = Records();
    if (items.empty())
        return true;
    std::vector<uint8_t> bytes(items.size() * TSortInfoRec::kSize);
    for (std::size_t i = 0; i < items.size(); ++i)
        items[i].StoreTo(bytes.data() + i * TSortInfoRec::kSize);
    return s.WriteBytes(bytes);
}

bool TSortInfoRecList::ReadFromStream(TSortInfoRecList& list, int32_t count, int32_t /*version*/, TStream& s)
{
    list.Clear();
    if (count <= 0)
        return count == 0;
    if (int64_t(count) * TSortInfoRec::kSize > s.Remaining())
        return false;
    std::vector<uint8_t> bytes(std::size_t(count) * TSortInfoRec::kSize);
    if (!s.ReadExact(bytes.data(), int64_t(bytes.size())))
        return false;
    auto& items = list.Items();
    items.resize(std::size_t(count));
    for (std::size_t i = 0; i < items.size(); ++i)
        items[i] = TSortInfoRec::LoadFrom(bytes.data() + i * TSortInfoRec::kSize);
    return true;
}

// --- tag positions -----------------------------------------------------------------

namespace {

void storeTagPosition(uint8_t* p, const TTagPositionRec& r)
{
    endian::storeLE(p, r.used_length);
    endian::storeLE(p + 2, r.tag_position);
    endian::storeLE(p + 4, r.foreground);
    endian::storeLE(p + 8, r.background);
    endian::storeLE(p + 12, r.tagnumber_1Based);
    endian::storeLE(p + 14, uint16_t(0));
}

TTagPositionRec loadTagPosition(const uint8_t* p)
{
    TTagPositionRec r;
    r.used_length = endian::loadLE<int16_t>(p);
    r.tag_position = endian::loadLE<int16_t>(p + 2);
    r.foreground = endian::loadLE<int32_t>(p + 4);
    r.background = endian::loadLE<int32_t>(p + 8);
    r.tagnumber_1Based = endian::loadLE<int16_t>(p + 12);
    return r;
}

void storeTagExtra(uint8_t* p, const TTagPositionsExtraRec& x, int32_t version)
{
    endian::storeLE(p, version);
    endian::storeLE(p + 4, x.centre_sw_position);
    p[8] = x.search_word_started_with_Tag ? 1 : 0;
    p[9] = 0;
    for (int i = 0; i < kFixedPositions; ++i)
        endian::storeLE(p + 10 + 2 * i, x.tag_sort_numbers_1Based[std::size_t(i)]);
    std::memcpy(p + 32, x.spare1.data(), x.spare1.size());
    std::memcpy(p + 60, x.spare2.data(), x.spare2.size());
}

TTagPositionsExtraRec loadTagExtra(const uint8_t* p)
{
    TTagPositionsExtraRec x;
    x.version = endian::loadLE<int32_t>(p);
    x.centre_sw_position = endian::loadLE<int32_t>(p + 4);
    x.search_word_started_with_Tag = p[8] != 0;
    for (int i = 0; i < kFixedPositions; ++i)
        x.tag_sort_numbers_1Based[std::size_t(i)] = endian::loadLE<int16_t>(p + 10 + 2 * i);
    std::memcpy(x.spare1.data(), p + 32, x.spare1.size());
    std::memcpy(x.spare2.data(), p + 60, x.spare2.size());
    return x;
}

} // namespace

const TTagPositionsExtraRec& TTagPositionsList::ZeroExtra()
{
    static const TTagPositionsExtraRec zero;
    return zero;
}

bool TTagPositionsList::SaveToStream(TStream& s) const
{
    const auto positions = Positions();
    std::vector<uint8_t> bytes(std::size_t(TTagPositionsExtraRec::kSize + TTagPositionRec::kSize * positions.size()));
    storeTagExtra(bytes.data(), extrainfo(), std::max(extrainfo().version, 2));
    for (std::size_t i = 0; i < positions.size(); ++i)
        storeTagPosition(bytes.data() + TTagPositionsExtraRec::kSize + i * TTagPositionRec::kSize, positions[i]);
    return s.WriteBytes(bytes);
}

bool TTagPositionsList::ReadFromStream(int32_t n, TStream& s, int32_t centre)
{
    Data& d = data();
    d.extrainfo.centre_sw_position = centre;
    if (n < 0) {
        uint8_t b[TTagPositionsExtraRec::kSize];
        if (!s.ReadExact(b, sizeof b))
            return false;
        d.extrainfo = loadTagExtra(b);
        if (d.extrainfo.version == 0) {
            // The older layout kept one position after its extra record.
            d.extrainfo.centre_sw_position = centre;
            uint8_t p[TTagPositionRec::kSize];
            if (!s.ReadExact(p, sizeof p))
                return false;
            const TTagPositionRec r = loadTagPosition(p);
            if (r.tag_position == centre)
                d.extrainfo.search_word_started_with_Tag = true;
            d.positions.push_back(r);
            return true;
        }
    }
    const int64_t count = std::abs(int64_t(n));
    if (count * TTagPositionRec::kSize > s.Remaining())
        return false;
    std::vector<uint8_t> bytes(std::size_t(count) * TTagPositionRec::kSize);
    if (!s.ReadExact(bytes.data(), int64_t(bytes.size())))
        return false;
    d.positions.reserve(d.positions.size() + std::size_t(count));
    for (int64_t i = 0; i < count; ++i)
        d.positions.push_back(loadTagPosition(bytes.data() + i * TTagPositionRec::kSize));
    return true;
}

void TTagPositionsList::ChangeColoursTo(std::span<const TStoredTagRec> tags)
{
    if (!m_d)
        return;
    for (TTagPositionRec& r : m_d->positions) {
        if (r.tagnumber_1Based >= 1 && std::size_t(r.tagnumber_1Based) <= tags.size()) {
            const TStoredTagRec& t = tags[std::size_t(r.tagnumber_1Based - 1)];
            r.foreground = t.foreground_colour;
            r.background = t.background_colour;
        }
    }
}

void TTagPositionsList::SetToZeroLength(int i)
{
    if (i >= 0 && i < Count())
        m_d->positions[std::size_t(i)].used_length = 0;
}

int16_t TTagPositionsList::TagNumber(int i) const
{
    return i >= 0 && i < Count() ? m_d->positions[std::size_t(i)].tagnumber_1Based : 0;
}

TTagPositionRec TTagPositionsList::Record(int i) const
{
    if (i >= 0 && i < Count())
        return m_d->positions[std::size_t(i)];
    TTagPositionRec r;
    r.tagnumber_1Based = -1;
    return r;
}

// --- fixed part and extra block --------------------------------------------------------

void TMarvexEntryRecBase::StoreTo(std::span<uint8_t, kSize> out) const
{
    uint8_t* p = out.data();
    std::memset(p, 0, kSize);
    endian::storeLE(p + 0, sentinel);
    endian::storeLE(p + 4, byte_position);
    endian::storeLE(p + 8, hit_characters);
    endian::storeLE(p + 12, word_num);
    endian::storeLE(p + 16, filename_num_original);
    endian::storeLE(p + 20, sw_number);
    endian::storeLE(p + 24, concordance_line_mean_word_rank);
    p[28] = spare_percent_of_file;
    p[29] = has_percent ? 1 : 0;
    p[30] = ExtraMarvexEntryDatNum;
    p[31] = tag_context_sort_Ptrpos;
    endian::storeLE(p + 32, midpoint);
    for (int i = 0; i < kFixedPositions; ++i)
        fixed_sort_positions[std::size_t(i)].StoreTo(p + 34 + TSortInfoRec::kSize * i);
    endian::storeLE(p + 100, tag_context_distance_from_SW);
    endian::storeLE(p + 104, sw_starts);
    endian::storeLE(p + 106, sw_finishes);
    p[108] = spare_ColouringTag_at_centre_word ? 1 : 0;
    p[109] = spare_showing_empty_tag_by_SW ? 1 : 0;
    p[110] = sw_contains_a_tag ? 1 : 0;
    p[111] = spareB;
    endian::storeLE(p + 112, merge_num);
    endian::storeLE(p + 116, conc_line_chars);
    // 120: the extra block's address in memory; nothing on disk.
    endian::storeLE(p + 124, percent_of_file);
    endian::storeLE(p + 128, byte_size_of_file);
    endian::storeLE(p + 136, tag_number_1_based);
    std::memcpy(p + 140, spare.data(), spare.size());
    endian::storeLE(p + 152, textfile_date);
    std::memcpy(p + 160, extras.Bytes().data(), TSearchStatsRec::kSize);
}

void TMarvexEntryRecBase::LoadFrom(std::span<const uint8_t, kSize> in)
{
    const uint8_t* p = in.data();
    sentinel = endian::loadLE<int32_t>(p + 0);
    byte_position = endian::loadLE<uint32_t>(p + 4);
    hit_characters = endian::loadLE<int32_t>(p + 8);
    word_num = endian::loadLE<int32_t>(p + 12);
    filename_num_original = endian::loadLE<int32_t>(p + 16);
    sw_number = endian::loadLE<int32_t>(p + 20);
    concordance_line_mean_word_rank = endian::loadLE<int32_t>(p + 24);
    spare_percent_of_file = p[28];
    has_percent = p[29] != 0;
    ExtraMarvexEntryDatNum = p[30];
    tag_context_sort_Ptrpos = p[31];
    midpoint = endian::loadLE<int16_t>(p + 32);
    for (int i = 0; i < kFixedPositions; ++i)
        fixed_sort_positions[std::size_t(i)] = TSortInfoRec::LoadFrom(p + 34 + TSortInfoRec::kSize * i);
    tag_context_distance_from_SW = endian::loadLE<int32_t>(p + 100);
    sw_starts = endian::loadLE<int16_t>(p + 104);
    sw_finishes = endian::loadLE<int16_t>(p + 106);
    spare_ColouringTag_at_centre_word = p[108] != 0;
    spare_showing_empty_tag_by_SW = p[109] != 0;
    sw_contains_a_tag = p[110] != 0;
    spareB = p[111];
    merge_num = endian::loadLE<int32_t>(p + 112);
    conc_line_chars = endian::loadLE<int32_t>(p + 116);
    percent_of_file = endian::loadLE<float>(p + 124);
    byte_size_of_file = endian::loadLE<int64_t>(p + 128);
    tag_number_1_based = endian::loadLE<int32_t>(p + 136);
    std::memcpy(spare.data(), p + 140, spare.size());
    textfile_date = endian::loadLE<double>(p + 152);
    extras.CopyBytesFrom(in.subspan(160, TSearchStatsRec::kSize));
}

void TMarvexEntryRecExtraBase::StoreTo(std::span<uint8_t, kSize> out) const
{
    uint8_t* p = out.data();
    endian::storeLE(p, sentinel);
    for (int i = 0; i < kWordPositions; ++i)
        endian::storeLE(p + 4 + 2 * i, tag_sort_numbers_1Based[std::size_t(i)]);
    std::memcpy(p + 208, spare.data(), spare.size());
    std::memcpy(p + 232, spareBools.data(), spareBools.size());
}

void TMarvexEntryRecExtraBase::LoadFrom(std::span<const uint8_t, kSize> in)
{
    const uint8_t* p = in.data();
    sentinel = endian::loadLE<int32_t>(p);
    for (int i = 0; i < kWordPositions; ++i)
        tag_sort_numbers_1Based[std::size_t(i)] = endian::loadLE<int16_t>(p + 4 + 2 * i);
    std::memcpy(spare.data(), p + 208, spare.size());
    std::memcpy(spareBools.data(), p + 232, spareBools.size());
}

const TMarvexEntryRecExtraBase& TExtraBaseHolder::Zero()
{
    static const TMarvexEntryRecExtraBase zero;
    return zero;
}

// --- word positions ----------------------------------------------------------------------

TSortInfoRec WordAtPosition(const TMarvexEntryRec& rec, int p)
{
    if (p >= kFirstFixedPosition && p <= kLastFixedPosition)
        return rec.base.fixed_sort_positions[std::size_t(p - kFirstFixedPosition)];
    if (p >= 0 && p < kFirstFixedPosition) {
        const int i = p - kFirstFixedPosition + rec.other_left_collocs.Count();
        return i >= 0 ? rec.other_left_collocs[i] : TSortInfoRec();
    }
    if (p > kLastFixedPosition && p < kWordPositions) {
        const int i = p - (kLastFixedPosition + 1);
        return i < rec.other_right_collocs.Count() ? rec.other_right_collocs[i] : TSortInfoRec();
    }
    return {};
}

int OutermostPosition(const TMarvexEntryRec& rec, bool right)
{
    return right ? kLastFixedPosition + rec.other_right_collocs.Count()
                 : kFirstFixedPosition - rec.other_left_collocs.Count();
}

int TagKindToSortKey(int kind)
{
    return kind == 1 ? 5 : kind == 2 ? 6 : 4;
}

int OutwardSearch(const TMarvexEntryRec& rec, int limit, int barrierLevel)
{
    const int step = limit > kHitPosition ? 1 : -1;
    int reached = kHitPosition;
    // A word's barrier lies after it in the text: going right the barrier of
    // the position reached stops the walk, going left that of the next one.
    for (int p = kHitPosition + step; limit != kHitPosition && (step > 0 ? p <= limit : p >= limit); p += step) {
        const TSortInfoRec w = WordAtPosition(rec, p);
        if (w.coll_length <= 0)
            break;
        const int boundary = step > 0 ? WordAtPosition(rec, p - 1).barrier : w.barrier;
        if (barrierLevel > 0 && boundary >= barrierLevel)
            break;
        reached = p;
    }
    return reached;
}

// --- the line ---------------------------------------------------------------------------------

TConcordanceEntry::TConcordanceEntry(TConcordanceList* list) : TCVBaseListObject(list) {}

TConcordanceEntry::TConcordanceEntry(TConcordanceList* list, TMarvexEntryRec&& record)
    : TCVBaseListObject(list), fData(std::move(record))
{
}

TConcordanceEntry::~TConcordanceEntry() = default;

TConcordanceList* TConcordanceEntry::List() const
{
    return static_cast<TConcordanceList*>(Owner());
}

int TConcordanceEntry::charWidth() const
{
    return !Owner() || Owner()->IsUnicode() ? 2 : 1;
}

void TConcordanceEntry::ConvertEntryToUnicode()
{
    // Lines are held as UTF-16 whatever width they are stored with.
}

bool TConcordanceEntry::IsDuplicateOf(const TCVBaseListObject& other) const
{
    const auto* o = dynamic_cast<const TConcordanceEntry*>(&other);
    if (!o || o->fData.base.midpoint != fData.base.midpoint)
        return false;
    const qsizetype from = std::max<qsizetype>(0, fData.base.midpoint - 250);
    const QString& a = fData.conc_line;
    const QString& b = o->fData.conc_line;
    if (a.size() - from >= 500 && b.size() - from >= 500)
        return QStringView(a).mid(from, 500) == QStringView(b).mid(from, 500);
    return a == b;
}

double TConcordanceEntry::GetAValueAsSingle(int column) const
{
    return TCVBaseListObject::GetAValueAsSingle(column);
}

QString TConcordanceEntry::GetAWordAsString(int kind) const
{
    switch (kind) {
    case kLineTextKind:
        return fData.conc_line;
    case kLineCategoryKind:
        return fCategory;
    case kLineTagContextKind:
        return fData.tag_context;
    case kLineFileNameKind: {
        const TConcordanceList* list = List();
        if (!list || !list->fFileNameOf)
            return {};
        return list->fFileNameOf(fData.base.filename_num_original, list->fShowFullFileNames);
    }
    default:
        return TCVBaseListObject::GetAWordAsString(kind);
    }
}

void TConcordanceEntry::SetAWordAsString(int kind, const QString& text)
{
    if (kind == kLineCategoryKind)
        fCategory = text;
}

QString TConcordanceEntry::ConcordanceCharactersAroundMidpoint(int n) const
{
    if (n <= 0)
        return {};
    // 1-based character index midpoint - n div 2, as a 0-based start.
    qsizetype start = qsizetype(fData.base.midpoint) - n / 2 - 1;
    qsizetype count = n;
    if (start < 0) {
        count += start;
        start = 0;
    }
    if (count <= 0 || start >= fData.conc_line.size())
        return {};
    return fData.conc_line.mid(start, count);
}

bool TConcordanceEntry::SaveToStream(TStream& s) const
{
    uint8_t fixed[TMarvexEntryRecBase::kSize];
    TMarvexEntryRecBase base = fData.base;
    base.sentinel = kLineSentinel;
    base.ExtraMarvexEntryDatNum = kExtraDatNum;
    base.StoreTo(std::span<uint8_t, TMarvexEntryRecBase::kSize>(fixed));
    if (!s.WriteExact(fixed, sizeof fixed))
        return false;
    // A line without its extra block was not made as a line is: nothing of it is written after the fixed part.
    if (!fData.pExtraBase.Assigned())
        throw std::runtime_error("pExtraBase not assigned!");
    uint8_t extra[TMarvexEntryRecExtraBase::kSize];
    fData.pExtraBase.Get().StoreTo(std::span<uint8_t, TMarvexEntryRecExtraBase::kSize>(extra));
    if (!s.WriteExact(extra, sizeof extra))
        return false;
    const int width = charWidth();
    if (!WriteAString(s, fData.conc_line, width) || !WriteAString(s, fData.tag_context, width))
        return false;
    if (!s.WriteI32(fData.other_context_words.Count()) || !fData.other_context_words.SaveToStream(s))
        return false;
    const int32_t tags = fData.tag_positions_in_line.Count();
    if (!s.WriteI32(-tags) || (tags != 0 && !fData.tag_positions_in_line.SaveToStream(s)))
        return false;
    return s.WriteI32(fData.other_left_collocs.Count()) && fData.other_left_collocs.SaveToStream(s)
           && s.WriteI32(fData.other_right_collocs.Count()) && fData.other_right_collocs.SaveToStream(s);
}

bool TConcordanceEntry::ReadFromStream(TStream& s)
{
    fhighlightnumAndPos = THighlightNumAndPos();
    fData = TMarvexEntryRec();
    if (s.Remaining() < 4)
        throw std::runtime_error("concordance entry read problem!");
    int32_t first = 0;
    const int64_t at = s.Position();
    s.ReadI32(first);
    s.SetPosition(at);

    TConcordanceList* list = List();
    const int32_t v = list ? list->GetVersionNumber() : kCurrentLinesVersion;
    if (std::abs(int64_t(first)) >= 1 && first != kLineSentinel && list)
        list->NoteOldLayoutLine();
    const bool oldLayout = list && list->fHoldsOldLayoutLines;

    bool converted = false;
    uint8_t fixed[TMarvexEntryRecBase::kSize];
    if (v < 24 && oldLayout) {
        if (!ConvertOldLayoutLine(s, fData, v))
            return false;
        converted = true;
    } else {
        if (!s.ReadExact(fixed, sizeof fixed))
            return false;
        // Below version 24 without the old-layout mark, what the fixed part
        // held is not known: it is consumed and the line's fields stay zero.
        if (v >= 24)
            fData.base.LoadFrom(std::span<const uint8_t, TMarvexEntryRecBase::kSize>(fixed));
    }
    // Every line read has its extra block; from version 25 on it is stored.
    fData.pExtraBase.Assign();
    if (v >= 25) {
        uint8_t extra[TMarvexEntryRecExtraBase::kSize];
        if (!s.ReadExact(extra, sizeof extra))
            return false;
        // Most lines leave the block zero: it is kept only when it holds something.
        if (std::any_of(std::begin(extra), std::end(extra), [](uint8_t x) { return x != 0; }))
            fData.pExtraBase.Edit().LoadFrom(std::span<const uint8_t, TMarvexEntryRecExtraBase::kSize>(extra));
    }
    TMarvexEntryRecBase& b = fData.base;
    if (v < 23)
        b.percent_of_file = b.spare_percent_of_file;

    const TConcordanceReadContext* ctx = list ? &list->ReadContext : nullptr;
    if (ctx && ctx->textCount >= 0 && (b.filename_num_original < 1 || b.filename_num_original > ctx->textCount))
        list->fHasBadTextNumbers = true;
    if (b.byte_size_of_file == 0) {
        const int64_t size = ctx && ctx->textFileSize ? ctx->textFileSize(b.filename_num_original) : -1;
        b.byte_size_of_file = size >= 0 ? size : 2147483647;
    }
    if (ctx && !ctx->linesCarryTagFlags && b.sw_number >= 0
        && std::size_t(b.sw_number) < ctx->searchWordHasTag.size())
        b.sw_contains_a_tag = ctx->searchWordHasTag[std::size_t(b.sw_number)];

    const int width = charWidth();
    if (!ReadAString(s, fData.conc_line, width))
        return false;
    if (v < 22)
        b.conc_line_chars = int32_t(fData.conc_line.size()) + 1;
    if (!ReadAString(s, fData.tag_context, width))
        return false;

    int32_t n = 0;
    if (!converted) {
        if (!s.ReadCount(n, TSortInfoRec::kSize) || !TSortInfoRecList::ReadFromStream(fData.other_context_words, n, v, s))
            return false;
    }
    if (!s.ReadI32(n))
        return false;
    if (n != 0) {
        // The centre is the hit's start in the line. Word starts count from the
        // line's first character, so the hit's own start already is the
        // midpoint: adding the midpoint to it again would put the centre at
        // twice the midpoint, past the hit.
        if (!fData.tag_positions_in_line.ReadFromStream(n, s, b.midpoint))
            return false;
        if (fData.tag_positions_in_line.extrainfo().tag_sort_numbers_1Based[5] == 0)
            MapTagPositionsToSortPositions(fData);
        if (list)
            list->fHasTagPositions = true;
    }
    if (!s.ReadCount(n, TSortInfoRec::kSize) || !TSortInfoRecList::ReadFromStream(fData.other_left_collocs, n, v, s))
        return false;
    if (!s.ReadCount(n, TSortInfoRec::kSize) || !TSortInfoRecList::ReadFromStream(fData.other_right_collocs, n, v, s))
        return false;
    if (b.sw_contains_a_tag && b.fixed_sort_positions[5].coll_length < 0)
        b.fixed_sort_positions[5].coll_length = int16_t(b.hit_characters);
    return true;
}

} // namespace cv
