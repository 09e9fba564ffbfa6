#include "crashreport/gui_facts/qt_gui_facts.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPrinterInfo>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cmath>

namespace cv {

TQtGuiFacts::TQtGuiFacts(QObject* parent) : QObject(parent)
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app)
        return;
    connect(app, &QGuiApplication::primaryScreenChanged, this, [this](QScreen* screen) {
        FollowScreen(screen);
        RecordDisplay();
    });
    connect(app, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
        FollowWindow(window);
        RecordActiveWindow();
    });
    FollowScreen(QGuiApplication::primaryScreen());
    FollowWindow(QGuiApplication::focusWindow());
    RecordDisplay();
    RecordActiveWindow();
    // Asking for the printers may wait for the print system: not before the window is up.
    QTimer::singleShot(0, this, [this] { RecordPrinter(); });
}

std::optional<TDisplayFacts> TQtGuiFacts::Display() const
{
    std::lock_guard guard(m_lock);
    return m_display;
}

std::string TQtGuiFacts::DefaultPrinter() const
{
    std::lock_guard guard(m_lock);
    return m_printer;
}

TActiveWindowFacts TQtGuiFacts::ActiveWindow() const
{
    std::lock_guard guard(m_lock);
    return m_window;
}

void TQtGuiFacts::Refresh()
{
    RecordDisplay();
    RecordPrinter();
    RecordActiveWindow();
}

void TQtGuiFacts::FollowScreen(QScreen* screen)
{
    if (!screen)
        return;
    // Connections to an earlier primary screen stay: they only record again.
    connect(screen, &QScreen::geometryChanged, this, &TQtGuiFacts::RecordDisplay, Qt::UniqueConnection);
    connect(screen, &QScreen::logicalDotsPerInchChanged, this, &TQtGuiFacts::RecordDisplay, Qt::UniqueConnection);
}

void TQtGuiFacts::FollowWindow(QWindow* window)
{
    disconnect(m_titleConnection);
    m_followedWindow = window;
    if (window)
        m_titleConnection = connect(window, &QWindow::windowTitleChanged, this, &TQtGuiFacts::RecordActiveWindow);
}

void TQtGuiFacts::RecordDisplay()
{
    std::optional<TDisplayFacts> display;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect geometry = screen->geometry();
        display = TDisplayFacts{geometry.width(), geometry.height(), screen->depth(),
                                int(std::lround(screen->logicalDotsPerInchY()))};
    }
    std::lock_guard guard(m_lock);
    m_display = display;
}

void TQtGuiFacts::RecordPrinter()
{
    const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    std::string text;
    if (!printer.isNull()) {
        text = printer.printerName().toStdString();
        if (const QString model = printer.makeAndModel(); !model.isEmpty())
            text += " (driver " + model.toStdString() + ")";
    }
    std::lock_guard guard(m_lock);
    m_printer = text;
}

void TQtGuiFacts::RecordActiveWindow()
{
    // A window of widgets is named by its widget's class.
    TActiveWindowFacts facts;
    if (const QWidget* widget = qobject_cast<QApplication*>(QCoreApplication::instance()) ? QApplication::activeWindow() : nullptr) {
        facts.ClassName = widget->metaObject()->className();
        facts.Text = widget->windowTitle().toStdString();
    } else if (const QWindow* window = m_followedWindow.data()) {
        facts.ClassName = window->metaObject()->className();
        facts.Text = window->title().toStdString();
    }
    std::lock_guard guard(m_lock);
    m_window = facts;
}

TQtGuiFactsRegistration::TQtGuiFactsRegistration()
    : m_facts(std::make_unique<TQtGuiFacts>()), m_windows(std::make_shared<TQtWindowServices>())
{
    // The core holds the facts without owning them: this object does.
    RegisterGuiFacts(std::shared_ptr<const TGuiFacts>(m_facts.get(), [](const TGuiFacts*) {}));
    RegisterWindowServices(m_windows);
}

TQtGuiFactsRegistration::~TQtGuiFactsRegistration()
{
    if (RegisteredGuiFacts().get() == m_facts.get())
        RegisterGuiFacts(nullptr);
    if (RegisteredWindowServices() == m_windows)
        RegisterWindowServices(nullptr);
}

} // namespace cv
