#pragma once
// The help server's answer for a page that is not there: a page in the
// help's own style (its style sheet, a heading, a link to the contents)
// that names the page asked for, sent with status 404 so that a browser
// shows it and a link checker still sees the broken link.

#include <QByteArray>
#include <QString>

namespace cv {

// The page (UTF-8 HTML); `path` is the path asked for below the help's
// folder, shown escaped. Its links climb back from the folder `path` names
// to the help's own (the help's address holds the run's key, so links from
// the server's root would miss it).
QByteArray HelpNotFoundPage(const QString& path);

} // namespace cv
