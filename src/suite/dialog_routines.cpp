#include "suite/dialog_routines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include "suite/my_types.h"
#include "suite/wdef.h"

#include <sys/statvfs.h>

namespace cv {

namespace {

QString quoted(const QString& fileName) { return QStringLiteral("\"%1\"").arg(QDir::toNativeSeparators(fileName)); }

QString number(int64_t n) { return QLocale().toString(qlonglong(n)); }

TDialogAnswer show(const char* routine, TDialogKind kind, const QString& text, TDialogButtons buttons = TDialogButtons::OK,
                   TDialogAnswer defaultAnswer = TDialogAnswer::OK, int helpContext = 0, const QString& caption = QString())
{
    TDialogRequest r;
    r.routine = QString::fromLatin1(routine);
    r.kind = kind;
    r.caption = caption.isEmpty() ? QStringLiteral("Corvantis Tools") : caption;
    r.text = text;
    r.buttons = buttons;
    r.defaultAnswer = defaultAnswer;
    r.helpContext = helpContext;
    return ShowDialog(r);
}

void tell(const char* routine, TDialogKind kind, const QString& text, int helpContext = 0)
{
    show(routine, kind, text, TDialogButtons::OK, TDialogAnswer::OK, helpContext);
}

bool ask(const char* routine, const QString& question, bool defaultYes, int helpContext = 0)
{
    const TDialogAnswer a = show(routine, TDialogKind::Question, question, TDialogButtons::YesNo,
                                 defaultYes ? TDialogAnswer::Yes : TDialogAnswer::No, helpContext);
    return a == TDialogAnswer::Yes || a == TDialogAnswer::OK;
}

// The nearest existing folder at or above a path, for the disk-space check.
QString existingFolder(QString path)
{
    QFileInfo fi(path);
    while (!fi.exists()) {
        const QString parent = fi.absolutePath();
        if (parent == fi.absoluteFilePath())
            break;
        fi = QFileInfo(parent);
    }
    return fi.absoluteFilePath();
}

// Bytes an ordinary user may still write in the folder's file system, -1
// when that cannot be known. Asked of the folder itself: a list of mounts
// (what QStorageInfo reads) does not name every folder's file system in a
// chroot or a container, and the warning must not fall silent there.
int64_t bytesFreeIn(const QString& folder)
{
    struct statvfs disk {};
    if (::statvfs(QFile::encodeName(folder).constData(), &disk) != 0)
        return -1;
    return int64_t(disk.f_bavail) * int64_t(disk.f_frsize);
}

} // namespace

// ---- failures with files ----

void FailedToFind(const QString& fileName)
{
    tell("FailedToFind", TDialogKind::Error, QStringLiteral("Cannot find %1.").arg(quoted(fileName)));
}

void FailedToRead(const QString& fileNameOrList)
{
    const QStringList names = fileNameOrList.split(u'\n', Qt::SkipEmptyParts);
    if (names.size() > 1) {
        QStringList lines;
        for (const QString& n : names)
            lines << QDir::toNativeSeparators(n.trimmed());
        tell("FailedToRead", TDialogKind::Error, QStringLiteral("These files could not be read:\n%1").arg(lines.join(u'\n')));
    } else {
        tell("FailedToRead", TDialogKind::Error,
             QStringLiteral("Cannot read %1. It may be damaged, or of a kind this tool does not read.").arg(quoted(fileNameOrList.trimmed())));
    }
}

void FailedToSave(const QString& fileName)
{
    tell("FailedToSave", TDialogKind::Error,
         QStringLiteral("Cannot save %1. Check that the folder exists, that you may write there and that the disk is not full.")
             .arg(quoted(fileName)));
}

void FailedToSave(const QString& fileName, const QString& message)
{
    if (message.isEmpty())
        FailedToSave(fileName);
    else
        tell("FailedToSave", TDialogKind::Error, message);
}

void FailedToImport(const QString& fileName)
{
    tell("FailedToImport", TDialogKind::Error,
         fileName.isEmpty() ? QStringLiteral("Nothing could be imported.")
                            : QStringLiteral("Nothing could be imported from %1.").arg(quoted(fileName)));
}

void NotAValidCVFile(const QString& fileName)
{
    tell("NotAValidCVFile", TDialogKind::Error, QStringLiteral("%1 is not a result file of this tool.").arg(quoted(fileName)));
}

void IsntCorvanFile(const QString& fileName)
{
    tell("IsntCorvanFile", TDialogKind::Warning, QStringLiteral("%1 is not a file of Corvantis Tools.").arg(quoted(fileName)));
}

void IsntACurrentCorvanFile(const QString& fileName)
{
    tell("IsntACurrentCorvanFile", TDialogKind::Warning,
         QStringLiteral("%1 was saved by an earlier version of Corvantis Tools and cannot be read by this one.").arg(quoted(fileName)));
}

void WrongToolForFile(const QString& fileName, uint8_t fileTool)
{
    tell("WrongToolForFile", TDialogKind::Warning,
         QStringLiteral("%1 belongs to the %2 tool. Please open it there.").arg(quoted(fileName), Tool_Name(fileTool)));
}

void CannotWriteToXFolder(const QString& folder)
{
    tell("CannotWriteToXFolder", TDialogKind::Error,
         QStringLiteral("Cannot write to the folder %1. Please choose a folder you may write to.").arg(quoted(folder)));
}

void CantMergeWithSameFile(const QString& fileName)
{
    tell("CantMergeWithSameFile", TDialogKind::Warning,
         QStringLiteral("%1 is the file already open: a file cannot be merged with itself.").arg(quoted(fileName)));
}

void CantCompareWithSameFile(const QString& fileName)
{
    tell("CantCompareWithSameFile", TDialogKind::Warning,
         fileName.isEmpty() ? QStringLiteral("A word list cannot be compared with itself. Please choose another reference list.")
                            : QStringLiteral("%1 is the word list already open: it cannot be its own reference list.").arg(quoted(fileName)));
}

void CouldntDoDetailedConsistencyOn(const QStringList& fileNames)
{
    QStringList lines;
    for (const QString& n : fileNames)
        lines << QDir::toNativeSeparators(n);
    tell("CouldntDoDetailedConsistencyOn", TDialogKind::Warning,
         QStringLiteral("These files could not be used for the detailed consistency list:\n%1").arg(lines.join(u'\n')));
}

void NoWordListWordsFoundIn(const QString& fileName)
{
    tell("NoWordListWordsFoundIn", TDialogKind::Warning,
         QStringLiteral("No words with frequencies were found in %1. Each line should hold a word, a tab and a number.").arg(quoted(fileName)));
}

TDialogAnswer NoWordsIn(const QString& fileName, int helpContext, const QString& why)
{
    QString text = QStringLiteral("No words were found in %1.").arg(quoted(fileName));
    if (!why.isEmpty())
        text += QLatin1Char(' ') + why;
    return show("NoWordsIn", TDialogKind::Warning, text, TDialogButtons::OK, TDialogAnswer::OK, helpContext);
}

void StoppedWhenProcessingX(const QString& what)
{
    tell("StoppedWhenProcessingX", TDialogKind::Error, QStringLiteral("The job stopped while processing %1").arg(what));
}

QString NotEnoughMemoryText(const QString& what)
{
    return QStringLiteral("There was not enough memory to %1. The job was stopped and no file was changed; "
                          "choose fewer texts or close other programs, and try again.")
        .arg(what);
}

void NotEnoughMemory(const QString& what)
{
    tell("NotEnoughMemory", TDialogKind::Error, NotEnoughMemoryText(what));
}

// ---- missing things and refusals ----

void NoLemmaList()
{
    tell("NoLemmaList", TDialogKind::Information,
         QStringLiteral("No lemma list is loaded. Choose one in the controller's lemma list settings."));
}

void NoMatchList()
{
    tell("NoMatchList", TDialogKind::Information,
         QStringLiteral("No match list is loaded. Choose one in the controller's match list settings."));
}

void NoStopList()
{
    tell("NoStopList", TDialogKind::Information,
         QStringLiteral("No stop list is loaded. Choose one in the controller's stop list settings, or do not filter with a stop list."));
}

void NoFilesSelected() { tell("NoFilesSelected", TDialogKind::Information, QStringLiteral("No files have been selected.")); }

void NoColumnSelected() { tell("NoColumnSelected", TDialogKind::Information, QStringLiteral("Please select a column first.")); }

void NoKeyWordsFound()
{
    tell("NoKeyWordsFound", TDialogKind::Information,
         QStringLiteral("No key words were found with the current settings."));
}

void NoMutualInfoData()
{
    tell("NoMutualInfoData", TDialogKind::Information,
         QStringLiteral("No relationships were found with the current settings."));
}

void NoPrinterInstalled()
{
    tell("NoPrinterInstalled", TDialogKind::Error, QStringLiteral("No printer is available. Please install or choose a printer."));
}

void NoClustersOfSizeIn(int64_t indexEntries, int clusterSize, const QString& clusterSettings, const QString& fileName)
{
    QString text = QStringLiteral("No clusters of %1 words were found in %2 (%3 entries).").arg(clusterSize).arg(quoted(fileName), number(indexEntries));
    if (!clusterSettings.isEmpty())
        text += QStringLiteral("\nSettings: %1").arg(clusterSettings);
    tell("NoClustersOfSizeIn", TDialogKind::Information, text);
}

void CantMakeClustersWithoutIndex()
{
    tell("CantMakeClustersWithoutIndex", TDialogKind::Information,
         QStringLiteral("Clusters are computed from an index. Please make or open an index first."));
}

void TooFewWordsForMovingWindows(int64_t runningWords, int64_t wordsNeeded)
{
    tell("TooFewWordsForMovingWindows", TDialogKind::Information,
         QStringLiteral("The index holds only %1 running words: a moving-window plot needs at least %2.")
             .arg(number(runningWords), number(wordsNeeded)));
}

void NoBrowserForHelp(const QString& address)
{
    tell("NoBrowserForHelp", TDialogKind::Warning,
         QStringLiteral("No web browser was found to show the help. The page is at\n%1").arg(address));
}

void NoProgramToShow(const QString& fileName)
{
    tell("NoProgramToShow", TDialogKind::Warning,
         QStringLiteral("No program was found to open the file. It is at\n%1").arg(QDir::toNativeSeparators(fileName)));
}

void CantComputeKWSIfDifferentLanguages(const QString& studyList, const QString& studyLanguage, const QString& referenceLanguage)
{
    tell("CantComputeKWSIfDifferentLanguages", TDialogKind::Warning,
         QStringLiteral("Key words cannot be computed for %1: it is in %2, but the reference list is in %3.")
             .arg(quoted(studyList), studyLanguage, referenceLanguage));
}

void KeyWordsNotFullLemmaProcessing()
{
    tell("KeyWordsNotFullLemmaProcessing", TDialogKind::Warning,
         QStringLiteral("Some words of the word list were joined as lemmas, but lemma processing was not done in full: "
                        "the key words may not reflect every form."));
}

void KeyWordsFoundLessThanNPercentMatches(int percent)
{
    tell("KeyWordsFoundLessThanNPercentMatches", TDialogKind::Warning,
         QStringLiteral("Only %1% of the words of the word list were found in the reference list. "
                        "Check that the reference list is of the same language and kind of text.").arg(percent));
}

void InvalidNumber(const QString& text)
{
    tell("InvalidNumber", TDialogKind::Error, QStringLiteral("\"%1\" is not a valid number.").arg(text));
}

void UnMatchedBracketInX(const QString& formula)
{
    tell("UnMatchedBracketInX", TDialogKind::Warning, QStringLiteral("The brackets in \"%1\" do not match.").arg(formula));
}

void MenuShortcutAlreadyInUse(const QString& shortcut, const QString& itemCaption, const QString& holderCaption)
{
    tell("MenuShortcutAlreadyInUse", TDialogKind::Warning,
         QStringLiteral("%1 cannot be given to \"%2\": it is already the shortcut of \"%3\".").arg(shortcut, itemCaption, holderCaption));
}

TDialogAnswer FormNotFilled(const QString& what)
{
    return show("FormNotFilled", TDialogKind::Warning, QStringLiteral("Please fill in the form: %1").arg(what));
}

void ProvideAFilenameOrCancel()
{
    tell("ProvideAFilenameOrCancel", TDialogKind::Warning, QStringLiteral("Please give a file name, or cancel."));
}

void PleaseMakeAChoiceForXAction(const QString& action)
{
    tell("PleaseMakeAChoiceForXAction", TDialogKind::Information, QStringLiteral("Please make a choice for %1.").arg(action));
}

void PleaseCheckSettings()
{
    tell("PleaseCheckSettings", TDialogKind::Information, QStringLiteral("Please check the settings and try again."));
}

void NotImplemented() { tell("NotImplemented", TDialogKind::Information, QStringLiteral("This is not available here.")); }

void NotApplicableExplanation()
{
    tell("NotApplicableExplanation", TDialogKind::Information,
         QStringLiteral("Some columns of this data could not be computed when it was made; they are shown as not applicable."));
}

void DataPartlyObscured()
{
    tell("DataPartlyObscured", TDialogKind::Information,
         QStringLiteral("Some of the data is hidden because the column is too narrow. Widen the column to see it all."));
}

void SearchFailedToFindTryAsterisk(const QString& quotedWord)
{
    tell("SearchFailedToFindTryAsterisk", TDialogKind::Information,
         QStringLiteral("%1 was not found. To find words that begin with it, add an asterisk (*).").arg(quotedWord));
}

TDialogAnswer SearchFailedToFindAnyMoreX(const QString& quotedWord)
{
    return show("SearchFailedToFindAnyMoreX", TDialogKind::Information,
                QStringLiteral("No more of %1 found.").arg(quotedWord), TDialogButtons::OKCancel, TDialogAnswer::OK);
}

// ---- reports ----

void SavedOK(const QString& fileName)
{
    tell("SavedOK", TDialogKind::Information, QStringLiteral("Saved %1.").arg(quoted(fileName)));
}

void ReportedAFact(const QString& fact, int helpContext) { tell("ReportedAFact", TDialogKind::Information, fact, helpContext); }

void NoProblem() { tell("NoProblem", TDialogKind::Information, QStringLiteral("No problem was found.")); }

void UseLayoutToMoveAnyColumns()
{
    tell("UseLayoutToMoveAnyColumns", TDialogKind::Information,
         QStringLiteral("The new column is at the right. Use the column layout to move it."));
}

void WarnAboutAndRecommend(const QString& problem, const QString& recommendation, int helpContext)
{
    tell("WarnAboutAndRecommend", TDialogKind::Warning, QStringLiteral("%1\n\nRecommended: %2").arg(problem, recommendation), helpContext);
}

TDialogAnswer WarnAboutAndASKOK(const QString& title, const QString& text, int helpContext)
{
    return show("WarnAboutAndASKOK", TDialogKind::Warning, QStringLiteral("%1\n\nGo on?").arg(text), TDialogButtons::OKCancel,
                TDialogAnswer::Cancel, helpContext, title);
}

// ---- questions answered yes or no ----

bool EscapePressedWantToQuit() { return ask("EscapePressedWantToQuit", QStringLiteral("Stop the job now?"), true); }

bool FinishThisProcessFirst()
{
    return ask("FinishThisProcessFirst", QStringLiteral("Let the current text be finished first?"), true);
}

bool AreYouSureYouWantTo(const QString& action)
{
    return ask("AreYouSureYouWantTo", QStringLiteral("Are you sure you want to %1?").arg(action), false);
}

bool OKToDoX(const QString& question, int helpContext) { return ask("OKToDoX", question, false, helpContext); }

bool OKToOverwrite(const QString& fileName)
{
    if (!QFileInfo::exists(fileName))
        return true;
    return ask("OKToOverwrite", QStringLiteral("%1 already exists. Replace it?").arg(quoted(fileName)), false);
}

bool OKToOverwriteWithBackup(const QString& fileName)
{
    if (!QFileInfo::exists(fileName))
        return true;
    return ask("OKToOverwriteWithBackup",
               QStringLiteral("%1 already exists. Replace it (the old file is kept with the extension \".bak\")?").arg(quoted(fileName)),
               false);
}

bool OKtoSaveAgainAs(const QString& fileName)
{
    return ask("OKtoSaveAgainAs", QStringLiteral("Save the changed data again as %1?").arg(quoted(fileName)), true);
}

bool OKtoDelete(const QString& what) { return ask("OKtoDelete", QStringLiteral("Delete %1?").arg(what), false); }

bool OKToZapNow(int64_t count)
{
    return ask("OKToZapNow", QStringLiteral("Remove the %1 matching entries from the list now?").arg(number(count)), false);
}

bool OKToZapRemainderNow(int64_t count)
{
    return ask("OKToZapRemainderNow",
               QStringLiteral("Remove every entry that did not match (%1 entries matched) from the list now?").arg(number(count)), false);
}

bool ReduceDataOK(int64_t keep, int64_t count)
{
    return ask("ReduceDataOK",
               QStringLiteral("Keep only the first %1 of the %2 entries? The others are removed.").arg(number(keep), number(count)), false);
}

bool OKToShowWdsForNFiles(const QString& words, double texts)
{
    return ask("OKToShowWdsForNFiles",
               QStringLiteral("Count %1 in each of the %2 texts?").arg(words, QLocale().toString(texts, 'f', 0)), true);
}

bool OKToUseTempDirAsTempDrive(const QString& folder)
{
    return ask("OKToUseTempDirAsTempDrive",
               folder.isEmpty() ? QStringLiteral("Use the system's temporary folder for zipping?")
                                : QStringLiteral("Use %1 as the temporary folder for zipping?").arg(quoted(folder)),
               true);
}

bool CreateFolderYesNo(const QString& folder)
{
    return ask("CreateFolderYesNo", QStringLiteral("The folder %1 does not exist. Create it?").arg(quoted(folder)), true);
}

bool ComputeColumnTotalsQ() { return ask("ComputeColumnTotalsQ", QStringLiteral("Compute the column totals?"), true); }

bool TreatTagsAsPrefixInQ()
{
    return ask("TreatTagsAsPrefixInQ",
               QStringLiteral("The texts hold tags that are shown. Treat each tag as a prefix of the word that follows it?"), false);
}

bool ClustersContainingStopListWordsExcluded()
{
    return ask("ClustersContainingStopListWordsExcluded", QStringLiteral("Leave out clusters that contain words of the stop list?"), true);
}

bool JoinXtoY(const QString& word, const QString& target)
{
    return ask("JoinXtoY", QStringLiteral("Join \"%1\" to \"%2\"?").arg(word, target), true);
}

bool OpenFileInBrowserOrNotepad(const QString& fileName)
{
    return ask("OpenFileInBrowserOrNotepad",
               QStringLiteral("Open %1 in the web browser? (No opens it in the text editor.)").arg(quoted(fileName)), true);
}

bool SavedOKOpenNow(const QString& fileName)
{
    return ask("SavedOKOpenNow", QStringLiteral("Saved %1. Open it now?").arg(quoted(fileName)), false);
}

bool SavedOKViewNow(const QString& fileName)
{
    return ask("SavedOKViewNow", QStringLiteral("Saved %1. View it now?").arg(quoted(fileName)), false);
}

bool SavedPlotViewNow(const QString& plotFile, const QString& textFile)
{
    return ask("SavedPlotViewNow",
               QStringLiteral("Saved the plot as %1 and its values as %2. View it now?").arg(quoted(plotFile), quoted(textFile)),
               false);
}

bool MovingWindowsTooLongUseFitting(int64_t runningWords, int64_t windowWords, int64_t fittingWords)
{
    return ask("MovingWindowsTooLongUseFitting",
               QStringLiteral("The index holds %1 running words, fewer than three windows of %2 words: the plot would "
                              "show no line.\nMake it with windows of %3 words?")
                   .arg(number(runningWords), number(windowWords), number(fittingWords)),
               true);
}

bool SavedOKOpenIndexNow(const QString& tokensFile, const QString& typesFile)
{
    return ask("SavedOKOpenIndexNow",
               QStringLiteral("The index was saved as %1 and %2. Open it now?").arg(quoted(tokensFile), quoted(typesFile)), false);
}

bool RefCorpusAndKWMismatch(const QString& studyList, const QString& referenceList)
{
    return ask("RefCorpusAndKWMismatch",
               QStringLiteral("No key words were found in %1 against %2, although it is long enough to have some. "
                              "The reference list may not suit it.\n\nStop the key-word run?")
                   .arg(quoted(studyList), quoted(referenceList)),
               false);
}

bool ProceedIfLittleDiskSpace(const QString& folder, int64_t bytesNeeded)
{
    const int64_t available = bytesFreeIn(existingFolder(folder));
    if (available < 0 || available >= bytesNeeded)
        return true;
    return ask("ProceedIfLittleDiskSpace",
               QStringLiteral("Only %1 are free on the drive of %2, and about %3 may be needed. Go on anyway?")
                   .arg(QLocale().formattedDataSize(available), quoted(folder), QLocale().formattedDataSize(bytesNeeded)),
               false);
}

// ---- questions with more answers ----

TDialogAnswer DoYouWantToSave(const QString& fileName, std::span<const uint8_t> listTypes)
{
    QStringList kinds;
    for (uint8_t t : listTypes)
        kinds << ListTypeName(t);
    const QString where = fileName.isEmpty() ? QStringLiteral("The data has not been saved") : QStringLiteral("The data of %1 has changed").arg(quoted(fileName));
    const QString what = kinds.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(kinds.join(QStringLiteral(", ")));
    return show("DoYouWantToSave", TDialogKind::Question, QStringLiteral("%1%2. Save it?").arg(where, what), TDialogButtons::YesNoCancel,
                TDialogAnswer::Yes);
}

TDialogAnswer DoYouWantToDoX(const QString& question, int helpContext)
{
    return show("DoYouWantToDoX", TDialogKind::Question, question, TDialogButtons::YesNo, TDialogAnswer::Yes, helpContext);
}

TDialogAnswer DoYouWantToOpenBatchFileToSeeIndividualLists(const QString& zipName)
{
    return show("DoYouWantToOpenBatchFileToSeeIndividualLists", TDialogKind::Question,
                QStringLiteral("%1 holds a batch of results. Choose one of them to open?\n(No offers to merge them all.)").arg(quoted(zipName)),
                TDialogButtons::YesNoCancel, TDialogAnswer::Yes);
}

TDialogAnswer DoYouWantToOpenBatchFileToMergeLists(const QString& zipName)
{
    return show("DoYouWantToOpenBatchFileToMergeLists", TDialogKind::Question,
                QStringLiteral("Merge all the lists of %1 into one?").arg(quoted(zipName)), TDialogButtons::OKCancel,
                TDialogAnswer::Cancel);
}

TDialogAnswer StartNewToolInstance()
{
    return show("StartNewToolInstance", TDialogKind::Question,
                QStringLiteral("This window already holds data. Open the file in a new window?\n(No replaces the data here.)"),
                TDialogButtons::YesNoCancel, TDialogAnswer::No);
}

} // namespace cv
