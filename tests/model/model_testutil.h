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
