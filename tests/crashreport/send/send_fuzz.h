#pragma once
// The parsers of the sending code that the fuzz targets drive (tests/fuzz),
// shared with the test that replays their kept inputs. Each takes arbitrary
// bytes and must read or refuse them without crashing; a result that breaks
// what the parser promises ends the process (the fuzzer keeps the input).

#include "crashreport/send/dns_mx.h"

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

} // namespace cvtest
