#include "crashreport/core/support/file_version.h"

#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/utf_conversion.h"

#include <QCoreApplication>

#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

namespace cv {

namespace {

constexpr uint32_t kPackageNoteType = 0xcafe1a7e;

// --- a small reader of the note's JSON object ---

class TJsonReader {
public:
    explicit TJsonReader(std::string_view text) : m_text(text) {}

    // Calls field(key, value) for each member of the outer object whose value is a string.
    template <typename Field>
    bool Members(Field field)
    {
        if (!Take('{'))
            return false;
        if (Take('}'))
            return true;
        for (;;) {
            std::string key, value;
            if (!String(key) || !Take(':'))
                return false;
            Blanks();
            if (m_at < m_text.size() && m_text[m_at] == '"') {
                if (!String(value))
                    return false;
                field(key, value);
            } else if (!SkipValue()) {
                return false;
            }
            if (Take('}'))
                return true;
            if (!Take(','))
                return false;
        }
    }

private:
    void Blanks()
    {
        while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\t' || m_text[m_at] == '\n' || m_text[m_at] == '\r'))
            ++m_at;
    }
    bool Take(char c)
    {
        Blanks();
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    bool Hex4(char32_t& value)
    {
        if (m_text.size() - m_at < 4)
            return false;
        value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_text[m_at++];
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (digit < 0)
                return false;
            value = value << 4 | char32_t(digit);
        }
        return true;
    }
    bool String(std::string& out)
    {
        if (!Take('"'))
            return false;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at++];
            if (c == '"')
                return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_at >= m_text.size())
                return false;
            const char e = m_text[m_at++];
            switch (e) {
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                // A run of escapes is UTF-16: a surrogate pair makes one character.
                std::u16string units;
                char32_t unit;
                for (;;) {
                    if (!Hex4(unit))
                        return false;
                    units += char16_t(unit);
                    if (m_text.substr(m_at, 2) != "\\u")
                        break;
                    m_at += 2;
                }
                out += WideToUTF8(units);
                break;
            }
            default: out += e; break; // '"', '\\', '/'
            }
        }
        return false;
    }
    // A number, true, false, null, or a nested object or array.
    bool SkipValue()
    {
        Blanks();
        int depth = 0;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at];
            if (c == '"') {
                std::string ignored;
                if (!String(ignored))
                    return false;
                continue;
            }
            if (depth == 0 && (c == ',' || c == '}'))
                return true;
            if (c == '{' || c == '[')
                ++depth;
            else if ((c == '}' || c == ']') && --depth < 0)
                return false;
            ++m_at;
        }
        return false;
    }

    std::string_view m_text;
    std::size_t m_at = 0;
};

// The JSON text of the file's package note; empty when it has none.
std::string PackageNoteText(const std::string& fileName)
{
    // A program's file may have been replaced since it started: a named
    // pipe in its place is never opened.
    const int fd = OpenRegularFile(fileName, O_RDONLY);
    if (fd < 0)
        return {};
    std::string text;
    elf_version(EV_CURRENT);
    if (Elf* elf = elf_begin(fd, ELF_C_READ_MMAP, nullptr)) {
        for (Elf_Scn* scn = elf_nextscn(elf, nullptr); scn && text.empty(); scn = elf_nextscn(elf, scn)) {
            GElf_Shdr sh;
            Elf_Data* data = nullptr;
            if (!gelf_getshdr(scn, &sh) || sh.sh_type != SHT_NOTE || !(data = elf_getdata(scn, nullptr)))
                continue;
            GElf_Nhdr note;
            size_t nameAt = 0, descAt = 0;
            for (size_t at = 0; (at = gelf_getnote(data, at, &note, &nameAt, &descAt)) > 0;) {
                const auto* bytes = static_cast<const char*>(data->d_buf);
                if (note.n_type == kPackageNoteType && note.n_namesz == 4 && std::memcmp(bytes + nameAt, "FDO", 4) == 0) {
                    text.assign(bytes + descAt, note.n_descsz);
                    text.resize(std::strlen(text.c_str())); // the text ends at its zero
                    break;
                }
            }
        }
        elf_end(elf);
    }
    ::close(fd);
    return text;
}

// The name of the file a path leads to: its own links followed, one call
// each (links among its folders lead to the same file name, so they are
// not read). The path itself where a link cannot be read.
std::string ResolvedFileName(std::string path)
{
    char target[PATH_MAX];
    for (int hops = 0; hops < 40; ++hops) {
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
        if (n <= 0 || std::size_t(n) >= sizeof target)
            break;
        const std::string link(target, std::size_t(n));
        path = link.starts_with('/') ? link : path.substr(0, path.rfind('/') + 1) + link;
    }
    return ExtractFileName(path);
}

