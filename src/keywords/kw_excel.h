#pragma once
// The spreadsheet summary of a key-word batch: every key word of the batch
// once, with its frequency over the study lists and the number of lists it
// was key in. The word tree gathers them as the lists are done; walking it
// in order fills its companion list, one line per word with two integers,
// which the summary writes sorted alphabetically and by frequency.

#include "model/general_tree.h"

#include <QCollator>
#include <QString>

#include <cstdint>
#include <vector>

namespace cv {

class TKeyWordList;

// Lines of a word and two integers.
class TStringListWith2LongintRec {
public:
    struct TLine {
        QString text;
        int64_t first = 0;
        int64_t second = 0;
    };

    void Add(const QString& text, int64_t first, int64_t second) { fLines.push_back({text, first, second}); }
    void Clear() { fLines.clear(); }
    int Count() const { return int(fLines.size()); }
    const TLine& Line(int i) const { return fLines[std::size_t(i)]; }
    // By the first integer, highest first; equal ones keep their order.
    void SortOnFreq();

private:
    std::vector<TLine> fLines;
};

struct TKWExcelKey {
    QString word;
    int64_t freq = 0;
    int64_t texts = 0;
};

class TKWExcelTree final : public TGeneral_Tree<TKWExcelKey> {
public:
    // The companion list is filled by Do_In_Order_Freq; it must outlive the tree.
    TKWExcelTree(TStringListWith2LongintRec& companion, const QString& collationName);
    ~TKWExcelTree() override;

    // Every key word of the list: its frequency adds up, its lists count one more.
    void AddKeyWords(const TKeyWordList& list);
    // Empties the companion and fills it with the words in alphabetical order.
    void Do_In_Order_Freq();

protected:
    int Compare(const TKWExcelKey& a, const TKWExcelKey& b) const override;
    void Do_Found_Match(TKWExcelKey& existing, TKWExcelKey& seed) override;
    void Do_In_Order(TKWExcelKey& key) override;

private:
    TStringListWith2LongintRec& fCompanion;
    QCollator fCollator;
};

} // namespace cv
