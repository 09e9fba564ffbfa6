#include "wordlist/spelling_block.h"

#include <QtGlobal>

namespace cv {

namespace {
// More references than a block can have strings (each takes a unit at least).
constexpr int kOpenReferences = int(TSpellingBlocks::kBlockUnits) + 1;
} // namespace

void TSpellingBlocks::Close()
{
    if (!fBlock)
        return;
    const int unused = kOpenReferences - int(fHanded);
    // The last reference gone (no string was handed out, or all were dropped already): the block goes.
    if (fBlock->ref_.fetchAndSubOrdered(unused) == unused)
        QTypedArrayData<char16_t>::deallocate(fBlock);
    fBlock = nullptr;
    fNext = nullptr;
    fLeft = 0;
    fHanded = 0;
}

QString TSpellingBlocks::MakeSlow(std::u16string_view units)
{
    if (units.size() + 1 > kBlockUnits / 4)
        return QString(reinterpret_cast<const QChar*>(units.data()), qsizetype(units.size()));
    Close();
    auto [header, data] = QTypedArrayData<char16_t>::allocate(qsizetype(kBlockUnits));
    Q_CHECK_PTR(header);
    header->ref_.storeRelaxed(kOpenReferences);
    fBlock = header;
    fNext = data;
    fLeft = kBlockUnits;
    return Make(units);
}

} // namespace cv
