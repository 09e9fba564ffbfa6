#pragma once
// The small pictures of the crash-report dialogs, drawn by our own code:
// the error sign of the exception dialogs, the letter of the send-progress
// dialog, the four row icons of the list pages (library, package, program,
// source unit), the expand and collapse boxes of group rows, and the arrow
// the screenshot draws where the mouse pointer was. Transparent where
// nothing is drawn.

#include <QImage>

namespace cv {

QImage ErrorPicture();            // 32 x 32
QImage SendPicture();             // 32 x 32
// 16 x 16: 0 library, 1 package, 2 program, 3 source unit; others empty.
QImage ListIcon(int index);
QImage ExpandBox(bool expanded);  // 13 x 13: minus when expanded, else plus
QImage ArrowCursor();             // 32 x 32, its hot spot at (0, 0)

} // namespace cv
