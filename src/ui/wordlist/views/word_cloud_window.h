#pragma once
// The word-cloud window: a cloud of a result list or of a plain text list of
// words with counts, drawn on a page-sized picture in a scroll box. The word
// under the mouse is shown beside the picture; the spacing and the smallest
// font size can be changed (and are kept in the settings buffer); the
// picture can be copied, printed and saved. The options dialog picks which
// column of a concordance-type list gives the cloud its numbers.
//
// A result list's cloud items are read when the window opens the cloud and
// kept with it, so the window never reads a list after its document has
// gone; "Refresh" draws those items again with the current settings.

#include <QDialog>
#include <QImage>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

#include "ui/wordlist/views/word_cloud_layout.h"

class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QPushButton;
class QScrollArea;
class QSpinBox;

namespace cv {

class TCVBaseDataClass;
class TUserPlainTextStringlist;
class TFormWordCloud;
class TImageCloudCanvas;

// How a cloud takes its words. Unset needsSorting: the list's own answer
// (CloudDataNeedsSorting); when no sorting is needed the words are taken in
// the list's order with the given frequency range.
struct TWordCloudRequest {
    std::optional<bool> needsSorting;
    int32_t minFreq = 0;
    int32_t maxFreq = 0;
    bool allowCaseChange = false;
    uint8_t outputCase = 0;
};

// Opens a word-cloud window on a result list (the list is read now, not kept).
// The window deletes itself when closed. Returns it (for tests and callers
// that want to place it).
TFormWordCloud* ShowWordCloud(QWidget* parent, TCVBaseDataClass& list, const QString& caption,
                              const TWordCloudRequest& request = {});
// The same for a plain text list of words (the strings) with their counts
// (their numbers); the window takes it over.
TFormWordCloud* ShowWordCloud(QWidget* parent, std::unique_ptr<TUserPlainTextStringlist> textList,
                              const QString& caption, const TWordCloudRequest& request = {});
// Every open cloud window takes the cloud settings again from the settings
// buffer (when the suite's settings have changed).
void ReloadOpenWordCloudSettings();
// The data-column choice of a concordance-type list (key-word plots,
// collocates, patterns); true when the user chose and confirmed a column.
bool ChooseWordCloudDataColumn(QWidget* parent, TCVBaseDataClass& list);

class TFormWordCloud final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 5520;

    explicit TFormWordCloud(QWidget* parent = nullptr);
    ~TFormWordCloud() override;

    // Binds a result list (its items are read now) and draws, showing the
    // share on the progress reporter. False when the user stopped it: the
    // window is then closed (nothing of the cloud is shown).
    bool ComputeTheCloud(TCVBaseDataClass& list, const QString& caption);
    // Draws the text list's cloud from its start (false: stopped, as above).
    bool ComputeTheCloud(const QString& caption);
    // Takes over a text list as the source.
    void UseTextList(std::unique_ptr<TUserPlainTextStringlist> list);
    void LoadSettings(int32_t aMinFreq, int32_t aMaxFreq, bool needsSorting, bool allowCaseChange, uint8_t outputCase);
    // The cloud settings again from the settings buffer.
    void ReLoadSettingsFromTextBuf();

    // --- the window's actions (the buttons, the spin edits, the mouse) ---
    void Refresh();
    void CopyToClipboard();
    bool Print();
    // The picture into a file chosen in the save dialog; false when cancelled or failed.
    bool Save();
    // The word under (x, y) of the picture shown beside it; its number, 0 for none.
    int32_t MouseMoveAt(int x, int y);
    void SpinEditChanged();

    TWordCloud& Cloud() { return *cloud; }
    const QImage& Image() const { return m_image; }
    bool TxtBased() const { return txt_based; }

    QScrollArea* AdvScrollBox1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* ButtonCopy = nullptr;
    QPushButton* ButtonPrint = nullptr;
    QPushButton* ButtonRefresh = nullptr;
    QPushButton* ButtonSave = nullptr;
    QDoubleSpinBox* AdvSpinEditHorz = nullptr;
    QDoubleSpinBox* AdvSpinEditVert = nullptr;
    QSpinBox* AdvSpinEditMinFontSize = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The share of the drawing runs from firstPercent to 100.
    bool DrawTheCloud(const QString& caption, int firstPercent);
    // The progress of a cloud's making: shown by the outermost step, which
    // also hides it; a stop closes the window.
    class TCloudProgress {
    public:
        explicit TCloudProgress(TFormWordCloud& form);
        ~TCloudProgress();
        TCloudProgress(const TCloudProgress&) = delete;
        TCloudProgress& operator=(const TCloudProgress&) = delete;
        // The window closed for a stop; false.
        bool Stopped();

    private:
        TFormWordCloud& m_form;
        bool m_shows;
    };
    void ShowImage();
    void RemoveHighlight();
    QStringList HoverLines(int32_t item) const;

    bool txt_based = false;
    bool SettingsLoaded = false;
    bool m_drawing = false;
    std::unique_ptr<TUserPlainTextStringlist> fTextlist;
    std::unique_ptr<TWordCloud> cloud;
    QImage m_image;
    // Paints on m_image and keeps the pixels under the highlight.
    std::unique_ptr<TImageCloudCanvas> m_canvas;
    QString m_caption;
    // A result list's items as read, and the lines shown for each.
    std::vector<TWordFreqAndSourceNum> m_items;
    std::vector<QStringList> m_itemLines;
    size_t m_nextItem = 0;
};

// Which column of a concordance-type list gives the cloud its numbers.
class TFormWordCloudOptions final : public QDialog {
    Q_OBJECT
public:
    TFormWordCloudOptions(QWidget* parent, TCVBaseDataClass& list);

    QListWidget* ListBox = nullptr;
    QPushButton* ButtonOK = nullptr;
    // OK: with a column selected and confirmed, stores it in the list; true then.
    bool ButtonOKClick();

private:
    TCVBaseDataClass& list;
    uint8_t listtype;
};

} // namespace cv
