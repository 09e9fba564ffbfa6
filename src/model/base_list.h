#pragma once
// The base of every result list and of every list entry.
//
// A list owns its entries. Entries know their list, carry the state every
// list shares (deleted, marks, match mark, set-column categories, forms
// joined under them as under a head word) and answer the word and value
// questions grids, sorts and exports ask. Lists keep sort levels, grid
// headings, an undo history of user edits, a change mark and a busy mark.
//
// Joined forms are owned by their head entry and leave the list's rows while
// joined; a joined form never has forms of its own (joining a head moves its
// forms to the new head), so every walk over entries is two levels deep.

#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace cv {

class TStream;
class TCVBaseDataClass;
class TCorvantisholder;

// One item handed to a word cloud: the word, its value, its 1-based number in its source.
struct TWordFreqAndSourceNum {
    QString word;
    int32_t frequency = 0;
    int32_t number = 0;
};

// How counts of running words are shown (View > Number display; the
// settings buffer keeps the choice): as counted, or as their share of the
// running words they are part of.
enum TNumberDisplay : uint8_t {
    kNumbersAsCounted = 0,
    kNumbersPercent = 2,
    kNumbersPerThousand = 3,
    kNumbersPerMillion = 4,
};

// What a grid shows in one cell.
struct TDrawgridDataRec {
    QString text;
    double value = 0;       // the number behind the text, for numeric cells
    bool isNumber = false;
    bool isInteger = false; // a count: shown without decimals, grouped when asked
    uint32_t foreground = 0; // 0xAARRGGBB; alpha 0 means the grid's own colour
    uint32_t background = 0;
};

// A category typed into a set column of one entry.
struct TEntryCategory {
    int32_t setNumber = 0;
    QString text;
    uint32_t colour = 0;
};

class TCVBaseListObject {
public:
    explicit TCVBaseListObject(TCVBaseDataClass* owner) : fOwner(owner) {}
    virtual ~TCVBaseListObject();
    TCVBaseListObject(const TCVBaseListObject&) = delete;
    TCVBaseListObject& operator=(const TCVBaseListObject&) = delete;

    TCVBaseDataClass* Owner() const { return fOwner; }

    // --- virtual operations, in their order ---
    // Resets the entry to a fresh state (derived entries also zero their record).
    virtual void GetRelativeEntropyBasis();
    // Texts are UTF-16 throughout; entries that keep 8-bit text convert it here.
    virtual void ConvertEntryToUnicode() {}
    // Base: the same main word, exactly.
    virtual bool IsDuplicateOf(const TCVBaseListObject& other) const;
    // The entry's value in a grid column: asks the list.
    virtual double GetAValueAsSingle(int column) const;
    // Word access by grid column: base answers the main word in the list's word column.
    virtual QString GetAWordAsString(int column) const;
    virtual void SetAWordAsString(int column, const QString& text) {}
    virtual QString GetAPrefixAsString() const { return {}; }
    virtual QString GetASuffixAsString() const { return {}; }
    virtual void SetAPrefixAsString(const QString&) {}
    virtual void SetASuffixAsString(const QString&) {}
    virtual QString MainWordOnly() const { return MainWordAsPointer().toString(); }
    virtual int64_t MainWordFrequency() const { return 0; }
    virtual int32_t MainNTexts() const { return 0; }
    // The entry's own data; the base state is written by the list around it.
    // Readers may ask the owner for the version the list was saved with.
    virtual bool ReadFromStream(TStream& s) { return true; }
    virtual bool SaveToStream(TStream& s) const { return true; }
    // The main word without copying; valid until the entry changes.
    virtual QStringView MainWordAsPointer() const { return {}; }
    virtual int MainWordLength() const { return int(MainWordAsPointer().size()); }

    // --- state shared by every entry ---
    bool Deleted() const { return fDeleted; }
    uint8_t Mark() const { return fMark; }             // 0 none, 1 first mark, 2 further marks
    uint8_t MatchMark() const { return fMatchMark; }   // 1: found in the match list
    const TCVBaseListObject* JoinedTo() const { return fJoinedTo; }
    int JoinedCount() const;
    TCVBaseListObject* JoinedEntry(int i) const;
    const std::vector<TEntryCategory>& Categories() const;
    QString Category(int32_t setNumber) const;

private:
    friend class TCVBaseDataClass;
    struct Extras {
        std::vector<TEntryCategory> categories;
        std::vector<std::unique_ptr<TCVBaseListObject>> joined;
    };
    Extras& extras();

