#include "suite/my_types.h"

#include <QCoreApplication>
#include <QDir>

#include <array>

namespace cv {

uint8_t current_tool_var = kToolWordList;

namespace {
// Numbers the suite does not use yet keep a placeholder entry so that the
// table stays indexable by number.
constexpr std::array<TToolInfo, kToolCount> kTools = {{
    {0, "WordList", "corvantis-wordlist"},
    {1, "Concordance", "corvantis-concordance"},
    {2, "KeyWords", "corvantis-keywords"},
    {3, "Tool 3", "corvantis-tool3"},
    {4, "Tool 4", "corvantis-tool4"},
    {5, "Tool 5", "corvantis-tool5"},
    {6, "Tool 6", "corvantis-tool6"},
    {7, "Tool 7", "corvantis-tool7"},
    {8, "Tool 8", "corvantis-tool8"},
    {9, "Tool 9", "corvantis-tool9"},
    {10, "Tool 10", "corvantis-tool10"},
    {11, "Tool 11", "corvantis-tool11"},
    {12, "Tool 12", "corvantis-tool12"},
    {13, "Tool 13", "corvantis-tool13"},
    {14, "Tool 14", "corvantis-tool14"},
    {15, "Tool 15", "corvantis-tool15"},
    {16, "Controller", "corvantis-controller"},
    {17, "", ""},
}};
} // namespace

const TToolInfo& ToolInfo(uint8_t tool) { return kTools[tool < kToolCount ? std::size_t(tool) : std::size_t(kToolNone)]; }

QString Tool_Name(uint8_t tool) { return QString::fromLatin1(ToolInfo(tool).name); }

QString GetShortToolFilename(uint8_t tool) { return QString::fromLatin1(ToolInfo(tool).programFile); }

QString ToolProgramFile(uint8_t tool)
{
    const QString shortName = GetShortToolFilename(tool);
    if (shortName.isEmpty())
        return {};
    const QString dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    return QDir(dir).filePath(shortName);
}

uint8_t ToolFromShortFilename(const QString& name)
{
    if (name.isEmpty())
        return kToolNone;
    for (const auto& t : kTools)
        if (name == QLatin1String(t.programFile))
            return t.number;
    return kToolNone;
}

} // namespace cv
