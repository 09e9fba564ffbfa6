// The report's windows paint when no thread can start: Qt's painting hands
// the pieces of a large fill to its shared pool and waits for them, and a
// pool thread that cannot start would leave the painting thread waiting for
// good. While a report is made, the pool door runs those pieces on the
// painting thread.

#include <gtest/gtest.h>

#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>

#include "crashreport/core/capture/code_hooks.h"
#include "crashreport/core/handler/report_threads.h"
#include "support/test_support.h"

namespace {

int ThreadCount() { return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size()); }

TEST(ReportPainting, ALargeFillIsPaintedWhileAReportIsMadeWhenNoThreadCanStart)
{
    int result = -1;
    const QString text = cvtest::runInChild(
        [] {
            cv::InitHooks();
            const bool door = cv::InstallReportPoolDoor();
            // Large and translucent: the fill is split into pieces for the pool.
            QImage image(1600, 1200, QImage::Format_ARGB32_Premultiplied);
            const int threadsBefore = ThreadCount();
            // No room left for a thread's stack.
            cvtest::limitAddressSpace(4 << 20);
            {
                const cv::TReportThreadLimit report;
                image.fill(Qt::white);
                QPainter painter(&image);
                painter.fillRect(image.rect(), QColor(10, 20, 30, 128));
            }
            const QColor middle = image.pixelColor(800, 600);
            return QStringLiteral("door %1, new threads %2, painted %3")
                .arg(door ? QStringLiteral("in") : QStringLiteral("missing"))
                .arg(ThreadCount() - threadsBefore)
                .arg(middle != QColor(Qt::white) ? QStringLiteral("yes") : QStringLiteral("no"));
        },
        &result, std::chrono::seconds(10));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(text.toStdString(), "door in, new threads 0, painted yes");
}

} // namespace
