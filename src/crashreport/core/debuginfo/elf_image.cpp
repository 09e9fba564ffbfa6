#include "crashreport/core/debuginfo/elf_image.h"

#include "crashreport/core/debuginfo/elf_sections.h"
#include "suite/cv_endian.h"

#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <unistd.h>

#include <array>
#include <cstring>

namespace cv {

namespace {

// Larger sections than this are taken as damage, not data.
constexpr uint64_t kMaxSectionBytes = uint64_t(1) << 30;

const TElfSection* FindSection(TElfSections& file, const std::string& fileName, std::string_view sectionName)
{
    std::string error;
    return file.Open(fileName, error) ? file.Find(sectionName) : nullptr;
}

bool ReadAt(int fd, uint64_t offset, void* buffer, uint64_t count)
{
    auto* at = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        const ssize_t n = ::pread(fd, at, count, off_t(offset));
        if (n <= 0)
            return false;
        at += n;
        offset += uint64_t(n);
        count -= uint64_t(n);
    }
    return true;
}

} // namespace

bool ReadElfSection(const std::string& fileName, std::string_view sectionName, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    TElfSections file;
    const TElfSection* s = FindSection(file, fileName, sectionName);
    if (!s || s->Type == 8 /* SHT_NOBITS */ || s->Size > kMaxSectionBytes)
        return false;
    std::string error;
    return file.Read(*s, bytes, error);
}

std::optional<TElfSectionBounds> ElfSectionBounds(const std::string& fileName, std::string_view sectionName)
{
    TElfSections file;
    const TElfSection* s = FindSection(file, fileName, sectionName);
    if (!s)
        return std::nullopt;
    return TElfSectionBounds{s->Address, s->Size};
}

std::optional<uint64_t> ElfLoadAddress(const std::string& fileName)
{
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<uint64_t> lowest;
    std::array<uint8_t, 64> h{};
    if (ReadAt(fd, 0, h.data(), 52) && std::memcmp(h.data(), "\x7f" "ELF", 4) == 0 && h[5] == 1 && (h[4] == 1 || h[4] == 2)) {
        const bool is64 = h[4] == 2;
        const bool headerRead = !is64 || ReadAt(fd, 0, h.data(), 64);
        const uint64_t phoff = is64 ? endian::loadLE<uint64_t>(&h[0x20]) : endian::loadLE<uint32_t>(&h[0x1C]);
        const uint16_t phentsize = endian::loadLE<uint16_t>(&h[is64 ? 0x36 : 0x2A]);
        const uint16_t phnum = endian::loadLE<uint16_t>(&h[is64 ? 0x38 : 0x2C]);
        const uint64_t need = is64 ? 56 : 32;
        for (uint32_t i = 0; headerRead && phentsize >= need && i < phnum; ++i) {
            std::array<uint8_t, 56> p{};
            if (!ReadAt(fd, phoff + uint64_t(i) * phentsize, p.data(), need))
                break;
            if (endian::loadLE<uint32_t>(&p[0]) != 1) // PT_LOAD
                continue;
            // The loader maps whole pages: the header lies at the first one.
            const uint64_t vaddr = (is64 ? endian::loadLE<uint64_t>(&p[0x10]) : endian::loadLE<uint32_t>(&p[0x08])) & ~uint64_t(0xFFF);
            if (!lowest || vaddr < *lowest)
                lowest = vaddr;
        }
    }
    ::close(fd);
    return lowest;
}

bool ForEachDynamicSymbol(const std::string& fileName, const std::function<bool(const TElfDynamicSymbol&)>& visit)
{
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    elf_version(EV_CURRENT);
    Elf* elf = elf_begin(fd, ELF_C_READ_MMAP, nullptr);
    bool found = false;
    bool going = true;
    for (Elf_Scn* scn = elf ? elf_nextscn(elf, nullptr) : nullptr; scn && going; scn = elf_nextscn(elf, scn)) {
        GElf_Shdr sh;
        Elf_Data* data = nullptr;
        if (!gelf_getshdr(scn, &sh) || sh.sh_type != SHT_DYNSYM || sh.sh_entsize == 0 || !(data = elf_getdata(scn, nullptr)))
            continue;
        found = true;
        for (size_t i = 0; i < sh.sh_size / sh.sh_entsize && going; ++i) {
            GElf_Sym sym;
            if (!gelf_getsym(data, int(i), &sym))
                break;
            const char* name = elf_strptr(elf, sh.sh_link, sym.st_name);
            if (!name || !*name)
                continue;
            going = visit({name, sym.st_value, sym.st_size, uint8_t(GELF_ST_TYPE(sym.st_info)), sym.st_shndx != SHN_UNDEF});
        }
    }
    if (elf)
        elf_end(elf);
    ::close(fd);
    return found;
}

} // namespace cv
