#pragma once
// One fuzz input for the readers of debug data: its first byte picks the
// reader (a ".map" text, TD32 data, JCL data, a DWARF line program, the
// ELDATA container, a compiled-in debug-data stream), the rest is the data. Each reader takes the data or refuses it
// and answers lookups at a few addresses, never reading outside it. Used by
// tests/fuzz/debug_data_fuzz.cpp and by the replay of the kept inputs.

#include "crashreport/core/debuginfo/compiled_debug_data.h"
#include "crashreport/core/debuginfo/dwarf_line_table.h"
#include "crashreport/core/debuginfo/jcl_debug_data.h"
#include "crashreport/core/debuginfo/map_file.h"
#include "crashreport/core/debuginfo/td32_debug_data.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace debugdata_fuzz {

// Every lookup at a few addresses (those the tests' samples hold among them).
inline void AskEverything(const cv::TELAddressScanner& scanner)
{
    for (uint64_t va : {0x0ull, 0x10ull, 0x1Aull, 0x1Cull, 0x65ull, 0x123ull, 0x135ull, 0xFFFFull, 0xFFFFFFFFull}) {
        uint64_t offset = 0;
        scanner.ModuleNameFromAddr(va);
        scanner.ProcNameFromAddr(va, offset);
        scanner.LineNumberFromAddr(va, offset);
        scanner.SourceNameFromAddr(va);
    }
}

inline void RunOne(const uint8_t* data, std::size_t size)
{
    if (size < 1)
        return;
    const std::span<const uint8_t> rest(data + 1, size - 1);
    switch (data[0] % 6) {
    case 0: {
        cv::TELMapScanner scanner(std::make_unique<std::string>(reinterpret_cast<const char*>(rest.data()), rest.size()));
        AskEverything(scanner);
        break;
    }
    case 1: {
        cv::TELTD32InfoScanner scanner(rest);
        AskEverything(scanner);
        break;
    }
    case 2: {
        for (bool cache : {true, false}) {
            cv::TELBinDebugScanner scanner(rest, cache);
            AskEverything(scanner);
            scanner.ModuleName();
        }
        break;
    }
    case 3: {
        cv::TDwarfLineTable table;
        cv::DecodeDwarfLineTable({rest, rest, rest}, 0, "/", table);
        break;
    }
    case 4: {
        cv::TELDataContents contents;
        cv::ReadELData(rest, contents);
        cv::FindSymbolInELData(rest, 0x400000, 1);
        break;
    }
    default: {
        // A debug-data stream of the version its first two bytes give, with
        // and without a valid password.
        if (rest.size() < 2)
            break;
        for (bool valid : {true, false}) {
            cv::TCrashboxModuleInfo module;
            module.Handle = 0x400000;
            module.ExtraInformation.CrashboxVersion = uint16_t(rest[0] | rest[1] << 8);
            module.ExtraInformation.DebugInformation =
                std::make_unique<cv::TMemoryStream>(std::vector<uint8_t>(rest.begin() + 2, rest.end()));
            module.EncryptPassword = "pw";
            module.IsValidEncryptPassword = valid;
            for (uintptr_t offset : {0x0u, 0x10u, 0x100u, 0x1000u, 0xFFFFu}) {
                cv::TCrashboxDebugInfo info;
                info.ModuleInfo = &module;
                cv::LookUpCompiledInData(module.Handle + 0x1000 + offset, info);
            }
        }
        break;
    }
    }
}

} // namespace debugdata_fuzz
