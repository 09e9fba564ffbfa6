#pragma once
// The system's own words for a failure, for the messages that carry them.

#include <QString>

namespace cv {

// The system's text for an error number (strerror), e.g. "No space left on
// device"; a write beyond the process's file-size limit says so.
QString SystemErrorText(int error);

} // namespace cv
