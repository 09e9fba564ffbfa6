#pragma once
// Decoding any bytes from start to end, with the promises every decoding
// keeps checked: each step takes 1 to 15 bytes and no more than are left,
// gives a text, and the events' text stays on the line. Shared by the unit
// test, the replay of kept fuzz inputs and the fuzz target.

#include "crashreport/core/disasm/disassembler.h"

#include <span>
#include <string>

namespace cvtest {

// The first promise broken, or an empty text.
inline std::string WalkAllBytes(std::span<const uint8_t> bytes, cv::TDisAsmMode mode, bool withEvents)
{
    cv::TDisAsm d(mode);
    if (withEvents) {
        d.OnJumpInstr = [](void*, uint64_t, std::string& line) { line += " ; jump"; };
        d.OnCallInstr = [](void*, uint64_t, std::string& line) { line += " ; call"; };
        d.OnAddressRef = [](void*, uint64_t, std::string& line) { line += " ; #Eb @c2 %c"; };
        d.OnRef = [](void*, int64_t, std::string& line) { line += "^"; };
        d.OnImmidiateData = [](void*, uint64_t, int32_t position, int32_t size, bool, std::string& line) {
            if (position < 1 || size < 1 || position + size > 15)
                line += " <bad immediate position>";
        };
    }
    std::string text;
    size_t pos = 0;
    while (pos < bytes.size()) {
        const int32_t size = d.GetInstruction(bytes.subspan(pos), pos, text);
        if (size < 1 || size > 15 || size_t(size) > bytes.size() - pos)
            return "a step of " + std::to_string(size) + " bytes at " + std::to_string(pos);
        if (text.empty())
            return "no text at " + std::to_string(pos);
        if (text.find("<bad immediate position>") != std::string::npos)
            return "an immediate outside its instruction at " + std::to_string(pos);
        pos += size_t(size);
    }
    return {};
}

} // namespace cvtest
