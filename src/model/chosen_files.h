#pragma once
// The texts chosen for the next job of a main window.
//
// TSharedChosenFilesClass keeps the texts (TChosenTextRec each), the folders
// they come from and the user's notes, and reads and writes them in the
// hand-over stream that tools of the suite pass each other through the
// ".chosen_texts" file in the temporary folder (format: docs/chosen-texts.md).
// TCVFileDetails, the window's object, adds texts one by one: loose files,
// every text of a zip archive, "archive.zip|entry" names and wildcard masks,
// and reads plain ".txt" lists of names.

#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

#include "model/chosen_text_rec.h"

namespace cv {

class TStream;

class TSharedChosenFilesClass {
public:
    // Extension of the hand-over file, and its first bytes.
    static constexpr const char* kHandOverExtension = ".chosen_texts";
    static constexpr uint16_t kStreamVersion = 1;

    virtual ~TSharedChosenFilesClass() = default;

    int32_t FileCount() const { return int32_t(fFiles.size()); }
    // The full path of text i (for a text inside a zip archive, the archive's path).
    QString FullFilename(int i) const;
    // The sum of the texts' sizes.
    int64_t TotalBytes() const;
    bool GetFullFileDetails(int i, TChosenTextRec& rec) const;
    const TChosenTextRec* File(int i) const;
    void SetFileHits(int i, int32_t hits);
    void SetFileWords(int i, int32_t words);
    void SetFileStatus(int i, uint8_t status);
    void SetFileKind(int i, uint8_t kind);
    // A name for results made from these texts: the one text's name without
    // extension, else the name of the folder all of them share; empty when none.
    QString SuggestedFilename() const;
    // Empties the notes, the texts and the folders.
    void ClearThem();

    const QStringList& Folders() const { return fFolders; }
    QStringList Notes() const { return fNotes; }
    void SetNotes(const QStringList& notes) { fNotes = notes; }
    // Appends a text as it is (no checks); false when it is already chosen.
    bool AddRecord(const TChosenTextRec& rec);
    bool Contains(const QString& fullFilename, const QString& zipEntryName = QString()) const;

    // The hand-over stream. Reading replaces the texts only when the whole stream is sound.
    bool SaveToStream(TStream& s, uint8_t tool) const;
    bool ReadFromStream(TStream& s);

    // The hand-over file of a tool: "<temporary folder>/<tool name>.chosen_texts".
    static QString HandOverFilename(const QString& tempFolder, uint8_t tool);
    // Writes this tool's hand-over file into the temporary folder.
    bool SavedToTempFile(const QString& tempFolder, uint8_t tool, QString* error = nullptr) const;
    // The same for this program's tool, in the suite's temporary folder.
    bool SavedToTempFile() const;

protected:
    std::vector<TChosenTextRec> fFiles;
    QStringList fFolders;
    QStringList fNotes;

private:
    // What Contains and AddRecord look up, beside the lists (a corpus may
    // be tens of thousands of texts: a search of the list for each text
    // added took time growing with the square of their number).
    static QString KeyOf(const QString& fullFilename, const QString& zipEntryName);
    void RebuildLookUps();
    QSet<QString> fKeys;
    QSet<QString> fFolderSet;
};

class TCVFileDetails : public TSharedChosenFilesClass {
public:
    // Told each text that cannot be chosen, with the reason.
    using TErrorCallback = std::function<void(const QString& message)>;

    // restrictExtensionsTo3: a mask such as "*.htm" takes only that extension;
    // when clear, a three-letter extension in a mask also takes longer ones
    // beginning with it ("*.htm" takes ".html" too), as masks on Windows do.
    TCVFileDetails(bool restrictExtensionsTo3, TErrorCallback onError);

    // Adds a text: a file, "archive.zip|entry", every text of a zip archive,
    // or the files a wildcard mask ("folder/*.txt") finds. True when the text
    // (or at least one text of an archive or mask) is now chosen.
    bool ToolAddAFile(const QString& name);
    // ".txt": a plain list of names, one a line (relative names are taken
    // from the list's folder); any other file: the hand-over stream. Replaces
    // the chosen texts; true when the file was read and names at least one text.
    bool ReadChosenFromFile(const QString& fileName);

private:
    bool AddOneFile(const QString& path);
    bool AddZipEntries(const QString& archive, const QString& onlyEntry);
    bool AddByMask(const QString& mask);
    void Fail(const QString& message) const;

    bool fRestrictExtensionsTo3;
    TErrorCallback fOnError;
};

} // namespace cv
