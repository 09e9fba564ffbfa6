#include "concordance/concordance_list.h"

#include "suite/cv_stream.h"
#include "suite/dialogs.h"
#include "suite/process_utils.h"
#include "textread/tag_records.h"

#include <algorithm>
#include <cmath>

namespace cv {

namespace {

QStringList defaultHeadings()
{
    return {QStringLiteral("N"),          QStringLiteral("Concordance"), QStringLiteral("Set"),
            QStringLiteral("Tag"),        QStringLiteral("Word #"),      QStringLiteral("Sent. #"),
            QStringLiteral("Sent. Pos."), QStringLiteral("Para. #"),     QStringLiteral("Para. Pos."),
            QStringLiteral("Head. #"),    QStringLiteral("Sect. #"),     QStringLiteral("Sect. Pos."),
            QStringLiteral("%"),          QStringLiteral("File"),        QStringLiteral("Mean rank")};
}

} // namespace

TConcordanceList::TConcordanceList(TCorvantisholder* owner, uint8_t listType, uint32_t toolSignature)
    : TCVBaseLemmaMatchCapableList(
          owner,
          [](TCVBaseDataClass& list) -> std::unique_ptr<TCVBaseListObject> {
              return std::make_unique<TConcordanceEntry>(static_cast<TConcordanceList*>(&list));
          },
          listType, toolSignature, kCurrentLinesVersion)
{
    SetGridHeadings(defaultHeadings());
    SetWordColumn(kConcColLine);
}

TConcordanceList::~TConcordanceList() = default;

int TConcordanceList::Add(TMarvexEntryRec&& record)
{
    return TCVBaseDataClass::Add(std::make_unique<TConcordanceEntry>(this, std::move(record)));
}

void TConcordanceList::Clear()
{
    TCVBaseLemmaMatchCapableList::Clear();
    std::fill(sws_found_counter.begin(), sws_found_counter.end(), 0);
    sw_limit_reached = false;
    fHitsNotHeld = 0;
    fHasBadTextNumbers = false;
    fHasTagPositions = false;
    m_putNil.clear();
}

int64_t TConcordanceList::MostLinesHeld(int32_t charactersPerLine)
{
    std::size_t memory = std::size_t(512) << 20;
    if (const uint64_t addressSpace = AddressSpaceLimit(); addressSpace != 0)
        memory = std::min<std::size_t>(memory, std::size_t(addressSpace / 4));
    // A line takes its record, its entry and the heap's share of each
    // (measured: some 420 bytes), and its text, two bytes a character.
    const std::size_t perLine = 420 + 2 * std::size_t(std::max(1, charactersPerLine));
    return int64_t(std::max<std::size_t>(1, memory / perLine));
}

// --- hits per search word ----------------------------------------------------------------

void TConcordanceList::EnsureSearchWordCount(int n)
{
    if (n > int(sws_found_counter.size()))
        sws_found_counter.resize(std::size_t(n), 0);
}

int32_t TConcordanceList::HitsOf(int sw) const
{
    return sw >= 0 && sw < int(sws_found_counter.size()) ? sws_found_counter[std::size_t(sw)] : 0;
}

bool TConcordanceList::CountedHit(int sw)
{
    if (sw < 0)
        return true;
    EnsureSearchWordCount(sw + 1);
    int32_t& n = sws_found_counter[std::size_t(sw)];
    ++n;
    if (fEntriesWantedPerSW > 0 && n > fEntriesWantedPerSW) {
        n = fEntriesWantedPerSW;
        sw_limit_reached = true;
        return false;
    }
    return true;
}

bool TConcordanceList::EnoughLines() const
{
    if (fEntriesWantedPerSW <= 0)
        return false;
    const int planned = fsearch_words_to_seek > 0 ? fsearch_words_to_seek : int(sws_found_counter.size());
    if (planned <= 0)
        return false;
    for (int i = 0; i < planned; ++i)
        if (HitsOf(i) < fEntriesWantedPerSW)
            return false;
    return true;
}

// --- streams --------------------------------------------------------------------------------

void TConcordanceList::NoteOldLayoutLine()
{
    if (fHoldsOldLayoutLines)
        return;
    fHoldsOldLayoutLines = true;
    TDialogRequest told;
    told.routine = QStringLiteral("OldConcordanceLayout");
    told.kind = TDialogKind::Information;
    told.text = QStringLiteral("These concordance lines were saved in an older layout. Only the lines can be read.");
    ShowDialog(told);
    TDialogRequest ask;
    ask.routine = QStringLiteral("OldConcordanceUnicode");
    ask.kind = TDialogKind::Question;
    ask.buttons = TDialogButtons::YesNo;
    ask.defaultAnswer = IsUnicode() ? TDialogAnswer::Yes : TDialogAnswer::No;
    ask.text = QStringLiteral("Were the texts of this concordance Unicode (UTF-16) texts?");
    const bool unicode = ShowDialog(ask) == TDialogAnswer::Yes;
    SetUnicode(unicode);
    TDialogRequest tried;
    tried.routine = QStringLiteral("OldConcordanceTrying");
    tried.kind = TDialogKind::Information;
    tried.text = unicode ? QStringLiteral("The lines are read as 16-bit text.")
                         : QStringLiteral("The lines are read as 8-bit text.");
    ShowDialog(tried);
}

bool TConcordanceList::ReadFromStream(TStream& s)
{
    fHoldsOldLayoutLines = false;
    fHasBadTextNumbers = false;
    fHasTagPositions = false;
    if (!TCVBaseLemmaMatchCapableList::ReadFromStream(s))
        return false;
    EnsureSearchWordCount(0);
    // Lines of the oldest layout came without the colour block.
    if (fHoldsOldLayoutLines)
        return true;
    return s.ReadExact(fSpare_colours.data(), int64_t(fSpare_colours.size()));
}

bool TConcordanceList::SaveToStream(TStream& s)
{
    RaiseVersionTo(kCurrentLinesVersion);
    return TCVBaseLemmaMatchCapableList::SaveToStream(s) && s.WriteExact(fSpare_colours.data(), int64_t(fSpare_colours.size()));
}

bool TConcordanceList::FillMissingPercentages(const std::function<int32_t(int32_t)>& wordsOfText)
{
    if (Count() == 0 || Line(0).fData.base.has_percent)
        return false;
    for (int i = 0; i < Count(); ++i) {
        TMarvexEntryRecBase& b = Line(i).fData.base;
        const int32_t words = wordsOfText ? wordsOfText(b.filename_num_original) : 0;
        b.percent_of_file = words < 1 ? 0.01f : float(b.word_num) * 100.0f / float(words);
        b.has_percent = true;
    }
    return true;
}

std::vector<int32_t> TConcordanceList::FilenumbersInLines() const
{
    std::vector<int32_t> out;
    out.reserve(std::size_t(Count()));
    for (int i = 0; i < Count(); ++i)
        out.push_back(Line(i).fData.base.filename_num_original);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

// --- lines as a whole --------------------------------------------------------------------------

void TConcordanceList::ConvertAllLines(bool toUnicode)
{
    SetUnicode(toUnicode);
    for (int i = 0; i < Count(); ++i)
        Line(i).ConvertEntryToUnicode();
}

void TConcordanceList::Put(int i, std::nullptr_t)
{
    if (i < 0 || i >= Count())
        return;
    if (m_putNil.size() < std::size_t(Count()))
        m_putNil.resize(std::size_t(Count()), false);
    m_putNil[std::size_t(i)] = true;
}

int TConcordanceList::Pack()
{
    if (m_putNil.empty())
        return 0;
    std::vector<const TCVBaseListObject*> gone;
    for (std::size_t i = 0; i < m_putNil.size() && int(i) < Count(); ++i)
        if (m_putNil[i])
            gone.push_back(Get(int(i)));
    m_putNil.clear();
    std::sort(gone.begin(), gone.end());
    return RemoveIf([&](const TCVBaseListObject& e) { return std::binary_search(gone.begin(), gone.end(), &e); });
}

void TConcordanceList::ChangeTagColours(std::span<const TStoredTagRec> tags)
{
    for (int i = 0; i < Count(); ++i)
        Line(i).fData.tag_positions_in_line.ChangeColoursTo(tags);
}

void TConcordanceList::CopySearchWordHitsToSetColumn()
{
    const int32_t set = SetNumberOfColumn(ActiveSetColumn());
    if (set <= 0)
        return;
    for (int i = 0; i < Count(); ++i)
        SetACategoryString(i, set, QString::number(HitsOf(Line(i).fData.base.sw_number)), false);
}

bool TConcordanceList::WordAtCollocatePosition(const TMarvexEntryRec& rec, int p, QStringView& chars, int& length)
{
    const TSortInfoRec w = WordAtPosition(rec, p);
    chars = {};
    length = 0;
    if (w.coll_length <= 0 || w.start_position < 0 || w.start_position + w.coll_length > rec.conc_line.size())
        return false;
    chars = QStringView(rec.conc_line).mid(w.start_position, w.coll_length);
    length = w.coll_length;
    return true;
}

bool TConcordanceList::WordAtCollocatePosition(int i, int p, QStringView& chars, int& length) const
{
    if (i < 0 || i >= Count()) {
        chars = {};
        length = 0;
        return false;
    }
    return WordAtCollocatePosition(Line(i).fData, p, chars, length);
}

// --- sorting ------------------------------------------------------------------------------------

void TConcordanceList::SetThreeSorts(uint8_t choice)
{
    auto pos = [](int p) { return kConcSortPositionBase + p; };
    struct Three {
        int32_t a, b, c;
    };
    static const Three table[] = {
        {pos(51), pos(52), pos(53)},            // 0: R1, R2, R3
        {pos(49), pos(48), pos(47)},            // 1: L1, L2, L3
        {pos(50), pos(51), pos(52)},            // 2: hit, R1, R2
        {pos(50), pos(49), pos(48)},            // 3: hit, L1, L2
        {kConcSortFile, kConcSortTextOrder, -1}, // 4: text, place in the text
        {pos(51), pos(49), pos(52)},            // 5: R1, L1, R2
        {pos(49), pos(51), pos(48)},            // 6: L1, R1, L2
    };
    const Three& t = table[choice < std::size(table) ? choice : 0];
    Set1Sort(0, t.a);
    Set1Sort(1, t.b);
    Set1Sort(2, t.c);
}

void TConcordanceList::Set2Sorts(int32_t first, int32_t second)
{
    Set1Sort(0, first);
    Set1Sort(1, second);
}

TSortKeyKind TConcordanceList::KindOfSortKey(int32_t key) const
{
    if (key >= kConcSortPositionBase && key < kConcSortPositionBase + kWordPositions)
        return TSortKeyKind::Text;
    switch (key) {
    case kConcSortTagContext:
        return TSortKeyKind::Text;
    case kConcSortFile:
    case kConcSortTextOrder:
    case kConcSortSearchWord:
    case kConcSortMeanRank:
    case kConcSortTag:
    case kConcSortLength:
        return TSortKeyKind::Number;
    default:
        return TCVBaseLemmaMatchCapableList::KindOfSortKey(key);
    }
}

QString TConcordanceList::SortText(const TCVBaseListObject& e, int row, int32_t key) const
{
    const auto& line = static_cast<const TConcordanceEntry&>(e);
    if (key >= kConcSortPositionBase && key < kConcSortPositionBase + kWordPositions) {
        QStringView chars;
        int length = 0;
        WordAtCollocatePosition(line.fData, key - kConcSortPositionBase, chars, length);
        return chars.toString();
    }
    if (key == kConcSortTagContext)
        return line.fData.tag_context;
    return TCVBaseLemmaMatchCapableList::SortText(e, row, key);
}

double TConcordanceList::SortNumber(const TCVBaseListObject& e, int row, int32_t key) const
{
    const TMarvexEntryRecBase& b = static_cast<const TConcordanceEntry&>(e).fData.base;
    switch (key) {
    case kConcSortFile:
        return double(b.filename_num_original) * 4294967296.0 + double(b.byte_position);
    case kConcSortTextOrder:
        return double(b.filename_num_original) * 4294967296.0 + double(uint32_t(b.word_num));
    case kConcSortSearchWord:
        return b.sw_number;
    case kConcSortMeanRank:
        return b.concordance_line_mean_word_rank;
    case kConcSortTag:
        return b.tag_number_1_based;
    case kConcSortLength:
        return b.hit_characters;
    default:
        return TCVBaseLemmaMatchCapableList::SortNumber(e, row, key);
    }
}

void TConcordanceList::SetBase()
{
    for (int level = 0; level < kSortLevels; ++level)
        if (SortLevel(level).key == kConcSortMeanRank) {
            ComputeMeanWordRanks();
            return;
        }
}

int32_t TConcordanceList::ConcordanceLineMeanWordRank(QStringView line,
                                                      const std::function<int32_t(const QString&)>& rankOf,
                                                      int32_t entryCount)
{
    if (!rankOf)
        return 1;
    int64_t sum = 0;
    int64_t counted = 0;
    for (QStringView piece : line.split(u' ', Qt::SkipEmptyParts)) {
        qsizetype a = 0, z = piece.size();
        while (a < z && !piece[a].isLetter())
            ++a;
        while (z > a && !piece[z - 1].isLetter())
            --z;
        if (a == z || piece[a].isUpper() || piece[a].isTitleCase())
            continue;
        const int32_t rank = rankOf(piece.mid(a, z - a).toString());
        sum += rank > 0 ? rank : int64_t(entryCount) + 1000;
        ++counted;
    }
    return counted == 0 ? 0 : int32_t(std::llround(double(sum) / double(counted)));
}

void TConcordanceList::ComputeMeanWordRanks()
{
    for (int i = 0; i < Count(); ++i) {
        TConcordanceEntry& line = Line(i);
        line.fData.base.concordance_line_mean_word_rank =
            ConcordanceLineMeanWordRank(line.fData.conc_line, fReferenceRankOf, fReferenceEntryCount);
    }
}

// --- grid ----------------------------------------------------------------------------------------

double TConcordanceList::NumericalData(int row, int column) const
{
    if (row < 0 || row >= Count())
        return 0;
    const TMarvexEntryRecBase& b = Line(row).fData.base;
    const TSearchStatsRec& st = b.extras;
    switch (column) {
    case kConcColN: return row + 1;
    case kConcColWord: return b.word_num;
    case kConcColSentence: return st.SentenceNumber();
    case kConcColSentencePos: return st.WordInSentence();
    case kConcColParagraph: return st.ParagraphNumber();
    case kConcColParagraphPos: return st.WordInParagraph();
    case kConcColHeading: return st.HeadingNumber();
    case kConcColSection: return st.SectionNumber();
    case kConcColSectionPos: return st.WordInSection();
    case kConcColPercent: return b.percent_of_file;
    case kConcColMeanRank: return b.concordance_line_mean_word_rank;
    default: return TCVBaseLemmaMatchCapableList::NumericalData(row, column);
    }
}

void TConcordanceList::DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const
{
    if (row < 0 || row >= Count()) {
        rec = {};
        return;
    }
    if (column == kConcColTag || column == kConcColFile || (column == kConcColSet && SetNumberOfColumn(column) <= 0)) {
        rec = {};
        rec.text = Line(row).GetAWordAsString(column);
        return;
    }
    if (column == kConcColPercent) {
        rec = {};
        NumberCell(rec, NumericalData(row, column), false, 1);
        return;
    }
    if (column >= kConcColWord && column <= kConcColSectionPos) {
        rec = {};
        NumberCell(rec, NumericalData(row, column), true);
        return;
    }
    TCVBaseLemmaMatchCapableList::DrawgridDataRec(row, column, displayKind, rec);
}

} // namespace cv
