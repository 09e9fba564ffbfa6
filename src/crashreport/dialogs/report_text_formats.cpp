#include "crashreport/dialogs/report_text_formats.h"

namespace cv {

std::string DateTimeToLogString(const QDateTime& time)
{
    if (!time.isValid())
        return {};
    return time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toStdString();
}

} // namespace cv
