#include "ui/wordlist/views/word_cloud_window.h"

#include <QApplication>
#include <QBoxLayout>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>

#include <algorithm>
#include <utility>

#include "concordance/collocates.h"
#include "concordance/patterns_clusters.h"
#include "files/save_file.h"
#include "gui/file_dialogs.h"
#include "keywords/kw_plots.h"
#include "model/base_list.h"
#include "runtime/progress.h"
#include "runtime/start_an_app.h"
#include "suite/cv_globals.h"
#include "suite/cv_format.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/resource_strings.h"
#include "suite/window_messages.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/wordlist/views/view_support.h"
#include "ui/wordlist/views/word_cloud_canvas.h"
#include "wordlist/plain_text_wordlist.h"

namespace cv {

namespace {

constexpr int kSmallestFontLow = 6;
constexpr int kSmallestFontHigh = 70;

// A colour between two, `share` of the way from a to b.
uint32_t Blend(uint32_t a, uint32_t b, double share)
{
    const QColor ca = QColor::fromRgba(a), cb = QColor::fromRgba(b);
    auto mix = [share](int x, int y) { return int(x + (y - x) * share); };
    return QColor(mix(ca.red(), cb.red()), mix(ca.green(), cb.green()), mix(ca.blue(), cb.blue())).rgba();
}

} // namespace

// ---------------------------------------------------------------------------

TFormWordCloud* ShowWordCloud(QWidget* parent, TCVBaseDataClass& list, const QString& caption,
                              const TWordCloudRequest& request)
{
    auto* form = new TFormWordCloud(parent);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->LoadSettings(request.minFreq, request.maxFreq, request.needsSorting.value_or(list.CloudDataNeedsSorting()),
                       request.allowCaseChange, request.outputCase);
    // Stopped, the window has gone (closed, to be deleted).
    return form->ComputeTheCloud(list, caption) ? form : nullptr;
}

TFormWordCloud* ShowWordCloud(QWidget* parent, std::unique_ptr<TUserPlainTextStringlist> textList,
                              const QString& caption, const TWordCloudRequest& request)
{
    auto* form = new TFormWordCloud(parent);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->UseTextList(std::move(textList));
    form->LoadSettings(request.minFreq, request.maxFreq, request.needsSorting.value_or(true), request.allowCaseChange,
                       request.outputCase);
    return form->ComputeTheCloud(caption) ? form : nullptr;
}

void ReloadOpenWordCloudSettings()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* form = qobject_cast<TFormWordCloud*>(w))
            form->ReLoadSettingsFromTextBuf();
}

bool ChooseWordCloudDataColumn(QWidget* parent, TCVBaseDataClass& list)
{
    TFormWordCloudOptions dialog(parent, list);
    return RunModalDialog(dialog) == QDialog::Accepted;
}

// ---------------------------------------------------------------------------

