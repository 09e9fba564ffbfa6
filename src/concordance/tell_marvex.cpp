#include "concordance/tell_marvex.h"

#include "model/stats_list.h"
#include "suite/cv_stream.h"
#include "suite/cvbuf.h"

#include <QDir>
#include <QFileInfo>

namespace cv {

TMarvexInfoClass::TMarvexInfoClass(const QString& word, int32_t expectedFrequency, int32_t expectedTexts,
                                   std::vector<TMarvexPosition> positions)
    : Word(word), ExpectedFrequency(expectedFrequency), ExpectedTexts(expectedTexts), Positions(std::move(positions))
{
}

bool TMarvexInfoClass::SaveToStream(TStream& s) const
{
    if (!WriteAString(s, Word) || !s.WriteI32(ExpectedFrequency) || !s.WriteI32(ExpectedTexts)
        || !s.WriteCount(int64_t(Positions.size())))
        return false;
    for (const TMarvexPosition& p : Positions)
        if (!s.WriteI32(p.text) || !s.WriteI32(p.word))
            return false;
    return true;
}

bool TMarvexInfoClass::ReadFromStream(TStream& s)
{
    QString word;
    int32_t freq = 0, texts = 0, n = 0;
    if (!ReadAString(s, word) || !s.ReadI32(freq) || !s.ReadI32(texts) || !s.ReadCount(n, 8))
        return false;
    std::vector<TMarvexPosition> positions(static_cast<size_t>(n));
    for (TMarvexPosition& p : positions)
        if (!s.ReadI32(p.text) || !s.ReadI32(p.word) || p.text < 0)
            return false;
    Word = word;
    ExpectedFrequency = freq;
    ExpectedTexts = texts;
    Positions = std::move(positions);
    return true;
}

// ---------------------------------------------------------------------------

TTellMarvexList::TTellMarvexList(uint8_t creatingTool, uint8_t usingTool)
    : TBaseInterToolList(creatingTool, usingTool, [] { return std::make_unique<TMarvexInfoClass>(); })
{
}

void TTellMarvexList::AddRequest(const QString& word, int32_t expectedFrequency, int32_t expectedTexts,
                                 std::vector<TMarvexPosition> positions)
{
    Add(std::make_unique<TMarvexInfoClass>(word, expectedFrequency, expectedTexts, std::move(positions)));
}

void TTellMarvexList::Clear()
{
    TBaseInterToolList::Clear();
    fTexts.clear();
}

void TTellMarvexList::SetCollocHorizonsFromSettings()
{
    fHorizons = GetConcSaveRecCollocHorizons();
}

void TTellMarvexList::TakeTexts(const TCVStatsList& stats)
{
    fTexts.clear();
    for (int i = 1; i < stats.Count(); ++i) {
        const TStatsRec& r = stats.Row(i)->Data();
        fTexts.push_back({QDir(r.Folder).filePath(r.FileName), r.ZipEntryName});
    }
}

int TTellMarvexList::CheckWhetherAllFilesExist() const
{
    if (fTexts.empty())
        return -1;
    int found = 0;
    for (const TMarvexRequestText& t : fTexts)
        if (QFileInfo(t.FullFilename).isFile())
            ++found;
    return found;
}

bool TTellMarvexList::SaveHeaderExtras(TStream& s) const
{
    if (!s.WriteI16(fHorizons.left) || !s.WriteI16(fHorizons.right) || !s.WriteCount(int64_t(fTexts.size())))
        return false;
    for (const TMarvexRequestText& t : fTexts)
        if (!WriteAString(s, t.FullFilename) || !WriteAString(s, t.ZipEntryName))
            return false;
    return true;
}

bool TTellMarvexList::ReadHeaderExtras(TStream& s)
{
    Tdouble_smallint_type h;
    int32_t n = 0;
    if (!s.ReadI16(h.left) || !s.ReadI16(h.right) || h.left < 0 || h.right < 0 || !s.ReadCount(n, 12))
        return false;
    std::vector<TMarvexRequestText> texts(static_cast<size_t>(n));
    for (TMarvexRequestText& t : texts)
        if (!ReadAString(s, t.FullFilename) || !ReadAString(s, t.ZipEntryName))
            return false;
    fHorizons = h;
    fTexts = std::move(texts);
    return true;
}

bool TTellMarvexList::ReadRequest(TStream& s)
{
    const Tdouble_smallint_type horizons = fHorizons;
    std::vector<TMarvexRequestText> texts = fTexts;
    if (ReadFromStream(s))
        return true;
    fHorizons = horizons;
    fTexts = std::move(texts);
    return false;
}

} // namespace cv
