#include "crashreport/dialogs/detailed_dialog.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QMoveEvent>
#include <QPainter>
#include <QPushButton>
#include <QTabBar>
#include <QUrl>

#include <algorithm>
#include <charconv>

#include "crashreport/core/handler/dialog_state.h"
#include "crashreport/core/support/profile_file.h"
#include "crashreport/core/support/text_routines.h"
#include "crashreport/dialogs/dialog_pictures.h"
#include "gui/desktop_services.h"

namespace cv {

namespace {

constexpr QSize kTemplateUnits(473, 248);
constexpr int kReferenceWidth = 466;
constexpr int kReferenceHeight = 252;
constexpr const char* kIniFile = "Crashbox.ini";
constexpr const char* kSection = "Coordinates";
// A stored size below this is no window anyone could use: the default is taken.
constexpr int kSmallestWidth = 340;
constexpr int kSmallestHeight = 120;

// A stored number, or the default when none is stored or it is no whole number.
int ReadCoordinate(const char* key, int defaultValue)
{
    const std::string text = TrimA(IniReadString(kIniFile, kSection, key, std::to_string(defaultValue)));
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return defaultValue;
    return value;
}

} // namespace

int CheckBoxAreaHeight(bool sendShown, bool screenshotShown, bool copyShown, bool supportLinkShown)
{
    if (!sendShown && !screenshotShown && !copyShown && !supportLinkShown)
        return 0;
    if ((sendShown && screenshotShown) || (copyShown && supportLinkShown))
        return 34;
    return 20;
}

TCompactLayout CompactLayout(const TTextMeasurer& measurer, const QFont& font, const QString& message,
                             const QString& checkBoxLine, int captionHeight)
{
    const TDialogMetrics& m = DialogMetrics();
    const int frame = (m.CxFrame - 1) * 2 + 60;
    const int limit = 640 - frame;
    QString text = message;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    lines << checkBoxLine;
    int maxWidth = 0;
    int textHeight = 0;
    for (const QString& line : lines) {
        const TTextExtent e = measurer.Extent(font, line.isEmpty() ? QStringLiteral(" ") : line);
        if (e.cx > maxWidth) {
            maxWidth = e.cx + 16;
            if (maxWidth > limit) {
                textHeight += ((maxWidth - limit) / limit + 1) * e.cy;
                maxWidth = limit;
            }
        }
        textHeight += e.cy;
    }
    TCompactLayout layout;
    layout.WindowWidth = std::max(maxWidth + frame, 340);
    layout.LabelWidth = layout.WindowWidth - frame;
    layout.TextHeight = textHeight;
    layout.WindowHeight = (m.CyFrame - 1) * 2 + std::max(textHeight - 39, 0) + 88 + captionHeight;
    return layout;
}

TDetailedWindow LoadDetailedWindowCoordinates(const QRect& workArea, int checkBoxAreaHeight)
{
    TDetailedWindow window;
    const int w = workArea.width(), h = workArea.height();
    window.Width = ReadCoordinate("Width", 745);
    if (window.Width < kSmallestWidth)
        window.Width = 745;
    window.Height = ReadCoordinate("Height", 468);
    if (window.Height < kSmallestHeight)
        window.Height = 468;
    window.Left = ReadCoordinate("Left", workArea.left() + (w - window.Width) / 2);
    window.Top = ReadCoordinate("Top", workArea.top() + (h - (window.Height + checkBoxAreaHeight)) / 2);
    window.ShowState = ReadCoordinate("WindowsState", 1);
    if (window.ShowState != 3 && window.ShowState != 6)
        window.ShowState = 1;
    const int right = workArea.left() + w, bottom = workArea.top() + h;
    if (window.Top < workArea.top() || window.Top + window.Height > bottom || window.Left < workArea.left() ||
        window.Left + window.Width > right) {
        window.Left = workArea.left() + (w - window.Width) / 2;
        window.Top = workArea.top() + (h - window.Height) / 2;
    }
    return window;
}

void SaveDetailedWindowCoordinates(const TDetailedWindow& window, int checkBoxAreaHeight)
{
    if (!window.Remembered)
        return;
    if (window.ShowState == 1) {
        IniWriteString(kIniFile, kSection, "Width", std::to_string(window.Width));
        IniWriteString(kIniFile, kSection, "Height", std::to_string(window.Height - checkBoxAreaHeight));
        IniWriteString(kIniFile, kSection, "Left", std::to_string(window.Left));
        IniWriteString(kIniFile, kSection, "Top", std::to_string(window.Top));
    }
    IniWriteString(kIniFile, kSection, "WindowsState", std::to_string(window.ShowState));
}

TDetailedDialog::TDetailedDialog(TExceptionDialogHost& host, const TTextMeasurer& measurer, QWidget* parent)
    : TCrashDialog(*host.Options, measurer, kTemplateUnits, parent), m_host(host), m_errorPicture(ErrorPicture())
{
    TCrashboxModuleOptions& options = *host.Options;
    TExceptionDialogState& state = ExceptionDialogState();
    const TExceptionDialogOptions dialogOptions = options.ExceptionDialogOptions();
    const bool lookAndFeel = dialogOptions.Contains(edoUseCrashboxLookAndFeel);
    auto text = [&](TMessageType type) { return QString::fromStdString(options.GetExpandedText(type)); };

    ApplyWindowStyle(!lookAndFeel, lookAndFeel, text(mtDialog_Caption), true);

    state.SendOptionShown = ComputeSendOptionShown(options, host.DuplicateInLog);
    m_screenshotShown = options.CommonSendOptions().Contains(sndSendScreenshot) && state.SendOptionShown &&
                        dialogOptions.Contains(edoShowAttachScreenshotOption);
    state.CopyChecked = true;
    state.SendChecked = true;
    m_copyShown = dialogOptions.Contains(edoShowCopyToClipOption);
    m_linkShown = !TrimA(options.SupportURL()).empty();
    m_checkBoxArea = CheckBoxAreaHeight(state.SendOptionShown, m_screenshotShown, m_copyShown, m_linkShown);
    m_detailsShown = state.DialogShownAgain || dialogOptions.Contains(edoShowInDetailedMode);
    m_terminateShown =
        options.TerminateBtnOperation() != tbNone && host.ExceptionCount > options.ErrorsNumberToShowTerminateBtn();
    m_background = lookAndFeel ? QColor(0xD4, 0xD0, 0xC8) : palette().color(QPalette::Button);

    QWidget* client = Client();
    client->setAutoFillBackground(true);
    QPalette colours = client->palette();
    colours.setColor(QPalette::Window, m_background);
    client->setPalette(colours);

    m_message = new QLabel(client);
    m_message->setFont(Fonts().Message);
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_tabArea = new QWidget(client);
    m_tabs = new QTabBar(m_tabArea);
    m_tabs->setFont(Fonts().Message);
    m_tabs->setDrawBase(false);
    m_tabs->setExpanding(false);
    m_panel = new QFrame(m_tabArea);
    m_panel->setFrameShape(QFrame::StyledPanel);

    m_ok = new QPushButton(text(mtDialog_OKButtonCaption), client);
    m_terminate = new QPushButton(
        text(options.TerminateBtnOperation() == tbTerminate ? mtDialog_TerminateButtonCaption : mtDialog_RestartButtonCaption),
        client);
    m_details = new QPushButton(client);
    m_custom = new QPushButton(text(mtDialog_CustomButtonCaption), client);
    for (QPushButton* button : {m_ok, m_terminate, m_details, m_custom}) {
        button->setFont(Fonts().Message);
        button->setAutoDefault(false);
    }
    m_ok->setDefault(true);
    m_custom->setVisible(dialogOptions.Contains(edoShowCustomButton));
    connect(m_ok, &QPushButton::clicked, this, [this] { OKClicked(); });
    connect(m_terminate, &QPushButton::clicked, this, [this] { TerminateClicked(); });
    connect(m_details, &QPushButton::clicked, this, [this] { DetailsClicked(); });
    connect(m_custom, &QPushButton::clicked, this, [this] { CustomClicked(); });

    m_sendCheck = new QCheckBox(client);
    m_screenshotCheck = new QCheckBox(client);
    m_copyCheck = new QCheckBox(client);
    m_copyCheck->setLayoutDirection(Qt::RightToLeft); // the text left of its box
    m_sendCheck->setChecked(state.SendChecked && dialogOptions.Contains(edoSendErrorReportChecked));
    m_screenshotCheck->setEnabled(m_sendCheck->isChecked());
    m_sendCheck->setVisible(state.SendOptionShown);
    m_screenshotCheck->setVisible(state.SendOptionShown && m_screenshotShown);
    m_screenshotCheck->setChecked(state.ScreenshotChecked && dialogOptions.Contains(edoAttachScreenshotChecked));
    m_copyCheck->setChecked(false);
    m_copyCheck->setVisible(m_copyShown);
    connect(m_sendCheck, &QCheckBox::toggled, this, [this] { SendToggled(); });

    m_tabs->addTab(text(mtDialog_GeneralCaption));
    m_tabs->addTab(text(mtDialog_CallStackCaption));
    m_hasModules = options.LogOptions().Contains(loSaveModulesAndProcessesSections);
    m_hasAssembler = options.LogOptions().Contains(loSaveAssemblerAndCPUSections);
    if (m_hasModules) {
        m_tabs->addTab(text(mtDialog_ModulesCaption));
        m_tabs->addTab(text(mtDialog_ProcessesCaption));
    }
    if (m_hasAssembler) {
        m_tabs->addTab(text(mtDialog_AsmCaption));
        m_tabs->addTab(text(mtDialog_CPUCaption));
    }

    int page = int(options.ForegroundTab());
    if (((page == tpModules || page == tpProcesses) && !m_hasModules) ||
        ((page == tpAssembler || page == tpCPU) && !m_hasAssembler))
        page = tpGeneral;
    m_ok->setFocus();
    ShowTabPage(-page);
    for (int position = 0; position < m_tabs->count(); ++position)
        if (PageAtTab(position) == page)
            m_tabs->setCurrentIndex(position);
    connect(m_tabs, &QTabBar::currentChanged, this, [this](int position) { ShowTabPage(position); });

    auto* area = static_cast<TDialogClient*>(client);
    area->OnPaint = [this](QPainter& painter) { Paint(painter); };
    area->OnMouseMove = [this](const QPoint& at) { MouseMoved(at); };
    area->OnLeftButtonUp = [this](const QPoint& at) { LeftButtonUp(at); };
    area->OnResize = [this] { Relayout(); };

    m_initialised = true;
    SetDetailedMode(m_detailsShown);

    StartPaintedCheck();
    StartAutoCloseTimer();
    StartKeepForeground();
}

TDetailedDialog::~TDetailedDialog()
{
    // The page writes its column widths as it goes.
    delete m_page;
    m_page = nullptr;
}

TTabPage TDetailedDialog::PageAtTab(int position) const
{
    if ((position == 2 || position == 3) && !m_hasModules)
        return TTabPage(position + 2);
    return TTabPage(std::clamp(position, 0, kTabPageCount - 1));
}

int TDetailedDialog::ButtonWidth() const
{
    const TCrashboxModuleOptions& options = Options();
    int width = 75;
    for (const TMessageType caption : {mtDialog_OKButtonCaption, mtDialog_TerminateButtonCaption,
                                       mtDialog_RestartButtonCaption, mtDialog_DetailsButtonCaption,
                                       mtDialog_CustomButtonCaption})
        width = std::max(width, GetTextWidth(Measurer(), Fonts().Message,
                                             ButtonCaptionText(options.GetExpandedText(caption)) + QStringLiteral("O")));
    return width;
}

void TDetailedDialog::ShowTabPage(int page)
{
    const TTabPage shown = page <= 0 ? TTabPage(std::clamp(-page, 0, kTabPageCount - 1)) : PageAtTab(page);
    delete m_page;
    m_page = new TTabPageWidget(shown, m_host, Fonts(), Measurer(), m_panel);
    m_page->show();
    FitTabPage();
}

void TDetailedDialog::FitTabPage()
{
    const int tabHeight = m_tabs->sizeHint().height();
    m_tabs->setGeometry(0, 0, m_tabArea->width(), tabHeight);
    m_panel->setGeometry(0, tabHeight - 1, m_tabArea->width(), std::max(1, m_tabArea->height() - tabHeight + 1));
    if (m_page)
        m_page->setGeometry(m_panel->contentsRect());
}

void TDetailedDialog::Relayout()
{
    if (!m_initialised)
        return;
    const TCrashboxModuleOptions& options = Options();
    QWidget* client = Client();
    const int w = client->width(), h = client->height();
    const int dx = w - kReferenceWidth, dy = h - kReferenceHeight;
    m_tabArea->setGeometry(4, 52, std::max(1, 458 + dx), std::max(1, 162 + dy - m_checkBoxArea));
    if (m_detailsShown)
        m_message->setGeometry(48, 8, std::max(1, 410 + dx), 42);

    const int bw = ButtonWidth();
    const int y = h - 32 - m_checkBoxArea;
    int x = (w - bw) / 2;
    m_terminate->setGeometry(5, y, bw, 25);
    m_terminate->setVisible(m_terminateShown);
    const int x5 = m_terminateShown ? bw + 13 : 5;
    const bool custom = options.ExceptionDialogOptions().Contains(edoShowCustomButton);
    if (custom && x5 + bw >= x)
        x = x5 + bw + 8;
    m_custom->setGeometry(x5, y, bw, 25);
    m_ok->setGeometry(x, y, bw, 25);

    const int half = (w - 8) / 2;
    auto text = [&](TMessageType type) { return QString::fromStdString(options.GetExpandedText(type)); };
    m_sendCheck->setGeometry(4, y + 34, half, 16);
    m_copyCheck->setGeometry(w - half - 4, y + 34, half, 16);
    m_screenshotCheck->setGeometry(23, y + 50, w / 2, 16);
    m_sendCheck->setText(text(mtDialog_SendMessage));
    m_copyCheck->setText(text(mtDialog_CopyMessage));
    m_screenshotCheck->setText(text(mtDialog_ScreenshotMessage));
    for (QCheckBox* box : {m_sendCheck, m_copyCheck, m_screenshotCheck})
        box->setFont(Fonts().Message);

    const QString support = text(mtDialog_SupportMessage);
    const TTextExtent link = Measurer().Extent(Fonts().MessageBoldUnderline, support);
    const int left = w - 4 - link.cx;
    const int top = y + 34 + (m_copyShown ? 16 : 0);
    m_link.Rect = m_linkShown ? QRect(left, top, link.cx, std::max(13, link.cy)) : QRect();
    m_link.Hovered = false;

    m_details->setGeometry(w - bw - 5, y, bw, 25);
    m_details->setVisible(options.ExceptionDialogOptions().Contains(edoShowDetailsButton) &&
                          !ExceptionDialogState().DialogShownAgain);

    if (windowState() & Qt::WindowMaximized) {
        m_window.ShowState = 3;
    } else if (windowState() & Qt::WindowMinimized) {
        m_window.ShowState = 6;
    } else if (m_detailsShown) {
        m_window.ShowState = 1;
        const QSize outer = OuterSize();
        m_window.Width = outer.width();
        m_window.Height = outer.height();
        m_window.Remembered = true;
    }
    FitTabPage();
    client->update();
}

void TDetailedDialog::SetDetailedMode(bool detailed)
{
    const TCrashboxModuleOptions& options = Options();
    auto text = [&](TMessageType type) { return QString::fromStdString(options.GetExpandedText(type)); };
    if (!detailed && (windowState() & (Qt::WindowMaximized | Qt::WindowMinimized)))
        setWindowState(Qt::WindowNoState);
    SetDetailedFrame(detailed);
    QString detailsCaption;
    if (detailed) {
        detailsCaption = QStringLiteral("<< ") + text(mtDialog_DetailsButtonCaption);
        m_message->setText(text(mtDialog_ErrorMsgCaption));
        const TDetailedWindow stored = LoadDetailedWindowCoordinates(DialogWorkArea(), m_checkBoxArea);
        setMinimumSize(QSize(kSmallestWidth, kSmallestHeight + m_checkBoxArea) - NonClientSize());
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        m_tabArea->show();
        SetOuterGeometry(QRect(stored.Left, stored.Top, stored.Width, stored.Height + m_checkBoxArea));
        m_window.Left = stored.Left;
        m_window.Top = stored.Top;
        if (stored.ShowState == 3)
            setWindowState(Qt::WindowMaximized);
        else if (stored.ShowState == 6)
            setWindowState(Qt::WindowMinimized);
        m_window.ShowState = stored.ShowState;
    } else {
        detailsCaption = text(mtDialog_DetailsButtonCaption) + QStringLiteral(" >>");
        const QString message = QString::fromStdString(m_host.ErrorMessage);
        m_message->setText(message);
        const TCompactLayout layout =
            CompactLayout(Measurer(), Fonts().Message, message,
                          text(mtDialog_SendMessage) + QStringLiteral("    ") + text(mtDialog_CopyMessage), CaptionHeight());
        m_tabArea->hide();
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        const QRect area = DialogWorkArea();
        const QSize outer(layout.WindowWidth, layout.WindowHeight + m_checkBoxArea);
        SetOuterGeometry(QRect(area.left() + (area.width() - layout.WindowWidth) / 2,
                               area.top() + (area.height() - layout.WindowHeight) / 2, outer.width(), outer.height()));
        m_message->setGeometry(48, 8, layout.LabelWidth, layout.TextHeight);
        // Compact, the window keeps its size.
        const QSize fixed = size();
        setMinimumSize(fixed);
        setMaximumSize(fixed);
    }
    m_details->setText(detailsCaption);
    Relayout();
}

void TDetailedDialog::Paint(QPainter& painter)
{
    painter.drawImage(QRect(8, 8, 32, 32), m_errorPicture);
    if (!m_linkShown)
        return;
    painter.fillRect(m_link.Rect, m_background);
    painter.setFont(Fonts().MessageBoldUnderline);
    painter.setPen(QColor(0, 0, 128));
    painter.drawText(m_link.Rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     QString::fromStdString(Options().GetExpandedText(mtDialog_SupportMessage)));
}

void TDetailedDialog::MouseMoved(const QPoint& at) { m_link.MouseMoved(*Client(), at); }

void TDetailedDialog::LeftButtonUp(const QPoint& at)
{
    MouseMoved(at);
    if (!m_link.Hovered)
        return;
    SetTopMost(false);
    CurrentDesktopService()->OpenUrl(QUrl::fromUserInput(QString::fromStdString(TrimA(Options().SupportURL()))));
}

void TDetailedDialog::EndWith(TExceptionDialogType kind)
{
    ExceptionDialogState().DialogType = kind;
    done(QDialog::Accepted);
}

void TDetailedDialog::OKClicked() { EndWith(edtNone); }

void TDetailedDialog::TerminateClicked()
{
    ExceptionDialogState().TerminateRequested = true;
    EndWith(edtNone);
}

void TDetailedDialog::RememberPosition()
{
    if (!m_detailsShown || (windowState() & (Qt::WindowMaximized | Qt::WindowMinimized)))
        return;
    const QRect outer = OuterGeometry();
    m_window.Left = outer.left();
    m_window.Top = outer.top();
}

void TDetailedDialog::DetailsClicked()
{
    if (m_detailsShown) {
        RememberPosition();
        SaveDetailedWindowCoordinates(m_window, m_checkBoxArea);
    }
    m_detailsShown = !m_detailsShown;
    update();
    SetDetailedMode(m_detailsShown);
}

void TDetailedDialog::CustomClicked()
{
    if (m_host.CustomButtonClosesDialog())
        EndWith(edtNone);
}

void TDetailedDialog::SendToggled() { m_screenshotCheck->setEnabled(m_sendCheck->isChecked()); }

void TDetailedDialog::reject()
{
    TExceptionDialogState& state = ExceptionDialogState();
    state.SendChecked = false;
    state.DialogCancelled = true;
    state.CopyChecked = false;
    EndWith(edtNone);
}

void TDetailedDialog::NeverPainted() { EndWith(edtNone); }

void TDetailedDialog::AutoClose() { EndWith(edtNone); }

void TDetailedDialog::moveEvent(QMoveEvent* event)
{
    TCrashDialog::moveEvent(event);
    if (m_initialised)
        RememberPosition();
}

void TDetailedDialog::changeEvent(QEvent* event)
{
    TCrashDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Relayout();
}

void TDetailedDialog::done(int result)
{
    if (!m_finished) {
        m_finished = true;
        TExceptionDialogState& state = ExceptionDialogState();
        TCrashboxModuleOptions& options = *m_host.Options;
        StopAutoCloseTimer();
        StopKeepForeground();
        TExceptionDialogOptions dialogOptions = options.ExceptionDialogOptions();
        state.SendChecked = state.SendChecked && m_sendCheck->isChecked();
        dialogOptions.Switch(edoSendErrorReportChecked, state.SendChecked);
        state.ScreenshotChecked = m_screenshotCheck->isChecked();
        dialogOptions.Switch(edoAttachScreenshotChecked, state.ScreenshotChecked);
        options.SetExceptionDialogOptions(dialogOptions);
        state.CopyChecked = state.CopyChecked && m_copyCheck->isChecked();
        delete m_page;
        m_page = nullptr;
        if (m_detailsShown) {
            RememberPosition();
            SaveDetailedWindowCoordinates(m_window, m_checkBoxArea);
        }
    }
    TCrashDialog::done(result);
}

} // namespace cv
