#pragma once
// What the screenshot walks share: letting the window system catch up, and
// saving a picture into the walk's folder.

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QString>
#include <QTextStream>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include <chrono>

namespace screens_walk {

inline void Settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

// Waits, at most `limit`, until the widget's window is on the screen (the
// X server has mapped it and told it so), then paints it there. A picture
// taken earlier, on a busy machine, is of an empty frame. False when the
// window was not shown in time.
inline bool WaitUntilShown(QWidget* w, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    QWidget* top = w->window();
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!(top->windowHandle() && top->windowHandle()->isExposed())) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    top->repaint();
    Settle();
    return true;
}

// "<name>.png" in the folder; false (the file named on standard error) when it cannot be written.
inline bool SavePicture(const QPixmap& picture, const QString& dir, const QString& name)
{
    const QString file = QDir(dir).filePath(name + QStringLiteral(".png"));
    if (picture.isNull() || !picture.save(file)) {
        QTextStream(stderr) << "cannot write " << file << Qt::endl;
        return false;
    }
    QTextStream(stdout) << file << Qt::endl;
    return true;
}

} // namespace screens_walk
