#pragma once
// The report log's XML copy as Python's XML parser reads it: every element
// with its attributes, depth first, as JSON, and small readers of that tree.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include "crashreport/core/report/log_file.h"
#include "crashreport/core/python_oracle.h"
#include "support/test_support.h"

namespace cvtest::logxml {

inline const char* const kDumpScript = R"(
import sys, json, xml.etree.ElementTree as ET
def walk(e):
    return {'tag': e.tag, 'attrs': dict(e.attrib), 'children': [walk(c) for c in e]}
print(json.dumps(walk(ET.parse(sys.argv[1]).getroot())))
)";

// The log's XML copy, parsed; an empty object (and the error) when Python fails.
inline QJsonObject ParsedXML(const cv::TLogFile& log, QString* error)
{
    TempDir dir;
    const std::string name = dir.file("copy.xml").toStdString();
    log.SaveXMLCopy(name);
    return QJsonDocument::fromJson(runPython(QString::fromUtf8(kDumpScript), {QString::fromStdString(name)}, {}, error)).object();
}

inline QJsonArray Children(const QJsonObject& element) { return element.value("children").toArray(); }

// The nth child with the tag; an empty object when there is none.
inline QJsonObject Child(const QJsonObject& element, const QString& tag, int nth = 0)
{
    for (const QJsonValue& child : Children(element))
        if (child.toObject().value("tag").toString() == tag && nth-- == 0)
            return child.toObject();
    return {};
}

inline QString Attr(const QJsonObject& element, const char* name)
{
    return element.value("attrs").toObject().value(name).toString();
}

inline QStringList Tags(const QJsonObject& element)
{
    QStringList tags;
    for (const QJsonValue& child : Children(element))
        tags << child.toObject().value("tag").toString();
    return tags;
}

} // namespace cvtest::logxml
