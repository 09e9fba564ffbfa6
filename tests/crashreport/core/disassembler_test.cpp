#include "crashreport/core/disassembler.h"
#include "crashreport/core/disassembler_oracle_testutil.h"
#include "crashreport/core/elf_sections.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using cvtest::TComparison;

std::string toolBinary()
{
#ifdef CV_WORDLIST_BINARY
    if (access(CV_WORDLIST_BINARY, R_OK) == 0)
        return CV_WORDLIST_BINARY;
#endif
    return "/proc/self/exe";
}

// Compares objdump's listing of the file's .text with ours: the whole
// section when CV_DISASM_COMPARE_ALL is set (scripts/disasm-vs-objdump.sh),
// else `windows` stretches of `windowBytes` spread over it.
TComparison compareFile(const std::string& file, int windows, uint64_t windowBytes)
{
    cv::TElfSections elf;
    std::string error;
    if (!elf.Open(file, error))
        ADD_FAILURE() << error;
    const cv::TElfSection* text = elf.Find(".text");
    std::vector<uint8_t> code;
    if (!text || !elf.Read(*text, code, error)) {
        ADD_FAILURE() << file << ": no .text " << error;
        return {};
    }
    const bool is32 = !elf.Is64();
    TComparison total;
    const char* all = std::getenv("CV_DISASM_COMPARE_ALL");
    if ((all && *all && *all != '0') || uint64_t(windows) * windowBytes >= text->Size) {
        total = cvtest::CompareWithObjdump(cvtest::ObjdumpListing(file, is32, text->Address, text->Address + text->Size),
                                           code, text->Address, is32);
    } else {
        const uint64_t step = text->Size / uint64_t(windows);
        for (int i = 0; i < windows; ++i) {
            const uint64_t start = text->Address + uint64_t(i) * step;
            const auto listing = cvtest::ObjdumpListing(file, is32, start, start + windowBytes);
            // The first instructions of a window may start inside another,
            // the last ones are cut off by its end.
            auto from = listing.begin();
            for (int skip = 0; skip < 16 && from != listing.end(); ++skip)
                ++from;
            auto to = from;
            while (to != listing.end() && to->Address + 16 < start + windowBytes)
                ++to;
            total.Add(cvtest::CompareWithObjdump({from, to}, code, text->Address, is32));
        }
    }
    return total;
}

void expectAgreement(const TComparison& c, const std::string& what)
{
    ASSERT_GT(c.Instructions, 1000u) << what << ": objdump listed too little (is binutils installed?)";
    std::string boundaries;
    for (size_t i = 0; i < c.BoundaryErrors.size() && i < 40; ++i)
        boundaries += c.BoundaryErrors[i] + "\n";
    EXPECT_TRUE(c.BoundaryErrors.empty()) << what << ": " << c.BoundaryErrors.size() << " instructions of another length\n"
                                          << boundaries;
    std::string unexplained;
    for (size_t i = 0; i < c.Unexplained.size() && i < 200; ++i)
        unexplained += c.Unexplained[i] + "\n";
    EXPECT_TRUE(c.Unexplained.empty()) << what << ": " << c.Unexplained.size() << " disagreements of no known kind\n"
                                       << unexplained;
    size_t known = 0;
    std::string kinds;
    for (const auto& [kind, n] : c.Known) {
        known += n;
        kinds += "  " + kind + ": " + std::to_string(n) + "\n";
    }
    const double agreed = double(c.Agreed) / double(c.Instructions);
    EXPECT_GE(agreed, 0.995) << what << ": " << c.Agreed << " of " << c.Instructions << " agree\n" << kinds;
    std::printf("%s: %zu instructions, %zu agree (%.3f%%), %zu of known kinds\n%s", what.c_str(), c.Instructions,
                c.Agreed, 100.0 * agreed, known, kinds.c_str());
}

TEST(TDisAsmObjdump, AgreesOnTheCLibrary)
{
    expectAgreement(compareFile("/lib/x86_64-linux-gnu/libc.so.6", 24, 12 * 1024), "libc.so.6");
}

TEST(TDisAsmObjdump, AgreesOnTheTool)
{
    expectAgreement(compareFile(toolBinary(), 24, 12 * 1024), toolBinary());
}

// Files named in CV_DISASM_COMPARE_FILES (separated by ":"), whole; for
// scripts/disasm-vs-objdump.sh.
TEST(TDisAsmObjdump, AgreesOnGivenFiles)
{
    const char* files = std::getenv("CV_DISASM_COMPARE_FILES");
    if (!files || !*files)
        GTEST_SKIP() << "CV_DISASM_COMPARE_FILES not set";
    std::string list(files);
    for (size_t at = 0; at <= list.size();) {
        size_t end = list.find(':', at);
        if (end == std::string::npos)
            end = list.size();
        const std::string file = list.substr(at, end - at);
        if (!file.empty())
            expectAgreement(compareFile(file, 1, ~uint64_t(0) >> 1), file);
        at = end + 1;
    }
}

} // namespace
