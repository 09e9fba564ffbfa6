#include "crashreport/core/debuginfo/debug_info_source.h"

#include "crashreport/core/debuginfo/elf_debug_data.h"
#include "crashreport/core/debuginfo/jcl_debug_data.h"
#include "crashreport/core/debuginfo/map_file.h"
#include "crashreport/core/debuginfo/td32_debug_data.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/module_handles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>


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
    // The line of an address in the code of the function `depth` levels of
    // inlining in from the procedure (0: the procedure's own code): where
    // deeper inlined code stands there, the line of its call.
    const auto lineAt = [&](uint64_t at, std::size_t depth) {
        const std::vector<TELInlinedCall> inner = scanner.InlinedCallsAt(at, false);
        return depth < inner.size() ? inner[inner.size() - 1 - depth].CallLine : scanner.LineNumberFromAddr(at, lineOffset);
    };
    const std::string procedure = scanner.ProcNameFromAddr(va, procOffset);
    info.LineNumber = scanner.LineNumberFromAddr(va, lineOffset);
    info.SourceName = scanner.SourceNameFromAddr(va);
    info.DebugInfo = this;
    // Lines below the first line of the procedure (or inlined function),
    // counted in its own code.
    const std::vector<TELInlinedCall> calls = scanner.InlinedCallsAt(va, true);
    if (calls.empty()) {
        info.ProcedureName = procedure;
        info.ProcOffsetLine = int32_t(uint32_t(info.LineNumber) - uint32_t(lineAt(va - procOffset, 0)));
        return true;
    }
    // The innermost inlined function at its own line, then each function
    // it was inlined into at the line of the call; the outermost is the
    // procedure that holds the address.
    info.ProcedureName = calls.front().ProcedureName;
    info.ProcOffsetLine = int32_t(uint32_t(info.LineNumber) - uint32_t(lineAt(calls.front().Entry, calls.size())));
    for (std::size_t k = 0; k < calls.size(); ++k) {
        TELLocationInfo& caller = info.InlinedInto.emplace_back();
        const bool outermost = k + 1 == calls.size();
        const std::size_t depth = calls.size() - 1 - k;
        caller.Address = addr;
        caller.DebugInfo = this;
        caller.ProcedureName = outermost ? procedure : calls[k + 1].ProcedureName;
        caller.LineNumber = calls[k].CallLine;
        caller.SourceName = calls[k].CallSourceName;
        caller.UnitName = ExtractFileName(caller.SourceName.empty() ? info.SourceName : caller.SourceName);
        const uint64_t first = outermost ? va - procOffset : calls[k + 1].Entry;
        caller.ProcOffsetLine = caller.LineNumber == 0 ? 0 : int32_t(uint32_t(caller.LineNumber) - uint32_t(lineAt(first, depth)));
    }
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

namespace {

// Whatever lies beside a module is read only when it is a regular file of
// sensible size: opening does not wait (a FIFO of that name would hold the
// report), and the bytes are read up to the size the file had when opened.
template <typename Bytes>
bool LoadDebugFile(const std::string& fileName, Bytes& bytes)
{
    bytes.clear();
    if (fileName.empty())
        return false;
    int fd;
    do
        fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 && uint64_t(st.st_size) <= kMaxDebugFileSize;
    if (ok) {
        bytes.resize(std::size_t(st.st_size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += std::size_t(n);
        }
        bytes.resize(done);
        ok = done == std::size_t(st.st_size);
    }
    ::close(fd);
    if (!ok)
        bytes.clear();
    return ok;
}

} // namespace

bool LoadFileBytes(const std::string& fileName, std::vector<uint8_t>& bytes)
{
    return LoadDebugFile(fileName, bytes);
}

bool LoadFileText(const std::string& fileName, std::string& text)
{
    return LoadDebugFile(fileName, text);
}

} // namespace cv
