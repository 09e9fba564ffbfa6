#include "crashreport/core/report/report_process.h"

#include <algorithm>
#include <cstring>
#include <cxxabi.h>
#include <dlfcn.h>
#include <limits>
#include <memory>
#include <string_view>

#include "crashreport/core/capture/modules_list.h"
#include "crashreport/core/support/memory_map.h"

namespace cv {

namespace {

constexpr uintptr_t kPageSize = 4096;

} // namespace

TLiveProcessView::TLiveProcessView(TCrashboxModulesList* modules)
{
    if (modules)
        fModuleOf = [modules](uintptr_t address) { return ModuleInfoByAddr(*modules, address); };
}

bool TLiveProcessView::ReadMemory(uintptr_t address, std::span<uint8_t> dest) const
{
    const void* from = reinterpret_cast<const void*>(address);
    if (dest.empty() || !IsReadableMemory(from, dest.size()))
        return false;
    std::memcpy(dest.data(), from, dest.size());
    return true;
}

bool TLiveProcessView::Locate(uintptr_t address, TCrashboxDebugInfo& info) const
{
    if (!fModuleOf)
        return false;
    FillDebugInfoForAddress(address, 0, info, false, false, fModuleOf);
    return info.DebugDetail != TCrashboxDebugDetail::ddNone;
}

std::string TLiveProcessView::ObjectClassName(uintptr_t address) const
{
    uintptr_t table = 0;
    if (!ReadMemory(address, std::span(reinterpret_cast<uint8_t*>(&table), sizeof table)))
        return {};
    // The first word of an object of a class with virtual functions points
    // into the class's virtual table, whose symbol is "_ZTV" and the class.
    Dl_info symbol{};
    if (table == 0 || dladdr(reinterpret_cast<const void*>(table), &symbol) == 0 || !symbol.dli_sname)
        return {};
    const std::string_view name = symbol.dli_sname;
    if (name.substr(0, 4) != "_ZTV")
        return {};
    int status = 0;
    const std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(symbol.dli_sname, nullptr, nullptr, &status),
                                                           std::free);
    constexpr std::string_view kPrefix = "vtable for ";
    if (status != 0 || !demangled)
        return {};
    const std::string_view text = demangled.get();
    return std::string(text.substr(0, kPrefix.size()) == kPrefix ? text.substr(kPrefix.size()) : text);
}

std::vector<uint8_t> ReadReadablePrefix(const TReportProcessView& process, uintptr_t address, std::size_t count)
{
    count = std::min<std::size_t>(count, std::numeric_limits<uintptr_t>::max() - address);
    std::vector<uint8_t> bytes;
    while (count > 0) {
        const std::size_t chunk = std::min<std::size_t>(count, kPageSize - address % kPageSize);
        const std::size_t had = bytes.size();
        bytes.resize(had + chunk);
        if (!process.ReadMemory(address, std::span(bytes).subspan(had))) {
            bytes.resize(had);
            break;
        }
        address += chunk;
        count -= chunk;
    }
    return bytes;
}

} // namespace cv
