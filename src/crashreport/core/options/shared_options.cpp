#include "crashreport/core/options/shared_options.h"

#include "crashreport/core/options/options_stream.h"
#include "suite/cv_endian.h"
#include "suite/cv_stream.h"
#include "suite/private_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace cv {

namespace {

constexpr const char* kNamePrefix = "Crashbox-";

std::string Reason(const std::string& name, const char* what, int error)
{
    return "Cannot " + std::string(what) + " the shared options area \"" + name + "\": " + std::strerror(error);
}

void SetError(std::string* error, std::string text)
{
    if (error)
        *error = std::move(text);
}

bool Absent(const std::string& file)
{
    struct stat st {};
    return ::lstat(file.c_str(), &st) != 0 && errno == ENOENT;
}

} // namespace

TSharedDataArea::~TSharedDataArea() { CloseSharedData(*this); }

TSharedDataArea::TSharedDataArea(TSharedDataArea&& other) noexcept { *this = std::move(other); }

TSharedDataArea& TSharedDataArea::operator=(TSharedDataArea&& other) noexcept
{
    if (this != &other) {
        CloseSharedData(*this);
        fBase = std::exchange(other.fBase, nullptr);
        fSize = std::exchange(other.fSize, 0);
        fCreator = std::exchange(other.fCreator, 0);
        fName = std::move(other.fName);
        fFile = std::move(other.fFile);
    }
    return *this;
}

std::span<uint8_t> TSharedDataArea::View() const
{
    return fBase ? std::span<uint8_t>(fBase + 4, fSize - 4) : std::span<uint8_t>();
}

std::string SharedDataName(pid_t processId, uintptr_t moduleHandle)
{
    char name[64];
    std::snprintf(name, sizeof name, "/%s%08X%016llX", kNamePrefix, unsigned(processId),
                  static_cast<unsigned long long>(moduleHandle));
    return name;
}

std::string SharedDataFileName(pid_t processId, uintptr_t moduleHandle)
{
    return SuiteTempFile(QString::fromStdString(SharedDataName(processId, moduleHandle).substr(1))).toStdString();
}

TSharedDataArea OpenSharedData(uintptr_t moduleHandle, uint32_t payloadSize, std::string* error, pid_t processId)
{
    TSharedDataArea area;
    const std::string name = SharedDataName(processId ? processId : ::getpid(), moduleHandle);
    const std::string file = SharedDataFileName(processId ? processId : ::getpid(), moduleHandle);
    const QString path = QString::fromStdString(file);
    if (payloadSize > UINT32_MAX - 4) {
        SetError(error, "The options are too large for the shared options area \"" + name + "\"");
        return area;
    }
    // Twice: an area that goes between our two attempts is made anew.
    for (int attempt = 0; attempt < 2; ++attempt) {
        QString why;
        if (payloadSize > 0) {
            const int fd = OpenPrivateFile(path, TPrivateOpen::CreateNew, &why);
            if (fd >= 0) {
                const std::size_t total = std::size_t(payloadSize) + 4;
                void* base = MAP_FAILED;
                if (::ftruncate(fd, off_t(total)) == 0)
                    base = ::mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
                const int reason = errno;
                ::close(fd);
                if (base == MAP_FAILED) {
                    ::unlink(file.c_str());
                    SetError(error, Reason(name, "make", reason));
                    return area;
                }
                area.fBase = static_cast<uint8_t*>(base);
                area.fSize = total;
                area.fCreator = ::getpid();
                area.fName = name;
                area.fFile = file;
                endian::storeLE(area.fBase, uint32_t(total));
                return area;
            }
            if (Absent(file)) {
                SetError(error, "Cannot make the shared options area \"" + name + "\": " + why.toStdString());
                return area;
            }
        }
        const int fd = OpenPrivateFile(path, TPrivateOpen::ReadWrite, &why);
        if (fd < 0) {
            if (Absent(file) && payloadSize == 0)
                return area;
            if (Absent(file))
                continue;
            SetError(error, "Cannot open the shared options area \"" + name + "\": " + why.toStdString());
            return area;
        }
        // The size word is believed only as far as the area really reaches.
        struct stat st {};
        uint32_t total = 0;
        if (::fstat(fd, &st) == 0 && st.st_size >= 4) {
            if (void* head = ::mmap(nullptr, 4, PROT_READ, MAP_SHARED, fd, 0); head != MAP_FAILED) {
                total = endian::loadLE<uint32_t>(head);
                ::munmap(head, 4);
            }
        }
        if (total < 4 || off_t(total) > st.st_size) {
            ::close(fd);
            SetError(error, "The shared options area \"" + name + "\" holds " + std::to_string(st.st_size) +
                                " bytes but gives its size as " + std::to_string(total) + ": it is not read");
            return area;
        }
        void* base = ::mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        const int reason = errno;
        ::close(fd);
        if (base == MAP_FAILED) {
            SetError(error, Reason(name, "open", reason));
            return area;
        }
        area.fBase = static_cast<uint8_t*>(base);
        area.fSize = total;
        area.fName = name;
        area.fFile = file;
        return area;
    }
    SetError(error, Reason(name, "open", ENOENT));
    return area;
}

