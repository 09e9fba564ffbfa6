#include "crashreport/core/elf_image.h"

#include "suite/cv_endian.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstring>

namespace cv {

namespace {

// Larger sections than this are taken as damage, not data.
constexpr uint64_t kMaxSectionBytes = uint64_t(1) << 30;

class ElfFile {
public:
    explicit ElfFile(const std::string& fileName) : m_fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~ElfFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ElfFile(const ElfFile&) = delete;
    ElfFile& operator=(const ElfFile&) = delete;

    // The file header: class, byte order and the tables' places.
    bool ReadHeader()
    {
        std::array<uint8_t, 64> h{};
        if (m_fd < 0 || !ReadAt(0, h.data(), 52))
            return false;
        if (std::memcmp(h.data(), "\x7f" "ELF", 4) != 0 || h[5] != 1) // little-endian only
            return false;
        m_64 = h[4] == 2;
        if (!m_64 && h[4] != 1)
            return false;
        if (m_64) {
            if (!ReadAt(0, h.data(), 64))
                return false;
            m_phoff = endian::loadLE<uint64_t>(&h[0x20]);
            m_shoff = endian::loadLE<uint64_t>(&h[0x28]);
            m_phentsize = endian::loadLE<uint16_t>(&h[0x36]);
            m_phnum = endian::loadLE<uint16_t>(&h[0x38]);
            m_shentsize = endian::loadLE<uint16_t>(&h[0x3A]);
            m_shnum = endian::loadLE<uint16_t>(&h[0x3C]);
            m_shstrndx = endian::loadLE<uint16_t>(&h[0x3E]);
        } else {
            m_phoff = endian::loadLE<uint32_t>(&h[0x1C]);
            m_shoff = endian::loadLE<uint32_t>(&h[0x20]);
            m_phentsize = endian::loadLE<uint16_t>(&h[0x2A]);
            m_phnum = endian::loadLE<uint16_t>(&h[0x2C]);
            m_shentsize = endian::loadLE<uint16_t>(&h[0x2E]);
            m_shnum = endian::loadLE<uint16_t>(&h[0x30]);
            m_shstrndx = endian::loadLE<uint16_t>(&h[0x32]);
        }
        return true;
    }

    struct Section {
        uint32_t name = 0;
        uint64_t address = 0;
        uint64_t offset = 0;
        uint64_t size = 0;
        uint32_t type = 0;
    };

    bool ReadSection(uint32_t index, Section& s)
    {
        const uint64_t need = m_64 ? 64 : 40;
        if (index >= m_shnum || m_shentsize < need)
            return false;
        std::array<uint8_t, 64> e{};
        if (!ReadAt(m_shoff + uint64_t(index) * m_shentsize, e.data(), need))
            return false;
        s.name = endian::loadLE<uint32_t>(&e[0]);
        s.type = endian::loadLE<uint32_t>(&e[4]);
        if (m_64) {
            s.address = endian::loadLE<uint64_t>(&e[0x10]);
            s.offset = endian::loadLE<uint64_t>(&e[0x18]);
            s.size = endian::loadLE<uint64_t>(&e[0x20]);
        } else {
            s.address = endian::loadLE<uint32_t>(&e[0x0C]);
            s.offset = endian::loadLE<uint32_t>(&e[0x10]);
            s.size = endian::loadLE<uint32_t>(&e[0x14]);
        }
        return true;
    }

    bool FindSection(std::string_view wanted, Section& found)
    {
        Section names;
        if (!ReadSection(m_shstrndx, names))
            return false;
        std::vector<char> name(wanted.size() + 1);
        for (uint32_t i = 1; i < m_shnum; ++i) {
            Section s;
            if (!ReadSection(i, s))
                return false;
            // The name and its terminating zero must lie inside the names section.
            if (s.name >= names.size || names.size - s.name < name.size())
                continue;
            if (!ReadAt(names.offset + s.name, name.data(), name.size()))
                continue;
            if (name.back() == '\0' && std::string_view(name.data(), wanted.size()) == wanted) {
                found = s;
                return true;
            }
        }
        return false;
    }

    std::optional<uint64_t> LowestLoadAddress()
    {
        const uint64_t need = m_64 ? 56 : 32;
        if (m_phentsize < need)
            return std::nullopt;
        std::optional<uint64_t> lowest;
        for (uint32_t i = 0; i < m_phnum; ++i) {
            std::array<uint8_t, 56> p{};
            if (!ReadAt(m_phoff + uint64_t(i) * m_phentsize, p.data(), need))
                return std::nullopt;
            if (endian::loadLE<uint32_t>(&p[0]) != 1) // PT_LOAD
                continue;
            uint64_t vaddr = m_64 ? endian::loadLE<uint64_t>(&p[0x10]) : endian::loadLE<uint32_t>(&p[0x08]);
            // The loader maps whole pages: the header lies at the first one.
            vaddr &= ~uint64_t(0xFFF);
            if (!lowest || vaddr < *lowest)
                lowest = vaddr;
        }
        return lowest;
    }

    bool ReadAt(uint64_t offset, void* buffer, uint64_t count)
    {
        auto* at = static_cast<uint8_t*>(buffer);
        while (count > 0) {
            const ssize_t n = ::pread(m_fd, at, count, off_t(offset));
            if (n <= 0)
                return false;
            at += n;
            offset += uint64_t(n);
            count -= uint64_t(n);
        }
        return true;
    }

private:
    int m_fd;
    bool m_64 = true;
    uint64_t m_phoff = 0, m_shoff = 0;
    uint16_t m_phentsize = 0, m_phnum = 0, m_shentsize = 0, m_shnum = 0, m_shstrndx = 0;
};

} // namespace

bool ReadElfSection(const std::string& fileName, std::string_view sectionName, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    ElfFile file(fileName);
    ElfFile::Section s;
    if (!file.ReadHeader() || !file.FindSection(sectionName, s))
        return false;
    if (s.type == 8 /* SHT_NOBITS */ || s.size > kMaxSectionBytes)
        return false;
    bytes.resize(s.size);
    if (!file.ReadAt(s.offset, bytes.data(), s.size)) {
        bytes.clear();
        return false;
    }
    return true;
}

std::optional<TElfSectionBounds> ElfSectionBounds(const std::string& fileName, std::string_view sectionName)
{
    ElfFile file(fileName);
    ElfFile::Section s;
    if (!file.ReadHeader() || !file.FindSection(sectionName, s))
        return std::nullopt;
    return TElfSectionBounds{s.address, s.size};
}

std::optional<uint64_t> ElfLoadAddress(const std::string& fileName)
{
    ElfFile file(fileName);
    if (!file.ReadHeader())
        return std::nullopt;
    return file.LowestLoadAddress();
}

} // namespace cv
