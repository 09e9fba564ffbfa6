#pragma once
// The readers the fuzz targets drive (tests/fuzz), shared with the test
// that replays their kept inputs. Each takes arbitrary bytes, must read or
// refuse them without crashing, and checks what it read survives a round
// trip; a broken round trip ends the process (the fuzzer keeps the input).

#include "crashreport/core/crashbox_options.h"
#include "crashreport/core/options_stream.h"
#include "crashreport/core/profile_file.h"
#include "suite/cv_stream.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace cvtest {

// The first two bytes are the options version (little-endian), the rest the stream.
inline bool ReadOptionsFromBytes(const uint8_t* data, size_t size)
{
    if (size < 2)
        return false;
    const auto version = uint16_t(data[0] | data[1] << 8);
    cv::TCrashboxModuleOptions options("");
    cv::TMemoryStream in(std::vector<uint8_t>(data + 2, data + size));
    if (!options.LoadFromStreamOfVersion(in, version))
        return false;
    cv::TMemoryStream out;
    if (!options.SaveToStream(out))
        std::abort();
    cv::TCrashboxModuleOptions again("");
    cv::TMemoryStream back(out.Bytes());
    if (!again.LoadFromStreamOfVersion(back, cv::kCurrentOptionsVersion) || back.Position() != back.Size())
        std::abort();
    cv::TMemoryStream second;
    if (!again.SaveToStream(second) || second.Bytes() != out.Bytes())
        std::abort();
    return true;
}

// The bytes as a texts file. Texts without the marker block come back equal
// after being written and read again.
inline int ReadTextsFromBytes(const uint8_t* data, size_t size)
{
    cv::TProfileFile file;
    file.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    cv::TCustomizedTexts texts = cv::DefaultCustomizedTexts();
    cv::ReadTextsFromProfile(file, texts);
    cv::TProfileFile written;
    cv::WriteTextsToProfile(written, texts);
    cv::TProfileFile reread;
    reread.Parse(written.Text());
    cv::TCustomizedTexts back = cv::DefaultCustomizedTexts();
    cv::ReadTextsFromProfile(reread, back);
    int changed = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        changed += texts[i] != cv::DefaultCustomizedTexts()[i] ? 1 : 0;
        if (texts[i].find(cv::kTextsFirstLineMarker) == std::string::npos && back[i] != texts[i])
            std::abort();
    }
    return changed;
}

} // namespace cvtest
