#pragma once
// The suite's named message routines: each says one thing to the user, or
// asks one question, in its own words, through ShowDialog (dialogs.h).
//
// Every routine names itself in the request (TDialogRequest::routine), so
// tests can see which message a road produced. When
// Global_run_without_error_messages is set, nothing is shown: failures go
// into Global_FailureMessage and questions take their default answer (given
// per routine below; the safe choice wherever a wrong "yes" could lose data).
//
// Routines that answer yes or no return bool (true for Yes or OK); those whose
// callers tell more answers apart return the TDialogAnswer.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <span>

#include "suite/dialogs.h"

namespace cv {

// ---- failures with files ----
void FailedToFind(const QString& fileName);
void FailedToRead(const QString& fileNameOrList);
void FailedToSave(const QString& fileName);
// The same with the reason the save gave ("Cannot write file "<name>":
// <reason>"), shown in place of the general advice when there is one.
void FailedToSave(const QString& fileName, const QString& message);
void FailedToImport(const QString& fileName = QString());
void NotAValidCVFile(const QString& fileName);
void IsntCorvanFile(const QString& fileName);
void IsntACurrentCorvanFile(const QString& fileName);
void WrongToolForFile(const QString& fileName, uint8_t fileTool);
void CannotWriteToXFolder(const QString& folder);
void CantMergeWithSameFile(const QString& fileName);
void CantCompareWithSameFile(const QString& fileName = QString());
void CouldntDoDetailedConsistencyOn(const QStringList& fileNames);
void NoWordListWordsFoundIn(const QString& fileName);
// The answer is the dialog's (OK); callers give it to their own modal result.
// `why`, when known, follows the message (what the texts held instead).
TDialogAnswer NoWordsIn(const QString& fileName, int helpContext = 2910, const QString& why = QString());
void StoppedWhenProcessingX(const QString& what);
// An allocation failed while the job `what` ran ("make the word list"):
// the job was stopped and nothing it would have saved was changed. The
// text alone (for callers that keep a job's error), and the message.
QString NotEnoughMemoryText(const QString& what);
void NotEnoughMemory(const QString& what);

// ---- missing things and refusals ----
void NoLemmaList();
void NoMatchList();
void NoStopList();
void NoFilesSelected();
void NoColumnSelected();
void NoKeyWordsFound();
void NoMutualInfoData();
void NoPrinterInstalled();
void NoClustersOfSizeIn(int64_t indexEntries, int clusterSize, const QString& clusterSettings, const QString& fileName);
void CantMakeClustersWithoutIndex();
// The corpus is too short for any moving-window plot.
void TooFewWordsForMovingWindows(int64_t runningWords, int64_t wordsNeeded);
// No web browser (or viewer) took the help page: the user is given its address.
void NoBrowserForHelp(const QString& address);
// A file the user asked to see that no program of the desktop took: where it is.
void NoProgramToShow(const QString& fileName);
void CantComputeKWSIfDifferentLanguages(const QString& studyList, const QString& studyLanguage, const QString& referenceLanguage);
void KeyWordsNotFullLemmaProcessing();
void KeyWordsFoundLessThanNPercentMatches(int percent);
void InvalidNumber(const QString& text);
void UnMatchedBracketInX(const QString& formula);
void MenuShortcutAlreadyInUse(const QString& shortcut, const QString& itemCaption, const QString& holderCaption);
TDialogAnswer FormNotFilled(const QString& what);
void ProvideAFilenameOrCancel();
void PleaseMakeAChoiceForXAction(const QString& action);
void PleaseCheckSettings();
void NotImplemented();
void NotApplicableExplanation();
void DataPartlyObscured();
void SearchFailedToFindTryAsterisk(const QString& quotedWord);
// OK goes on searching; Cancel (2) stops the search.
TDialogAnswer SearchFailedToFindAnyMoreX(const QString& quotedWord);

// ---- reports ----
void SavedOK(const QString& fileName);
void ReportedAFact(const QString& fact, int helpContext = 0);
void NoProblem();
void UseLayoutToMoveAnyColumns();
void WarnAboutAndRecommend(const QString& problem, const QString& recommendation, int helpContext = 0);
// OK (1) to go on; Cancel (2) otherwise.
TDialogAnswer WarnAboutAndASKOK(const QString& title, const QString& text, int helpContext = 0);

// ---- questions answered yes or no ----
bool EscapePressedWantToQuit();                               // default Yes
bool FinishThisProcessFirst();                                // default Yes: let the current text finish
bool AreYouSureYouWantTo(const QString& action);              // default No
bool OKToDoX(const QString& question, int helpContext = 0);   // default No
bool OKToOverwrite(const QString& fileName);                  // default No; true when the file does not exist
bool OKToOverwriteWithBackup(const QString& fileName);        // default No; true when the file does not exist
bool OKtoSaveAgainAs(const QString& fileName);                // default Yes
bool OKtoDelete(const QString& what);                         // default No
bool OKToZapNow(int64_t count);                               // default No
bool OKToZapRemainderNow(int64_t count);                      // default No
bool ReduceDataOK(int64_t keep, int64_t count);               // default No
bool OKToShowWdsForNFiles(const QString& words, double texts);// default Yes
bool OKToUseTempDirAsTempDrive(const QString& folder = QString()); // default Yes
bool CreateFolderYesNo(const QString& folder);                // default Yes
bool ComputeColumnTotalsQ();                                  // default Yes
bool TreatTagsAsPrefixInQ();                                  // default No
bool ClustersContainingStopListWordsExcluded();               // default Yes
bool JoinXtoY(const QString& word, const QString& target);    // default Yes
bool OpenFileInBrowserOrNotepad(const QString& fileName);     // default Yes: the browser
bool SavedOKOpenNow(const QString& fileName);                 // default No
bool SavedOKViewNow(const QString& fileName);                 // default No
bool SavedOKOpenIndexNow(const QString& tokensFile, const QString& typesFile); // default No
// The moving-window plot and the text of its values were saved; Yes shows the plot. Default No.
bool SavedPlotViewNow(const QString& plotFile, const QString& textFile);
// The corpus is shorter than three windows of the size set (the plot would
// have no line): Yes makes it with windows that fit. Default Yes.
bool MovingWindowsTooLongUseFitting(int64_t runningWords, int64_t windowWords, int64_t fittingWords);
// Yes: stop the key-word run (the reference list does not suit). Default No.
bool RefCorpusAndKWMismatch(const QString& studyList, const QString& referenceList);
// True when the folder's drive has room for the bytes, or the user goes on anyway (default No).
bool ProceedIfLittleDiskSpace(const QString& folder, int64_t bytesNeeded);

// ---- questions with more answers ----
// Yes (6) save, No (7) drop the changes, Cancel (2) go back. Default Yes.
TDialogAnswer DoYouWantToSave(const QString& fileName, std::span<const uint8_t> listTypes);
// Yes (6) this only, No (7) all, as the caller words it. Default Yes.
TDialogAnswer DoYouWantToDoX(const QString& question, int helpContext = 0);
// Yes (6) choose one list, No (7) consider merging, Cancel (2). Default Yes.
TDialogAnswer DoYouWantToOpenBatchFileToSeeIndividualLists(const QString& zipName);
// OK (1) merge every list, Cancel (2). Default Cancel.
TDialogAnswer DoYouWantToOpenBatchFileToMergeLists(const QString& zipName);
// Yes (6) a new instance of the tool, No (7) replace the data here, Cancel (2). Default No.
TDialogAnswer StartNewToolInstance();

} // namespace cv
