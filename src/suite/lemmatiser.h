#pragma once
// The suite's lemmatiser: per tool, four lists read from the user's plain-text
// files (kind 0 lemma list, 1 match list, 2 stop list, 3 relation words), and
// the look-ups the result lists make in them.
//
// There is one lemmatiser per process (TLemmatiser::Instance), as there is one
// library of it in the suite: a list loaded by the word-list window is the
// list every result list of that tool checks against. It is used from the
// window thread only; its progress callbacks may pump the event loop, and
// whatever runs then may clear, cancel or reload lists safely.
//
// List files (see docs/lemma_list_files.md): UTF-8 or UTF-16 with a mark,
// UTF-8 or UTF-16 without one, else the 8-bit code page of the language. One
// entry per line; lines starting with the comment mark ("//") are ignored.
// Lemma lines read "head -> form1, form2" (the separators of the list's
// TListSettingsRec); the other lists take one entry per line, several when
// separated by the form separator. Entries with "*" (any run of characters)
// or "?" (one character) are patterns when the settings allow wildcards.
// Entries match case-insensitively unless the settings (or the caller) ask
// for case.

#include <QHash>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "suite/list_settings.h"

namespace cv {

// How a load treats letter case: as the list's settings say, or forced.
enum class TListCase : uint8_t { AsSettings = 0, Insensitive = 1, Sensitive = 2 };

// The load flag: entries (lemma, match, stop and relation lists) or whole
// lines kept as written, for readers that parse the lines themselves (the
// plain-text word lists). Line loads are kept apart from the slot's list, so
// the match list a user loaded stays in force.
enum : uint8_t { kLoadEntries = 0, kLoadLines = 1 };

// Told once the number of lines of the file being loaded, then the number of
// lines read so far; either may pump the event loop and call CancelOne.
using TLemmatiserLineCount = std::function<void(int lines, const QString& fileName)>;
using TLemmatiserProgress = std::function<void(int linesDone)>;
// Per entry of a traversal: the line or entry text and its 1-based number.
// Returning false stops the traversal.
using TLemmatiserLineVisitor = std::function<bool(const QString& line, int lineNumber)>;
// Per head word of a lemma list, in file order.
using TLemmatiserLemmaVisitor = std::function<bool(const QString& head, const QStringList& forms, int index)>;

// Whether a word matches a wildcard pattern ("*" any run, "?" one character).
bool WildcardMatches(QStringView pattern, QStringView word);

class TLemmatiser final {
public:
    static TLemmatiser& Instance();

    // Reads a list file into the tool's slot of that kind. The result is the
    // number of entries (lines, for kLoadLines) loaded, at most 65535 and
    // never 0 when something was loaded; 0 means not loaded: the file is
    // missing, unreadable, holds no entry, or the load was cancelled. A load
    // that does not succeed leaves the slot empty.
    uint16_t LoadedOne(uint8_t tool, TLemmatiserListKind kind, const QString& fileName, const TListSettingsRec& settings,
                       const TLemmatiserLineCount& onLineCount, const TLemmatiserProgress& onProgress, uint32_t languageId,
                       TListCase caseSensitivity = TListCase::AsSettings, uint8_t loadFlag = kLoadEntries);
    // Empties the slot (entries and lines) and stops a load or traversal of it.
    void ClearOne(uint8_t tool, TLemmatiserListKind kind);
    // Stops a load or traversal of the slot that is under way; a stopped load
    // leaves the slot empty, a stopped traversal leaves it as it was.
    void CancelOne(uint8_t tool, TLemmatiserListKind kind);
    // Empties every slot of every tool.
    void ClearAll();

    bool IsLoaded(uint8_t tool, TLemmatiserListKind kind) const;
    // Entries of the slot (head words for a lemma list).
    int EntryCount(uint8_t tool, TLemmatiserListKind kind) const;
    QString LoadedFileName(uint8_t tool, TLemmatiserListKind kind) const;

    // Whether the word is an entry of the list (or matches a pattern of it);
    // for a lemma list, whether it is a head word or a form.
    bool FoundInTheList(uint8_t tool, TLemmatiserListKind kind, const QString& word) const;

