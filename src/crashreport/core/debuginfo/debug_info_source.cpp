#include "crashreport/core/debuginfo/debug_info_source.h"

#include "crashreport/core/debuginfo/elf_debug_data.h"
#include "crashreport/core/debuginfo/jcl_debug_data.h"
#include "crashreport/core/debuginfo/map_file.h"
#include "crashreport/core/debuginfo/td32_debug_data.h"
#include "crashreport/core/support/crashbox_helpers.h"
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