TFormWordCloud::TFormWordCloud(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FormWordCloud"));
    SetWindowHelp(this, kHelpContext);
    const QSize page = PrintablePagePixels();
    cloud = std::make_unique<TWordCloud>(page.width(), page.height());
    cloud->onYield = [] {
        MyYieldProcess();
        return true;
    };

    AdvScrollBox1 = new QScrollArea(this);
    Image1 = new QLabel;
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setMouseTracking(true);
    Image1->installEventFilter(this);
    AdvScrollBox1->setWidget(Image1);
    Label1 = new QLabel(this);
    Label1->setMinimumWidth(160);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ButtonCopy = new QPushButton(QStringLiteral("Copy"), this);
    ButtonPrint = new QPushButton(QStringLiteral("Print"), this);
    ButtonRefresh = new QPushButton(QStringLiteral("Refresh"), this);
    ButtonSave = new QPushButton(QStringLiteral("Save"), this);
    AdvSpinEditHorz = new QDoubleSpinBox(this);
    AdvSpinEditVert = new QDoubleSpinBox(this);
    for (QDoubleSpinBox* s : {AdvSpinEditHorz, AdvSpinEditVert}) {
        s->setRange(0.1, 5.0);
        s->setSingleStep(0.1);
        s->setDecimals(2);
    }
    AdvSpinEditMinFontSize = new QSpinBox(this);
    // Any size can be typed; the handler keeps it within 6 to 70.
    AdvSpinEditMinFontSize->setRange(1, 200);

    auto* panel = new QVBoxLayout;
    panel->addWidget(Label1, 1);
    panel->addWidget(new QLabel(QStringLiteral("Horizontal spacing"), this));
    panel->addWidget(AdvSpinEditHorz);
    panel->addWidget(new QLabel(QStringLiteral("Vertical spacing"), this));
    panel->addWidget(AdvSpinEditVert);
    panel->addWidget(new QLabel(QStringLiteral("Smallest font size"), this));
    panel->addWidget(AdvSpinEditMinFontSize);
    for (QPushButton* b : {ButtonCopy, ButtonPrint, ButtonRefresh, ButtonSave})
        panel->addWidget(b);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(AdvScrollBox1, 1);
    layout->addLayout(panel);
    SizeNewWindowForScreen(this, QSize(1000, 700));

    connect(ButtonCopy, &QPushButton::clicked, this, &TFormWordCloud::CopyToClipboard);
    connect(ButtonPrint, &QPushButton::clicked, this, &TFormWordCloud::Print);
    connect(ButtonRefresh, &QPushButton::clicked, this, &TFormWordCloud::Refresh);
    connect(ButtonSave, &QPushButton::clicked, this, &TFormWordCloud::Save);
    connect(AdvSpinEditHorz, &QDoubleSpinBox::valueChanged, this, &TFormWordCloud::SpinEditChanged);
    connect(AdvSpinEditVert, &QDoubleSpinBox::valueChanged, this, &TFormWordCloud::SpinEditChanged);
    connect(AdvSpinEditMinFontSize, &QSpinBox::valueChanged, this, &TFormWordCloud::SpinEditChanged);
}

TFormWordCloud::~TFormWordCloud()
{
    // What the cloud held (its picture, its items) goes back to the system.
    m_canvas.reset();
    m_image = QImage();
    m_items = {};
    m_itemLines = {};
    GiveBackFreedMemory();
}

void TFormWordCloud::LoadSettings(int32_t aMinFreq, int32_t aMaxFreq, bool needsSorting, bool allowCaseChange,
                                  uint8_t outputCase)
{
    SettingsLoaded = false;
    ReLoadSettingsFromTextBuf();
    TWordCloudSettingsRec& s = cloud->CloudSettings;
    s.SetAllowCaseChange(allowCaseChange);
    if (allowCaseChange)
        s.SetOutputCase(outputCase);
    if (needsSorting) {
        cloud->min_freq = 0;
        cloud->max_freq = 0;
    } else {
        cloud->min_freq = aMinFreq;
        cloud->max_freq = aMaxFreq;
    }
    AdvSpinEditMinFontSize->setValue(s.MinFontSize());
    AdvSpinEditHorz->setValue(s.HorizontalSpacing());
    AdvSpinEditVert->setValue(s.VerticalSpacing());
    SettingsLoaded = true;
}

void TFormWordCloud::ReLoadSettingsFromTextBuf()
{
    if (cloud)
        cloud->CloudSettings = GetWordCloudSettings();
}

void TFormWordCloud::UseTextList(std::unique_ptr<TUserPlainTextStringlist> list)
{
    fTextlist = std::move(list);
    if (!fTextlist)
        return;
    TUserPlainTextStringlist* source = fTextlist.get();
    cloud->SetSource([source](TWordFreqAndSourceNum& d) { source->GetNextCloudDatum(d); });
    cloud->fListItemsCount = fTextlist->Count();
}

