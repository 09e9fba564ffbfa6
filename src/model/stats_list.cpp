#include "model/stats_list.h"

#include "model/chosen_files.h"
#include "suite/cv_stream.h"

#include <QDir>
#include <QTimeZone>

#include <cmath>

namespace cv {

namespace {

double WeightedMean(double ma, double wa, double mb, double wb)
{
    return wa + wb > 0 ? (ma * wa + mb * wb) / (wa + wb) : 0;
}

// Standard deviation of two groups taken together (population form, as each
// group's is): each group's variance and its mean's distance from the
// common mean, weighted. (The mean of the squares less the square of the
// mean is the same in exact numbers, but loses the difference between two
// large numbers: groups of one value gave a deviation of 2e-6, not 0.)
double PooledSd(double ma, double sa, double wa, double mb, double sb, double wb, double mean)
{
    const double w = wa + wb;
    if (w <= 0)
        return 0;
    const double da = ma - mean, db = mb - mean;
    const double var = (wa * (sa * sa + da * da) + wb * (sb * sb + db * db)) / w;
    return var > 0 ? std::sqrt(var) : 0;
}

bool IsCountColumn(int column)
{
    switch (column) {
    case ss_TTR:
    case ss_STTR:
    case ss_STTRStdDev:
    case ss_MeanWordLength:
    case ss_WordLengthStdDev:
    case ss_MeanSentenceLength:
    case ss_SentenceLengthStdDev:
    case ss_MeanParagraphLength:
    case ss_MeanHeadingLength:
    case ss_MeanSectionLength:
        return false;
    default:
        return true;
    }
}

} // namespace

double TStatsRec::Value(int column) const
{
    switch (column) {
    case ss_Texts: return Texts;
    case ss_Bytes: return double(Bytes);
    case ss_TokensInText: return double(TokensInText);
    case ss_TokensUsed: return double(TokensUsed);
    case ss_Types: return double(Types);
    case ss_TTR: return TTR;
    case ss_STTR: return STTR;
    case ss_STTRStdDev: return STTRStdDev;
    case ss_STTRBasis: return STTRBasis;
    case ss_MeanWordLength: return MeanWordLength;
    case ss_WordLengthStdDev: return WordLengthStdDev;
    case ss_Sentences: return double(Sentences);
    case ss_MeanSentenceLength: return MeanSentenceLength;
    case ss_SentenceLengthStdDev: return SentenceLengthStdDev;
    case ss_Paragraphs: return double(Paragraphs);
    case ss_MeanParagraphLength: return MeanParagraphLength;
    case ss_Headings: return double(Headings);
    case ss_MeanHeadingLength: return MeanHeadingLength;
    case ss_Sections: return double(Sections);
    case ss_MeanSectionLength: return MeanSectionLength;
    case ss_NumbersRemoved: return double(NumbersRemoved);
    case ss_StopTokensRemoved: return double(StopTokensRemoved);
    case ss_StopTypesRemoved: return double(StopTypesRemoved);
    default:
        if (column >= ss_WordsOfLength1 && column <= ss_WordsOfLength14Plus)
            return double(WordsOfLength[size_t(column - ss_WordsOfLength1)]);
        return 0;
    }
}

bool TStatsRec::SaveToStream(TStream& s) const
{
    if (!WriteAString(s, FileName) || !WriteAString(s, Folder) || !WriteAString(s, ZipEntryName)
        || !s.WriteI64(FileTime) || !s.WriteI32(Texts) || !s.WriteI64(Bytes) || !s.WriteI64(TokensInText)
        || !s.WriteI64(TokensUsed) || !s.WriteI64(Types) || !s.WriteF64(TTR) || !s.WriteF64(STTR)
        || !s.WriteF64(STTRStdDev) || !s.WriteI32(STTRBasis) || !s.WriteF64(MeanWordLength)
        || !s.WriteF64(WordLengthStdDev) || !s.WriteI64(Sentences) || !s.WriteF64(MeanSentenceLength)
        || !s.WriteF64(SentenceLengthStdDev) || !s.WriteI64(Paragraphs) || !s.WriteF64(MeanParagraphLength)
        || !s.WriteI64(Headings) || !s.WriteF64(MeanHeadingLength) || !s.WriteI64(Sections)
        || !s.WriteF64(MeanSectionLength) || !s.WriteI64(NumbersRemoved) || !s.WriteI64(StopTokensRemoved)
        || !s.WriteI64(StopTypesRemoved))
        return false;
    for (int64_t n : WordsOfLength)
        if (!s.WriteI64(n))
            return false;
    return true;
}

bool TStatsRec::ReadFromStream(TStream& s)
{
    TStatsRec r;
    if (!ReadAString(s, r.FileName) || !ReadAString(s, r.Folder) || !ReadAString(s, r.ZipEntryName)
        || !s.ReadI64(r.FileTime) || !s.ReadI32(r.Texts) || !s.ReadI64(r.Bytes) || !s.ReadI64(r.TokensInText)
        || !s.ReadI64(r.TokensUsed) || !s.ReadI64(r.Types) || !s.ReadF64(r.TTR) || !s.ReadF64(r.STTR)
        || !s.ReadF64(r.STTRStdDev) || !s.ReadI32(r.STTRBasis) || !s.ReadF64(r.MeanWordLength)
        || !s.ReadF64(r.WordLengthStdDev) || !s.ReadI64(r.Sentences) || !s.ReadF64(r.MeanSentenceLength)
        || !s.ReadF64(r.SentenceLengthStdDev) || !s.ReadI64(r.Paragraphs) || !s.ReadF64(r.MeanParagraphLength)
        || !s.ReadI64(r.Headings) || !s.ReadF64(r.MeanHeadingLength) || !s.ReadI64(r.Sections)
        || !s.ReadF64(r.MeanSectionLength) || !s.ReadI64(r.NumbersRemoved) || !s.ReadI64(r.StopTokensRemoved)
        || !s.ReadI64(r.StopTypesRemoved))
        return false;
    for (int64_t& n : r.WordsOfLength)
        if (!s.ReadI64(n))
            return false;
    *this = std::move(r);
    return true;
}

int64_t WholeSttrChunks(const TStatsRec& r)
{
    if (r.STTRChunks >= 0)
        return r.STTRChunks;
    return r.STTRBasis > 0 && r.TokensUsed > 0 ? r.TokensUsed / r.STTRBasis : 0;
}

TStatsRec CombineStats(const TStatsRec& a, const TStatsRec& b)
{
    TStatsRec r = a;
    r.FileTime = std::max(a.FileTime, b.FileTime);
    r.Texts = a.Texts + b.Texts;
    r.Bytes = a.Bytes + b.Bytes;
    r.TokensInText = a.TokensInText + b.TokensInText;
    r.TokensUsed = a.TokensUsed + b.TokensUsed;
    r.Types = std::max(a.Types, b.Types);
    r.TTR = r.TokensUsed > 0 ? double(r.Types) * 100.0 / double(r.TokensUsed) : 0;

    // The standardised ratio is a mean over chunks of the basis: weight by
    // the whole chunks of each side's texts (by words when no text reached a
    // whole chunk). The chunks of a total are not those of its words taken
    // together: each text's last, incomplete chunk is left out.
    const int64_t ca = WholeSttrChunks(a), cb = WholeSttrChunks(b);
    const double wa = ca + cb > 0 ? double(ca) : double(a.TokensUsed);
    const double wb = ca + cb > 0 ? double(cb) : double(b.TokensUsed);
    r.STTR = WeightedMean(a.STTR, wa, b.STTR, wb);
    r.STTRStdDev = PooledSd(a.STTR, a.STTRStdDev, wa, b.STTR, b.STTRStdDev, wb, r.STTR);
    r.STTRBasis = a.STTRBasis > 0 ? a.STTRBasis : b.STTRBasis;
    r.STTRChunks = ca + cb;

    const double ta = double(a.TokensUsed), tb = double(b.TokensUsed);
    r.MeanWordLength = WeightedMean(a.MeanWordLength, ta, b.MeanWordLength, tb);
    r.WordLengthStdDev = PooledSd(a.MeanWordLength, a.WordLengthStdDev, ta, b.MeanWordLength, b.WordLengthStdDev, tb,
                                  r.MeanWordLength);
    r.Sentences = a.Sentences + b.Sentences;
    r.MeanSentenceLength = WeightedMean(a.MeanSentenceLength, double(a.Sentences), b.MeanSentenceLength,
                                        double(b.Sentences));
    r.SentenceLengthStdDev = PooledSd(a.MeanSentenceLength, a.SentenceLengthStdDev, double(a.Sentences),
                                      b.MeanSentenceLength, b.SentenceLengthStdDev, double(b.Sentences),
                                      r.MeanSentenceLength);
    r.Paragraphs = a.Paragraphs + b.Paragraphs;
    r.MeanParagraphLength = WeightedMean(a.MeanParagraphLength, double(a.Paragraphs), b.MeanParagraphLength,
                                         double(b.Paragraphs));
    r.Headings = a.Headings + b.Headings;
    r.MeanHeadingLength = WeightedMean(a.MeanHeadingLength, double(a.Headings), b.MeanHeadingLength,
                                       double(b.Headings));
    r.Sections = a.Sections + b.Sections;
    r.MeanSectionLength = WeightedMean(a.MeanSectionLength, double(a.Sections), b.MeanSectionLength,
                                       double(b.Sections));
    r.NumbersRemoved = a.NumbersRemoved + b.NumbersRemoved;
    r.StopTokensRemoved = a.StopTokensRemoved + b.StopTokensRemoved;
    r.StopTypesRemoved = std::max(a.StopTypesRemoved, b.StopTypesRemoved);
    for (size_t k = 0; k < r.WordsOfLength.size(); ++k)
        r.WordsOfLength[k] = a.WordsOfLength[k] + b.WordsOfLength[k];
    return r;
}

// ---------------------------------------------------------------------------

void TStatsEntry::GetRelativeEntropyBasis()
{
    TCVBaseListObject::GetRelativeEntropyBasis();
    fData = {};
}

TStatsRec TStatsEntry::DataFormatted() const
{
    TStatsRec r = fData;
    if (!r.Folder.isEmpty())
        r.FileName = QDir(r.Folder).filePath(r.FileName);
    return r;
}

// ---------------------------------------------------------------------------

TCVStatsList::TCVStatsList(TCorvantisholder* owner, uint32_t toolSignature)
    : TCVBaseLemmaMatchCapableList(
          owner, [](TCVBaseDataClass& l) { return std::make_unique<TStatsEntry>(&l); }, kListType, toolSignature,
          kVersion)
{
    SetGridHeadings(DefaultHeadings());
    SetWordColumn(ss_FileName);
    SetSortSettingsToDefault();
    SetCloudColumn(ss_TokensUsed);
}

QString TCVStatsList::OverallLabel()
{
    return QStringLiteral("Overall");
}

QStringList TCVStatsList::DefaultHeadings()
{
    QStringList h{QStringLiteral("N"),
                  QStringLiteral("text file"),
                  QStringLiteral("texts"),
                  QStringLiteral("file size"),
                  QStringLiteral("tokens (running words) in text"),
                  QStringLiteral("tokens used for word list"),
                  QStringLiteral("types (distinct words)"),
                  QStringLiteral("type/token ratio (TTR)"),
                  QStringLiteral("standardised TTR"),
                  QStringLiteral("STTR std.dev."),
                  QStringLiteral("STTR basis"),
                  QStringLiteral("mean word length (in characters)"),
                  QStringLiteral("word length std.dev."),
                  QStringLiteral("sentences"),
                  QStringLiteral("mean sentence length (in words)"),
                  QStringLiteral("sentence length std.dev."),
                  QStringLiteral("paragraphs"),
                  QStringLiteral("mean paragraph length (in words)"),
                  QStringLiteral("headings"),
                  QStringLiteral("mean heading length (in words)"),
                  QStringLiteral("sections"),
                  QStringLiteral("mean section length (in words)"),
                  QStringLiteral("numbers removed"),
                  QStringLiteral("stoplist tokens removed"),
                  QStringLiteral("stoplist types removed")};
    for (int k = 1; k < TStatsRec::kLengthClasses; ++k)
        h << QStringLiteral("%1-letter words").arg(k);
    h << QStringLiteral("%1(+)-letter words").arg(TStatsRec::kLengthClasses);
    return h;
}

TStatsEntry& TCVStatsList::Overall()
{
    if (Count() == 0) {
        auto e = std::make_unique<TStatsEntry>(this);
        e->Data().FileName = OverallLabel();
        Add(std::move(e));
    }
    return *Row(0);
}

TStatsEntry& TCVStatsList::AddText(const TStatsRec& rec)
{
    Overall();
    auto e = std::make_unique<TStatsEntry>(this);
    e->Data() = rec;
    TStatsEntry& ref = *e;
    Add(std::move(e));
    return ref;
}

void TCVStatsList::RecomputeOverall()
{
    TStatsRec total;
    for (int i = 1; i < Count(); ++i)
        total = CombineStats(total, Row(i)->Data());
    total.FileName = OverallLabel();
    total.Folder.clear();
    total.ZipEntryName.clear();
    Overall().Data() = total;
}

void TCVStatsList::SetOverallTypes(int64_t types, int64_t stopTypesRemoved)
{
    TStatsRec& d = Overall().Data();
    d.Types = types;
    d.StopTypesRemoved = stopTypesRemoved;
    d.TTR = d.TokensUsed > 0 ? double(types) * 100.0 / double(d.TokensUsed) : 0;
}

void TCVStatsList::SetSortToFNameSort()
{
    Set1Sort(0, ss_FileName);
}

void TCVStatsList::SetSort(int column)
{
    Set1Sort(0, HeaderColumnToSortNeeded(column));
}

void TCVStatsList::DoASort(int lastIndex)
{
    if (Count() < 3 || lastIndex < 2)
        return;
    // Sort the text rows only: take row 0 out, sort, put it back.
    auto overall = Extract(0);
    TCVBaseLemmaMatchCapableList::DoASort(lastIndex - 1);
    Insert(0, std::move(overall));
}

void TCVStatsList::SetSortSettingsToDefault()
{
    TCVBaseLemmaMatchCapableList::SetSortSettingsToDefault();
    Set1Sort(0, ss_RowNumber);
}

int TCVStatsList::HeaderColumnToSortNeeded(int column) const
{
    if (column >= 0 && column < ss_ColumnCount)
        return column;
    return TCVBaseLemmaMatchCapableList::HeaderColumnToSortNeeded(column);
}

TSortKeyKind TCVStatsList::KindOfSortKey(int32_t key) const
{
    if (key == ss_RowNumber)
        return TSortKeyKind::None; // the rows' own order (the order the texts were read in)
    if (key == ss_FileName)
        return TSortKeyKind::Text;
    if (key > ss_FileName && key < ss_ColumnCount)
        return TSortKeyKind::Number;
    return TCVBaseLemmaMatchCapableList::KindOfSortKey(key);
}

QString TCVStatsList::SortText(const TCVBaseListObject& e, int row, int32_t key) const
{
    if (key == ss_FileName) {
        const TStatsRec& d = static_cast<const TStatsEntry&>(e).Data();
        return d.ZipEntryName.isEmpty() ? d.FileName : d.FileName + QLatin1Char('|') + d.ZipEntryName;
    }
    return TCVBaseLemmaMatchCapableList::SortText(e, row, key);
}

double TCVStatsList::SortNumber(const TCVBaseListObject& e, int row, int32_t key) const
{
    if (key > ss_FileName && key < ss_ColumnCount)
        return static_cast<const TStatsEntry&>(e).Data().Value(key);
    return TCVBaseLemmaMatchCapableList::SortNumber(e, row, key);
}

double TCVStatsList::NumericalData(int row, int column) const
{
    const TStatsEntry* e = Row(row);
    if (!e)
        return 0;
    if (column == ss_RowNumber)
        return row; // row 0 is the overall row; texts count from 1
    if (column > ss_FileName && column < ss_ColumnCount)
        return e->Data().Value(column);
    return TCVBaseLemmaMatchCapableList::NumericalData(row, column);
}

void TCVStatsList::DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const
{
    rec = {};
    const TStatsEntry* e = Row(row);
    if (!e)
        return;
    if (column == ss_RowNumber) {
        if (row == 0)
            rec.text = OverallLabel();
        else
            NumberCell(rec, row, true);
    } else if (column == ss_FileName) {
        const TStatsRec& d = e->Data();
        rec.text = row == 0 ? QString() : (d.ZipEntryName.isEmpty() ? d.FileName : d.FileName + QLatin1Char('|') + d.ZipEntryName);
    } else if (column < ss_ColumnCount) {
        NumberCell(rec, e->Data().Value(column), IsCountColumn(column));
    } else {
        TCVBaseLemmaMatchCapableList::DrawgridDataRec(row, column, displayKind, rec);
    }
}

bool TCVStatsList::MergeWith(TCVBaseLemmaMatchCapableList& other)
{
    auto* stats = dynamic_cast<TCVStatsList*>(&other);
    if (!stats)
        return false;
    return MergeWith(*stats, Overall().Data().Texts + stats->Overall().Data().Texts, 0, 0);
}

bool TCVStatsList::MergeWith(TCVStatsList& other, int32_t textCount, int64_t thisWords, int64_t otherWords)
{
    if (&other == this)
        return false;
    TStatsRec a = Overall().Data();
    TStatsRec b = other.Overall().Data();
    // Overall rows read from files do not know their whole chunks: the text rows do.
    auto chunksOfTexts = [](const TCVStatsList& l, TStatsRec& overall) {
        if (l.Count() < 2)
            return;
        overall.STTRChunks = 0;
        for (int i = 1; i < l.Count(); ++i)
            overall.STTRChunks += WholeSttrChunks(l.Row(i)->Data());
    };
    chunksOfTexts(*this, a);
    chunksOfTexts(other, b);
    if (thisWords > 0 && otherWords > 0) {
        a.TokensUsed = thisWords;
        b.TokensUsed = otherWords;
    }
    for (int i = 1; i < other.Count(); ++i) {
        auto copy = std::make_unique<TStatsEntry>(this);
        copy->Data() = other.Row(i)->Data();
        Add(std::move(copy));
    }
    TStatsRec total = CombineStats(a, b);
    if (textCount > 0)
        total.Texts = textCount;
    total.FileName = OverallLabel();
    Overall().Data() = total;
    Touched();
    return true;
}

std::unique_ptr<TCVFileDetails> TCVStatsList::BuildCVFileDetails() const
{
    auto out = std::make_unique<TCVFileDetails>(true, nullptr);
    for (int i = 1; i < Count(); ++i) {
        const TStatsRec& d = Row(i)->Data();
        TChosenTextRec rec;
        rec.FullFilename = d.Folder.isEmpty() ? d.FileName : QDir(d.Folder).filePath(d.FileName);
        rec.ZipEntryName = d.ZipEntryName;
        rec.FileSize = d.Bytes;
        if (d.FileTime != 0)
            rec.FileTime = QDateTime::fromMSecsSinceEpoch(d.FileTime, QTimeZone::utc()).toLocalTime();
        rec.Words = int32_t(std::min<int64_t>(d.TokensInText, INT32_MAX));
        out->AddRecord(rec);
    }
    return out;
}

void TCVStatsList::CopyRowsFrom(const TCVStatsList& other)
{
    Clear();
    for (int i = 0; i < other.Count(); ++i) {
        auto copy = std::make_unique<TStatsEntry>(this);
        copy->Data() = other.Row(i)->Data();
        Add(std::move(copy));
    }
}

} // namespace cv
