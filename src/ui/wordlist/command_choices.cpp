#include "ui/wordlist/command_choices.h"

#include <algorithm>

#include "model/base_list.h"
#include "suite/cvbuf.h"

namespace cv {

bool TFixedCommandChoices::ChooseClusters(bool hasSelection, TClusterChoice& choice)
{
    ++clusterChoiceShown;
    lastHadSelection = hasSelection;
    if (!acceptClusters)
        return false;
    choice = clusters;
    if (hasSelection)
        choice.wordChoice = 1;
    return true;
}

bool TFixedCommandChoices::ChooseJoinClusters(bool& smallerIntoLargest)
{
    ++joinClustersShown;
    smallerIntoLargest = joinSmallerIntoLargest;
    return acceptJoinClusters;
}

bool TFixedCommandChoices::ChooseRelationships(const QString& selectedWord, bool hasSelection,
                                               TRelationshipChoice& choice)
{
    ++relationshipChoiceShown;
    lastSelectedWord = selectedWord;
    lastHadSelection = hasSelection;
    if (!acceptRelationships)
        return false;
    choice = relationships;
    if (hasSelection)
        choice.processSelection = 1;
    return true;
}

bool TFixedCommandChoices::ConfirmComparison(const QString&)
{
    ++comparisonShown;
    return acceptComparison;
}

bool TFixedCommandChoices::ThreeWaySort(const TCVBaseDataClass& list, int pressedColumn, int helpContext,
                                        TThreeWaySortChoice& choice)
{
    ++threeWaySortShown;
    lastSortHelpContext = helpContext;
    if (!acceptThreeWaySort)
        return false;
    choice = threeWaySort;
    if (choice.columns[0] < 0) {
        choice.columns[0] = pressedColumn;
        choice.ascending[0] = list.SortLevel(0).ascending;
    }
    return true;
}

bool TFixedCommandChoices::ChooseAutoJoin(TAutoJoinChoice& choice)
{
    ++autoJoinShown;
    choice = autoJoin;
    return !choice.affixes.empty();
}

bool TFixedCommandChoices::ChooseIndexExport(TIndexExportChoice& choice)
{
    ++indexExportShown;
    choice = indexExport;
    return !choice.fileName.isEmpty();
}

bool TFixedCommandChoices::EditCategory(const QString&, QString& text, uint32_t& colour)
{
    ++categoryShown;
    if (!acceptCategory)
        return false;
    text = category;
    colour = categoryColour;
    return true;
}

void TFixedCommandChoices::ShowLemmaShower(const QString& caption, const QStringList& headings, const QStringList& rows)
{
    ++lemmaShowerShown;
    lemmaShowerCaption = caption;
    lemmaShowerHeadings = headings;
    lemmaShowerRows = rows;
}

void TFixedCommandChoices::ShowWordFrequenciesPerText(const QStringList& words, const TCVStatsList&)
{
    ++wordFrequenciesShown;
    wordFrequencyWords = words;
}

void TFixedCommandChoices::ShowStartWizard(TCVFileDetails* texts)
{
    ++wizardShown;
    wizardTexts = texts;
}

bool TFixedCommandChoices::OpenMovingWindowPlot(const QString& fileName)
{
    plotsOpened << fileName;
    return plotViewOpens;
}

namespace {
// What the analysis takes: a window of at least a hundred words, at most 64 runs.
constexpr int32_t kMovingWindowWordsMax = 100000000;
constexpr int32_t kMovingWindowRunsMax = 64;
} // namespace

TMovingWindowSettings GetMovingWindowSettings()
{
    const TWordlist_index_settings_rec index = GetWordlistIndexSettings();
    TMovingWindowSettings s;
    if (index.MovingWindowWords() >= kMovingWindowWordsMin)
        s.WindowWords = std::min(index.MovingWindowWords(), kMovingWindowWordsMax);
    if (index.MovingWindowRuns() >= 1)
        s.Runs = std::min(index.MovingWindowRuns(), kMovingWindowRunsMax);
    return s;
}

TMovingWindowSettings TFixedCommandChoices::MovingWindowSettings()
{
    return movingWindow ? *movingWindow : GetMovingWindowSettings();
}

bool TFixedCommandChoices::ShowSourceText(const QString& fileName, const QStringList& words)
{
    sourceTextsShown << fileName;
    sourceTextWords = words;
    return true;
}

std::optional<int> TFixedCommandChoices::ChooseLanguage(const QStringList&, const QString&)
{
    ++languageChoiceShown;
    return language;
}

} // namespace cv
