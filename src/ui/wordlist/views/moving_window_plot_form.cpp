#include "ui/wordlist/views/moving_window_plot_form.h"

#include <QBoxLayout>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>

#include <algorithm>
#include <cmath>

#include "gui/file_dialogs.h"
#include "suite/dialog_routines.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/wordlist/views/view_support.h"

namespace cv {

namespace {

constexpr int kSmallestImage = 80;
// Room for the ten positions of the track bar, each one a comfortable step.
constexpr int kTrackBarWidth = 160;

} // namespace

TFormMovingWindowPlot::TFormMovingWindowPlot(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FormMovingWindowPlot"));
    setWindowTitle(QStringLiteral("Moving Window Plot"));
    setProperty("helpContext", kHelpContext);

    const QSize page = PrintablePagePixels();
    mwplotter = std::make_unique<TMovingWindowPlotter>(
        page.width(),
        [this](int32_t tokens, float nearMean, float farMean, float, float) {
            ShowOverlapSummary(tokens, nearMean, farMean);
        },
        page.height());

    AdvScrollBox1 = new QScrollArea(this);
    Image1 = new QLabel;
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    AdvScrollBox1->setWidget(Image1);
    AdvScrollBox1->setWidgetResizable(false);

    LabelTokens = new QLabel(this);
    LabelSectionOverlaps = new QLabel(this);
    ButtonCopy = new QPushButton(QStringLiteral("Copy"), this);
    ButtonPrint = new QPushButton(QStringLiteral("Print"), this);
    ButtonRefresh = new QPushButton(QStringLiteral("Refresh"), this);
    ButtonChange = new QPushButton(QStringLiteral("Change"), this);
    AdvSpinEditPercent = new QDoubleSpinBox(this);
    AdvSpinEditPercent->setDecimals(2);
    AdvSpinEditPercent->setRange(5, 100);
    AdvSpinEditPercent->setSingleStep(2.5);
    AdvSpinEditPercent->setValue(100);
    AdvSpinEditPercent->setToolTip(QStringLiteral("% of Text"));
    AdvSpinEditWindowWords = new QSpinBox(this);
    AdvSpinEditWindowWords->setRange(10000, 100000);
    AdvSpinEditWindowWords->setSingleStep(100);
    AdvSpinEditWindowWords->setValue(15000);
    AdvSpinEditWindowWords->setToolTip(QStringLiteral("Window words"));
    AdvTrackBar1 = new QSlider(Qt::Horizontal, this);
    AdvTrackBar1->setRange(0, 9);
    AdvTrackBar1->setPageStep(1);
    AdvTrackBar1->setTickPosition(QSlider::TicksBelow);
    LabelTrackPos = new QLabel(QStringLiteral("Pos: 0"), this);

    // The summary and the buttons have a line of their own: beside the view
    // controls the summary's long text would squeeze the track bar to nothing.
    auto* summary = new QHBoxLayout;
    summary->addWidget(LabelTokens);
    summary->addSpacing(16);
    summary->addWidget(LabelSectionOverlaps, 1);
    for (QPushButton* b : {ButtonCopy, ButtonPrint, ButtonRefresh, ButtonChange})
        summary->addWidget(b);
    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("% of Text"), this));
    controls->addWidget(AdvSpinEditPercent);
    controls->addWidget(new QLabel(QStringLiteral("or"), this));
    controls->addWidget(new QLabel(QStringLiteral("Window words"), this));
    controls->addWidget(AdvSpinEditWindowWords);
    controls->addSpacing(12);
    controls->addWidget(LabelTrackPos);
    AdvTrackBar1->setMinimumWidth(kTrackBarWidth);
    controls->addWidget(AdvTrackBar1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(AdvScrollBox1, 1);
    layout->addLayout(summary);
    layout->addLayout(controls);
    SizeNewWindowForScreen(this, QSize(900, 600));
    // The plot fits the visible area: it is drawn again whenever that area
    // changes size (the first time when the window is first shown).
    AdvScrollBox1->viewport()->installEventFilter(this);

    connect(AdvSpinEditPercent, &QDoubleSpinBox::valueChanged, this,
            [this] { AdvTrackBarChange(AdvSpinEditPercent); });
    connect(AdvSpinEditWindowWords, &QSpinBox::valueChanged, this,
            [this] { AdvTrackBarChange(AdvSpinEditWindowWords); });
    connect(AdvTrackBar1, &QSlider::valueChanged, this, [this](int v) {
        LabelTrackPos->setText(QStringLiteral("Pos: %1").arg(v));
        AdvTrackBarChange(AdvTrackBar1);
    });
    connect(ButtonCopy, &QPushButton::clicked, this, &TFormMovingWindowPlot::CopyToClipboard);
    connect(ButtonPrint, &QPushButton::clicked, this, &TFormMovingWindowPlot::Print);
    connect(ButtonRefresh, &QPushButton::clicked, this, &TFormMovingWindowPlot::Refresh);
    connect(ButtonChange, &QPushButton::clicked, this, &TFormMovingWindowPlot::ChangeFile);
}

TFormMovingWindowPlot::~TFormMovingWindowPlot() = default;

bool TFormMovingWindowPlot::OpenAPlot(const QString& fileName)
{
    if (fileName.isEmpty() || !QFileInfo(fileName).isFile())
        return ChangeFile();
    QString error;
    if (!mwplotter->LoadUpData(fileName, &error)) {
        FailedToRead(fileName);
        return false;
    }
    m_settingControls = true;
    AdvTrackBar1->setValue(0);
    LabelTrackPos->setText(QStringLiteral("Pos: 0"));
    AdvSpinEditPercent->setValue(100.0);
    m_settingControls = false;
    preferring_percent = true;
    AdvScrollBox1->horizontalScrollBar()->setValue(0);
    AdvScrollBox1->verticalScrollBar()->setValue(0);
    m_currentFilename = fileName;
    m_loadedStamp = FileStamp(fileName);
    FitWindowWordsToThePlot();
    setWindowTitle(fileName);
    Redraw();
    return true;
}

