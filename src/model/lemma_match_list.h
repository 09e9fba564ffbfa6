#pragma once
// The base of every result list of the tool: the suite's base list plus what
// the user's lemma, match and stop lists do to a list, merging, and removal
// of duplicates.
//
// Lemma, match and stop lists live in the lemmatiser (suite/lemmatiser.h),
// loaded per tool; a list asks it about its entries' main words.

#include "model/base_list.h"
#include "suite/menu_commands.h"

namespace cv {

// What a match command does to the entries found in the match list.
enum class TMatchAction : int8_t {
    None = -1,
    MatchAndMark = 0,       // found entries get the match mark
    DeleteMatches = 1,      // found entries are marked deleted
    DeleteNonMatches = 2,   // entries not found are marked deleted
    RemoveMatchMarking = 3, // every match mark is cleared
};

// The match action of a match command (TMenuCommand::MarkMatches,
// DeleteAllMatched, DeleteAllUnmatched, ClearAllMatches); None for any other.
TMatchAction TagToMatchAction(int menuTag);

class TCVBaseLemmaMatchCapableList : public TCVBaseDataClass {
public:
    using TCVBaseDataClass::TCVBaseDataClass;

    // Joins, for every head word of the loaded lemma list, the entries of
    // its forms under it, as one undoable step. A head word absent from the
    // list whose forms are there gets an entry of its own for them when the
    // list makes one (MakeHeadEntry); otherwise its forms stay as they are.
    // Returns how many forms were joined.
    virtual int CheckLemmas(bool undoable = true);
    // The entry of a head word that is not in the list (null: the list makes none).
    virtual std::unique_ptr<TCVBaseListObject> MakeHeadEntry(const QString& word) { return nullptr; }
    // Removes the entries whose main word is in the loaded stop list; returns how many.
    virtual int CheckStops();
    // Carries out the match action of a menu tag over the list against the
    // loaded match list, as one undoable step. Returns the number of entries
    // found in the match list (for RemoveMatchMarking: the marks cleared).
    virtual int CheckMatches(int menuTag);
    // Removes entries that duplicate an earlier entry (IsDuplicateOf); returns how many.
    virtual int RemoveDuplicates();
    // Appends copies of the other list's entries. Lists that add up equal
    // entries (word lists) override this.
    virtual bool MergeWith(TCVBaseLemmaMatchCapableList& other);
};

} // namespace cv
