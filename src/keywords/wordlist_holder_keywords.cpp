// Part of T_WholeWordlistHolder (wordlist/wordlist_holder.h), the word-list
// document: its comparison with a reference list. It lives with the key-word
// code, above the word-list library, because it runs a key-word document;
// whoever calls it links cv_keywords.

#include "keywords/keywords_holder.h"
#include "suite/cvbuf.h"
#include "suite/my_types.h"
#include "wordlist/wordlist_holder.h"

#include <QDateTime>
#include <QFileInfo>

namespace cv {

void T_WholeWordlistHolder::ComparedWordlists(const QString& studyFilename, const QString& referenceFilename, bool twoWay,
                                              bool& found)
{
    found = false;
    T_WholeKeywordsHolder keywords(kListKeyWords, TagsToTranslate, TextTagHandler, Using_Lemmalist, Using_Stoplist,
                                   TDudFileCallback{}, TMainListEntriesCallback{}, [this] { return CentreOfMainForm(); });
    // A comparison inside the word-list window makes no plots; the user's
    // own choice comes back afterwards.
    const bool fastBefore = GetFastMinimalProcessing(current_tool_var);
    SetFastMinimalProcessing(current_tool_var, true);
    TCVComputeResultRec result;
    keywords.ComputeKWs({studyFilename}, referenceFilename, 0, twoWay, 1, false, result);
    SetFastMinimalProcessing(current_tool_var, fastBefore);
    if (!result.OK || result.Suspended)
        return;

    std::unique_ptr<TKeyWordList> computed = keywords.SetKWsToNil();
    if (!computed)
        return;
    // The held list stays the registered one: it takes the computed list's content.
    TKeyWordList& mine = *fKeywordsList;
    mine.ClearButNotGridHeadings();
    mine.KWSettings = computed->KWSettings;
    mine.MergeWith(*computed);
    mine.n_actually_obtained = computed->n_actually_obtained;
    mine.wds_considered_for_Dice = computed->wds_considered_for_Dice;
    mine.DiceCoefficient = computed->DiceCoefficient;
    mine.fPercentIgnoredForConsistency = computed->fPercentIgnoredForConsistency;
    mine.fStopListCount = computed->fStopListCount;
    mine.SetSortSettingsToDefault();

    AddOneLaterNote(QStringLiteral("Key words of %1 against %2: Dice coefficient %3")
                        .arg(QFileInfo(studyFilename).fileName(), QFileInfo(referenceFilename).fileName())
                        .arg(mine.DiceCoefficient, 0, 'f', 3));
    QStringList headings = mine.GridHeadings();
    if (headings.size() > TKeyWordList::kColRefFreq) {
        headings[TKeyWordList::kColFreq] = QFileInfo(studyFilename).completeBaseName();
        headings[TKeyWordList::kColRefFreq] = QFileInfo(referenceFilename).completeBaseName();
        mine.SetGridHeadings(headings);
    }
    MainFile.Mark = 1;
    found = mine.Count() > 0;
}

} // namespace cv