bool TFormWordCloud::ComputeTheCloud(TCVBaseDataClass& list, const QString& caption)
{
    txt_based = false;
    fTextlist.reset();
    m_items.clear();
    m_itemLines.clear();
    TCloudProgress progress(*this);
    // The list is read, not changed, while the window answers meanwhile.
    const uint8_t wasBusy = list.ListBusy();
    list.SetListBusy(kListBusy);
    const auto notBusy = qScopeGuard([&list, wasBusy] { list.SetListBusy(wasBusy); });
    // Every item of the list as the cloud would read it; the cloud then
    // gets the most frequent of them, most frequent first (in the list's
    // order when equal), numbered by their rank. A list keeps its items in
    // its own order (a word list alphabetically), so its first items are
    // not its most frequent ones. Only the items shown keep the lines the
    // mouse shows for them: a list of a million rows is read, not copied.
    list.SetCloudReadPosition(0);
    const int count = list.Count();
    struct TItem {
        TWordFreqAndSourceNum datum;
        int row = 0;
    };
    std::vector<TItem> items;
    items.reserve(size_t(count));
    TProgressSteps gathering(0, 40);
    for (int row = 0; row < count; ++row) {
        if ((row + 1) % 4096 == 0 && !gathering.Step(row, count))
            return progress.Stopped();
        TWordFreqAndSourceNum d;
        list.GetNextCloudDatum(d);
        if (d.frequency <= 0 || d.word.isEmpty())
            continue;
        items.push_back({std::move(d), row});
    }
    const size_t shown = std::min(items.size(), size_t(std::max(0, cloud->max_items_showable)));
    const auto moreFrequent = [](const TItem& a, const TItem& b) {
        return a.datum.frequency != b.datum.frequency ? a.datum.frequency > b.datum.frequency : a.row < b.row;
    };
    std::nth_element(items.begin(), items.begin() + std::ptrdiff_t(shown), items.end(), moreFrequent);
    items.resize(shown);
    items.shrink_to_fit();
    std::sort(items.begin(), items.end(), moreFrequent);
    for (size_t k = 0; k < items.size(); ++k) {
        TItem& item = items[k];
        QStringList lines;
        // An item that is its row shows its word and value; one that is not
        // (a list whose items come from elsewhere) the cells of its row.
        if (item.datum.number == item.row + 1) {
            lines << item.datum.word << QString::number(item.datum.frequency);
        } else {
            for (int c = 0; c < list.ColumnCount(); ++c) {
                TDrawgridDataRec rec;
                list.DrawgridDataRec(item.row, c, 0, rec);
                lines << rec.text;
            }
        }
        item.datum.number = int32_t(k + 1);
        m_items.push_back(std::move(item.datum));
        m_itemLines.push_back(std::move(lines));
    }
    m_items.push_back({}); // the end of the items
    items = {};
    list.SetCloudReadPosition(0);
    cloud->fListItemsCount = count;
    cloud->SetSource([this](TWordFreqAndSourceNum& d) {
        d = m_nextItem < m_items.size() ? m_items[m_nextItem] : TWordFreqAndSourceNum{};
        ++m_nextItem;
    });
    m_nextItem = 0;
    // What was read of the list and is not kept goes back to the system.
    GiveBackFreedMemory();
    return DrawTheCloud(caption, 40);
}

bool TFormWordCloud::ComputeTheCloud(const QString& caption)
{
    if (!fTextlist)
        return false;
    fTextlist->ResetCloudReadPosition();
    txt_based = true;
    return DrawTheCloud(caption, 0);
}

