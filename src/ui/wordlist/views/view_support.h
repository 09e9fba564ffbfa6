#pragma once
// What the picture windows (word cloud, moving-window plot) share: the size
// of a printed page in screen pixels, which sizes their pictures, and
// copying and printing a picture; and the help key of the view windows.

#include <QImage>
#include <QSize>
#include <QString>

class QWidget;

namespace cv {

// The printable part of the page the grids print on (the page set-up the
// user chose last), in pixels of the screen: width × horizontal dots per
// inch, height × vertical.
QSize PrintablePagePixels();

// Puts the picture on the clipboard.
void CopyImageToClipboard(const QImage& image);

// The print dialog (through the modal seam), then the picture scaled into the
// printable page, keeping its proportions. False when cancelled or when the
// printer failed.
bool PrintImage(QWidget* parent, const QImage& image, const QString& jobTitle);

// The window's help topic: its "helpContext", shown by F1 anywhere in it.
void SetWindowHelp(QWidget* window, int context);

} // namespace cv
