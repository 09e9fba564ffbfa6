#include "crashreport/core/debuginfo/elf_sections.h"

#include "suite/cv_endian.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

using cv::endian::storeLE;

// A small 64-bit ELF file made byte by byte: a header, the null section, a
// ".text" of 4 bytes, a ".bad" whose bytes would lie past the end, and the
// section names.
QByteArray smallElf(uint64_t badOffset)
{
    const char names[] = "\0.text\0.bad\0.shstrtab\0";
    QByteArray f(64 + 4 + sizeof names, '\0');
    const int shoff = ((f.size() + 7) / 8) * 8;
    f.resize(shoff + 4 * 64);
    auto* p = reinterpret_cast<uint8_t*>(f.data());
    std::memcpy(p, "\x7F" "ELF", 4);
    p[4] = 2; // 64-bit
    p[5] = 1; // little-endian
    p[6] = 1;
    storeLE<uint16_t>(p + 16, 1);  // relocatable
    storeLE<uint16_t>(p + 18, 62); // x86-64
    storeLE<uint64_t>(p + 40, uint64_t(shoff));
    storeLE<uint16_t>(p + 58, 64);
    storeLE<uint16_t>(p + 60, 4);
    storeLE<uint16_t>(p + 62, 3);
    std::memcpy(p + 64, "\x90\x90\xC3\xCC", 4);
    std::memcpy(p + 68, names, sizeof names);
    auto section = [&](int i, uint32_t name, uint32_t type, uint64_t flags, uint64_t offset, uint64_t size) {
        uint8_t* s = p + shoff + i * 64;
        storeLE<uint32_t>(s, name);
        storeLE<uint32_t>(s + 4, type);
        storeLE<uint64_t>(s + 8, flags);
        storeLE<uint64_t>(s + 16, 0x1000 * uint64_t(i));
        storeLE<uint64_t>(s + 24, offset);
        storeLE<uint64_t>(s + 32, size);
    };
    section(1, 1, 1, 6, 64, 4);
    section(2, 7, 1, 2, badOffset, 0x100);
    section(3, 12, 3, 0, 68, sizeof names);
    return f;
}

TEST(TElfSections, ReadsTheSectionsOfAFileMadeByteByByte)
{
    cvtest::TempDir dir;
    const std::string file = dir.write("small.o", smallElf(0x100000)).toStdString();
    cv::TElfSections elf;
    std::string error;
    ASSERT_TRUE(elf.Open(file, error)) << error;
    EXPECT_TRUE(elf.Is64());
    EXPECT_EQ(elf.Machine(), 62);
    ASSERT_EQ(elf.Sections().size(), 4u);
    const cv::TElfSection* text = elf.Find(".text");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->Address, 0x1000u);
    EXPECT_EQ(text->Flags & 4, 4u);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(elf.Read(*text, bytes, error)) << error;
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x90, 0x90, 0xC3, 0xCC}));
    EXPECT_EQ(elf.Find(".data"), nullptr);

    // A section whose bytes would lie past the end is refused, not read.
    const cv::TElfSection* bad = elf.Find(".bad");
    ASSERT_NE(bad, nullptr);
    EXPECT_FALSE(elf.Read(*bad, bytes, error));
    EXPECT_NE(error.find("past the end"), std::string::npos) << error;
    EXPECT_TRUE(bytes.empty());
}

TEST(TElfSections, RefusesWhatIsNoElfFile)
{
    cvtest::TempDir dir;
    cv::TElfSections elf;
    std::string error;
    const std::string text = dir.write("text.o", QByteArray(100, 'x')).toStdString();
    EXPECT_FALSE(elf.Open(text, error));
    EXPECT_NE(error.find(text), std::string::npos) << error;
    EXPECT_NE(error.find("not an ELF file"), std::string::npos) << error;

    EXPECT_FALSE(elf.Open(dir.file("missing.o").toStdString(), error));
    EXPECT_NE(error.find("missing.o"), std::string::npos) << error;

    // Section headers said to lie past the end of the file.
    QByteArray cut = smallElf(64).left(64);
    EXPECT_FALSE(elf.Open(dir.write("cut.o", cut).toStdString(), error));
    EXPECT_NE(error.find("damaged section headers"), std::string::npos) << error;
}

TEST(TElfSections, ReadsTheCLibraryAndA32BitObject)
{
    cv::TElfSections elf;
    std::string error;
    ASSERT_TRUE(elf.Open("/lib/x86_64-linux-gnu/libc.so.6", error)) << error;
    EXPECT_TRUE(elf.Is64());
    const cv::TElfSection* text = elf.Find(".text");
    ASSERT_NE(text, nullptr);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(elf.Read(*text, bytes, error)) << error;
    ASSERT_EQ(bytes.size(), text->Size);
    std::ifstream in("/lib/x86_64-linux-gnu/libc.so.6", std::ios::binary);
    in.seekg(std::streamoff(text->Offset));
    std::vector<uint8_t> direct(64);
    in.read(reinterpret_cast<char*>(direct.data()), 64);
    EXPECT_TRUE(std::equal(direct.begin(), direct.end(), bytes.begin()));

    if (std::system("as --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "binutils' as is not installed";
    cvtest::TempDir dir;
    const QString source = dir.write("a.s", "nop\nret\n");
    const std::string object = dir.file("a.o").toStdString();
    ASSERT_EQ(std::system(("as --32 -o '" + object + "' '" + source.toStdString() + "'").c_str()), 0);
    ASSERT_TRUE(elf.Open(object, error)) << error;
    EXPECT_FALSE(elf.Is64());
    EXPECT_EQ(elf.Machine(), 3);
    text = elf.Find(".text");
    ASSERT_NE(text, nullptr);
    ASSERT_TRUE(elf.Read(*text, bytes, error));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x90, 0xC3}));
}

} // namespace
