#include "controller/help_not_found.h"

namespace cv {

QByteArray HelpNotFoundPage(const QString& path)
{
    // The links are absolute: the missing page may have been asked for in a
    // folder below the help's, where relative ones would miss too.
    const QString page =
        QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head><meta charset=\"utf-8\"><title>Page not found</title>"
                       "<link rel=\"stylesheet\" href=\"/style.css\"></head>\n<body>\n"
                       "<nav><a href=\"/index.html\">Contents</a></nav>\n"
                       "<h1>Page not found</h1>\n"
                       "<p class=\"note\">The help has no page <code>%1</code>.</p>\n"
                       "<p>The <a href=\"/index.html\">contents</a> list every page of the help.</p>\n"
                       "</body>\n</html>\n")
            .arg(path.toHtmlEscaped());
    return page.toUtf8();
}

QByteArray HelpNotFoundAnswer(const QString& path, bool head)
{
    const QByteArray body = HelpNotFoundPage(path);
    return "HTTP/1.0 404 Not Found\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + (head ? QByteArray() : body);
}

} // namespace cv
