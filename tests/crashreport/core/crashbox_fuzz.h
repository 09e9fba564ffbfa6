#pragma once
// The readers the fuzz targets drive (tests/fuzz), shared with the test
// that replays their kept inputs. Each takes arbitrary bytes, must read or
// refuse them without crashing, and checks what it read survives a round
// trip; a broken round trip ends the process (the fuzzer keeps the input).

#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/options/options_stream.h"
#include "crashreport/core/report/log_file.h"
#include "crashreport/core/support/profile_file.h"
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

// The bytes as a report log: the entries it gives are stored again by
// Append as they were loaded, give the same entries when their text is
// loaded again, and can be read, changed and written as XML. Returns the
// number of entries.
inline int ReadReportLogFromBytes(const uint8_t* data, size_t size)
{
    const std::vector<std::string> entries = cv::TLogFile::SplitEntries(std::string(reinterpret_cast<const char*>(data), size));
    cv::TLogFile log("", true);
    for (const std::string& entry : entries)
        log.Append(entry, -1);
    for (int i = 0; i < log.Count(); ++i)
        if (log.Item(i) != entries[std::size_t(i)])
            std::abort();
    if (cv::TLogFile::SplitEntries(log.Text()) != entries)
        std::abort();
    (void)log.XML();
    for (int i = 0; i < log.Count(); ++i) {
        (void)log.FindItem({"2.7", "1.3"}, {log.GetItemValue("2.7", i), log.GetItemValue("1.3", i)});
        const std::string before = log.Item(i);
        log.SetItemValue("2.8", "2", "Count", i);
        if (log.Item(i) != before && log.GetItemValue("2.8", i) != "2")
            std::abort();
    }
    (void)log.XML();
    return log.Count();
}

} // namespace cvtest