    TCVBaseDataClass* fOwner;
    TCVBaseListObject* fJoinedTo = nullptr;
    std::unique_ptr<Extras> fExtras; // most entries have neither categories nor joined forms
    bool fDeleted = false;
    uint8_t fMark = 0;
    uint8_t fMatchMark = 0;
};

// How a sort key compares entries.
enum class TSortKeyKind : uint8_t { None, Text, Number };

struct TSortLevel {
    int32_t key = -1; // -1: level unused
    bool ascending = true;
};

// How far a sort is, asked now and then while it works (`done` of `all`
// steps); false stops it, and the list keeps the order it had.
using TSortStep = std::function<bool(int64_t done, int64_t all)>;

// Values of the busy mark.
enum : uint8_t { kListNotBusy = 0, kListBusy = 16 };

// Held by whatever shows a list it does not own (a grid, a page of a
// window). Documents replace and free their lists as jobs run; when a list
// goes while it is watched, the watch forgets it first and then calls its
// handler, so that nothing goes on pointing at a list that is gone. A
// handler must not free another watch of the same list.
class TListWatch {
public:
    explicit TListWatch(std::function<void()> gone) : fGone(std::move(gone)) {}
    ~TListWatch() { Watch(nullptr); }
    TListWatch(const TListWatch&) = delete;
    TListWatch& operator=(const TListWatch&) = delete;

    // Watches this list from now on (null: none).
    void Watch(const TCVBaseDataClass* list);
    const TCVBaseDataClass* List() const { return fList; }

private:
    friend class TCVBaseDataClass;
    const TCVBaseDataClass* fList = nullptr;
    std::function<void()> fGone;
};

class TCVBaseDataClass {
public:
    using TEntryFactory = std::function<std::unique_ptr<TCVBaseListObject>(TCVBaseDataClass&)>;
    // Told after each change of the undo history: caption of the step, redo side, steps left.
    using TUndoHandler = std::function<void(const QString& caption, bool redo, int count)>;

    static constexpr int kSortLevels = 3;
    // Sort key every list understands: the main word, alphabetically.
    static constexpr int32_t kSortByWord = 0;

    // owner: the document holding the list (may be null); version: the list's initial version.
    TCVBaseDataClass(TCorvantisholder* owner, TEntryFactory factory, uint8_t listType, uint32_t toolSignature,
                     int32_t version);
    virtual ~TCVBaseDataClass();
    TCVBaseDataClass(const TCVBaseDataClass&) = delete;
    TCVBaseDataClass& operator=(const TCVBaseDataClass&) = delete;

    TCorvantisholder* Holder() const { return fHolder; }
    uint8_t ListType() const { return fListType; }
    void SetListType(uint8_t t) { fListType = t; }
    uint32_t ToolSignature() const { return fToolSignature; }
    int32_t GetVersionNumber() const { return fVersion; }
    void SetVersionNumber(int32_t v) { fVersion = v; }
    // Raises the version to at least v (writers of newer layouts call it before saving).
    void RaiseVersionTo(int32_t v) { fVersion = std::max(fVersion, v); }

    // --- entries ---
    // The rows of the list: its entries, or the rows it shows without
    // entries (HoldsRowsWithoutEntries).
    int Count() const { return fRowsWithoutEntries > 0 ? fRowsWithoutEntries : int(fItems.size()); }
    // Whether the list shows rows it has made no entries for yet (SetRowsWithoutEntries).
    bool HoldsRowsWithoutEntries() const { return fRowsWithoutEntries > 0; }
    TCVBaseListObject* Get(int i) const;
    TCVBaseListObject& operator[](int i) const
    {
        if (fRowsWithoutEntries > 0)
            MakeEntriesNow();
        return *fItems[size_t(i)];
    }
    int IndexOf(const TCVBaseListObject* entry) const;
    // Makes an entry of the list's kind (not yet added).
    std::unique_ptr<TCVBaseListObject> NewEntry();
    int Add(std::unique_ptr<TCVBaseListObject> entry);
    void Insert(int index, std::unique_ptr<TCVBaseListObject> entry);
    // Takes entry i out of the list and hands it over.
    std::unique_ptr<TCVBaseListObject> Extract(int i);
    // Removes and frees entry i. Forgets the undo history (it may refer to the entry).
    virtual void Remove(int i);
    // Removes and frees every entry whose predicate is true, in one pass; returns how many.
    int RemoveIf(const std::function<bool(const TCVBaseListObject&)>& pred);
    virtual void Clear();