bool TFormWordCloud::DrawTheCloud(const QString& caption, int firstPercent)
{
    if (m_drawing)
        return true;
    TCloudProgress progress(*this);
    m_drawing = true;
    m_caption = caption;
    Label1->clear();
    setWindowTitle(caption);
    const TRulerPlotWordCloudFeatures colours = GetRulerPlotWordCloudFeatures();
    cloud->scrollbox_background_colour = colours.CloudBackgroundColour();
    cloud->wordcolour = colours.CloudWordColour();
    cloud->pencolour = colours.RulerColour();
    // The fill behind words and highlights: a tint of the word colour on the background.
    cloud->shapefillcolour = Blend(colours.CloudBackgroundColour(), colours.CloudWordColour(), 0.15);

    m_image = QImage(std::max(3, cloud->HorizPixels()), std::max(3, cloud->VertPixels()), QImage::Format_RGB32);
    const QSize dpi = QSize(logicalDpiX(), logicalDpiY());
    m_image.setDotsPerMeterX(int(dpi.width() / 0.0254));
    m_image.setDotsPerMeterY(int(dpi.height() / 0.0254));
    const TTextSettings text = GetTextSettings();
    m_canvas = std::make_unique<TImageCloudCanvas>(m_image, text.FontName(), text.FontSize() > 0 ? text.FontSize() : 12);
    TImageCloudCanvas& canvas = *m_canvas;

    QApplication::setOverrideCursor(Qt::WaitCursor);
    BringToFront(this);
    // The share: the words placed of those the cloud can show.
    TProgressSteps placing(firstPercent, 100);
    const int64_t toPlace = std::max<int64_t>(1, std::min(cloud->fListItemsCount, cloud->max_items_showable));
    const auto yield = std::exchange(cloud->onYield, [this, &placing, toPlace] {
        return placing.Step(int64_t(cloud->Placed().size()) + cloud->Failures(), toPlace);
    });
    cloud->DisplayFramingRect(canvas);
    cloud->DisplayTheWords(canvas);
    cloud->onYield = yield;
    ShowImage();
    const QSize client = AdvScrollBox1->viewport()->size();
    AdvScrollBox1->horizontalScrollBar()->setValue((m_image.width() - client.width()) / 2);
    AdvScrollBox1->verticalScrollBar()->setValue((m_image.height() - client.height()) / 2);
    QApplication::restoreOverrideCursor();
    m_drawing = false;
    return cloud->Stopped() ? progress.Stopped() : true;
}

TFormWordCloud::TCloudProgress::TCloudProgress(TFormWordCloud& form)
    : m_form(form), m_shows(!GlobalProgress().State().visible)
{
    if (!m_shows)
        return;
    const QWidget* over = form.parentWidget() ? form.parentWidget()->window() : &form;
    GlobalProgress().ClearAllAndShow(over->geometry().center(), 1);
    global_panic_state = kPanicRun;
}

TFormWordCloud::TCloudProgress::~TCloudProgress()
{
    if (m_shows)
        GlobalProgress().Hide();
}

bool TFormWordCloud::TCloudProgress::Stopped()
{
    // The cloud is not made: its window goes, and the stop with it.
    global_panic_state = kPanicRun;
    m_form.close();
    return false;
}

void TFormWordCloud::ShowImage()
{
    Image1->setPixmap(QPixmap::fromImage(m_image));
    Image1->resize(m_image.size());
}

void TFormWordCloud::Refresh()
{
    if (txt_based) {
        ComputeTheCloud(m_caption);
    } else {
        m_nextItem = 0;
        DrawTheCloud(m_caption, 0);
    }
}

QStringList TFormWordCloud::HoverLines(int32_t item) const
{
    if (txt_based) {
        if (fTextlist && item <= fTextlist->Count())
            return {QStringLiteral("%1 (%2)").arg(fTextlist->Strings(item - 1)).arg(fTextlist->Objects(item - 1))};
        return {};
    }
    return item <= int(m_itemLines.size()) ? m_itemLines[size_t(item - 1)] : QStringList();
}

int32_t TFormWordCloud::MouseMoveAt(int x, int y)
{
    if (m_drawing || !m_canvas)
        return 0;
    const int32_t item = cloud->ItemAt(*m_canvas, x, y);
    const QStringList lines = item >= 1 ? HoverLines(item) : QStringList();
    Label1->setText(lines.join(QLatin1Char('\n')));
    ShowImage();
    return item;
}

