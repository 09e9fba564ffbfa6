#pragma once
// The parsers of the sending code that the fuzz targets drive (tests/fuzz),
// shared with the test that replays their kept inputs. Each takes arbitrary
// bytes and must read or refuse them without crashing or hanging; a result
// that breaks what the parser promises ends the process (the fuzzer keeps
// the input).

#include "crashreport/send/mail/dns_mx.h"
#include "crashreport/send/web/html_forms.h"
#include "crashreport/send/web/http_connection.h"
#include "crashreport/send/web/web_transfer.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace cvtest {


// The bytes as a name server's answer; also every name in it decoded from
// every offset. A name never holds more bytes than the message (a longer
// one would mean the pointers were followed round a loop). True when an
// exchange was found.
inline bool ParseDNSAnswerBytes(const uint8_t* data, size_t size)
{
    const std::string_view message(reinterpret_cast<const char*>(data), size);
    std::string host;
    cv::ParseMXAnswer(message, host);
    if (host.size() > size)
        std::abort();
    for (std::size_t start = 0; start < size; ++start) {
        std::size_t position = start;
        std::string name;
        cv::DecodeDNSName(message, position, name);
        if (name.size() > size)
            std::abort();
    }
    return !host.empty();
}


// The bytes as a header block, and as the Location or Refresh target it may name.
inline int ReadHeaderFromBytes(const uint8_t* data, size_t size)
{
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    const cv::THTTPHeaderBlock block = cv::ParseHTTPHeader(raw);
    for (const auto& [name, value] : block.Lines) {
        if (name.find(':') != std::string::npos || name.find('\n') != std::string::npos ||
            value.find('\n') != std::string::npos)
            std::abort();
    }
    int32_t code = 0;
    if (cv::StatusCodeNumber(block, code) && code < 0)
        std::abort();
    const cv::TRequestPathParts parts = cv::SplitRequestPath(std::string(raw));
    if (parts.Page.find('/') != std::string::npos || (!parts.Query.empty() && parts.Query[0] != '?') ||
        (!parts.Folder.empty() && parts.Folder.back() != '/'))
        std::abort();
    const cv::TConnectionURLParts url = cv::ParseConnectionURL(std::string(raw));
    return int(block.Lines.size()) + int(url.Host.size() > 0);
}

// The bytes as a tracker's form page: every lookup the uploaders make.
inline int ScanFormsFromBytes(const uint8_t* data, size_t size)
{
    const std::string_view html(reinterpret_cast<const char*>(data), size);
    int found = 0;
    std::string value;
    for (const char* name : {"project_id", "bug_id", "summary", "status", "x"}) {
        found += cv::GetInputValue(html, name, value) ? 1 : 0;
        found += cv::GetTextAreaValue(html, name, value) ? 1 : 0;
        found += cv::GetSelectedOptionValue(html, name, value) ? 1 : 0;
        found += cv::GetSelectOptionByTitle(html, name, "Project", value) ? 1 : 0;
    }
    std::string text;
    std::size_t position = 0, steps = 0;
    while (cv::FindTagText(html, "<input ", {">", "/>"}, text, position)) {
        if (++steps > size + 1)
            std::abort(); // the walk must move on
    }
    cv::ExtractTokenAfter(html, "bug_id=", 1, value);
    if (value.find_first_of(" \"&'<>\\") != std::string::npos)
        std::abort();
    cv::ExtractTokenAfter(html, "id=", 3, value);
    return found;
}

} // namespace cvtest
