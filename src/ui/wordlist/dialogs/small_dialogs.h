#pragma once
// Seven small windows that ask one thing: a one-line value (or one of two
// alternatives), a language, a replacement in file names, the reference
// list of a comparison, a category with its colour, up to three sort
// columns, and the read-only list of lemma forms. Each is made on demand by
// its caller, run modally through RunModalDialog (modal result 1 OK, 2
// Cancel) and read back through its controls and fields; the lemma shower
// is shown without waiting.

#include <QAbstractTableModel>
#include <QColor>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <cstdint>
#include <vector>

#include "ui/framework/grid_dialogs/auto_join_dialog.h" // TTMSStylableReadIniForm
#include "ui/framework/grid_dialogs/dialog_support.h"
#include "ui/framework/multi_tool_base.h"     // TFileNameReplacement

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QTableView;
class QToolButton;

namespace cv {

class TCVBaseDataClass;

// Button images of the suite's tool image list.
enum : int {
    kImageOK = 140,
    kImageCancel = 139,
    kImageHelp = 144,
    kImageChange = 62,
    kImageSwap = 174,
    kImageAscending = 332,
    kImageDescending = 333,
};

// A one-line value, or a choice between two alternatives.
class TGeneralInputDlg final : public TCVDialog {
    Q_OBJECT
public:
    explicit TGeneralInputDlg(QWidget* parent = nullptr);

    QLabel* LabelPrompt;
    QPushButton* ButtonOK;
    QPushButton* ButtonHelp;
    QComboBox* ElComboBox1;
    QPushButton* AdvGlowButtonOption1;
    QPushButton* AdvGlowButtonOption2;
    QLabel* LabelTopic;
    int32_t BotaoPressed = 0; // 0 none, 1 option one, 2 option two
    bool offering_alternatives = false;

    QString Prompt() const;
    void SetPrompt(const QString& prompt);
    QString Value() const;
    void SetValue(const QString& value);
    QString Topic() const;
    void SetTopic(const QString& topic);
    // The value as a whole number; -1 when it is not one.
    int ValueAsInteger() const;

    bool Execute(const QString& prompt, const QString& initial, int helpContext);
    bool Execute(const QString& prompt, int initial, int helpContext);
    // Offers the two option buttons; the caller reads BotaoPressed after OK.
    bool GetAlternative(const QString& prompt, int helpContext);

    void OptionClick(int option);

protected:
    void FormShow() override;
};

// The language of the texts, chosen from the user's favourite languages;
// the choice goes to the controller.
class TFormLangChange final : public TCVDialog {
    Q_OBJECT
public:
    explicit TFormLangChange(QWidget* parent = nullptr);

    QPushButton* ElPopupButtonChange;
    QPushButton* ElPopupButtonHelp;
    QComboBox* AdvComboBox1;
    QLineEdit* AdvEdit1;

    // names: separated by TAB; the language of the text settings is selected (none when absent).
    void SetAlternatives(const QString& names);
    void SetCurrentLangTo(const QString& name);
    // Posts the language change (code 1230 with the item's index) and sends the main window back.
    void ElPopupButtonChangeClick();
};

// A search text and its replacement in the file names of a document's texts.
class TFormSearchAndReplaceFilename final : public TCVDialog {
    Q_OBJECT
public:
    explicit TFormSearchAndReplaceFilename(QWidget* parent = nullptr);

    QLineEdit* ElEditSearch;
    QLabel* ElLabel1;
    QLineEdit* ElEditReplacement;
    QLabel* ElLabel3;
    QPushButton* ElPopupButtonOK;
    QPushButton* ElPopupButtonCancel;
    QPushButton* ElPopupButtonHelp;
    TRadioGroup* ElRadioGroup1; // replacement within: 0 the path only, 1 the file name only

    // The search label follows the choice.
    void ElRadioGroup1Click();

protected:
    void FormShow() override;
};

// The reference list of a comparison of two word lists. Its place on the
// screen is kept in its own ini file (the ini-reading form base).
class TFormCompare2Wordlists final : public TTMSStylableReadIniForm {
    Q_OBJECT
public:
    explicit TFormCompare2Wordlists(QWidget* parent = nullptr);

    TFileNameEdit* ElFileNameEdit1;
    QLabel* ElLabel1;
    QPushButton* ElPopupButtonOK;
    QPushButton* ElPopupButtonHelp;
    TRadioGroup* AdvOfficeRadioGroup1; // 0 one-way, 1 two-way

    // The study list: the reference list may not be the same file.
    QString CurrentFile;