    // --- virtual operations of lists, in their order ---
    // How many overall (summary) rows the list shows above its entries.
    virtual int OverallCount() const { return 0; }
    // The cell of data row `row` (0-based entry index) in grid column `column`.
    virtual void DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const;
    // Sorts alphabetically ascending on the word unless the list already is.
    virtual void EnsureAlphabeticalAscendingSort();
    // Index of the entry whose main word equals text (exact, case-sensitive), -1 when absent.
    virtual int Find_Word(QStringView text) const;
    virtual bool CloudDataNeedsSorting() const { return true; }
    // The next word-cloud item from the cloud read position; zeroed past the end.
    virtual void GetNextCloudDatum(TWordFreqAndSourceNum& datum);
    // Item i (0-based) without moving the read position; zeroed outside the list.
    virtual void GetOneCloudDatum(int i, TWordFreqAndSourceNum& datum) const;
    // The sort key a click on a grid column asks for.
    virtual int HeaderColumnToSortNeeded(int column) const;
    // A count drawn in column `column` as the number display shows it: a
    // count of running words becomes its share of them (percent with 4
    // decimals, per thousand with 3, per million with 2); any other cell
    // stays as drawn.
    void ShowNumberAs(TNumberDisplay display, int column, TDrawgridDataRec& rec) const;
    // The value of data row `row` in a numeric column; column 0 is the row number.
    virtual double NumericalData(int row, int column) const;
    // The running words that the counts of a column are part of (a word
    // list's frequencies: its running words), for the number display; 0
    // when the column holds no counts of running words (the base).
    virtual int64_t RunningWordsOfColumn(int column) const { return 0; }
    virtual bool ReadFromStream(TStream& s);
    // Installs a sort key on a level (0 the main level).
    virtual void Set1Sort(int level, int32_t key);
    virtual bool SaveToStream(TStream& s);
    // Called once before sorting so that derived lists can prepare their comparison values.
    virtual void SetBase() {}
    virtual void SetSortSettingsToDefault();
    // The second level becomes the alphabetical word sort (the main level is left alone).
    virtual void SetSecondSortAsWordSort();
    // What kind of comparison a key makes, and the value it compares.
    virtual TSortKeyKind KindOfSortKey(int32_t key) const;
    virtual QString SortText(const TCVBaseListObject& e, int row, int32_t key) const;
    virtual double SortNumber(const TCVBaseListObject& e, int row, int32_t key) const;
    // After the word of entry e was edited (or the edit undone or redone).
    virtual void DoPostEditOfWord(TCVBaseListObject& e) {}
    // After rows were joined or unjoined, zapped or removed, or a step was
    // undone or redone (lemma totals, orders and ranks kept beside the entries).
    virtual void DoPostJoinOrUnjoiningOperation() {}
    // The main word of row i, as finds compare it.
    virtual QString MainWordOfRow(int i) const;

    // --- sorting ---
    TSortLevel SortLevel(int level) const { return fSorts[size_t(level)]; }
    std::array<TSortLevel, kSortLevels> SortLevels() const { return fSorts; }
    void SetSortLevels(const std::array<TSortLevel, kSortLevels>& levels) { fSorts = levels; }
    void SetSortAscending(int level, bool ascending) { fSorts[size_t(level)].ascending = ascending; }
    void ToggleMainSortAscends() { fSorts[0].ascending = !fSorts[0].ascending; }
    // Sorts entries 0 .. lastIndex by the sort levels; equal entries keep their order.
    // Stops (leaving the order untouched) when the cancel state asks to stop now,
    // or, while a TSortInSteps lives, when its step says so.
    virtual void DoASort(int lastIndex);
    // The sorts of the list made while it lives (DoASort and every sort
    // built on it) tell `step` how far they are and stop when it answers
    // false, the list keeping its order.
    class TSortInSteps {
    public:
        TSortInSteps(TCVBaseDataClass& list, TSortStep step);
        ~TSortInSteps();
        TSortInSteps(const TSortInSteps&) = delete;
        TSortInSteps& operator=(const TSortInSteps&) = delete;
        // Whether a sort was stopped.
        bool Stopped() const { return m_list.fSortStopped; }

