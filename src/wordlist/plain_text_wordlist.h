#pragma once
// Plain-text word lists: a user's own word list kept as a text file, one word
// and its frequency per line, shown and saved like a computed word list.
//
// Line grammar: a word, a TAB, a frequency text (digits; "1,234" reads 1234)
// and optionally further TAB-separated columns. A line "\TOTAL\", TAB, number
// among the first ten accepted lines gives the running words the list stands
// for. Every other line is ignored.
//
// The file is read through the lemmatiser's line load (flag kLoadLines), so
// encodings and languages are handled as for lemma, match and stop lists.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

#include "model/base_list.h"

namespace cv {

class T_WholeWordlistHolder;

// The lines of one user text file, each with a number carried along (the
// frequency once the lines are imported).
class TUserPlainTextStringlist {
public:
    TUserPlainTextStringlist(bool filterOutEmptyLines, const QString& sourceFilename);
    virtual ~TUserPlainTextStringlist() = default;

    // --- the string list ---
    int Count() const { return int(fLines.size()); }
    const QString& Strings(int i) const { return fLines[size_t(i)].text; }
    void PutString(int i, const QString& text) { fLines[size_t(i)].text = text; }
    int32_t Objects(int i) const { return fLines[size_t(i)].object; }
    void PutObject(int i, int32_t object) { fLines[size_t(i)].object = object; }
    int Add(const QString& text, int32_t object = 0);
    void Delete(int i);
    void Clear();
    QStringList Lines() const;

    // The line test of FilterOutUnwantedStrings; index is the number of lines
    // accepted above this one. The base accepts every line that is not empty.
    virtual bool StringIsWanted(const QString& line, int index);
    // Deletes every line the test rejects, yielding to the event loop per line.
    void FilterOutUnwantedStrings();

    // A new language also brings its ANSI code page; the same one changes nothing.
    void SetLCID(uint32_t lcid);

    // Word-cloud items in list order: word, its number, 1-based position; zeroed past the end.
    void GetNextCloudDatum(TWordFreqAndSourceNum& datum);
    void ResetCloudReadPosition() { nextWordCloudNum = 0; }

    uint32_t fLCID = 0;
    int32_t fCodepage;
    bool fFilter_out_empty_lines;
    QString Source_Filename;

private:
    struct Line {
        QString text;
        int32_t object = 0;
    };
    std::vector<Line> fLines;
    int nextWordCloudNum = 0;
};

class TWordListPlainTextStringlist : public TUserPlainTextStringlist {
public:
    using TUserPlainTextStringlist::TUserPlainTextStringlist;

    // The word-list line test: a TAB, and at least one digit after it. A
    // "\TOTAL\" line among the first ten accepted positions is taken into
    // total instead. Lines holding control characters other than TAB (a
    // binary file) are refused.
    bool StringIsWanted(const QString& line, int index) override;

    // Running words the list stands for ("\TOTAL\" line), 0 when none.
    int32_t total = 0;
};

// Reads a plain-text word list through the lemmatiser (match-list slot of
// this tool, line load). Never null: a missing, unreadable or cancelled file
// gives an empty list with total 0. The caller filters the lines.
std::unique_ptr<TWordListPlainTextStringlist> LoadPlainTextWordListFile(const QString& fileName, uint32_t lcid,
                                                                       uint8_t caseSensitivity, uint8_t loadFlag);

// Longest word taken from a plain-text list; a longer "word" is no word line.
constexpr int kMaxPlainTextWordLength = 1000;

// The import step of the plain-text job: turns each line into its word (the
// line's text) and frequency (its object), from 0-based columns. Lines
// without a usable word or frequency become empty. False, changing nothing,
// when a column is below 0 or both columns are the same.
bool SplitPlainTextColumns(TWordListPlainTextStringlist& list, int wordColumn, int freqColumn);

// ---- the job: word lists from plain-text word lists ------------------------

// Reads one plain-text word list for import: loaded, filtered and split into
// words (the lines) and frequencies (their objects); lines that give no word
// stay as empty lines. Null, reading nothing, when the columns are unusable
// (below 0 or the same), and when there was not enough memory for it: that
// the job stopped for want of memory is told (NotEnoughMemory) and
// *shortOfMemory set.
std::unique_ptr<TWordListPlainTextStringlist> ImportPlainTextWordList(const QString& fileName, uint32_t lcid,
                                                                      uint8_t caseSensitivity, int wordColumn,
                                                                      int freqColumn, bool* shortOfMemory = nullptr);

// A new word-list document (list type 0) holding the imported words, its
// statistics naming the source file, the notes added. Null when the list
// yields no entries, and when there was not enough memory (told, and
// *shortOfMemory set, as above).
std::unique_ptr<T_WholeWordlistHolder> MakeWordlistFromPlainText(const TWordListPlainTextStringlist& list,
                                                                 const QString& notes, bool* shortOfMemory = nullptr);

// The file a list imported from `sourceFile` is saved as: in `folder`, the
// source's name with the word-list extension.
QString PlainTextWordListSaveName(const QString& folder, const QString& sourceFile);

// Makes the document and saves it (PlainTextWordListSaveName). A list with
// no entries is reported (NoWordListWordsFoundIn), a failed save by the
// document; both return false. savedFile names the file written.
bool SavePlainTextWordList(const TWordListPlainTextStringlist& list, const QString& folder, const QString& notes,
                           QString* savedFile = nullptr);

} // namespace cv
