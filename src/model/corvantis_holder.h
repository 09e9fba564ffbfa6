#pragma once
// The result document: the base of the word-list, key-word and concordance
// documents. It holds the job's lists, notes and settings, and writes and
// reads the envelope every saved result opens with (docs/document-envelope.md):
//
//   the 57-byte signature (TCheckSignature), checked before anything else;
//   the base block (the document's own fields, length-prefixed);
//   then what the derived document writes, with the block helpers below
//   (text settings, colours, key-word settings, notes) between its lists.
//
// Derived documents override the virtual operations; SaveToStream and
// ReadWholeFromStream of a derived document call the base first and stop
// when it fails. Files are written through a temporary file and a rename;
// reading a file loads it into memory first and never reads past its end.

#include <QDateTime>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "model/check_signature.h"
#include "model/export_settings.h"
#include "model/holder_parts.h"
#include "model/list_export.h"
#include "suite/settings_records.h"
#include "suite/text_settings.h"

namespace cv {

class TStream;
class TMemoryStream;
class TCVBaseDataClass;
class TCVStatsList;
class TExcelWriter;
class TTagHandlerBase;
class TTagsToTranslateList; // lives with the text readers; the document only passes it on

// Context of plot rows: whether to keep context, how many characters, how many lines at most.
struct TPlotSettings {
    bool context = false;
    int32_t contextCharacters = 0;
    int32_t contextLineLimit = 0;
};

// Low byte of ReadWholeFromFile's result: 1 read, 0 not. High byte: why not.
enum : uint8_t {
    kReadOK = 0,
    kReadCannotOpen = 1,  // missing or unreadable file
    kReadNotOurs = 2,     // no signature of ours
    kReadNewer = 3,       // written by a newer version
    kReadWrongKind = 4,   // a result of another kind than this document reads
    kReadDamaged = 5,     // cut short or corrupted
};

class TCorvantisholder {
public:
    // Told each text that could not be used; answering non-zero asks the job to stop.
    using TDudFileCallback = std::function<int(const QString& fileName)>;
    using TMainListEntriesCallback = std::function<void(int64_t entries)>;
    using TCentreOfMainFormCallback = std::function<QPoint()>;

    // The newest document version this program writes and reads.
    static constexpr int32_t kHolderVersion = 1;
    static constexpr std::size_t kColourBlockSize = 192;
    static constexpr std::size_t kKWSettingsSize = TKeyWordsSettingsRec::kSize;

    TCorvantisholder(const TTextSettings& textSettings, uint8_t listType, TTagsToTranslateList* tagsToTranslate,
                     TTagHandlerBase* textTagHandler, bool usingLemmalist, bool usingStoplist,
                     TDudFileCallback onDudFile = {}, TMainListEntriesCallback onMainListEntries = {},
                     TCentreOfMainFormCallback centreOfMainForm = {});
    virtual ~TCorvantisholder();
    TCorvantisholder(const TCorvantisholder&) = delete;
    TCorvantisholder& operator=(const TCorvantisholder&) = delete;

    // --- virtual operations, in their order ---
    // The number of running words the document's relative-entropy values rest on.
    virtual double GetRelativeEntropyBasis();
    virtual void SetUnicode(bool on);
    // The text-settings part of the notes; overrides call it first.
    virtual void AddTextSettingsNotes();
    virtual void SetUnicodeFromSettings(const TTextSettings& settings) {}
    // Bit t set: a held list of list type t (below 48) carries its change mark. Empty in the base.
    virtual uint64_t ChangedListTypes() { return 0; }
    // After a file was read: on success records the file with the settings
    // buffer and clears every held list's change mark.
    virtual void NoteFileRead(bool ok);
    virtual void ResetListHeadings() {}
    // Empties every held list and the file-name list.
    virtual void ClearHeldLists();
    // Checks the menu items of the tag display the document was made with.
    virtual void CheckMenuItemsAfterLoadFromFile();
    virtual void ChangeAllToUnicode();
    virtual void DoCloseAnExcelfile();
    virtual void DoStartAnExcelFile(int job);
    // Takes another document's notes, unread texts and file names (withNote: a dated note says so).
    virtual bool MergeWith(TCorvantisholder& other, bool withNote);
    // The signature into fCheck, then the base block.
    virtual bool ReadWholeFromStream(TStream& s);
    // The signature, then the base block.
    virtual bool SaveToStream(TStream& s);
    virtual uint16_t ReadWholeFromFile(const QString& fileName, uint8_t tool);
    // Exports of a list following ExportSettings; false (with a message) on failure.
    virtual bool SaveListAsExcel(const TCVBaseDataClass& list, int displayKind = 0);
    virtual bool SaveListAsRTF(const TCVBaseDataClass& list, int displayKind = 0);
    virtual bool SaveListAsTXT(const TCVBaseDataClass& list, int displayKind = 0);
    virtual bool SaveListAsXML(const TCVBaseDataClass& list, int displayKind = 0);
    // Writes rows already chosen (a grid's columns as it shows them) in a
    // format, to ExportSettings' file; false (with a message) on failure,
    // and false without one when stopped through `run`.
    bool WriteExportRows(const TExportRows& rows, TSaveAsFormat format, TExportRun* run = nullptr);
    virtual bool SaveToFile(const QString& fileName);
    // Saves the document as one entry of a zip archive (made when missing).
    virtual bool AddToZipFile(const QString& archive, const QString& entryName);
    // Replaces `search` in the stored names (folder and file name) of the
    // texts in the document's per-text lists; the number of names changed.
    virtual int UpdateSearchReplaceFilenames(const QString& search, const QString& replacement, bool caseSensitive);
    // After the controller said settings changed (code 233): the display
    // choices of the text settings follow the settings buffer.
    virtual void UpdateSettingsFromTextbuf(int code, TCVBaseDataClass* list = nullptr, int displayKind = 0);
    virtual void WriteSettingsToLog();

