#include "keywords/kw_excel.h"

#include "wordlist/alphabetical_order.h"
#include "wordlist/keyword_list.h"

#include <algorithm>

namespace cv {

void TStringListWith2LongintRec::SortOnFreq()
{
    std::stable_sort(fLines.begin(), fLines.end(), [](const TLine& a, const TLine& b) { return a.first > b.first; });
}

TKWExcelTree::TKWExcelTree(TStringListWith2LongintRec& companion, const QString& collationName)
    : fCompanion(companion), fCollator(MakeWordCollator(collationName))
{
}

TKWExcelTree::~TKWExcelTree() = default;

int TKWExcelTree::Compare(const TKWExcelKey& a, const TKWExcelKey& b) const
{
    const int c = fCollator.compare(a.word, b.word);
    if (c != 0)
        return c;
    // Words the collation finds equal are still different words.
    return a.word < b.word ? -1 : (b.word < a.word ? 1 : 0);
}

void TKWExcelTree::Do_Found_Match(TKWExcelKey& existing, TKWExcelKey& seed)
{
    existing.freq += seed.freq;
    existing.texts += seed.texts;
}

void TKWExcelTree::Do_In_Order(TKWExcelKey& key)
{
    fCompanion.Add(key.word, key.freq, key.texts);
}

void TKWExcelTree::AddKeyWords(const TKeyWordList& list)
{
    for (int i = 0; i < list.Count(); ++i) {
        if (list.GetDeleted(i))
            continue;
        const TKeyWordEntry& e = list.Entry(i);
        Add({e.fWord, e.fData.Freq, 1});
    }
}

void TKWExcelTree::Do_In_Order_Freq()
{
    fCompanion.Clear();
    Traverse();
}

} // namespace cv