bool TFormWordCloud::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Image1 && event->type() == QEvent::MouseMove) {
        const QPoint p = static_cast<QMouseEvent*>(event)->position().toPoint();
        MouseMoveAt(p.x(), p.y());
    }
    return QWidget::eventFilter(watched, event);
}

void TFormWordCloud::SpinEditChanged()
{
    if (!SettingsLoaded)
        return;
    TWordCloudSettingsRec stored = GetWordCloudSettings();
    const int smallest = std::min(std::max(kSmallestFontLow, AdvSpinEditMinFontSize->value()), kSmallestFontHigh);
    for (TWordCloudSettingsRec* s : {&stored, &cloud->CloudSettings}) {
        s->SetHorizontalSpacing(float(AdvSpinEditHorz->value()));
        s->SetVerticalSpacing(float(AdvSpinEditVert->value()));
        s->SetMinFontSize(smallest);
    }
    SetWordCloudSettings(stored);
    if (AdvSpinEditMinFontSize->value() != smallest) {
        SettingsLoaded = false;
        AdvSpinEditMinFontSize->setValue(smallest);
        SettingsLoaded = true;
    }
    Refresh();
}

void TFormWordCloud::RemoveHighlight()
{
    if (m_canvas)
        cloud->TryToClearAnyHighlightedRect(*m_canvas);
    ShowImage();
}

void TFormWordCloud::CopyToClipboard()
{
    RemoveHighlight();
    const TCloudRect r = cloud->PrinterRect();
    if (r.Left != -999)
        CopyImageToClipboard(m_image.copy(0, 0, r.Right, r.Bottom));
}

bool TFormWordCloud::Print()
{
    RemoveHighlight();
    return PrintImage(this, m_image, windowTitle());
}

bool TFormWordCloud::Save()
{
    RemoveHighlight();
    TCVFileDialog dialog(TCVFileDialog::TKind::Save);
    dialog.Filter = QStringLiteral("Bitmap files (*.bmp);;PNG files (*.png)");
    dialog.DefaultExt = QStringLiteral("bmp");
    if (!dialog.Execute())
        return false;
    const TCloudRect r = cloud->PrinterRect();
    const QImage picture = r.Left != -999 ? m_image.copy(0, 0, r.Right, r.Bottom) : m_image;
    // Through the suite's save: never through another user's link in a shared folder.
    TSaveFile file(dialog.FileName);
    const QByteArray format = QFileInfo(dialog.FileName).suffix().toLower().toLatin1();
    if (!file.open(QIODevice::WriteOnly) || !picture.save(&file, format.isEmpty() ? "bmp" : format.constData())
        || !file.commit()) {
        FailedToSave(dialog.FileName, QStringLiteral("Cannot write file \"%1\": %2").arg(dialog.FileName, file.errorString()));
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------

TFormWordCloudOptions::TFormWordCloudOptions(QWidget* parent, TCVBaseDataClass& aList)
    : QDialog(parent), list(aList), listtype(aList.ListType())
{
    setObjectName(QStringLiteral("FormWordCloudOptions"));
    const bool patterns = dynamic_cast<TPatternsList*>(&list) != nullptr;
    setWindowTitle(Format(CVChooseXColumnForData, {patterns ? CVNumber.toString() : CVWord.toString()}));
    ListBox = new QListWidget(this);
    ListBox->addItems(list.GridHeadings());
    ButtonOK = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonOK);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ListBox, 1);
    layout->addLayout(buttons);
    connect(ButtonOK, &QPushButton::clicked, this, [this] {
        if (ButtonOKClick())
            accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TFormWordCloudOptions::ButtonOKClick()
{
    const int index = ListBox->currentRow();
    if (index < 0)
        return false;
    if (!OKToDoX(Format(CVDataFromColumnC, {ListBox->item(index)->text().trimmed()})))
        return false;
    if (dynamic_cast<TKWPlotList*>(&list) || dynamic_cast<TCollocateList*>(&list)
        || dynamic_cast<TPatternsList*>(&list))
        list.SetCloudColumn(index + 1);
    return true;
}

} // namespace cv
