#include "crashreport/core/debug_info_source.h"

#include "crashreport/core/crashbox_helpers.h"
#include "crashreport/core/elf_debug_data.h"
#include "crashreport/core/jcl_debug_data.h"
#include "crashreport/core/map_file.h"
#include "crashreport/core/module_handles.h"
#include "crashreport/core/td32_debug_data.h"


namespace cv {

TELDebugInfoSource::TELDebugInfoSource(uintptr_t module, const std::string& moduleFileName)
    : FModule(module), FModuleFileName(moduleFileName.empty() ? ModuleFileNameOfHandle(module) : moduleFileName)
{
}

bool TELDebugInfoSource::LocationFromScanner(const TELAddressScanner& scanner, uintptr_t addr, TELLocationInfo& info)
{
    const uint64_t va = AddrToOffset(addr);
    info.UnitName = scanner.ModuleNameFromAddr(va);
    if (info.UnitName.empty())
        return false;
    info.Address = addr;
    uint64_t procOffset = 0;
    uint64_t lineOffset = 0;
    info.ProcedureName = scanner.ProcNameFromAddr(va, procOffset);
    info.LineNumber = scanner.LineNumberFromAddr(va, lineOffset);
    info.SourceName = scanner.SourceNameFromAddr(va);
    info.DebugInfo = this;
    // Lines below the line of the procedure's first byte.
    info.ProcOffsetLine = int32_t(uint32_t(info.LineNumber) - uint32_t(scanner.LineNumberFromAddr(va - procOffset, lineOffset)));
    return true;
}

namespace {

template <typename T>
bool TrySource(uintptr_t module, const std::string& fileName, std::unique_ptr<TELDebugInfoSource>& source)
{
    auto candidate = TELDebugInfoSource::Create<T>(module, fileName);
    if (!candidate->ValidData())
        return false;
    source = std::move(candidate);
    return true;
}

} // namespace

bool FindDebugInfoSource(uintptr_t module, std::unique_ptr<TELDebugInfoSource>& source, const std::string& moduleFileName)
{
    if (source)
        return false;
    return TrySource<TELDebugInfoMap>(module, moduleFileName, source)
        || TrySource<TELDebugInfoTD32>(module, moduleFileName, source)
        || TrySource<TELDebugInfoJedy>(module, moduleFileName, source)
        || TrySource<TELDebugInfoElf>(module, moduleFileName, source);
}

bool LoadFileBytes(const std::string& fileName, std::vector<uint8_t>& bytes)
{
    std::string text;
    const bool ok = ReadFileText(fileName, text);
    bytes.assign(text.begin(), text.end());
    return ok;
}

} // namespace cv
