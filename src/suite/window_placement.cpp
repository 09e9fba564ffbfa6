#include "suite/window_placement.h"

#include <algorithm>
#include <cstdint>

namespace cv {

QRect NewWindowRect(const QRect& area, QSize wanted, QSize minimum, std::optional<QPoint> centre)
{
    const QSize most(std::max(1, area.width() - kWindowFrameAllowanceWidth),
                     std::max(1, area.height() - kWindowFrameAllowanceHeight));
    const QSize size = wanted.boundedTo(most).expandedTo(minimum);
    QRect placed(QPoint(0, 0), size);
    placed.moveCenter(centre.value_or(area.center()));
    // The frame's allowance goes to the right and below: the whole frame stays in.
    const int left = std::clamp(placed.left(), area.left(),
                                std::max(area.left(), area.right() + 1 - size.width() - kWindowFrameAllowanceWidth));
    const int top = std::clamp(placed.top(), area.top(),
                               std::max(area.top(), area.bottom() + 1 - size.height() - kWindowFrameAllowanceHeight));
    placed.moveTopLeft(QPoint(left, top));
    return placed;
}

int64_t PackScreenPoint(QPoint p)
{
    return int64_t((uint64_t(uint32_t(p.x())) << 32) | uint64_t(uint32_t(p.y())));
}

QPoint UnpackScreenPoint(int64_t packed)
{
    const auto bits = uint64_t(packed);
    return QPoint(int32_t(uint32_t(bits >> 32)), int32_t(uint32_t(bits & 0xFFFFFFFFu)));
}

} // namespace cv
