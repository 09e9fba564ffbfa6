#pragma once
// What the jobs of the word-list window need to know from the user before
// they run: the saved word lists of a detailed consistency list and the
// plain-text lists to import (the start wizard's fields), whether the batch
// set-up was made ready, the index to make (the index choice dialog), and
// which result of a batch zip to show (the batch choice window).
//
// The window asks through this interface only, so the dialogs that answer
// can change without the jobs noticing. TFixedJobChoices answers from
// values set beforehand: tests and unattended runs use it, and it is the
// window's own until dialogs are installed (its empty answers cancel).

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

namespace cv {

class TStream;
struct TCheckSignature;

struct TPlainTextImportChoices {
    QStringList files;        // plain-text word lists, imported in this order
    bool caseSensitive = false;
    int wordColumn = 1;       // 1-based, as the user counts columns
    int freqColumn = 2;
    QString saveFolder;       // where the word lists made from them are saved
    QString notes;            // added to the notes of each list
};

// Opens one result of a batch zip: its stream (position 0, signature first),
// its signature, and its 0-based place in the zip. True when it opened.
using TOpenBatchEntry = std::function<bool(TStream& stream, const TCheckSignature& signature, int index)>;

class TWordListJobChoices {
public:
    virtual ~TWordListJobChoices() = default;

    // The saved word lists (or zips of them) a detailed consistency list is made from.
    virtual QStringList DetailedConsistencyFiles() = 0;
    virtual TPlainTextImportChoices PlainTextImport() = 0;
    // The batch set-up for the texts about to be processed. True when the
    // user made it ready (the batch record, Global_BatchProcedures, then holds
    // the choices); false when it was closed without that.
    virtual bool BatchSetupReady(int32_t filesToProcess, int64_t totalTextBytes) = 0;
    // The batch is over: the set-up goes out of sight.
    virtual void HideBatchSetup() {}
    // The index to make: true on OK, with the index's name stored as the
    // last used index (SetLastUsedFile of list type 23) and the opening mode
    // (0 a new index, 1 texts added to an existing one).
    virtual bool ChooseIndex(uint8_t& openingMode) = 0;
    // Lists the results of a batch zip for the user to choose one; the chosen
    // one is handed to `open`, possibly later. False when the zip cannot be listed.
    virtual bool ChooseFromBatchZip(const QString& zipName, TOpenBatchEntry open) = 0;
};

class TFixedJobChoices final : public TWordListJobChoices {
public:
    QStringList consistencyFiles;
    TPlainTextImportChoices plainText;
    bool batchReady = false;
    QString indexName;            // empty: the index choice is cancelled
    uint8_t indexOpeningMode = 0;
    int batchEntry = -1;          // the result of a batch zip to open; below 0: none is chosen

    // How often each was asked.
    int batchSetupShown = 0;
    int batchSetupHidden = 0;
    int indexChoiceShown = 0;
    int batchChoiceShown = 0;

    QStringList DetailedConsistencyFiles() override { return consistencyFiles; }
    TPlainTextImportChoices PlainTextImport() override { return plainText; }
    bool BatchSetupReady(int32_t filesToProcess, int64_t totalTextBytes) override;
    void HideBatchSetup() override { ++batchSetupHidden; }
    bool ChooseIndex(uint8_t& openingMode) override;
    // The chosen result is opened once the caller is done, as a user's
    // choice in the batch window would come.
    bool ChooseFromBatchZip(const QString& zipName, TOpenBatchEntry open) override;
};

} // namespace cv