void TFormMovingWindowPlot::FitWindowWordsToThePlot()
{
    // The view is at least one of the plot's windows wide (a narrower one
    // shows nothing) and at most the whole text; the box is set by the view.
    const TMovingWindowPlotDataHolder& data = mwplotter->DataHolder();
    const int32_t least = data.WindowWords > 0 ? data.WindowWords : kMovingWindowWordsMin;
    m_settingControls = true;
    AdvSpinEditWindowWords->setRange(least, std::max(least, data.Total_Tokens));
    m_settingControls = false;
}

QString TFormMovingWindowPlot::FileStamp(const QString& fileName)
{
    const QFileInfo info(fileName);
    return QString::number(info.size()) + u' ' + QString::number(info.lastModified().toMSecsSinceEpoch());
}

void TFormMovingWindowPlot::ShowOverlapSummary(int32_t tokens, float nearMean, float farMean)
{
    nTokens = tokens;
    LabelSectionOverlaps->setText(QStringLiteral("%1 overlaps near chapter (%2 elsewhere)")
                                      .arg(double(nearMean), 0, 'f', 3)
                                      .arg(double(farMean), 0, 'f', 3));
    LabelTokens->setText(QStringLiteral("%1 tokens").arg(QLocale().toString(tokens)));
}

void TFormMovingWindowPlot::AdvTrackBarChange(QObject* sender)
{
    if (m_settingControls || !mwplotter->ReadyToDisplay())
        return;
    const int position = AdvTrackBar1->value();
    m_settingControls = true;
    if (sender == AdvSpinEditWindowWords && nTokens > 0) {
        preferring_percent = false;
        int64_t words = AdvSpinEditWindowWords->value();
        if (position >= 1)
            words += std::lround(double(nTokens) / (position * 10.0));
        // The box holds 5 to 100; a window longer than the text shows all of it.
        AdvSpinEditPercent->setValue(double(words) * 100.0 / nTokens);
    } else if (sender == AdvSpinEditPercent) {
        preferring_percent = true;
    }
    double percent = std::max(AdvSpinEditPercent->value(), 5.0);
    percent = std::min(percent, 100.0 - position * 10.0);
    AdvSpinEditPercent->setValue(percent);
    m_settingControls = false;
    Redraw();
}

void TFormMovingWindowPlot::Redraw()
{
    if (!mwplotter->ReadyToDisplay())
        return;
    QSize size = AdvScrollBox1->viewport()->size();
    if (size.width() < kSmallestImage || size.height() < kSmallestImage)
        size = QSize(mwplotter->HorizPixels(), mwplotter->VertPixels());
    size = size.expandedTo(QSize(kSmallestImage, kSmallestImage));
    m_image = QImage(size, QImage::Format_RGB32);
    m_image.fill(mwplotter->scrollbox_background_colour);
    {
        QPainter painter(&m_image);
        mwplotter->AdjustView(size.width(), size.height(), preferring_percent, painter, AdvSpinEditPercent->value(),
                              AdvSpinEditWindowWords->value(), AdvTrackBar1->value());
    }
    // A view set by its percent shows in the words box what it spans.
    if (preferring_percent && nTokens > 0) {
        m_settingControls = true;
        AdvSpinEditWindowWords->setValue(int(std::lround(double(mwplotter->percent_to_show) * nTokens / 100.0)));
        m_settingControls = false;
    }
    Image1->setPixmap(QPixmap::fromImage(m_image));
    Image1->resize(m_image.size());
}

void TFormMovingWindowPlot::Refresh()
{
    // What was typed into a box and not yet confirmed counts.
    AdvSpinEditPercent->interpretText();
    AdvSpinEditWindowWords->interpretText();
    // The plot made again since it was opened (another window size, more
    // texts) is read afresh; the view keeps its place where it still can.
    if (!m_currentFilename.isEmpty() && FileStamp(m_currentFilename) != m_loadedStamp) {
        QString error;
        if (!mwplotter->LoadUpData(m_currentFilename, &error)) {
            FailedToRead(m_currentFilename);
            m_image = QImage();
            Image1->clear();
            return;
        }
        m_loadedStamp = FileStamp(m_currentFilename);
        FitWindowWordsToThePlot();
    }
    Redraw();
}

bool TFormMovingWindowPlot::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == AdvScrollBox1->viewport() && event->type() == QEvent::Resize)
        Redraw();
    return QWidget::eventFilter(watched, event);
}

void TFormMovingWindowPlot::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        ShowHelpTopic(kHelpContext);
        return;
    }
    QWidget::keyPressEvent(event);
}

void TFormMovingWindowPlot::CopyToClipboard()
{
    if (!m_image.isNull())
        CopyImageToClipboard(m_image);
}

bool TFormMovingWindowPlot::Print() { return PrintImage(this, m_image, windowTitle()); }

bool TFormMovingWindowPlot::ChangeFile()
{
    TCVFileDialog dialog(TCVFileDialog::TKind::Open);
    dialog.Filter = QStringLiteral("Moving Window Plot files (*.plotdata)");
    dialog.DefaultExt = QStringLiteral("plotdata");
    dialog.FileName = m_currentFilename;
    if (!m_currentFilename.isEmpty())
        dialog.InitialDir = QFileInfo(m_currentFilename).absolutePath();
    if (!dialog.Execute() || !QFileInfo(dialog.FileName).isFile())
        return false;
    return OpenAPlot(dialog.FileName);
}

} // namespace cv