    // Lemma list of the tool: number of head words, the head word at a
    // 0-based index (file order), the forms of a head word, and the head word
    // a form belongs to (empty when it belongs to none; a head word gives itself).
    int LemmaPairEntriesAltogether(uint8_t tool) const;
    QString LemmaHeadWords(uint8_t tool, int index) const;
    QStringList LemmaVariantsOf(uint8_t tool, const QString& head) const;
    QString LemmaHeadOf(uint8_t tool, const QString& word) const;

    // Walks the lemma list's head words in file order.
    bool TraverseLemmasDoing(uint8_t tool, const TLemmatiserLemmaVisitor& visit) const;
    // Walk the lines of the match, stop or relation-word slot in file order:
    // the lines of the last line load of that slot when it was one, else the
    // list's entries. False when stopped (by the visitor or CancelOne) or empty.
    bool TraverseMatchesDoing(uint8_t tool, const TLemmatiserLineVisitor& visit) const;
    bool TraverseStopsDoing(uint8_t tool, const TLemmatiserLineVisitor& visit) const;
    bool TraverseRelationsDoing(uint8_t tool, const TLemmatiserLineVisitor& visit) const;
    bool TraverseListDoing(uint8_t tool, TLemmatiserListKind kind, const TLemmatiserLineVisitor& visit) const;
    // The same lines as one list.
    QStringList LoadedLines(uint8_t tool, TLemmatiserListKind kind) const;

    // Largest list file read; bigger files are refused.
    static constexpr int64_t kMaxFileBytes = int64_t(256) << 20;

private:
    TLemmatiser();
    struct List;
    struct Slot {
        std::shared_ptr<const List> list;
        std::shared_ptr<const QStringList> lines; // of the last line load
        bool linesAreCurrent = false;             // the last load of the slot was a line load
        uint64_t generation = 0;                  // bumped by every load and clear
        uint64_t cancels = 0;                     // bumped by every cancel
    };
    Slot& slot(uint8_t tool, TLemmatiserListKind kind);
    const Slot* findSlot(uint8_t tool, TLemmatiserListKind kind) const;
    std::shared_ptr<const List> listOf(uint8_t tool, TLemmatiserListKind kind) const;

    QHash<int, Slot> m_slots; // key: tool * 4 + kind
};

// The suite's names for the look-ups of the one lemmatiser.
inline uint16_t LoadedOne(uint8_t tool, TLemmatiserListKind kind, const QString& fileName, const TListSettingsRec& settings,
                          const TLemmatiserLineCount& onLineCount, const TLemmatiserProgress& onProgress, uint32_t languageId,
                          TListCase caseSensitivity = TListCase::AsSettings, uint8_t loadFlag = kLoadEntries)
{
    return TLemmatiser::Instance().LoadedOne(tool, kind, fileName, settings, onLineCount, onProgress, languageId,
                                             caseSensitivity, loadFlag);
}
inline void ClearOne(uint8_t tool, TLemmatiserListKind kind) { TLemmatiser::Instance().ClearOne(tool, kind); }
inline void CancelOne(uint8_t tool, TLemmatiserListKind kind) { TLemmatiser::Instance().CancelOne(tool, kind); }
inline bool FoundInTheList(uint8_t tool, TLemmatiserListKind kind, const QString& word)
{
    return TLemmatiser::Instance().FoundInTheList(tool, kind, word);
}
inline int LemmaPairEntriesAltogether(uint8_t tool) { return TLemmatiser::Instance().LemmaPairEntriesAltogether(tool); }
inline QString LemmaHeadWords(uint8_t tool, int index) { return TLemmatiser::Instance().LemmaHeadWords(tool, index); }
inline QStringList LemmaVariantsOf(uint8_t tool, const QString& head) { return TLemmatiser::Instance().LemmaVariantsOf(tool, head); }
inline bool TraverseLemmasDoing(uint8_t tool, const TLemmatiserLemmaVisitor& visit)
{
    return TLemmatiser::Instance().TraverseLemmasDoing(tool, visit);
}
inline bool TraverseMatchesDoing(uint8_t tool, const TLemmatiserLineVisitor& visit)
{
    return TLemmatiser::Instance().TraverseMatchesDoing(tool, visit);
}
inline bool TraverseRelationsDoing(uint8_t tool, const TLemmatiserLineVisitor& visit)
{
    return TLemmatiser::Instance().TraverseRelationsDoing(tool, visit);
}

} // namespace cv
