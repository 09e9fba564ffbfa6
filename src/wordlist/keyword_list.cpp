#include "wordlist/keyword_list.h"

#include "model/check_signature.h"
#include "model/corvantis_holder.h"
#include "suite/cv_stream.h"
#include "suite/wdef.h"
#include "wordlist/list_header.h"
#include "wordlist/word_list.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace cv {

namespace {

constexpr uint8_t kHeaderMagic[4] = {'C', 'V', 'K', 'W'};

int32_t Clamp32(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, 0, std::numeric_limits<int32_t>::max()));
}

bool Finite(float v) { return std::isfinite(v); }

} // namespace

void TKeyWordEntry::GetRelativeEntropyBasis()
{
    TCVBaseListObject::GetRelativeEntropyBasis();
    fData = {};
}

QString TKeyWordEntry::GetAWordAsString(int column) const
{
    return column == TKeyWordList::kColWord ? fWord : TCVBaseListObject::GetAWordAsString(column);
}

void TKeyWordEntry::SetAWordAsString(int column, const QString& text)
{
    if (column == TKeyWordList::kColWord)
        fWord = text;
}

bool TKeyWordEntry::SaveToStream(TStream& s) const
{
    const TKeyWordRec& d = fData;
    return s.WriteI64(d.Freq) && s.WriteI32(d.Texts) && s.WriteF32(d.Keyness) && s.WriteF32(d.P)
        && s.WriteF32(d.SecondScore) && s.WriteI64(d.RefFreq) && s.WriteI32(d.RefTexts) && s.WriteBool(d.Negative)
        && s.WriteZeros(3) && s.WriteF32(d.Percent) && s.WriteF32(d.RefPercent) && s.WriteF32(d.ThirdScore)
        && s.WriteI32(d.WordNumber) && s.WriteI32(int32_t(fWord.size())) && s.WriteZeros(8) && WriteAString(s, fWord);
}

bool TKeyWordEntry::ReadFromStream(TStream& s)
{
    // Lists saved before version 2 hold 32-bit frequencies.
    const bool wide = !Owner() || Owner()->GetVersionNumber() >= TKeyWordList::kFirst64BitFrequencyVersion;
    TKeyWordRec d;
    uint8_t spare[8] = {};
    int32_t length = 0;
    QString word;
    if (!s.ReadI64OrI32(d.Freq, wide) || !s.ReadI32(d.Texts) || !s.ReadF32(d.Keyness) || !s.ReadF32(d.P)
        || !s.ReadF32(d.SecondScore) || !s.ReadI64OrI32(d.RefFreq, wide) || !s.ReadI32(d.RefTexts) || !s.ReadBool(d.Negative)
        || !s.ReadExact(spare, 3) || !s.ReadF32(d.Percent) || !s.ReadF32(d.RefPercent) || !s.ReadF32(d.ThirdScore)
        || !s.ReadI32(d.WordNumber) || !s.ReadI32(length) || !s.ReadExact(spare, 8) || !ReadAString(s, word))
        return false;
    if (length != word.size() || d.Freq < 0 || d.RefFreq < 0 || !Finite(d.Keyness) || !Finite(d.P)
        || !Finite(d.SecondScore) || !Finite(d.Percent) || !Finite(d.RefPercent) || !Finite(d.ThirdScore))
        return false;
    fData = d;
    fWord = std::move(word);
    if (Owner())
        Owner()->NoteValueRead(d.Keyness);
    return true;
}

// ---------------------------------------------------------------------------

TKeyWordList::TKeyWordList(TCorvantisholder* owner, uint8_t listType, uint32_t toolSignature)
    : TCVBaseLemmaMatchCapableList(
          owner, [](TCVBaseDataClass& l) { return std::make_unique<TKeyWordEntry>(&l); }, listType, toolSignature,
          kVersion),
      KWSettings(TKeyWordsSettingsRec::Defaults()), fKWStats(std::make_unique<TCVStatsList>(owner, toolSignature))
{
    QStringList h = StandardGridHeaderArray(kListKeyWords);
    const QString setHeading = h.value(kColSet, QStringLiteral("Set"));
    SetGridHeadings(h.mid(0, kColSet));
    AddSetColumn(setHeading);
    SetWordColumn(kColWord);
    SetCloudColumn(kColKeyness);
    SetSortSettingsToDefault();
}

TKeyWordList::~TKeyWordList() = default;

void TKeyWordList::GetRunningWordsIntoSettings(const TCVWordList& list, const TCorvantisholder* document, int slot)
{
    int64_t texts = list.TotalTexts();
    if (document && document->fCVBaseFilenames && document->fCVBaseFilenames->Count() > 0)
        texts = std::max<int64_t>(texts, document->fCVBaseFilenames->Count() - 1);
    KWSettings.SetRunningWords(slot, list.TotalTokens());
    if (slot == 1)
        KWSettings.SetReferenceTextCount(Clamp32(texts));
    else
        KWSettings.SetStudyTextCount(Clamp32(texts));
}