// What follows ".so." in the name of the file the name resolves to, when it is a version.
std::string LibraryNameVersion(const std::string& fileName)
{
    const std::string name = ResolvedFileName(fileName);
    const auto so = name.find(".so.");
    if (so == std::string::npos)
        return {};
    const std::string version = name.substr(so + 4);
    if (version.empty() || version.find_first_not_of("0123456789.") != std::string::npos)
        return {};
    return version;
}

bool IsZeroVersion(const std::string& version) { return version.find_first_not_of("0.") == std::string::npos; }

} // namespace

TPackageNote ParsePackageNote(std::string_view json)
{
    TPackageNote note;
    TJsonReader(json).Members([&](const std::string& key, const std::string& value) {
        if (key == "name")
            note.Name = value;
        else if (key == "version")
            note.Version = value;
        else if (key == "description")
            note.Description = value;
    });
    return note;
}

void GetFileVersionStrings(const std::string& fileName, std::string& description, std::string& version)
{
    description.clear();
    version.clear();
    if (fileName.empty())
        return;
    const TPackageNote note = ParsePackageNote(PackageNoteText(fileName));
    description = !note.Description.empty() ? note.Description : note.Name;
    version = !note.Version.empty() ? note.Version : LibraryNameVersion(fileName);
    if (IsZeroVersion(version))
        version.clear();
}

void TFileVersionCache::Get(const std::string& fileName, std::string& description, std::string& version)
{
    struct stat st {};
    if (fileName.empty() || ::stat(fileName.c_str(), &st) != 0) {
        GetFileVersionStrings(fileName, description, version);
        return;
    }
    const auto same = [&st](const TEntry& e) {
        return e.Device == uint64_t(st.st_dev) && e.Inode == uint64_t(st.st_ino) && e.Size == uint64_t(st.st_size)
            && e.ChangedSeconds == int64_t(st.st_mtim.tv_sec) && e.ChangedNanoseconds == int64_t(st.st_mtim.tv_nsec);
    };
    {
        std::lock_guard guard(m_lock);
        const auto known = m_entries.find(fileName);
        if (known != m_entries.end() && same(known->second)) {
            description = known->second.Description;
            version = known->second.Version;
            return;
        }
    }
    // Read without the lock: another thread's ask for another file goes on.
    GetFileVersionStrings(fileName, description, version);
    TEntry entry{uint64_t(st.st_dev), uint64_t(st.st_ino), uint64_t(st.st_size), int64_t(st.st_mtim.tv_sec),
                 int64_t(st.st_mtim.tv_nsec), description, version};
    std::lock_guard guard(m_lock);
    ++m_filesRead;
    m_entries.insert_or_assign(fileName, std::move(entry));
}

int TFileVersionCache::FilesRead() const
{
    std::lock_guard guard(m_lock);
    return m_filesRead;
}

void GetAppVersion(std::string& version)
{
    std::string description;
    GetFileVersionStrings(GetExeFileNameA(), description, version);
    if (version.empty() && QCoreApplication::instance())
        version = QCoreApplication::applicationVersion().toStdString();
}

uint32_t GetFileSizeByName(const std::string& fileName)
{
    struct stat st {};
    if (fileName.empty() || ::stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    return uint32_t(uint64_t(st.st_size) & 0xFFFFFFFFu);
}

bool ForceDeleteFile(const std::string& fileName)
{
    // A file's own mode never keeps it from being deleted here (its
    // folder's does), so there is no read-only mark to clear first.
    return !fileName.empty() && ::unlink(fileName.c_str()) == 0;
}

// --- Texts ---

std::string PriorityClassToText(int32_t priorityClass)
{
    switch (priorityClass) {
    case 32: return "Normal";
    case 64: return "Low";
    case 128: return "High";
    case 256: return "Real-Time";
    case 16384: return "Below-Normal";
    case 32768: return "Above-Normal";
    default: return {};
    }
}

std::string IntToTextOrUnknown(int64_t value) { return value == 0 ? std::string("??") : std::to_string(value); }

std::string SizeToKbText(uint64_t size)
{
    if (size == 0)
        return {};
    // nearbyint rounds halves to even in the default rounding mode.
    return std::to_string(uint64_t(std::nearbyint(double(size) / 1024.0))) + " Kb";
}

std::string VersionMajorMinorX(const std::string& version)
{
    const auto first = version.find('.');
    const auto second = first == std::string::npos ? std::string::npos : version.find('.', first + 1);
    return second == std::string::npos ? version : version.substr(0, second + 1) + "x";
}

std::string ExtractCleanFilePath(const std::string& fileName)
{
    std::string folder = ExtractFilePath(fileName);
    if (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

std::string DateTimeToLogString(const QDateTime& time)
{
    if (!time.isValid())
        return {};
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toStdString();
}

} // namespace cv
