#pragma once
// The batch of the running job: how results are saved (one file per text or
// per folder), where, and how they are collected into the batch zip.
// One record for the process, filled by the batch set-up and read by the
// documents while a batch runs.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

namespace cv {

struct TBatchProceduresRec {
    // 0 before any choice; 1 one file with all individual results; 2 one file
    // per folder with individual results; 3 one file per folder with one
    // amalgamated result.
    uint8_t mode = 0;
    bool ExtraFoldersUsed = false;
    int32_t Files_to_Process = 0;
    int32_t files_saved = 0;

    // Hooks the batch windows set (any may be empty).
    std::function<void(const QString& entryName)> OnAddingToZip;
    std::function<void(int done, int total)> OnZipProgress;
    std::function<void(const QString& folder, const QString& sectionText, int maxN)> OnBatchFileNameAndMaxN;
    // Zipping (zipping set): file a of b goes into the zip; else texts a to b
    // of the chosen texts are being processed.
    std::function<void(int a, int b, bool zipping)> OnZippingASection;
    std::function<void(int done, int total)> OnProgressing;

    QStringList BatchTempFileNames; // results saved by this batch, made afresh per batch
    QString BatchRootFolder;        // where results are saved
    QString BatchRootCopyTo;        // a folder the results are copied to afterwards, if any
    QString ZipShortFilename;       // the batch zip's name without folder

    bool ZipToStream = false;
    bool Computations_In_Place_Not_temp_dir = false;
    bool Delete_Results_After_Zipping = false;
    bool Zip_Too = false;
    bool Preserve_FileDates = false;

    // Back to the state before any batch (hooks kept).
    void ResetForNewBatch();
};

extern TBatchProceduresRec Global_BatchProcedures;

// Completes the batch zip's file name from a pattern (the resource text for
// "Files", say): an empty name becomes the pattern; a name without folder goes
// into the batch root folder; ".zip" is added when missing. "%d" in the pattern
// becomes the number of files to process. ZipShortFilename follows the result.
void BatchZipName(QString& zipName, const QString& pattern);

} // namespace cv
