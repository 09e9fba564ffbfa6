#pragma once
// The screenshot that travels with a report: the program's windows (or the
// active window alone, with sndUseOnlyActiveWindow) as they were when the
// exception came, the window that had the keyboard focus framed twice in
// red, an arrow where the mouse pointer was; reduced to 256 colours and
// written as a palette PNG (crashreport/core/report/png_writer.h).
//
// One capture at a time (the handler takes one exception at a time); the
// handler remembers the focus and the pointer when it catches the exception
// (RememberScreenshotFocus), captures, saves when the report is to be sent,
// and frees the capture. Runs on the GUI thread.

#include <QImage>
#include <QPoint>
#include <QRect>

#include <optional>
#include <string>

#include "crashreport/core/options/crashbox_options.h"

namespace cv {

// The focused widget's rectangle and the pointer's position (screen
// coordinates), as they are now.
void RememberScreenshotFocus();
// Or given (tests, a reporter process that knows them from the report).
void RememberScreenshotFocus(std::optional<QRect> focus, std::optional<QPoint> cursor);

// The area to capture (screen coordinates): the active window's frame with
// sndUseOnlyActiveWindow; else the screens that hold the program's visible
// windows; the whole desktop when there is neither. At least 1 x 1.
QRect ScreenshotArea(const TCrashboxModuleOptions& options);

// The two red frames (the second one pixel inside the first) around the
// focus rectangle and the arrow at the pointer, both in screen coordinates,
// drawn on a picture of the area that starts at `origin`.
void DrawFocusAndCursor(QImage& picture, const QPoint& origin, const std::optional<QRect>& focus,
                        const std::optional<QPoint>& cursor);

// Captures the area of the options into the screenshot state.
void CaptureScreenshot(const TCrashboxModuleOptions& options);
// The captured picture (null when there is none).
const QImage& ScreenshotImage();
// Writes the capture as PNG (nothing for an empty name or no capture).
// Failures are caught: no file results and the report goes without it.
bool SaveScreenshotToPNG(const std::string& fileName);
void FreeScreenshot();

} // namespace cv
