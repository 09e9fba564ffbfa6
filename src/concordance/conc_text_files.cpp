#include "concordance/conc_text_files.h"

#include "suite/cv_stream.h"

#include <QRegularExpression>

namespace cv {

bool SaveUtf16TextFile(const QString& fileName, const QStringList& lines, QString* error)
{
    TMemoryStream m;
    m.WriteU16(0xFEFF);
    for (const QString& line : lines) {
        for (QChar c : line)
            m.WriteU16(c.unicode());
        m.WriteU16(u'\r');
        m.WriteU16(u'\n');
    }
    return m.SaveToFile(fileName, error);
}

QString AcceptableFilename(const QString& text)
{
    QString name;
    name.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        const bool bad = u < 32 || u == u'<' || u == u'>' || u == u':' || u == u'"' || u == u'/' || u == u'\\'
            || u == u'|' || u == u'?' || u == u'*';
        name += bad ? QChar(u'_') : c;
    }
    while (!name.isEmpty() && (name.back() == u'.' || name.back() == u' '))
        name.chop(1);
    if (name.isEmpty())
        return QStringLiteral("_");
    static const QRegularExpression reserved(QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(\\..*)?$"),
                                             QRegularExpression::CaseInsensitiveOption);
    if (reserved.match(name).hasMatch())
        name.prepend(u'_');
    return name;
}

} // namespace cv
