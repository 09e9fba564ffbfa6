#pragma once
// Where a new top-level window goes: a size no larger than the available
// area of its screen, with room left for the window manager's frame (not
// known before the window is framed), centred on a point (the window it is
// about, or the screen's middle) and wholly inside the area.

#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

namespace cv {

// What is kept free for a frame: borders and a title bar.
constexpr int kWindowFrameAllowanceWidth = 16;
constexpr int kWindowFrameAllowanceHeight = 48;

// The window's client rectangle: `wanted` (never below `minimum`) within
// `area`, centred on `centre` when given, else on the area.
QRect NewWindowRect(const QRect& area, QSize wanted, QSize minimum, std::optional<QPoint> centre);

// A screen point in a 64-bit message parameter (x high, y low), and back.
int64_t PackScreenPoint(QPoint p);
QPoint UnpackScreenPoint(int64_t packed);

} // namespace cv
