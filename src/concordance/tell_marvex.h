#pragma once
// Requests for the sibling concordance tool: the words a user picked in a
// list, each with what the list expects of it and, when an index was open,
// where every occurrence stands; with them the texts to search and the
// collocation horizons. Written into the temporary folder as
// "<creating tool>_<using tool>.tell_marvex" (docs/tell-marvex.md), after
// which the controller is asked to pass it on.

#include "model/inter_tool_list.h"
#include "suite/settings_records.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace cv {

class TCVStatsList;

// One occurrence a request item asks for: the text (0-based, in the
// request's text list) and the running word in it (from 1).
struct TMarvexPosition {
    int32_t text = 0;
    int32_t word = 0;
    friend bool operator==(const TMarvexPosition&, const TMarvexPosition&) = default;
};

class TMarvexInfoClass final : public TInterToolListObj {
public:
    TMarvexInfoClass() = default;
    TMarvexInfoClass(const QString& word, int32_t expectedFrequency, int32_t expectedTexts,
                     std::vector<TMarvexPosition> positions = {});

    QString Word;
    int32_t ExpectedFrequency = 0;
    int32_t ExpectedTexts = 0;
    std::vector<TMarvexPosition> Positions;

    bool SaveToStream(TStream& s) const override;
    bool ReadFromStream(TStream& s) override;
};

// One text the request names.
struct TMarvexRequestText {
    QString FullFilename;  // for a text inside a zip, the archive
    QString ZipEntryName;  // empty for a loose text
    friend bool operator==(const TMarvexRequestText&, const TMarvexRequestText&) = default;
};

class TTellMarvexList final : public TBaseInterToolList {
public:
    static constexpr const char* kExtension = ".tell_marvex";

    TTellMarvexList(uint8_t creatingTool, uint8_t usingTool);

    TMarvexInfoClass* Item(int i) const { return static_cast<TMarvexInfoClass*>(Get(i)); }
    void AddRequest(const QString& word, int32_t expectedFrequency, int32_t expectedTexts,
                    std::vector<TMarvexPosition> positions = {});
    // Empties the requests and the texts.
    void Clear() override;

    Tdouble_smallint_type CollocHorizons() const { return fHorizons; }
    void SetCollocHorizons(Tdouble_smallint_type h) { fHorizons = h; }
    // The horizons of the shared concordance settings.
    void SetCollocHorizonsFromSettings();

    const std::vector<TMarvexRequestText>& Texts() const { return fTexts; }
    void AddText(const TMarvexRequestText& text) { fTexts.push_back(text); }
    // The texts of a statistics list's rows (row 0, the overall row, is not a text).
    void TakeTexts(const TCVStatsList& stats);
    // How many listed texts still exist; -1 when none is listed. A request is
    // made only when the answer is above 0.
    int CheckWhetherAllFilesExist() const;

    // Reads a request; on failure the list keeps what it held.
    bool ReadRequest(TStream& s);

protected:
    QString TempFileExtension() const override { return QString::fromLatin1(kExtension); }
    bool SaveHeaderExtras(TStream& s) const override;
    bool ReadHeaderExtras(TStream& s) override;

private:
    Tdouble_smallint_type fHorizons{5, 5};
    std::vector<TMarvexRequestText> fTexts;
};

} // namespace cv