    private:
        TCVBaseDataClass& m_list;
        TSortStep m_step;
        const TSortStep* m_previous;
    };
    void CompleteResort() { DoASort(Count() - 1); }
    // Locale used for alphabetical sorts ("en_GB"); its Windows-style identifier is kept alongside.
    void SetLocale(uint32_t lcid, const QString& collationName);
    uint32_t LCID() const { return fLCID; }
    QString CollationName() const { return fCollationName; }

    // --- grid columns ---
    QStringList GridHeadings() const { return fGridHeadings; }
    void SetGridHeadings(const QStringList& h) { fGridHeadings = h; }
    // The first headings become `base` (the list type's own); the set
    // columns after them stay as they are.
    void ResetBaseHeadings(const QStringList& base);
    QString Heading(int column) const { return fGridHeadings.value(column); }
    int ColumnCount() const { return int(fGridHeadings.size()); }
    int WordColumn() const { return fWordColumn; } // -1: the list has no word column
    void SetWordColumn(int c) { fWordColumn = c; }
    // Set (category) columns: grid column -> set number (1-based).
    int AddSetColumn(const QString& heading);
    bool IsASetColumnColumn(int column) const { return SetNumberOfColumn(column) > 0; }
    int32_t SetNumberOfColumn(int column) const;
    // Takes a set column added after the list's own (set number above 1) out
    // of the list, with its categories; the set columns after it move up one
    // place and keep theirs. Only set columns may follow it (the list draws
    // its other columns by place). False when the column cannot go.
    bool DeleteSetColumn(int column);
    int ActiveSetColumn() const { return fActiveSetColumn; }
    void SetActiveSetColumn(int c) { fActiveSetColumn = c; }
    // The grid row of data row 0 is 1 (row 0 holds the headings); overall rows come first.
    virtual int RowToEntry(int gridRow, int displayKind) const { return gridRow - 1 - OverallCount(); }
    // The row's cells, columns 0 .. ColumnCount()-1, joined by tab characters.
    QString EntryDetailsAsString(int row) const;
    // The grids' layout of the columns, kept with the list while it lives
    // (not stored): pixel widths (0: the grid's own) and hidden columns.
    // A grid showing the list takes them when it has any (HasColumnLayout).
    bool HasPixelSize() const;
    int ColumnPixelWidth(int column) const;
    void SetPixelSize(int column, int pixels);
    bool ColumnVisible(int column) const;
    void SetColumnVisible(int column, bool visible);
    bool HasColumnLayout() const { return HasPixelSize() || !fColumnHidden.empty(); }

    // --- column totals ---
    // A row the grids show after the entries when switched on: the sum of
    // each numeric column over the entries not deleted (column 0, the row
    // number, is not summed; the word column says how many entries were).
    // The sums follow the list: they are taken again when the list has
    // changed or the grid asks after a change (InvalidateColumnTotals).
    bool ColumnTotalsShown() const { return fColumnTotalsShown; }
    bool ColumnTotalsComputed() const { return fColumnTotalsShown && fColumnTotalsValid; }
    void ShowColumnTotals();
    void HideColumnTotals() { fColumnTotalsShown = false; }
    int TotalsRowCount() const { return fColumnTotalsShown ? 1 : 0; }
    void InvalidateColumnTotals() const { fColumnTotalsValid = false; }
    // The totals row's cell of a column (empty for columns without numbers).
    void TotalsCell(int column, TDrawgridDataRec& rec) const;

    // --- word access by row ---
    QString GetSomeWordAsString(int row, int column) const;
    bool SetSomeWordAsString(int row, int column, const QString& text, bool undoable);
    int Find_WordStr(const QString& text, bool caseSensitive) const;
    // Where text fits in an alphabetically sorted list: the first entry not before it.
    int Find_PosWordStr(const QString& text) const;

    // --- edits (undoable when asked) ---
    void SetDeleted(int i, bool deleted, bool undoable);
    bool GetDeleted(int i) const { return fRowsWithoutEntries == 0 && fItems[size_t(i)]->fDeleted; }
    uint8_t MarkOf(int i) const { return fRowsWithoutEntries > 0 ? 0 : fItems[size_t(i)]->fMark; }
    void DeleteARange(const std::vector<int>& rows, bool deleted, bool undoable);
    // Removes deleted entries; returns how many went.
    int Zap(bool undoable);
    void SetMarcacao(int i, uint8_t mark, bool undoable);
    void ClearMarcacao(bool undoable);
    int MarkCount() const;
    void SetMatchMark(int i, uint8_t mark, bool undoable);
    void SetACategoryString(int i, int32_t setNumber, const QString& text, bool undoable);
    void SetACategoryAndColour(int i, int32_t setNumber, const QString& text, uint32_t colour, bool undoable);
    void ClearACategory(int i, int32_t setNumber, bool undoable);
    void ClearCategories(int32_t setNumber, bool undoable);
    // Joins entry `form` under entry `head` (its own forms go with it).
    bool Join(int head, int form, bool undoable);
    // Joins every listed entry under the first of them; returns how many were joined.
    int JoinARange(const std::vector<int>& rows, bool undoable);
    // Puts the forms joined under entry i back into the list, right after it.
    int UnJoin(int i, bool undoable);
    int UnJoinAll(bool undoable);