void CloseSharedData(TSharedDataArea& area)
{
    if (area.fBase)
        ::munmap(area.fBase, area.fSize);
    if (area.Created())
        ::unlink(area.fFile.c_str());
    area.fBase = nullptr;
    area.fSize = 0;
    area.fCreator = 0;
    area.fName.clear();
    area.fFile.clear();
}

namespace {

// What this module published last, and whether the old areas were cleared.
struct TPublished {
    std::mutex lock;
    TSharedDataArea area;
    bool cleared = false;
    std::string lastError;
};

TPublished& Published()
{
    static TPublished published;
    return published;
}

} // namespace

void RemoveLeftSharedOptionsAreas()
{
    const std::string folder = SuiteTempFolder().toStdString();
    if (DIR* dir = ::opendir(folder.c_str())) {
        const std::size_t prefix = std::strlen(kNamePrefix);
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name = entry->d_name;
            if (name.size() != prefix + 24 || name.substr(0, prefix) != kNamePrefix)
                continue;
            const auto pid = pid_t(std::strtoul(std::string(name.substr(prefix, 8)).c_str(), nullptr, 16));
            if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH)
                ::unlink((folder + "/" + std::string(name)).c_str());
        }
        ::closedir(dir);
    }
}

bool PublishOptions(const TCrashboxModuleOptions& options, std::string* error)
{
    TPublished& published = Published();
    std::lock_guard guard(published.lock);
    published.lastError.clear();
    auto fail = [&](const std::string& reason) {
        published.lastError = reason;
        SetError(error, reason);
        return false;
    };
    if (options.ModuleHandle() == 0)
        return fail("Options without a module are not published");
    TMemoryStream payload;
    if (!payload.WriteU8(1) || !options.SaveToStream(payload))
        return fail("Cannot write the options for the shared options area");
    CloseSharedData(published.area);
    if (!published.cleared) {
        // An area of this very name that no one in this program made yet is
        // left from an image this process ran before (exec keeps the ID).
        RemoveLeftSharedOptionsAreas();
        ::unlink(SharedDataFileName(::getpid(), options.ModuleHandle()).c_str());
        published.cleared = true;
    }
    std::string reason;
    TSharedDataArea area = OpenSharedData(options.ModuleHandle(), uint32_t(payload.Size()), &reason);
    if (!area.IsOpen())
        return fail(reason);
    const std::span<uint8_t> view = area.View();
    if (view.size() != payload.Bytes().size())
        return fail("The shared options area \"" + area.Name() + "\" holds " + std::to_string(view.size()) +
                    " bytes of options, not " + std::to_string(payload.Size()) + ": it is left as it is");
    std::memcpy(view.data(), payload.Memory(), view.size());
    published.area = std::move(area);
    return true;
}

bool ReadPublishedOptions(TCrashboxModuleOptions& options, std::string* error, pid_t processId)
{
    if (options.ModuleHandle() == 0)
        return false;
    std::vector<uint8_t> bytes;
    {
        TSharedDataArea area = OpenSharedData(options.ModuleHandle(), 0, error, processId);
        const std::span<uint8_t> view = area.View();
        if (view.empty() || view[0] == 0)
            return false;
        bytes.assign(view.begin() + 1, view.end());
    }
    TMemoryStream stream(std::move(bytes));
    SetOptionsVersion(kCurrentOptionsVersion);
    return options.LoadFromStream(stream, error);
}

void ReleaseSharedOptionsArea()
{
    TPublished& published = Published();
    std::lock_guard guard(published.lock);
    CloseSharedData(published.area);
}

std::string LastSharedOptionsError()
{
    TPublished& published = Published();
    std::lock_guard guard(published.lock);
    return published.lastError;
}

} // namespace cv