    // --- notes ---
    // Starts the notes afresh: title, text, the date, the batch number (when
    // above 0), then the settings summary. kind: the list type the notes describe.
    void StartStandardNotes(uint8_t kind, int32_t batchNumber, const QString& title, const QString& text);
    void AddOneDuringMainComputationNote(const QString& text);
    // A note with the date and time in front.
    void AddOneLaterNote(const QString& text);
    void AddNoteDetails(const QStringList& lines);
    // How long the job took since the document was made (or since MarkJobStart).
    void AddATimingNote();
    void MarkJobStart();
    // The text-settings summary as "label<TAB>value" lines.
    QStringList TextSettingsSummary() const;

    // --- block helpers for derived streams ---
    // Checks the signature into fCheck; on failure LastReadError() says why.
    bool StartReadFromStream(TStream& s);
    uint8_t DiskFileType() const { return fCheck.Kind; }
    bool SavedTextSettings(TStream& s) const;
    bool ReadTextSettings(TStream& s);
    bool SavedColours(TStream& s) const { return SavedColours(s, fColours); }
    bool ReadColours(TStream& s) { return ReadColours(s, fColours); }
    static bool SavedColours(TStream& s, std::span<const uint8_t, kColourBlockSize> colours);
    static bool ReadColours(TStream& s, std::span<uint8_t, kColourBlockSize> colours);
    // The key-word settings record, with its size in front so that records of
    // other sizes read back: a shorter one is zero-filled, a longer one cut.
    static bool KWSettingsSaved(TStream& s, std::span<const uint8_t, kKWSettingsSize> record);
    static bool KWSettingsRead(TStream& s, std::span<uint8_t, kKWSettingsSize> record);
    static bool KWSettingsSaved(TStream& s, const TKeyWordsSettingsRec& record) { return KWSettingsSaved(s, record.Bytes()); }
    static bool KWSettingsRead(TStream& s, TKeyWordsSettingsRec& record) { return KWSettingsRead(s, record.Bytes()); }
    bool SavedNotes(TStream& s) const;
    bool ReadNotes(TStream& s);
    // Why the last read failed ("the file is cut short", ...), for messages.
    QString LastReadError() const { return fLastReadError; }
    uint8_t LastReadFailure() const { return fLastReadFailure; }

    // --- batch ---
    // Saves the document into the batch folder as the text's name with this
    // kind's extension; numbers a name that is taken already.
    bool BatchSaveToTempDir(const QString& name, int32_t number, int32_t total, const QDateTime& fileTime);
    // Adds the batch folder's results with this extension to the batch zip;
    // the zip as it was before stays beside it as "<zip>.bak".
    bool BatchZipFromTempDir(const QString& extension, const QString& zipName, int32_t count);
    // Names of the form "archive.zip|entry" must name an archive holding that
    // entry; names that do not go to dud_compute_files and out of the list.
    // True when all were found.
    bool CheckAllFnamesForZippedEntries(QStringList& fileNames);