    // Stores the reference list and the one- or two-way choice in the key-word settings.
    void ElPopupButtonOKClick();

protected:
    void showEvent(QShowEvent* event) override;
};

// The category of a set column, with a colour dragged from the colour list.
class TFormSetColumnEdit final : public TCVDialog {
    Q_OBJECT
public:
    explicit TFormSetColumnEdit(QWidget* parent = nullptr);

    QPushButton* ButtonOK;
    QPushButton* ButtonHelp;
    QPushButton* ButtonCancel;
    QComboBox* ElComboBox1;
    QListWidget* ColourSharingListbox1;
    bool ColourChanged = false;

    // No colour chosen; the combo box takes the style's base background.
    void ClearColourChanged();
    QColor ComboColour() const;
    // A colour dropped on the combo box: taken only from the colour list; whether it was.
    bool ColourDropped(QObject* source, const QColor& colour);
    // The combo box's keys: Enter (and the execute key) close with OK; whether the key was used.
    bool ComboKeyDown(int key);
    // The history of categories, kept in "set_history.txt" in the user's read/write folder.
    QString TheIniName() const;

protected:
    void FormShow() override;
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadHistory();
    void SaveHistory() const;
    QColor m_colour;
};

// Up to three sort columns of a list, each ascending or descending.
class TFormThreeWaySort final : public TCVDialog {
    Q_OBJECT
public:
    explicit TFormThreeWaySort(QWidget* parent = nullptr);

    QLabel* Label1;
    QLabel* LabelSort2;
    QComboBox* ComboBox1;
    QComboBox* ComboBox2;
    QPushButton* ButtonHelp;
    QPushButton* ButtonOK;
    QPushButton* ButtonSwap;
    QComboBox* ComboBox3;
    QLabel* ElLabelSort3;
    QToolButton* AdvGlowButtonUpDown1;
    QToolButton* AdvGlowButtonUpDown2;
    QToolButton* AdvGlowButtonUpDown3;
    const TCVBaseDataClass* Lst = nullptr;
    int MaxSort = 2;
    int32_t helpnum = 0;
    std::array<int32_t, 3> sort_column_choices{-1, -1, -1};

    void SetTo(const TCVBaseDataClass& list, int maxSortLevel, int helpNumber);
    void SetPressedColumn(int column);
    void ButtonSwapClick();
    void DirectionClick(int level);
    void ButtonOKClick();

    QComboBox* Combo(int level) const;
    QToolButton* DirectionButton(int level) const;
    // A direction button's tag (odd: ascending) and image.
    static int Tag(const QToolButton* button);
    static int Image(const QToolButton* button);
    static bool Ascending(const QToolButton* button) { return (Tag(button) & 1) != 0; }

private:
    void SetDirection(QToolButton* button, int tag);
};

// The language dialog as the framework's language change asks for it: the
// names offered, the current language shown; the index chosen (the dialog
// has told the controller), std::nullopt when cancelled.
std::optional<int> RunLanguageChangeDialog(QWidget* owner, const QStringList& names, const QString& current);
// The file-name replacement as the framework's renaming of texts asks for
// it; std::nullopt when cancelled or nothing is sought.
std::optional<TFileNameReplacement> RunFileNameReplaceDialog(QWidget* owner);

// The lines of the lemma shower: text, and a number or a second text.
class TLemmaShowerModel final : public QAbstractTableModel {
public:
    struct TLine {
        QString text;
        int32_t number = 0;
        QString second; // shown instead of the number when not empty
    };
    explicit TLemmaShowerModel(QObject* parent = nullptr);

    void SetLines(std::vector<TLine> lines);
    const std::vector<TLine>& Lines() const { return m_lines; }
    void SetHeadings(const QStringList& headings);
    QStringList Headings() const { return m_headings; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

private:
    std::vector<TLine> m_lines;
    QStringList m_headings;
};

// A read-only list of lines under one or two headings.
class TFormLemmaShower final : public TCVDialog {
    Q_OBJECT
public:
    explicit TFormLemmaShower(QWidget* parent = nullptr);

    QMenu* AdvPopupMenu1;
    QAction* Print1;
    QAction* Copy1;
    QTableView* CVSimpleVirtualGrid1;

    // Lines with their numbers.
    void CopyStringData(const std::vector<std::pair<QString, int32_t>>& lines);
    // Lines "text<TAB>number or text".
    void CopyRows(const QStringList& rows);
    // One heading fills the width; with two, the first takes 80 parts and the second 20.
    void SetTheHeaders(const QStringList& headings);
    TLemmaShowerModel* Model() const { return m_model; }
    // The whole grid as text: headings, then one line per row, cells separated by TAB.
    QString GridText() const;
    void Copy1Click() const;
    void Print1Click();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void SizeColumns();
    TLemmaShowerModel* m_model;
};

} // namespace cv
