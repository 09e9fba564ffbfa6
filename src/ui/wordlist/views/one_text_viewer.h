#pragma once
// The one-text viewer: a source text with its mark-up greyed out and chosen
// words highlighted, the words in a list on the left with their hits, a plot
// bar of where the hits fall, and a status bar with progress, previous and
// next hit and stop. It reports hit counts, trims the text and saves the
// highlighted text as RTF.

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "ui/wordlist/views/source_text_view.h"

class QListWidget;
class QListWidgetItem;
class QMenu;
class QSplitter;

namespace cv {

class TCVStatusBar;

// The text to show: its file, and two optional notes for the status bar
// (its running words, its hit types).
struct TOneTextFileDetails {
    QString fileName;
    QString words;
    QString hitTypes;
};

class TFormOneTextFileShower final : public QWidget {
    Q_OBJECT
public:
    // Status-bar panels.
    enum : int { kPanelProgressA = 2, kPanelProgressB = 3, kPanelPrevious = 6, kPanelNext = 7, kPanelStop = 8,
                 kPanelLineMessage = 10, kPanels = 11 };
    static constexpr int kInfoHelpContext = 6040;
    static constexpr int kHelpContext = 5530;

    explicit TFormOneTextFileShower(QWidget* parent = nullptr);

    // Loads and shows the text; false (reported) when it cannot be read.
    // callerStatusBar: the calling window's, whose stop button follows this one's.
    bool OpenAndShowAText(const TOneTextFileDetails& details, int32_t maxChars, TCVStatusBar* callerStatusBar);

    // The key-word list from a text of one word a line, or from lines.
    void AddStringsToLeftListbox(const QString& text);
    void AddStringsToLeftListbox(const QStringList& lines);
    // Highlights these words and goes to the first hit.
    void AddStringsASKWsAndSeek(const QStringList& words);
    int HighlightOneKW(const QString& word);
    // Highlights the search list; refills the key-word list with the words
    // found and their hits; shows the plot bar when there are hits. Returns the hits.
    int HighlightAnyKWS();
    // Highlights the lines of ComparisonWholeLines that stand whole in the text.
    void HighlightSimilarities();
    void TrimTheText(bool allLines);
    void GreyOutAnyMarkup();
    // The words with their hits and the total, as the "Info on scores" report shows them.
    void InfoOnCurrentText(QString& text);
    // Highlights and saves into the folder as <caption name>.rtf; false when
    // nothing was highlighted or the file was not written.
    bool HighlightAndSaveToRTF(const QString& folder, bool confirm = true);
    // "Save as RTF": the save dialog, then the file.
    bool TryToSaveAsRTF();
    bool AutoSaveAsRTF(const QString& fileName, const QString& note);
    void CopySelectionToClipboard();

    // --- the pop-up menu's commands ---
    void HighlightAll();
    void HighlightSelected();
    void InfoOnScores();
    void ToggleRuler();

    TSourceTextRichEdit* SourceTextRich = nullptr;
    QListWidget* StyledListboxKWs = nullptr;
    TCVStatusBar* AdvOfficeStatusBar1 = nullptr;
    TPlotBar* PCPLotBar1 = nullptr;
    QMenu* AdvPopupMenuHighlighter = nullptr;
    QStringList ComparisonWholeLines;
    bool confirm_RTF_save = true;
    const QString& CurrentShortFilename() const { return current_short_filename; }

    // Hits of the word of a key-word list row (-999999 when it has none yet).
    static int TotalOf(const QListWidgetItem& item);
    // The word of a key-word list row.
    static QString WordOf(const QListWidgetItem& item);

private:
    void StatusPanelClick(int panel);
    // The search list from typed words (empty ones left out).
    void SetSearchWords(const QStringList& words);
    void ShowStop(bool shown);
    // A progress bar in the panel while work goes on.
    void SetProgress(int panel, int percent);
    // Work done: panels 2 and 3 are texts again, the text's words and hit types.
    void ShowTextNotes();
    // The search words with hits as "word (n)" joined by ",", and their total.
    QString ScoresText(int* total) const;
    void KeyWordClicked(QListWidgetItem* item);

    QSplitter* AdvSplitter1 = nullptr;
    QPointer<TCVStatusBar> PaiStatusBar;
    QString current_short_filename;
    QString m_wordsNote;    // "%s words" of the text shown, or empty
    QString m_hitTypesNote; // "%s hit types", or empty
};

} // namespace cv
