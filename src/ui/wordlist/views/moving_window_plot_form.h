#pragma once
// The window that shows a moving-window plot file: the plot in a scroll
// box, the running words and the mean overlaps near and away from section
// starts, the width of the view as percent of the text or as running words,
// its start in tenths of the text, and copy, print, refresh and change-file
// buttons.

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <memory>

#include "ui/wordlist/views/moving_window_plot.h"

class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QSlider;
class QSpinBox;

namespace cv {

class TFormMovingWindowPlot final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 5510;

    explicit TFormMovingWindowPlot(QWidget* parent = nullptr);
    ~TFormMovingWindowPlot() override;

    // Opens and shows a plot file; an empty or missing name asks for one
    // instead. False when no plot was opened (a damaged file is reported).
    bool OpenAPlot(const QString& fileName);

    // --- controls, for the program's own use and for tests ---
    QPushButton* ButtonCopy = nullptr;
    QPushButton* ButtonPrint = nullptr;
    QPushButton* ButtonRefresh = nullptr;
    QPushButton* ButtonChange = nullptr;
    QDoubleSpinBox* AdvSpinEditPercent = nullptr;
    QSpinBox* AdvSpinEditWindowWords = nullptr;
    QSlider* AdvTrackBar1 = nullptr;
    QLabel* LabelTrackPos = nullptr;
    QLabel* LabelTokens = nullptr;
    QLabel* LabelSectionOverlaps = nullptr;
    QScrollArea* AdvScrollBox1 = nullptr;
    QLabel* Image1 = nullptr;

    const QString& CurrentFilename() const { return m_currentFilename; }
    int32_t NTokens() const { return nTokens; }
    bool PreferringPercent() const { return preferring_percent; }
    const TMovingWindowPlotter& Plotter() const { return *mwplotter; }
    const QImage& Image() const { return m_image; }

    // The handler behind the three view controls; `sender` is the control changed.
    void AdvTrackBarChange(QObject* sender);
    // Takes what was typed into the boxes, reads the file again when it was
    // written since, and draws the view again.
    void Refresh();
    void CopyToClipboard();
    bool Print();
    // The change-file dialog; true when a plot was opened.
    bool ChangeFile();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowOverlapSummary(int32_t tokens, float nearMean, float farMean);
    // The image sized to the scroll box's client area, the view redrawn.
    void Redraw();
    // The window-words box's range for the plot loaded.
    void FitWindowWordsToThePlot();
    // Size and time of change: tells a file written again since it was read.
    static QString FileStamp(const QString& fileName);

    std::unique_ptr<TMovingWindowPlotter> mwplotter;
    QString m_currentFilename;
    QString m_loadedStamp;
    QImage m_image;
    int32_t nTokens = -1;
    bool preferring_percent = true;
    bool m_settingControls = false;
};

} // namespace cv
