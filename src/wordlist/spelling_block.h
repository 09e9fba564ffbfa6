#pragma once
// The spellings of many new entries, side by side in a few blocks of memory
// instead of an allocation each.
//
// A word list of a large corpus makes tens of thousands of words at once;
// a QString each is a heap allocation each (and a free each when the list
// goes), and the words end up scattered over the heap. Here every string a
// block hands out is an ordinary QString whose data lies in the block and
// shares the block's reference count (as copies of one string share
// theirs), each spelling ended by a zero as every QString's is. To its user
// it is a QString like any other: a copy shares the block; changing a
// string that shares it first gives that string a copy of its own (Qt's
// copy on write); the block goes back when the last string in it goes.
// Only a string left alone in its block may be changed in place, and then
// nothing else is there to overwrite.
//
// The block's reference count is raised, once, to more than the strings
// it can hold when it is opened, and lowered by what was not handed out
// when it is closed: a string dropped while the block is being filled
// never frees it under the maker's feet, and there is no atomic operation
// per string.

#include <QString>

#include <cstddef>
#include <cstring>
#include <string_view>

namespace cv {

class TSpellingBlocks {
public:
    TSpellingBlocks() = default;
    ~TSpellingBlocks() { Close(); }
    TSpellingBlocks(const TSpellingBlocks&) = delete;
    TSpellingBlocks& operator=(const TSpellingBlocks&) = delete;

    // A string of these units. Long ones get a place of their own.
    QString Make(std::u16string_view units)
    {
        const std::size_t room = units.size() + 1;
        if (room > fLeft)
            return MakeSlow(units);
        char16_t* at = fNext;
        std::memcpy(at, units.data(), units.size() * sizeof(char16_t));
        at[units.size()] = 0;
        fNext += room;
        fLeft -= room;
        ++fHanded;
        return QString(QString::DataPointer(fBlock, at, qsizetype(units.size())));
    }

    // Units of a block (a spelling longer than a quarter of it has a place of its own).
    static constexpr std::size_t kBlockUnits = 32 * 1024;

private:
    QString MakeSlow(std::u16string_view units);
    // Gives back the references of the current block not handed out.
    void Close();

    QTypedArrayData<char16_t>* fBlock = nullptr;
    char16_t* fNext = nullptr;
    std::size_t fLeft = 0;   // units left in the block
    std::size_t fHanded = 0; // strings handed out of it
};

} // namespace cv