    // --- undo history ---
    void SetUndoHandler(TUndoHandler h) { fUndoHandler = std::move(h); }
    bool Undo();
    bool Redo();
    int UndoCount() const { return int(fUndo.size()); }
    // The names of the steps an undo and a redo would take (empty: none).
    QString UndoCaption() const { return fUndo.empty() ? QString() : fUndo.back().caption; }
    QString RedoCaption() const { return fRedo.empty() ? QString() : fRedo.back().caption; }
    int RedoCount() const { return int(fRedo.size()); }
    void ClearUndo();
    // Groups the undoable changes made until EndUndoStep into one step.
    void BeginUndoStep(const QString& caption);
    void EndUndoStep();

    // --- marks of the list ---
    uint16_t ChangeMark() const { return fChangeMark; }
    void SetChangeMark(uint16_t bits) { fChangeMark |= bits; }
    void ClearChangeMark() { fChangeMark = 0; }
    uint8_t ListBusy() const { return fBusy; }
    void SetListBusy(uint8_t action) { fBusy = action; }
    bool IsUnicode() const { return fUnicode; }
    void SetUnicode(bool on) { fUnicode = on; }

    // Least and greatest values seen by entry readers (a list's value range).
    double LeastValue() const { return fLeastValue; }
    double GreatestValue() const { return fGreatestValue; }
    void ResetValueRange();
    void NoteValueRead(double v);
    // Kind of values in the list's computed columns (5: relative entropy).
    uint8_t ColumnKind() const { return fColumnKind; }
    void SetColumnKind(uint8_t k) { fColumnKind = k; }

    // Word cloud: read position and the column whose value is the cloud's frequency.
    int CloudReadPosition() const { return fCloudReadPosition; }
    void SetCloudReadPosition(int p) { fCloudReadPosition = p; }
    int CloudColumn() const { return fCloudColumn; }
    void SetCloudColumn(int c) { fCloudColumn = c; }

    // Copy of an entry through its own stream operations (base state included, joined forms too).
    std::unique_ptr<TCVBaseListObject> CloneEntry(const TCVBaseListObject& e);

protected:
    // Adds a new entry where the sort levels put it (PlaceEntry); as a step
    // of the list's history when undoable (undone, the entry goes again).
    void InsertPlaced(std::unique_ptr<TCVBaseListObject> entry, bool undoable, const QString& caption);
    // Moves entry e to where the sort levels put it among the others (which
    // stand in that order): after an edit of its word, say. Lists whose sort
    // values depend on the row rather than the entry do not call it.
    void PlaceEntry(TCVBaseListObject* e);
    // Formats a number for a cell: integers plain, others with `decimals` places.
    static void NumberCell(TDrawgridDataRec& rec, double v, bool integer, int decimals = 2);
    // Joins, in one pass over the list, each group's entries under the group's
    // first entry (an entry heading a group is never joined in the same call).
    int JoinGroups(const std::vector<std::vector<int>>& groups, bool undoable, const QString& caption);
    // Marks the list changed (bit 1: edited).
    void Touched()
    {
        fChangeMark |= 1;
        fColumnTotalsValid = false;
    }
    // Writes the entries of the list stream, after their count. A list that
    // writes its entries faster in bulk overrides it and writes the same
    // bytes: an entry with a plain state (no categories, no joined forms) is
    // its state (PutPlainEntryState) and its own data, any other goes
    // through SaveEntry.
    virtual bool SaveEntries(TStream& s);
    bool SaveEntry(TStream& s, const TCVBaseListObject& e, bool asForm) const;
    enum : uint8_t { kEntryDeleted = 1, kEntryHasCategories = 2, kEntryHasForms = 4 }; // the flags byte
    static bool HasPlainEntryState(const TCVBaseListObject& e)
    {
        return !e.fExtras || (e.fExtras->categories.empty() && e.fExtras->joined.empty());
    }
    // The state SaveEntry writes for such an entry, at `at`; returns the end.
    static constexpr std::size_t kPlainEntryStateBytes = 3;
    static uint8_t* PutPlainEntryState(const TCVBaseListObject& e, uint8_t* at)
    {
        at[0] = e.fDeleted ? kEntryDeleted : 0;
        at[1] = e.fMark;
        at[2] = e.fMatchMark;
        return at + kPlainEntryStateBytes;
    }
    // The same for a row without an entry: not deleted, unmarked.
    static uint8_t* PutRowState(uint8_t* at)
    {
        at[0] = at[1] = at[2] = 0;
        return at + kPlainEntryStateBytes;
    }
    std::vector<std::unique_ptr<TCVBaseListObject>>& Items() { return Entries(); }

