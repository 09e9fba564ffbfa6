#pragma once
// The two windows of batch work, in which one job makes many results and
// collects them in a folder and a zip archive:
//
// - the batch set-up asks where the results go and how they are stored,
//   fills the process-wide batch record (Global_BatchProcedures) and then
//   shows the progress of the running batch with a Stop button. The caller
//   shows it without waiting, pumps messages until it is Ready or hidden,
//   runs the batch and ends it with BatchOver;
// - the batch choice lists the results inside a batch zip (or a list of
//   saved result files) and opens the one the user picks through the event
//   the caller sets.

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

#include "model/check_signature.h"
#include "suite/cv_stream.h"
#include "ui/framework/dialog_base/dialog_support.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QStatusBar;

namespace cv {

struct TCVStored_File_rec;

// The name of a batch's folder made at that time: "yyyy_mmm_dd'_at_'hh_nn"
// (year, the locale's abbreviated month, day, hours, minutes).
QString SuggestedBatchFolderName(const QDateTime& when, const QLocale& locale = QLocale());

class TFormBatchProcessSetup final : public TCVDialog {
    Q_OBJECT
public:
    // Points the batch record's hooks at this window and starts the record
    // at mode 0; the destructor takes the hooks back.
    explicit TFormBatchProcessSetup(QWidget* parent = nullptr);
    ~TFormBatchProcessSetup() override;

    QCheckBox* CheckBoxZipToo;
    QCheckBox* CheckBoxMinimalProcessing;
    QCheckBox* CheckBoxKeepBoth;
    QCheckBox* AdvOfficeCheckBoxPreserveDates;
    TFileNameEdit* ElFolderNameEditBatch;
    TRadioGroup* RadioGroupTool; // item i is batch mode i + 1
    QLabel* LabelMessage;
    QProgressBar* PCProgressBarBatch;
    QPushButton* ButtonOK;
    QPushButton* AdvGlowButtonStop;

    int32_t files_added = 0;
    QString suggested_dir;
    QStringList RBCaption;
    int32_t FilesToProcess = 0;   // set by the caller: the texts to process
    int64_t TotalTextBytes = 0;   // set by the caller: their total size
    bool BatchBusy = false;
    bool Ready = false;

    // The folder zipping may use for its temporary files (the system's one);
    // when it is missing the user is asked for another (ElFolderDialog1).
    QString TempZipFolder;
    std::function<QString(const QString& title, const QString& prompt)> ElFolderDialog1;

    // Fills the batch record and makes the folders; Ready when the batch may
    // start. Pressed while a batch runs: waits for the zip to be finished
    // and asks the batch to stop.
    void ButtonOKClick();
    // Raises the cancel state by one, while it is below 3.
    void AdvGlowButtonStopClick();
    // The batch mode of the clicked item.
    void RadioButtonClick(int item);
    // Results are computed where they are saved (true) or in a temporary folder.
    void SetUseTempDir(bool useTempDir);
    // The caller's end of the batch: not busy any more, hidden.
    void BatchOver();

    // --- the batch record's hooks ---
    void BatchFileNameAndMaxN(const QString& zipOrFolder, const QString& sectionText, int maxN);
    // Zipping: file a of n goes into the zip; else texts a to n are processed.
    void ZippingASection(int a, int n, bool zipping);
    void Progressing(int done, int total);
    void AddingToZip(const QString& entryName);
    void ZipProgress(int done, int total);

protected:
    void FormShow() override;
    void hideEvent(QHideEvent* event) override;

private:
    void ShowWaitingState();
    QString m_tempSubfolder; // made for zipping; removed at the end when left empty
};

// Opens one result: the stream holding it (position 0), its signature, and
// its 0-based place in the list. True when it could be opened.
using TOpenBatchFileEvent = std::function<bool(TStream& stream, const TCheckSignature& signature, int index)>;

class TFormBatchChoose final : public TCVDialog {
    Q_OBJECT
public:
    explicit TFormBatchChoose(QWidget* parent = nullptr);

    QListWidget* ListBox1;
    QStatusBar* StatusBar1;
    QStringList TextFilesList;
    int fopen_file_num = -1;
    int fSelected_file_num = -1;
    TCheckSignature fcheck;
    TOpenBatchFileEvent fOnOpenBatchFile;
    bool OperatingWithZips = false;
    bool BatchChooseBusy = false;
    TMemoryStream memStream;
    QString OpenFileName;
    QString ZipFilename;

    // Lists the entries of the zip the record names and shows the window;
    // true when there is at least one entry.
    bool OpenAZipAndChoose(const TCVStored_File_rec& rec);
    // Lists the saved result files (by their names without folder) and shows the window.
    bool ShowListOfTextsAndChoose(const QStringList& files);
    // Deletes the entry last opened from the zip; true when the zip holds one entry fewer.
    bool DeletedCurrentFromZip();

    // The status bar names the selected entry.
    void ListBox1Click();
    // Opens the selected entry; true when the event opened it.
    bool OpenSelected();
    // Opens the selected entry, then, when that worked, the next (step 1) or
    // previous (step -1) one, wrapping round at the ends.
    void StepAndOpen(int step);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The selected entry's bytes into memStream; false when there are none.
    bool ReadEntry(int index);
    QString EntryName(int index);
};

} // namespace cv
