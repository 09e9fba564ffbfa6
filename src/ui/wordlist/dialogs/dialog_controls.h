#pragma once
// The controls the small dialogs of the word-list tool are made of: a push
// button and a label with their object names (tests find them by it), and
// the images of the suite's tool image list the buttons show.

#include <QLabel>
#include <QPushButton>
#include <QString>

namespace cv {

// Button images of the suite's tool image list.
enum : int {
    kImageOK = 140,
    kImageCancel = 139,
    kImageHelp = 144,
    kImageChange = 62,
    kImageSwap = 174,
    kImageAscending = 332,
    kImageDescending = 333,
};

inline QPushButton* Button(QWidget* parent, const QString& caption, int image, const char* name)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setProperty("imageIndex", image);
    return b;
}

inline QLabel* Label(QWidget* parent, const QString& caption, const char* name)
{
    auto* l = new QLabel(caption, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

} // namespace cv