QStringList TKeyWordList::DetailsOfCurrentSettings() const
{
    const TKeyWordsSettingsRec& k = KWSettings;
    QStringList out;
    static const char* const statistics[] = {"log likelihood", "chi-square with Yates's correction", "chi-square"};
    out << QStringLiteral("Key-word statistic\t%1").arg(QLatin1String(statistics[k.KeynessStatistic() <= 2 ? k.KeynessStatistic() : 0]));
    out << QStringLiteral("Largest p value\t%1").arg(double(k.MaxPValue()), 0, 'g', 6);
    out << QStringLiteral("Minimum frequency\t%1").arg(k.MinFrequency());
    if (k.MaxKeyWordsWanted() > 0)
        out << QStringLiteral("Key words at most\t%1").arg(k.MaxKeyWordsWanted());
    out << QStringLiteral("Study list\t%1 (%2 running words, %3 texts)")
               .arg(k.StudyListNames())
               .arg(k.RunningWords(0))
               .arg(k.StudyTextCount());
    out << QStringLiteral("Reference list\t%1 (%2 running words, %3 texts)")
               .arg(QFileInfo(k.ReferenceListName()).fileName())
               .arg(k.RunningWords(1))
               .arg(k.ReferenceTextCount());
    out << QStringLiteral("Comparison\t%1").arg(k.TwoWay() ? QStringLiteral("two-way") : QStringLiteral("one-way"));
    if (wds_considered_for_Dice > 0)
        out << QStringLiteral("Dice coefficient\t%1 (%2 words)").arg(DiceCoefficient, 0, 'f', 3).arg(wds_considered_for_Dice);
    return out;
}

void TKeyWordList::SetSortSettingsToDefault()
{
    TCVBaseLemmaMatchCapableList::SetSortSettingsToDefault();
    Set1Sort(0, kColKeyness);
    SetSortAscending(0, false);
    SetSecondSortAsWordSort();
}

void TKeyWordList::Clear()
{
    TCVBaseLemmaMatchCapableList::Clear();
}

void TKeyWordList::ClearButNotGridHeadings()
{
    Clear();
    fKWStats->Clear();
    n_actually_obtained = 0;
    wds_considered_for_Dice = 0;
    DiceCoefficient = 0;
    fPercentIgnoredForConsistency = 0;
    fStopListCount = 0;
}

bool TKeyWordList::MergeEntriesWith(TKeyWordList& other)
{
    if (&other == this || !TCVBaseLemmaMatchCapableList::MergeWith(other))
        return false;
    n_actually_obtained += other.n_actually_obtained;
    return true;
}

bool TKeyWordList::MergeWith(TCVBaseLemmaMatchCapableList& other)
{
    auto* o = dynamic_cast<TKeyWordList*>(&other);
    if (!o || !MergeEntriesWith(*o))
        return false;
    if (o->fKWStats->Count() > 0) {
        if (fKWStats->Count() == 0)
            fKWStats->CopyRowsFrom(*o->fKWStats);
        else
            fKWStats->MergeWith(*o->fKWStats);
    }
    return true;
}

bool TKeyWordList::SaveToStream(TStream& s)
{
    TMemoryStream h;
    if (!h.WriteI32(n_actually_obtained) || !h.WriteI32(wds_considered_for_Dice) || !h.WriteF64(DiceCoefficient))
        return false;
    // Entries are always written in the newest layout, whatever version the list was read with.
    RaiseVersionTo(kVersion);
    return WriteListHeader(s, kHeaderMagic, h) && TCVBaseLemmaMatchCapableList::SaveToStream(s)
        && fKWStats->SaveToStream(s);
}

bool TKeyWordList::ReadFromStream(TStream& s)
{
    TMemoryStream h;
    if (!ReadListHeader(s, kHeaderMagic, h))
        return false;
    int32_t obtained = 0, dice = 0;
    double coefficient = 0;
    if (!h.ReadI32(obtained) || !h.ReadI32(dice) || !h.ReadF64(coefficient) || !std::isfinite(coefficient))
        return false;
    if (!TCVBaseLemmaMatchCapableList::ReadFromStream(s) || !fKWStats->ReadFromStream(s))
        return false;
    n_actually_obtained = obtained;
    wds_considered_for_Dice = dice;
    DiceCoefficient = coefficient;
    return true;
}

double TKeyWordList::NumericalData(int row, int column) const
{
    if (row < 0 || row >= Count())
        return 0;
    const TKeyWordRec& d = Entry(row).fData;
    switch (column) {
    case kColN: return row + 1;
    case kColFreq: return d.Freq;
    case kColPercent: return d.Percent;
    case kColTexts: return d.Texts;
    case kColRefFreq: return d.RefFreq;
    case kColRefPercent: return d.RefPercent;
    case kColKeyness: return d.Keyness;
    case kColP: return d.P;
    case kColLemmas: return Entry(row).JoinedCount();
    default: return TCVBaseLemmaMatchCapableList::NumericalData(row, column);
    }
}

int64_t TKeyWordList::RunningWordsOfColumn(int column) const
{
    switch (column) {
    case kColFreq: return KWSettings.RunningWords(0);
    case kColRefFreq: return KWSettings.RunningWords(1);
    default: return 0;
    }
}

void TKeyWordList::DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const
{
    rec = {};
    if (row < 0 || row >= Count())
        return;
    const TKeyWordEntry& e = Entry(row);
    switch (column) {
    case kColN:
    case kColFreq:
    case kColTexts:
    case kColRefFreq:
        NumberCell(rec, NumericalData(row, column), true);
        return;
    case kColPercent:
    case kColRefPercent:
    case kColKeyness:
        NumberCell(rec, NumericalData(row, column), false, 2);
        return;
    case kColP:
        rec.value = e.fData.P;
        rec.isNumber = true;
        rec.text = QString::number(double(e.fData.P), 'g', 4);
        return;
    case kColLemmas: {
        QStringList forms;
        for (int j = 0; j < e.JoinedCount(); ++j)
            forms << static_cast<const TKeyWordEntry*>(e.JoinedEntry(j))->fWord;
        rec.text = forms.join(QLatin1Char(' '));
        return;
    }
    default:
        TCVBaseLemmaMatchCapableList::DrawgridDataRec(row, column, displayKind, rec);
    }
}

} // namespace cv