    // A list may show rows before it holds an entry for each: a derived
    // list that keeps a job's result in a compact form of its own shows
    // its rows from it (cells, orders, finds, saving: whatever only reads)
    // and makes their entries only when something needs them (an edit, a
    // join, an undo step, any road to an entry): MakeEntriesOfRows is then
    // called once, and the list holds entries from then on. Meanwhile
    // Count() counts the rows; no row is deleted or marked and none has
    // categories or forms. Rows are made into entries on the thread that
    // asks for an entry: the list is read on the window's thread only.
    void SetRowsWithoutEntries(int rows);
    // Appends an entry for each row, in the list's order; the derived list
    // may let go of its rows then.
    virtual void MakeEntriesOfRows(std::vector<std::unique_ptr<TCVBaseListObject>>& into) const {}

private:
    friend class TListWatch;
    struct UndoAction {
        std::function<void()> undo;
        std::function<void()> redo;
    };
    struct UndoStep {
        QString caption;
        std::vector<UndoAction> actions;
    };
    void Record(UndoAction a, bool undoable, const QString& caption);
    template <typename T>
    void SetEntryField(int i, T TCVBaseListObject::*field, T value, bool undoable, const QString& caption);
    void NotifyUndo(bool redo);
    // The first row whose main word matches (-1 none), rows without entries included.
    template <typename F>
    int FirstRowWhoseWord(F&& matches) const;
    void JoinEntries(TCVBaseListObject* head, std::unique_ptr<TCVBaseListObject> form);
    std::unique_ptr<TCVBaseListObject> ReadEntry(TStream& s, bool asForm);

    // The entries, made from the rows first when the list shows rows without them.
    std::vector<std::unique_ptr<TCVBaseListObject>>& Entries() const
    {
        if (fRowsWithoutEntries > 0)
            MakeEntriesNow();
        return fItems;
    }
    void MakeEntriesNow() const;

    TCorvantisholder* fHolder;
    TEntryFactory fFactory;
    mutable std::vector<std::unique_ptr<TCVBaseListObject>> fItems;
    mutable int fRowsWithoutEntries = 0;
    uint8_t fListType;
    uint32_t fToolSignature;
    int32_t fVersion;
    std::array<TSortLevel, kSortLevels> fSorts;
    const TSortStep* fSortStep = nullptr; // while a TSortInSteps lives
    bool fSortStopped = false;
    QStringList fGridHeadings;
    std::vector<int> fColumnPixels;      // per column, 0 unset
    std::vector<uint8_t> fColumnHidden;  // per column, 1 hidden
    int fWordColumn = 1;
    std::vector<std::pair<int, int32_t>> fSetColumns; // grid column, set number
    int fActiveSetColumn = -1;
    uint32_t fLCID = 0x0809;
    QString fCollationName = QStringLiteral("en_GB");
    bool fUnicode = true;
    uint16_t fChangeMark = 0;
    uint8_t fBusy = kListNotBusy;
    uint8_t fColumnKind = 0;
    double fLeastValue = 0;
    double fGreatestValue = 0;
    bool fValueSeen = false;
    int fCloudReadPosition = 0;
    bool fColumnTotalsShown = false;
    mutable bool fColumnTotalsValid = false;
    mutable std::vector<TDrawgridDataRec> fColumnTotals; // per column
    void ComputeColumnTotals() const;
    int fCloudColumn = 2;
    std::vector<UndoStep> fUndo;
    std::vector<UndoStep> fRedo;
    std::unique_ptr<UndoStep> fOpenStep;
    TUndoHandler fUndoHandler;
    mutable std::vector<TListWatch*> fWatches; // told when the list goes
};

} // namespace cv
