#pragma once
// The "Details" window: in which of a set of texts a set of words occurs,
// and how often. It makes a word list of each candidate text in turn and
// lists, under each text's file name, every search word found with its
// frequency; texts with none of the words are left out. From the list a
// text opens in the one-text viewer with the words highlighted.

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

#include "ui/wordlist/views/source_text_view.h"

class QListWidget;
class QMenu;

namespace cv {

class TCVStatusBar;
class TFormOneTextFileShower;
class TTagHandlerBase;
class TTagsToTranslateList;

// One result line of a word found in a text: two blanks, the word, a colon, its frequency.
QString WordFoundLine(const QString& word, int64_t frequency);

// The search: for each text (full paths) while the cancel state is 0, its
// word list, and the search words found in it (case ignored) with their
// frequencies (joined forms not counted). Texts that cannot be read or
// hold none of the words give nothing. `progress` gets percent done before
// each text; `found` each text's lines (its path, then its word lines).
void ComputeWordFrequencies(const QStringList& files, const TSimpleSearchlist& words, TTagHandlerBase* tagHandler,
                            TTagsToTranslateList* tagsToTranslate, const std::function<void(int)>& progress,
                            const std::function<void(const QStringList&)>& found);

class TFormExtraDetails final : public QWidget {
    Q_OBJECT
public:
    enum : int { kPanelProgress = 2, kPanelStop = 8, kPanelMessage = 10, kPanels = 11 };
    static constexpr int kHelpContext = 5540;

    explicit TFormExtraDetails(QWidget* parent = nullptr);
    ~TFormExtraDetails() override;

    // The candidate texts (full paths).
    QStringList fListOfPotentialFilenames;
    TSimpleSearchlist HighLightWords;

    void AddHighlightWords(const TSimpleSearchlist& words, int maxN);
    void AddHighlightWords(const QStringList& words, int maxN);
    // Not owned; used to read the texts.
    void SetTagHandlerAndTagTranslate(TTagHandlerBase* tagHandler, TTagsToTranslateList* tagsToTranslate);
    void ClearForNewSearch(bool withPopup, bool clearAll);
    void ComputeWordFrequencies(const TSimpleSearchlist& words, TTagHandlerBase* tagHandler,
                                TTagsToTranslateList* tagsToTranslate);
    // "Frequencies": the search with the window's own lists.
    void Frequencies();
    // Opens the selected line's text in the viewer (a word line: the text
    // above it, with that word alone highlighted); false when nothing opened.
    bool OpenSelected();
    // "Save list of files": the lines into a file (UTF-16 with a byte-order mark).
    bool SaveListOfFiles();
    bool AddHighlightKWSToOneTextFileShower();

    QListWidget* StyledListboxFiles = nullptr;
    TCVStatusBar* AdvOfficeStatusBar1 = nullptr;
    QMenu* AdvPopupMenu1 = nullptr;
    const QString& OpenFilename() const { return fopen_filename; }
    // The viewer, once made.
    TFormOneTextFileShower* Viewer() const;
    bool Busy() const { return EDBusy; }

private:
    bool OpenInViewer(const QString& fileName);
    void StatusPanelClick(int panel);

    TTagHandlerBase* TextTagHandler = nullptr;
    TTagsToTranslateList* TagsToTranslateList = nullptr;
    QString fopen_filename;
    bool EDBusy = false;
    QPointer<TFormOneTextFileShower> FormOneTextFileShower;
};

} // namespace cv