    // --- settings and upkeep ---
    // Copies a whole text-settings record; a maximum of texts below 1 becomes "no limit".
    void TextSettings(const TTextSettings& settings);
    // Copies the language block and gives every held list its locale.
    void TextSettings_Language(std::span<const uint8_t> languageBlock);
    void SetCVBaseListsLCIDToTextSettingsLCID();
    // 0 tags hidden, 1 as prefix, 2 as suffix, 3 words hidden.
    void SetTextSettingsTagDisplay(uint8_t display);
    void CorvantisHolderMainListCount(int32_t n) { MainFile.Count = n; }
    int32_t CorvantisHolderVersionNumber() const { return fVersion; }
    void SetCorvantisHolderVersionNumber(int32_t v) { fVersion = std::max(fVersion, v); }
    // The file-name list follows a statistics list's rows.
    void CVBaseFilenames(const TCVStatsList& stats);
    void AtLeastOneTextFileInPlace(bool inPlace) { fAtLeastOneTextFileInPlace = inPlace; }
    bool IsAtLeastOneTextFileInPlace() const { return fAtLeastOneTextFileInPlace; }
    // Two progress numbers for a script run: into the settings buffer, and message 1025 to the tool's window.
    void HandleScriptProgress(int32_t done, int32_t total);
    void StartProcessUsingTextTagHandler();
    void TryToSetAMenuItemChecked(int tag, bool checked);
    void UpdateCVShell(int tag);
    // Capitalises the first character of text; returns the length.
    static int Capitalised(QString& text, bool unicode);
    // The client height or width stored with the document, scaled from the
    // resolution it was stored at to screenDpi; present false when none is stored.
    void TryToGetClientHeightOrWidth(int screenDpi, bool heightWanted, int& value, bool& present) const;
    void StoreClientSize(int height, int width, int screenDpi);
    // The file-handled report of a text reader: notes mixed formats and texts not processed.
    void UpdateAllFileHandledInfo(const QString& fullFilename, uint8_t format, bool notProcessed);
    // The main list's entry count goes to the main window.
    void ReportMainListEntries(int64_t entries) const;
    QPoint CentreOfMainForm() const;
    // A text could not be used: remembered, and the window is told. Non-zero: stop the job.
    int NoteDudFile(const QString& fileName);

    // --- fields ---
    TCVStored_File_rec MainFile;
    QString OpenedFilename;
    QString SuggestedFilename;
    QStringList fNotes;
    TCVBaseListList fCVBaseLists;
    std::unique_ptr<TCVStatsList> fCVBaseFilenames; // the texts the document was made from
    TTagHandlerBase* TextTagHandler = nullptr;       // not owned
    TTagsToTranslateList* TagsToTranslate = nullptr; // not owned
    TTextSettings ftextsettings;
    TPlotSettings plot_settings;
    bool Using_Stoplist = false;
    bool Using_Lemmalist = false;
    QStringList dud_compute_files; // texts that could not be read
    bool mixed_text_formats = false;
    bool NewTabsheetMade = false;
    bool HasAllDataFields = true;
    QString last_batch_zip_Fullname;
    TCheckSignature fCheck;
    TCVExportSettings ExportSettings;
    bool fApplicable = true; // when clear, NotApplicableExplanation is shown after start-up
    QString NotApplicableExplanation;
    QString SecondTextFilename; // list type 27
    QString ExtraStuffParentFilename;
    uint32_t fCodePage = 0;
    bool fUnicode = true;
    int32_t fTotalFilesToProcess = 0;
    std::array<uint8_t, kColourBlockSize> fColours{};

protected:
    // The list-type signature written into the file's signature record.
    virtual QString ListTypeSignatureText() const;
    // Default extension of this kind of document, with the dot.
    virtual QString DefaultExtension() const;
    // Shows a failure through the dialog module (or into Global_FailureMessage).
    static void Complain(const QString& routine, const QString& text);
    void SetReadError(uint8_t failure, const QString& text);
    // Bit of each list that carries a change mark and is of a type below 48.
    static uint64_t ListTypesWithChangeMark(std::initializer_list<const TCVBaseDataClass*> lists);
    TExcelWriter* Excel() const { return fExcel.get(); }

private:
    bool SaveBaseBlock(TStream& s) const;
    bool ReadBaseBlock(TStream& s);
    bool WriteExport(const TCVBaseDataClass& list, int displayKind, TSaveAsFormat format);

    TDudFileCallback fOnDudFile;
    TMainListEntriesCallback fOnMainListEntries;
    TCentreOfMainFormCallback fCentreOfMainForm;
    int32_t fVersion = kHolderVersion;
    bool fAtLeastOneTextFileInPlace = true;
    int32_t fClientHeight = 0;
    int32_t fClientWidth = 0;
    int32_t fClientDpi = 0;
    uint8_t fFirstTextFormat = 0xFF; // format of the first text handled, for mixed_text_formats
    int64_t fJobStartMs = 0;
    QString fLastReadError;
    uint8_t fLastReadFailure = kReadOK;
    std::unique_ptr<TExcelWriter> fExcel;
};

// Shows or hides a list's grid columns 2 to min(20, count - 1) as the
// settings buffer's defaults for its list type say (columns 0 and 1, the
// number and the word, always show).
void ApplyDefaultColumnVisibility(TCVBaseDataClass& list);

} // namespace cv
