#pragma once
// The help server's answer for a page that is not there: a page in the
// help's own style (its style sheet, a heading, a link to the contents)
// that names the page asked for, sent with status 404 so that a browser
// shows it and a link checker still sees the broken link.

#include <QByteArray>
#include <QString>

namespace cv {

// The page alone (UTF-8 HTML); `path` is the path asked for, shown escaped.
QByteArray HelpNotFoundPage(const QString& path);

// The whole HTTP/1.0 response: status 404, text/html, and the page unless
// `head` (a HEAD request gets the headers alone, with the page's length).
QByteArray HelpNotFoundAnswer(const QString& path, bool head);

} // namespace cv
