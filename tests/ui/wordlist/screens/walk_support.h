#pragma once
// What the screenshot walks share: letting the window system catch up, and
// saving a picture into the walk's folder.

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QString>
#include <QTextStream>

namespace screens_walk {

inline void Settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
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
