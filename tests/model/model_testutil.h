#pragma once
// A small word list for the model tests: entries of a word and a frequency.

#include "model/lemma_match_list.h"
#include "suite/cv_stream.h"

#include <memory>

namespace cvtest {

class TWordEntry final : public cv::TCVBaseListObject {
public:
    using TCVBaseListObject::TCVBaseListObject;
    QString word;
    int32_t freq = 0;

    QStringView MainWordAsPointer() const override { return word; }
    int64_t MainWordFrequency() const override { return freq; }
    void SetAWordAsString(int column, const QString& text) override
    {
        if (column == 1)
            word = text;
    }
    bool SaveToStream(cv::TStream& s) const override { return cv::WriteAString(s, word) && s.WriteI32(freq); }
    bool ReadFromStream(cv::TStream& s) override
    {
        if (!cv::ReadAString(s, word) || !s.ReadI32(freq))
            return false;
        Owner()->NoteValueRead(freq);
        return true;
    }
};

// Columns: 0 N, 1 word, 2 frequency.
class TWordTestList final : public cv::TCVBaseLemmaMatchCapableList {
public:
    static constexpr uint8_t kListType = 0;
    TWordTestList()
        : TCVBaseLemmaMatchCapableList(
              nullptr, [](cv::TCVBaseDataClass& l) { return std::make_unique<TWordEntry>(&l); }, kListType, 0x70000, 3)
    {
        SetGridHeadings({QStringLiteral("N"), QStringLiteral("Word"), QStringLiteral("Freq.")});
    }
    TWordEntry& AddWord(const QString& w, int32_t f)
    {
        auto e = std::make_unique<TWordEntry>(this);
        e->word = w;
        e->freq = f;
        TWordEntry& ref = *e;
        Add(std::move(e));
        return ref;
    }
    TWordEntry& W(int i) const { return static_cast<TWordEntry&>((*this)[i]); }
    QStringList Words() const
    {
        QStringList out;
        for (int i = 0; i < Count(); ++i)
            out << W(i).word;
        return out;
    }
    double NumericalData(int row, int column) const override
    {
        if (column == 2 && Get(row))
            return W(row).freq;
        return TCVBaseLemmaMatchCapableList::NumericalData(row, column);
    }
    void DrawgridDataRec(int row, int column, int kind, cv::TDrawgridDataRec& rec) const override
    {
        TCVBaseLemmaMatchCapableList::DrawgridDataRec(row, column, kind, rec);
        if (column == 2 && Get(row))
            NumberCell(rec, W(row).freq, true);
    }
};

} // namespace cvtest

#include "model/corvantis_holder.h"
#include "model/stats_list.h"

namespace cvtest {

// A document of the word-list kind as a derived document lays its file out:
// the envelope, then key-word settings, colours, notes, text settings and two lists.
class TTestDocument final : public cv::TCorvantisholder {
public:
    TTestDocument()
        : TCorvantisholder(cv::TTextSettings::Defaults(), 0, nullptr, nullptr, false, false), stats(this, 0x70000)
    {
        fCVBaseLists.Add(&words);
        fCVBaseLists.Add(&stats);
    }
    TWordTestList words;
    cv::TCVStatsList stats;
    std::array<uint8_t, kKWSettingsSize> kw{};

    uint64_t ChangedListTypes() override { return ListTypesWithChangeMark({&words, &stats}); }

    bool SaveToStream(cv::TStream& s) override
    {
        CorvantisHolderMainListCount(words.Count());
        return TCorvantisholder::SaveToStream(s) && KWSettingsSaved(s, kw) && SavedColours(s) && SavedNotes(s)
            && SavedTextSettings(s) && words.SaveToStream(s) && stats.SaveToStream(s);
    }
    bool ReadWholeFromStream(cv::TStream& s) override
    {
        bool ok = TCorvantisholder::ReadWholeFromStream(s);
        if (ok && DiskFileType() != 0) {
            SetReadError(cv::kReadWrongKind, QStringLiteral("it is not a word list"));
            ok = false;
        }
        ok = ok && KWSettingsRead(s, kw) && ReadColours(s) && ReadNotes(s) && ReadTextSettings(s)
            && words.ReadFromStream(s) && stats.ReadFromStream(s);
        NoteFileRead(ok);
        return ok;
    }

    // A small document with something in every part.
    void FillSample()
    {
        words.AddWord(QStringLiteral("the"), 12);
        words.AddWord(QStringLiteral("Straße"), 3);
        words.AddWord(QStringLiteral("cat"), 2);
        words.JoinARange({2, 1}, false);
        cv::TStatsRec r;
        r.FileName = QStringLiteral("one.txt");
        r.Folder = QStringLiteral("/corpus");
        r.Texts = 1;
        r.Bytes = 90;
        r.TokensInText = 17;
        r.TokensUsed = 17;
        r.Types = 3;
        r.MeanWordLength = 4.25;
        r.WordsOfLength[2] = 14;
        stats.AddText(r);
        stats.RecomputeOverall();
        kw[0] = 7;
        kw[kKWSettingsSize - 1] = 9;
        fColours[0] = 0x11;
        fColours[191] = 0x22;
        fNotes = QStringList{QStringLiteral("Word list"), QStringLiteral("Made\ttoday")};
        SuggestedFilename = QStringLiteral("sample");
        dud_compute_files = QStringList{QStringLiteral("/corpus/broken.txt")};
        plot_settings = {true, 80, 500};
        StoreClientSize(400, 600, 96);
    }
};

} // namespace cvtest

namespace cvtest {

// What the envelope fuzz target and its replay test run on each input: a
// full read of a test document from the bytes. Whatever the bytes, it must
// return (true or false) without reading outside them.
inline bool ReadDocumentFromBytes(const uint8_t* data, size_t size)
{
    TTestDocument d;
    cv::TMemoryStream m(std::vector<uint8_t>(data, data + size));
    return d.ReadWholeFromStream(m);
}

} // namespace cvtest
