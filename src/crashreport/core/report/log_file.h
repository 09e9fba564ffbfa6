#pragma once
// The report log file (".elf"): one entry per exception report, plain 8-bit
// text with CR LF line breaks, each entry followed by four CR LF pairs, the
// oldest first.
//
// TLogItem builds the numbered general-information text of one report;
// TLogFile holds the entries of one log file: loading and cutting the file
// into entries, appending with a limit, finding, reading and changing
// items, saving, and the XML form. The layout is described in
// docs/report-log.md. A log is never rewritten in place: a save writes a
// new file and renames it over the old one, so a save that fails (a full
// disk) leaves the earlier log byte for byte.
//
// File-system failures while opening, reading or writing raise ELogFileError
// with the file's name and the system's reason; a missing file is no error
// (the object starts empty and Save creates the file).

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace cv {

class TXMLItem;

class ELogFileError : public std::runtime_error {
public:
    // what: "Cannot write file "<name>": <reason>"; reason: the system's
    // reason alone.
    explicit ELogFileError(const std::string& what, std::string reason = {})
        : std::runtime_error(what), fReason(reason.empty() ? what : std::move(reason))
    {
    }
    const std::string& Reason() const { return fReason; }

private:
    std::string fReason;
};

// "\r\n\r\n\r\n": what every stored entry ends with.
extern const std::string kLogEntryTerminator;

// The numbered sections and items of a report's general information:
//
//   Application:
//   ---------------------------------
//     1.1 Start Date    : Mon, 4 Mar 2024 10:00:00 +0000
//     1.4 Parameters    : first line
//                         second line
//
// Items are numbered whether or not they are shown, so hidden items leave
// gaps. A value of several lines is stored with ": " as ":_" and blank lines
// as ".", its further lines indented to the value column.
class TLogItem {
public:
    // The first section added is numbered firstHeader + 1.
    explicit TLogItem(int32_t firstHeader = 0);

    void Clear();
    // Starts the next section.
    void AddHeader(const std::string& header);
    // Numbers the next item of the section; writes it only when add is true.
    void AddItem(const std::string& item, const std::string& value, bool add);
    // The finished text: sections without shown items left out, the ": " of
    // each section in one column, each dash line as long as its section's
    // longest line. The text built so far is left as it is.
    std::string Value() const;

    int32_t HeaderNo() const { return FHeaderNo; }
    int32_t ItemNo() const { return FItemNo; }

private:
    std::string FString;
    int32_t FHeaderNo = 0;
    int32_t FItemNo = 0;
    int32_t FFirstHeader = 0;
};

class TLogFile {
public:
    // The name is made accessible first (variables expanded, moved into the
    // library's data folder when it cannot be used where it is); an existing
    // file is read. An empty name makes a log in memory only (Save then
    // fails).
    TLogFile(const std::string& fileName, bool readOnly);
    ~TLogFile();
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    const std::string& FileName() const { return FFileName; }
    int Count() const { return int(FList.size()); }
    // Entry i as stored (its text and the entry terminator).
    const std::string& Item(int index) const { return FList.at(std::size_t(index)); }

    // Adds a report at the end; with maxNum other than -1, the oldest entries
    // go first so that at most maxNum remain. The report is stored as the
    // file would give it back when loaded: lone CR and LF made CR LF, runs of
    // four or more line breaks inside it cut to three (four would end the
    // entry there) and its final line breaks left off.
    void Append(const std::string& log, int maxNum);
    // Puts a report in the place of entry itemNumber, stored as Append
    // stores it; an index out of range changes nothing.
    void ReplaceItem(int itemNumber, const std::string& log);
    void DeleteItem(int itemNumber);
    void Clear();

    // The index of the last entry in which, for at least one j, item ids[j]
    // (for example "2.7") holds values[j]; -1 when none does.
    int FindItem(const std::vector<std::string>& ids, const std::vector<std::string>& values) const;
    // The value of an item ("2.8") in entry itemNumber, decoded (the lines of
    // a value of several lines as they were given) and trimmed; empty when
    // the entry or the item does not exist.
    std::string GetItemValue(const std::string& id, int itemNumber) const;
    // Replaces the item's value in entry itemNumber, or adds the item, under
    // the label caption, after the last item of its section. An entry index
    // out of range, or an entry without that section, changes nothing. Only
    // the list changes: the caller saves.
    void SetItemValue(const std::string& id, const std::string& value, const std::string& caption, int itemNumber);

    // Every stored entry followed by CR LF.
    std::string Text() const;
    // Writes Text (less its last CR LF when it ends in five CR LF pairs) as
    // the whole file: a new file renamed over the old one, which keeps its
    // mode (a new log is made 0600: it holds command lines, file names and
    // memory).
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
    // The version an entry was written by: its first line after the
    // library's name ("6.1.03" from "Crashbox 6.1.03").
    static std::string EntryVersion(const std::string& entry);

private:
    std::string FFileName;
    std::vector<std::string> FList;
    std::string FPassword;
};

} // namespace cv
