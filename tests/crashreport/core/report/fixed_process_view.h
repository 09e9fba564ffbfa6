#pragma once
// A made-up process for the report text: memory regions at fixed
// addresses, code locations by address range, and objects by address.

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "crashreport/core/report/report_process.h"

namespace cvtest {

struct TFixedProcessView : cv::TReportProcessView {
    struct TPlace {
        uintptr_t from = 0, to = 0; // [from, to)
        cv::TCrashboxDebugInfo info;
    };
    std::map<uintptr_t, std::vector<uint8_t>> regions; // start -> bytes
    std::vector<TPlace> places;
    std::map<uintptr_t, std::string> objects;

    void Put(uintptr_t address, const std::vector<uint8_t>& bytes, std::size_t regionSize = 4096)
    {
        std::vector<uint8_t>& region = regions[address & ~uintptr_t(0xFFF)];
        region.resize(std::max(region.size(), regionSize));
        std::copy(bytes.begin(), bytes.end(), region.begin() + std::ptrdiff_t(address & 0xFFF));
    }
    void PutText(uintptr_t address, const std::string& text)
    {
        Put(address, std::vector<uint8_t>(text.begin(), text.end() + 1));
    }
    void Place(uintptr_t from, uintptr_t to, const std::string& unit, const std::string& className, const std::string& procedure,
               uint32_t line, uint32_t offset)
    {
        TPlace place{from, to, {}};
        place.info.DebugDetail = cv::TCrashboxDebugDetail::ddSourceCode;
        place.info.UnitName = unit;
        place.info.ClassName = className;
        place.info.ProcedureName = procedure;
        place.info.Line = line;
        place.info.ProcOffsetLine = offset;
        places.push_back(place);
    }

    bool ReadMemory(uintptr_t address, std::span<uint8_t> dest) const override
    {
        auto it = regions.upper_bound(address);
        if (it == regions.begin() || dest.empty())
            return false;
        --it;
        const std::size_t offset = address - it->first;
        if (offset > it->second.size() || it->second.size() - offset < dest.size())
            return false;
        std::memcpy(dest.data(), it->second.data() + offset, dest.size());
        return true;
    }
    bool Locate(uintptr_t address, cv::TCrashboxDebugInfo& info) const override
    {
        for (const TPlace& place : places)
            if (address >= place.from && address < place.to) {
                info = place.info;
                info.Addr = address;
                return true;
            }
        info = {};
        return false;
    }
    std::string ObjectClassName(uintptr_t address) const override
    {
        const auto it = objects.find(address);
        return it == objects.end() ? std::string() : it->second;
    }
};

// A routine as the assembler writes it, at 0x401000: push rbx; push r12;
// push rbp; mov rbp, rsp; sub rsp, 0x20; mov [rbp-8], rdi; lea rsi, [rip ->
// 0x402000]; mov edi, 0x402040; call 0x401100; mov rax, [rbp-8];
// mov rax, [rax]; mov edx, 0x2a; mov [rax], edx (the fault, 0x40102C);
// lea rcx, [rip -> 0x402080]; cmp eax, 5; jne 0x401000; add rsp, 0x20;
// pop rbp; ret.
inline const std::vector<uint8_t> kSampleCode = {
    0x53, 0x41, 0x54, 0x55, 0x48, 0x89, 0xe5, 0x48, 0x83, 0xec, 0x20, 0x48, 0x89, 0x7d, 0xf8, 0x48, 0x8d,
    0x35, 0xea, 0x0f, 0x00, 0x00, 0xbf, 0x40, 0x20, 0x40, 0x00, 0xe8, 0xe0, 0x00, 0x00, 0x00, 0x48, 0x8b,
    0x45, 0xf8, 0x48, 0x8b, 0x00, 0xba, 0x2a, 0x00, 0x00, 0x00, 0x89, 0x10, 0x48, 0x8d, 0x0d, 0x4b, 0x10,
    0x00, 0x00, 0x83, 0xf8, 0x05, 0x75, 0xc6, 0x48, 0x83, 0xc4, 0x20, 0x5d, 0xc3, 0xcc, 0xcc, 0xcc};
inline constexpr uintptr_t kSampleFault = 0x40102C;

} // namespace cvtest
