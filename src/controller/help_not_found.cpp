#include "controller/help_not_found.h"

namespace cv {

QByteArray HelpNotFoundPage(const QString& path)
{
    QString up;
    for (qsizetype folders = path.count(u'/') - 1; folders > 0; --folders)
        up += QStringLiteral("../");
    const QString page =
        QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head><meta charset=\"utf-8\"><title>Page not found</title>"
                       "<link rel=\"stylesheet\" href=\"%2style.css\"></head>\n<body>\n"
                       "<nav><a href=\"%2index.html\">Contents</a></nav>\n"
                       "<h1>Page not found</h1>\n"
                       "<p class=\"note\">The help has no page <code>%1</code>.</p>\n"
                       "<p>The <a href=\"%2index.html\">contents</a> list every page of the help.</p>\n"
                       "</body>\n</html>\n")
            .arg(path.toHtmlEscaped(), up);
    return page.toUtf8();
}

} // namespace cv
