#include "files/system_error.h"

#include <cerrno>
#include <cstring>

namespace cv {

QString SystemErrorText(int error)
{
    const QString text = QString::fromLocal8Bit(std::strerror(error));
    return error == EFBIG ? text + QStringLiteral(" (beyond the file-size limit of this process, ulimit -f)") : text;
}

} // namespace cv
