#pragma once
// The report log file (".elf"): one entry per exception report, plain 8-bit
// text with CR LF line breaks, each entry followed by four CR LF pairs, the
// oldest first.
//
// This is the part of the log manager that the internal-error handling and
// the report's XML copy use: opening (with the file kept open until the
// object goes), loading and cutting the file into entries, appending with a
// limit, saving, and the XML form of the entries' general information.
//
// File-system failures while opening, reading or writing raise ELogFileError
// with the file's name and the system's reason; a missing file is no error
// (the object starts empty and Save creates the file).

#include <QFile>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace cv {

class TXMLItem;

class ELogFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "\r\n\r\n\r\n": what every stored entry ends with.
extern const std::string kLogEntryTerminator;

class TLogFile {
public:
    // The name is made accessible first (variables expanded, moved into the
    // library's data folder when it cannot be used where it is); an existing
    // file is opened, kept open, and loaded. An empty name makes a log in
    // memory only (Save then fails).
    TLogFile(const std::string& fileName, bool readOnly);
    ~TLogFile();
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    const std::string& FileName() const { return FFileName; }
    int Count() const { return int(FList.size()); }
    // Entry i as stored (its text and the entry terminator).
    const std::string& Item(int index) const { return FList.at(std::size_t(index)); }

    // Adds a report at the end; with maxNum other than -1, the oldest entries
    // go first so that at most maxNum remain.
    void Append(const std::string& log, int maxNum);
    void DeleteItem(int itemNumber);
    void Clear();

    // Every stored entry followed by CR LF.
    std::string Text() const;
    // Writes Text (less its last CR LF when it ends in five CR LF pairs) and
    // cuts the file there; creates the file when none was open.
    void Save();

    // The password with which enciphered names are read for the XML form.
    const std::string& Password() const { return FPassword; }
    void SetPassword(const std::string& password) { FPassword = password; }

    // The XML form: a Doc element holding one Log element per entry.
    std::string XML() const;
    void SaveXMLCopy(const std::string& fileName) const;

    // CR LF for every lone CR and lone LF, when the text has any.
    static std::string NormalizeLineBreaks(const std::string& text);
    // The entries of a file's content, as the loader keeps them.
    static std::vector<std::string> SplitEntries(std::string content);

private:
    std::string FFileName;
    std::unique_ptr<QFile> FStream;
    std::vector<std::string> FList;
    std::string FPassword;
};

} // namespace cv
