#pragma once
// Independent readers of PNG files for tests: pngcheck (chunk layout and
// CRCs) and Pillow from the system's Python (/usr/bin/python3), which
// decodes the file to its pixels.

#include <QString>

#include <cstdint>
#include <vector>

namespace cvtest {

struct TPngOracleResult {
    bool available = false;  // both tools are there
    bool pngcheckOk = false; // pngcheck -v found no error
    QString message;         // pngcheck's report, or why a tool is missing
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // 0xRRGGBB, row by row from the top
};

TPngOracleResult CheckPngWithOracles(const QString& fileName);

} // namespace cvtest
