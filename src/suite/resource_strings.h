#pragma once
// The suite's resource strings: every text the tools show or log under a
// name (`CVOverall`, `CVMaximumXIs`, ...).
//
// Texts with values carry the specifiers of Format (cv_format.h): a name
// with X, Y or S takes a text, one with N or D a number, in the order the
// name gives them ("%s", "%d"). Use them as Format(CVMaximumXIs, {CVTexts, 500}).
//
// One table (CV_RESOURCE_STRINGS) lists them all; each becomes a constant of
// type TResourceString that turns into a QString wherever one is wanted.

#include <QString>
#include <QStringView>

#include <span>

namespace cv {

struct TResourceString {
    const char16_t* text;
    const char* name;

    operator QString() const { return QString::fromUtf16(text); } // NOLINT: used as a text everywhere
    operator QStringView() const { return QStringView(text); }    // NOLINT
    QString toString() const { return QString::fromUtf16(text); }
};

inline QString operator+(const TResourceString& a, const QString& b) { return a.toString() + b; }
inline QString operator+(const QString& a, const TResourceString& b) { return a + b.toString(); }
inline QString operator+(const TResourceString& a, const TResourceString& b) { return a.toString() + b.toString(); }

// clang-format off
#define CV_RESOURCE_STRINGS(X) \
    X(CV1Entry, u"1 entry") \
    X(CVActiveColumnNumberAndHeading, u"Active set column: %d (%s)") \
    X(CVAlphabetical, u"alphabetical") \
    X(CVAnd, u" and ") \
    X(CVAssociates, u"associates") \
    X(CVAutoSaving, u"auto-saving...") \
    X(CVBasedOnNmanyFiles, u"based on %d text files") \
    X(CVBatchXZipname, u"batch_%s.zip") \
    X(CVBreakdownOfResults, u"Breakdown of results by %s") \
    X(CVBreakdownX, u"Breakdown: %s (%s)") \
    X(CVBugReport, u"If this happens again, please report it, saying that it happened in \"%s\" (%s).") \
    X(CVCannotComputeXIfLangsDiffer, u"Cannot compute %s when the languages of the two lists differ.") \
    X(CVCantReadFile, u"Cannot read %s") \
    X(CVChangeSelection, u"Change selection") \
    X(CVChargramList, u"Character n-gram list") \
    X(CVChoose1Wordlist, u"Choose one word list") \
    X(CVChooseTextsNow, u"Choose texts now") \
    X(CVChooseTextsStr, u"To make a %s, first choose some texts.") \
    X(CVChooseWordlistIndexOfSameCorpus, u"Choose a word-list index of the same corpus") \
    X(CVChooseXColumnForData, u"Choose the column that gives each %s its value") \
    X(CVClear, u"Clear") \
    X(CVClearCaption, u"Clear") \
    X(CVClearColours, u"Clear all colour categories?") \
    X(CVCloseOrTryAgain, u"Close this window, or change the settings and try again.") \
    X(CVClosingATool, u"Closing %s") \
    X(CVClusters, u"clusters") \
    X(CVCollocate, u"collocate") \
    X(CVCollocateHorizonsXToY, u"collocate horizons %dL to %dR") \
    X(CVCollocateRelationship, u"Computing collocate relationships") \
    X(CVCollocates, u"collocates") \
    X(CVComputingX, u"Computing %s") \
    X(CVConcordance, u"Concordance") \
    X(CVConcordanceList, u"Concordance") \
    X(CVConditionNum, u"Condition %d") \
    X(CVContextPlain, u"context") \
    X(CVContextWordHorizonsXToY, u"context word horizons %dL to %dR") \
    X(CVConvertIntoUnicode, u"Convert the texts into Unicode so that all of them are read the same way.") \
    X(CVCouldnTFindFileS, u"Couldn't find file %s") \
    X(CVCreating, u"creating") \
    X(CVCurrentXSettings, u"Current %s settings") \
    X(CVDTagsHandled, u"%d tags handled") \
    X(CVDataColumnNum, u"Data column %d") \
    X(CVDataFromColumnC, u"Take the data from column \"%s\"?") \
    X(CVDelete, u"Delete") \
    X(CVDeleteMatches, u"Delete matches") \
    X(CVDeleteNonMatches, u"Delete non-matches") \
    X(CVDeleteXQ, u"Delete %s?") \
    X(CVDetailedConsistency, u"Detailed consistency") \
    X(CVDetails, u"details") \
    X(CVDiceCoefficients, u"Dice coefficients") \
    X(CVDone, u"Done") \
    X(CVEnterNOfFrozenRows, u"How many rows at the top should stay in view (1 to 4)?") \
    X(CVEnterSetData, u"Enter set data") \
    X(CVEtc, u" etc.") \
    X(CVExcluding, u"excluding") \
    X(CVFailedToReadX, u"Failed to read %s") \
    X(CVFilename, u"File name") \
    X(CVFilenames, u"file names") \
    X(CVFiles, u"files") \
    X(CVFilesNotMeetingSettings, u"Files not meeting the settings") \
    X(CVFitToPage, u"fit to page") \
    X(CVFolder, u"Folder") \
    X(CVFolderForTempUse, u"Folder for temporary use while zipping") \
    X(CVFrequency, u"frequency") \
    X(CVFunctionNFound, u"%d found") \
    X(CVFunctionXComputed, u"%s computed on %s") \
    X(CVGreyMarkupNChars, u"Grey out the mark-up of a text of %d characters? This may take some time.") \
    X(CVHitN, u"Hit %d: row %d") \
    X(CVHitTypes, u"hit types") \
    X(CVHits, u"Hits") \
    X(CVHowManyEntries, u"How many entries should be kept?") \
    X(CVIfX, u"if %s") \
    X(CVIfXAndY, u"if %s and %s") \
    X(CVIfXButNotY, u"if %s but not %s") \
    X(CVIfXOrY, u"if %s or %s") \
    X(CVInZipFile, u"in zip file") \
    X(CVIncludeHeadersAndHeadings, u"include headers and headings") \
    X(CVIncludeHeadings, u"include headings") \
    X(CVIndex, u"index") \
    X(CVIndexFile, u"Index: %s") \
    X(CVItemNOfNAndLineNofN, u"Item %d of %d, line %d of %d") \
    X(CVKWSWith, u"KWs with %s") \
    X(CVKWsWithFilename, u"KWs with %s") \
    X(CVKeyWordDatabase, u"Key-word database") \
    X(CVKeyWordList, u"Key-word list") \
    X(CVKeywordLinks, u"key-word links") \
    X(CVKeywords, u"KeyWords") \
    X(CVL, u"L") \
    X(CVLandscape, u"landscape") \
    X(CVLanguage, u"Language") \
    X(CVLemmaForms, u"Lemma forms") \
    X(CVLinks, u"links") \
    X(CVListIsLoaded, u"List loaded") \
    X(CVListIsntLoaded, u"List not loaded") \
    X(CVListTypeCloudFromFile, u"%s word cloud from %s") \
    X(CVLoadCaption, u"Load") \
    X(CVLoadingX, u"Loading %s") \
    X(CVMIxedFormats, u"Some of the texts were in Unicode and some in an 8-bit format.") \
    X(CVMakeAFile2, u"You can make a %s from %s.") \
    X(CVMatchAndMark, u"Match and mark") \
    X(CVMatchListItems, u"match-list items") \
    X(CVMaximumXIs, u"The maximum number of %s is %d.") \
    X(CVMergeXwithY, u"merge %s with %s") \
    X(CVMerged, u"merged") \
    X(CVMinimalProcessing, u"minimal processing") \
    X(CVMinimumLengthLetters, u"minimum length (letters)") \
    X(CVMinimumXIs, u"minimum %s: %d") \
    X(CVNEntries, u"%d entries") \
    X(CVNFilesSaved, u"%.0n files saved") \
    X(CVNHits, u"%d hits") \
    X(CVNInBatch, u"%d in batch") \
    X(CVNManyOutOfN, u"%d out of %d") \
    X(CVNManyX, u"%1:d %0:s") \
    X(CVNValidWordsAndFreqs, u"%d valid words and frequencies") \
    X(CVNmanyCharactersSavedPerEntry, u"%d characters saved per entry") \
    X(CVNmanyEntriesFound, u"%d entries found") \
    X(CVNmanyEntriesFoundEqualsXPercent, u"%d entries found = %.2f%%") \
    X(CVNmanyXFoundForXPercent, u"%d of %s found (%.2f%% of all entries)") \
    X(CVNoFilesPresentOnDisk, u"None of the texts is present on disk.") \
    X(CVNoLimits, u"no limits") \
    X(CVNotFoundIn, u"not found in") \
    X(CVNumber, u"number") \
    X(CVOK, u"OK") \
    X(CVOpeningX, u"Opening %s") \
    X(CVOverall, u"Overall") \
    X(CVPageTabNumber, u"Page tab %d") \
    X(CVPanicStopAt, u"Stop and quit requested at %s") \
    X(CVPathAndFilename, u"Path and file name") \
    X(CVPathToTheFile, u"Path to the file") \
    X(CVPatterns, u"patterns") \
    X(CVPercentKWsIgnoredforConsistency, u"%.1f%% of the key words were left out because they occur in fewer than %.1f%% of the texts") \
    X(CVPlots, u"plots") \
    X(CVPortrait, u"portrait") \
    X(CVPrinternameAndPortraitOrLandScape, u"%s (%s)") \
    X(CVProcedureEquals, u"Procedure = %s") \
    X(CVProcessing, u"Processing") \
    X(CVR, u"R") \
    X(CVREduceData, u"Reduce data") \
    X(CVReferenceCorpus, u"Reference corpus") \
    X(CVRelationships, u"Relationships") \
    X(CVRelativeEntropy, u"Relative entropy") \
    X(CVRemoveMarkup, u"Remove mark-up") \
    X(CVRemoveMatchMarking, u"Remove match marking") \
    X(CVRestore, u"Restore") \
    X(CVRestoreMarkup, u"Restore mark-up") \
    X(CVResults, u"Results") \
    X(CVReverseDeletion, u"Reverse the deletion marks of every entry?") \
    X(CVRowNumber, u"Row %d") \
    X(CVSaveAsExcel, u"Save as Excel spreadsheet") \
    X(CVSaveAsOther, u"Save as %s") \
    X(CVSaveAsPlainText, u"Save as plain text") \
    X(CVSaveAsXML, u"Save as XML") \
    X(CVSaveLemmasAsLemmaList, u"Save lemmas as a lemma list") \
    X(CVSaveStudyListForKeyWords, u"Save the word list first: key words are computed from its file") \
    X(CVSaveTextFileDataCanList, u"Save the data as a text file to see the whole list.") \
    X(CVSaveTheseSettings, u"Save these column settings for every %s?") \
    X(CVSaveasRTF, u"Save as Rich Text (RTF)") \
    X(CVSaving, u"Saving") \
    X(CVSavingClusterWordlists, u"Saving cluster word lists") \
    X(CVSearch, u"Search") \
    X(CVSearchAndReplace, u"Search and replace") \
    X(CVSearchWithin, u"search within") \
    X(CVSearchWord, u"Search word") \
    X(CVSearchWordsNString, u"search words %s") \
    X(CVSelect, u"Select") \
    X(CVSelectFolder, u"Please select a folder.") \
    X(CVSelected, u"selected") \
    X(CVSelectedX, u"selected %s") \
    X(CVSetAllToMinimum, u"set all to minimum") \
    X(CVSetColumnD, u"Set %d") \
    X(CVSettings, u"Settings") \
    X(CVShowX, u"show %s") \
    X(CVSingleByteFormat, u"8-bit format") \
    X(CVSort, u"sort") \
    X(CVSourceText, u"Source text") \
    X(CVStopAtEndOfText, u"stop at end of text") \
    X(CVStopAtXBreak, u"stop at break of level %d") \
    X(CVStopListItems, u"stop-list items") \
    X(CVStopped, u"Stopped") \
    X(CVStoppingASAP, u"Stopping as soon as possible (%s)") \
    X(CVStoppingAtEOF, u"Stopping at the end of the current text (%s)") \
    X(CVSuspendStop, u"The job was stopped before it finished.") \
    X(CVTagFile, u"Tag file") \
    X(CVTestN, u"test %d") \
    X(CVTextFile, u"a text file") \
    X(CVTexts, u"texts") \
    X(CVTextsNString, u"texts %s") \
    X(CVTimelines, u"timelines") \
    X(CVTotalN, u"Total: %d") \
    X(CVTotalXEquals, u"total = %d") \
    X(CVUnicode, u"Unicode") \
    X(CVUnsaved, u"unsaved") \
    X(CVVariants, u"Variants") \
    X(CVVersion, u"Version %s") \
    X(CVWaitingForZip, u"Waiting for the zip file to be finished...") \
    X(CVWord, u"Word") \
    X(CVWordList, u"WordList") \
    X(CVWordListIndexList, u"Word-list index") \
    X(CVWordlistsMergedFromFile, u"%d word lists merged from %s") \
    X(CVWords, u"words") \
    X(CVXBasis, u"%s basis") \
    X(CVXFoundInY, u"%s found in %s") \
    X(CVXNotFound, u"%s not found") \
    X(CVXReachedYourPresetLimitsY, u"%s reached your preset limit of %d") \
    X(CVXToolMainControllerSettings, u"%s: main controller settings") \
    X(CVXWordClusters, u"%d-word clusters") \
    X(CVXforRowNOnlyQ, u"%s for row %d only?") \
    X(CVXtoYWordClusters, u"%d- to %d-word clusters") \
    X(CVYOucanMake, u"You can make a %s now.") \
    X(CVYouHaveNTextsChosen, u"You have %.0n texts chosen") \
    X(CVYouHaveOneTextChosen, u"You have 1 text chosen") \
    X(CVZapX, u"Remove the %s entries now?") \
    X(CVZipfileX, u"zip file %s") \
    X(CVZipping, u"Zipping")
// clang-format on

#define CV_DECLARE_RESOURCE_STRING(name, text) inline constexpr TResourceString name{text, #name};
CV_RESOURCE_STRINGS(CV_DECLARE_RESOURCE_STRING)
#undef CV_DECLARE_RESOURCE_STRING

// Every resource string, in the table's order (for lists, logs and tests).
std::span<const TResourceString> AllResourceStrings();
// The text of a resource string by its name; empty when there is none.
QString ResourceStringByName(QStringView name);

} // namespace cv
