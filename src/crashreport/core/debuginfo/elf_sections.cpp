#include "crashreport/core/debuginfo/elf_sections.h"

#include "suite/cv_endian.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace cv {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool readAt(std::FILE* f, uint64_t offset, void* buffer, size_t size)
{
    if (fseeko(f, off_t(offset), SEEK_SET) != 0)
        return false;
    return std::fread(buffer, 1, size, f) == size;
}

std::string cannot(const std::string& fileName, const std::string& reason)
{
    return "Cannot read ELF file \"" + fileName + "\": " + reason;
}

} // namespace

bool TElfSections::Open(const std::string& fileName, std::string& error)
{
    FFileName = fileName;
    FSections.clear();
    File f(std::fopen(fileName.c_str(), "rb"));
    if (!f) {
        error = cannot(fileName, std::strerror(errno));
        return false;
    }
    if (fseeko(f.get(), 0, SEEK_END) != 0) {
        error = cannot(fileName, std::strerror(errno));
        return false;
    }
    FFileSize = uint64_t(ftello(f.get()));

    uint8_t ident[64] = {};
    if (FFileSize < 52 || !readAt(f.get(), 0, ident, FFileSize >= 64 ? 64 : 52) ||
        std::memcmp(ident, "\x7F" "ELF", 4) != 0) {
        error = cannot(fileName, "not an ELF file");
        return false;
    }
    if (ident[4] != 1 && ident[4] != 2) {
        error = cannot(fileName, "unknown ELF class");
        return false;
    }
    if (ident[5] != 1) {
        error = cannot(fileName, "not a little-endian ELF file");
        return false;
    }
    FIs64 = ident[4] == 2;
    if (FIs64 && FFileSize < 64) {
        error = cannot(fileName, "file too short");
        return false;
    }
    using endian::loadLE;
    FMachine = loadLE<uint16_t>(ident + 18);
    const uint64_t shoff = FIs64 ? loadLE<uint64_t>(ident + 40) : loadLE<uint32_t>(ident + 32);
    const uint16_t shentsize = loadLE<uint16_t>(ident + (FIs64 ? 58 : 46));
    uint64_t shnum = loadLE<uint16_t>(ident + (FIs64 ? 60 : 48));
    uint32_t shstrndx = loadLE<uint16_t>(ident + (FIs64 ? 62 : 50));
    const uint16_t minEntry = FIs64 ? 64 : 40;
    if (shoff == 0)
        return true; // no section headers
    if (shentsize < minEntry || shoff >= FFileSize) {
        error = cannot(fileName, "damaged section headers");
        return false;
    }
    std::vector<uint8_t> entry(shentsize);
    // Large counts and the string-table index live in the first header.
    if (!readAt(f.get(), shoff, entry.data(), shentsize)) {
        error = cannot(fileName, "damaged section headers");
        return false;
    }
    if (shnum == 0)
        shnum = FIs64 ? loadLE<uint64_t>(entry.data() + 32) : loadLE<uint32_t>(entry.data() + 20);
    if (shstrndx == 0xFFFF)
        shstrndx = loadLE<uint32_t>(entry.data() + (FIs64 ? 40 : 24));
    if (shnum > (FFileSize - shoff) / shentsize) {
        error = cannot(fileName, "damaged section headers");
        return false;
    }
    std::vector<uint32_t> nameOffsets;
    FSections.reserve(size_t(shnum));
    for (uint64_t i = 0; i < shnum; ++i) {
        if (!readAt(f.get(), shoff + i * shentsize, entry.data(), shentsize)) {
            error = cannot(fileName, "damaged section headers");
            return false;
        }
        const uint8_t* e = entry.data();
        TElfSection s;
        nameOffsets.push_back(loadLE<uint32_t>(e));
        s.Type = loadLE<uint32_t>(e + 4);
        if (FIs64) {
            s.Flags = loadLE<uint64_t>(e + 8);
            s.Address = loadLE<uint64_t>(e + 16);
            s.Offset = loadLE<uint64_t>(e + 24);
            s.Size = loadLE<uint64_t>(e + 32);
        } else {
            s.Flags = loadLE<uint32_t>(e + 8);
            s.Address = loadLE<uint32_t>(e + 12);
            s.Offset = loadLE<uint32_t>(e + 16);
            s.Size = loadLE<uint32_t>(e + 20);
        }
        FSections.push_back(std::move(s));
    }
    if (shstrndx < FSections.size()) {
        std::vector<uint8_t> names;
        std::string ignored;
        if (Read(FSections[shstrndx], names, ignored)) {
            for (size_t i = 0; i < FSections.size(); ++i) {
                const uint32_t at = nameOffsets[i];
                if (at >= names.size())
                    continue;
                const uint8_t* start = names.data() + at;
                const void* end = std::memchr(start, 0, names.size() - at);
                FSections[i].Name.assign(reinterpret_cast<const char*>(start),
                                         end ? static_cast<const uint8_t*>(end) - start : names.size() - at);
            }
        }
    }
    return true;
}

const TElfSection* TElfSections::Find(std::string_view name) const
{
    for (const TElfSection& s : FSections)
        if (s.Name == name)
            return &s;
    return nullptr;
}

bool TElfSections::Read(const TElfSection& section, std::vector<uint8_t>& bytes, std::string& error) const
{
    bytes.clear();
    constexpr uint32_t kNoBits = 8;
    if (section.Type == kNoBits || section.Size == 0)
        return true;
    if (section.Offset > FFileSize || section.Size > FFileSize - section.Offset) {
        error = cannot(FFileName, "section \"" + section.Name + "\" lies past the end of the file");
        return false;
    }
    File f(std::fopen(FFileName.c_str(), "rb"));
    if (!f) {
        error = cannot(FFileName, std::strerror(errno));
        return false;
    }
    bytes.resize(size_t(section.Size));
    if (!readAt(f.get(), section.Offset, bytes.data(), bytes.size())) {
        error = cannot(FFileName, "short read");
        bytes.clear();
        return false;
    }
    return true;
}

} // namespace cv
