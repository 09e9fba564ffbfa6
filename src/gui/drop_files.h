#pragma once
// Files dropped on a window, handed over as the system hands them: a drop
// handle that travels in WParam of message 563 (kWM_DROPFILES). The window
// that receives the drop registers the names and posts the handle to itself;
// the message's handler asks for the count and the names and releases the
// handle when it is done. A handle released or never registered names no files.

#include <QString>
#include <QStringList>

#include <cstdint>

namespace cv {

using TDropHandle = uint64_t;

// Keeps the names until DragFinish; never 0.
TDropHandle RegisterDroppedFiles(const QStringList& fileNames);
// The number of files of a drop (the system's query with index -1).
int DragQueryFileCount(TDropHandle drop);
// The name of file i of a drop, at most maxChars characters; empty out of range.
QString DragQueryFile(TDropHandle drop, int index, int maxChars = 255);
void DragFinish(TDropHandle drop);
// Drops registered and not yet released (for checks).
int PendingDrops();

} // namespace cv
