#include "crashreport/core/debuginfo/compiled_debug_data.h"

#include "crashreport/core/debuginfo/debug_data_testutil.h"
#include "crashreport/core/debuginfo/elf_image.h"
#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/support/crashbox_codecs.h"
#include "crashreport/core/support/exception_object.h"
#include "support/le_bytes.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include <dlfcn.h>

#include <stdexcept>

namespace {

using Detail = cv::TCrashboxDebugDetail;

// The code the procedures of the debug data start at: a frame at 0x114, no
// frame at 0x144, "push rbx" at 0x194 (offsets from the code start).
alignas(16) uint8_t gCode[0x300];

uintptr_t CodeStart()
{
    static const bool once = [] {
        std::fill(std::begin(gCode), std::end(gCode), uint8_t(0x90));
        const uint8_t frame[] = {0x55, 0x48, 0x89, 0xE5};
        std::copy(std::begin(frame), std::end(frame), gCode + 0x114);
        gCode[0x194] = 0x53;
        return true;
    }();
    (void)once;
    return reinterpret_cast<uintptr_t>(gCode);
}

// A debug-data stream made byte by byte: names as the data version stores
// them, unit headers and records in each of their forms.
struct StreamBuilder {
    uint16_t version = 6103;
    std::string password = "secret";
    cvtest::LEBytes b;

    std::vector<uint8_t> enciphered(const std::string& text) const
    {
        // Chaining encryption, the inverse of the reader's chaining decryption.
        cv::TTEACipher cipher(password);
        cv::TTEACipher::TBlock chain;
        chain.fill(cv::TTEACipher::kInitialVectorByte);
        std::vector<uint8_t> out(text.begin(), text.end());
        size_t i = 0;
        for (; i + 8 <= out.size(); i += 8) {
            for (size_t k = 0; k < 8; ++k)
                out[i + k] ^= chain[k];
            cipher.TEAEncryptBlock(&out[i], &out[i]);
            std::copy_n(&out[i], 8, chain.begin());
        }
        if (i < out.size()) {
            cipher.TEAEncryptBlock(chain.data(), chain.data());
            for (size_t k = 0; i + k < out.size(); ++k)
                out[i + k] ^= chain[k];
        }
        return out;
    }
    std::vector<uint8_t> stored(const std::string& text) const
    {
        if (version < 500) {
            std::vector<uint8_t> out(text.begin(), text.end());
            for (uint8_t& c : out)
                c ^= 0x3C;
            return out;
        }
        return enciphered(text);
    }
    StreamBuilder& name(const std::string& text, uint8_t extra = 0)
    {
        const auto bytes = stored(text);
        b.u8(uint8_t(bytes.size() + extra)).bytes(bytes);
        return *this;
    }
    // A unit: its header and its records.
    StreamBuilder& unit(const std::string& unitName, uint32_t firstLine, uint32_t start, uint32_t size, const std::vector<uint8_t>& records)
    {
        name(unitName);
        b.u32(firstLine).u32(start).u32(size).u32(uint32_t(records.size())).bytes(records);
        return *this;
    }
};

// Records, collected with the names the new procedures carry.
struct Records {
    const StreamBuilder& s;
    std::vector<uint8_t> r;

    Records& procName(const std::string& text)
    {
        const auto bytes = s.stored(text);
        r.push_back(uint8_t(bytes.size()));
        r.insert(r.end(), bytes.begin(), bytes.end());
        return *this;
    }
    Records& step(int line, int address) // 1 to 4 lines, 1 to 32 bytes
    {
        r.push_back(uint8_t(((line - 1) << 6) | ((address - 1) << 1)));
        return *this;
    }
    Records& procedure(int line, int address, const std::string& n) // 1 to 8 lines and bytes
    {
        r.push_back(uint8_t(((line - 1) << 5) | ((address - 1) << 2) | 1));
        return procName(n);
    }
    Records& word(int line, int address, const std::string& n = {}) // 1 to 32 lines, 1 to 128 bytes
    {
        const uint16_t w = uint16_t(((line - 1) << 11) | ((address - 1) << 4) | (n.empty() ? 0 : 4) | 3);
        r.push_back(uint8_t(w));
        r.push_back(uint8_t(w >> 8));
        return n.empty() ? *this : procName(n);
    }
    Records& longForm(uint32_t lineField, uint32_t addressField, const std::string& n = {})
    {
        const uint32_t d = (((addressField << 16) | lineField) << 4) | 8 | (n.empty() ? 0 : 4) | 3;
        for (int k = 0; k < 4; ++k)
            r.push_back(uint8_t(d >> (8 * k)));
        return n.empty() ? *this : procName(n);
    }
    Records& escaped(uint16_t line, uint16_t address, const std::string& n = {})
    {
        const uint32_t d = (0x0FFEFFFEu << 4) | 8 | (n.empty() ? 0 : 4) | 3;
        for (int k = 0; k < 4; ++k)
            r.push_back(uint8_t(d >> (8 * k)));
        const uint16_t lineField = uint16_t(line - 1), addressField = uint16_t(address - 1);
        r.insert(r.end(), {uint8_t(lineField), uint8_t(lineField >> 8), uint8_t(addressField), uint8_t(addressField >> 8)});
        return n.empty() ? *this : procName(n);
    }
};

// Alpha (0x100-0x1FF), Inner (0x120-0x12F, inside Alpha), Beta (0x200-0x23F).
std::vector<uint8_t> SampleStream(StreamBuilder& s)
{
    if (s.version >= 405 && s.version < 500)
        s.b.u32(3).u8(1).u8(2).u8(3); // the block older data starts with
    s.b.u32(3);
    Records alpha{s, {}};
    alpha.step(1, 0x10)                       // 0x100-0x10F, line 10: before the first procedure
        .procedure(2, 4, "TFoo.First")        // 0x110-0x113, line 11; First from 0x114, line 13
        .word(1, 0x20)                        // 0x114-0x133, line 13
        .word(3, 0x10, ".Second")             // 0x134-0x143, line 14; Second (of TFoo) from 0x144, line 17
        .longForm(0xFFFD, 0x1F);              // 0x144-0x163, line 17; then two lines back
    if (s.version >= 423)                     // 0x164-0x193, line 15; _Plain from 0x194, line 20
        alpha.escaped(5, 0x30, "@Plain");     // (older data has no escaped form)
    else
        alpha.longForm(4, 0x2F, "@Plain");
    alpha.longForm(0, 0xFFF)                  // no bytes; line 21
        .step(1, 1);                          // 0x194, line 21; then to the end, line 22
    s.unit("Alpha", 10, 0x100, 0x100, alpha.r);
    Records inner{s, {}};
    inner.procedure(1, 1, "TIn.Nested");
    s.unit("Inner", 100, 0x120, 0x10, inner.r);
    Records beta{s, {}};
    beta.procedure(1, 8, "Go").step(1, 8);
    s.unit("Beta", 5, 0x200, 0x40, beta.r);
    return s.b.b;
}

// An entry with whether the lookup found it.
struct Answer : cv::TCrashboxDebugInfo {
    bool Found = false;
};

struct CompiledData : ::testing::Test {
    cv::TCrashboxModuleInfo module;

    void Load(StreamBuilder& s, bool validPassword = true)
    {
        module.Handle = CodeStart() - 0x1000;
        module.ExtraInformation.CrashboxVersion = s.version;
        module.ExtraInformation.DebugInformation = std::make_unique<cv::TMemoryStream>(SampleStream(s));
        module.EncryptPassword = validPassword ? s.password : "wrong";
        module.IsValidEncryptPassword = validPassword;
    }
    Answer At(uint32_t offset)
    {
        Answer info;
        info.ModuleInfo = &module;
        info.Found = cv::LookUpCompiledInData(CodeStart() + offset, info);
        return info;
    }
    void TearDown() override { cv::SetCrashboxUnitFileNames({}); }
};

struct Expected {
    uint32_t offset;
    const char* unit;
    const char* className;
    const char* procedure;
    uint32_t line;
    uint32_t procOffsetLine;
};

const Expected kCases[] = {
    {0x105, "Alpha.pas", "TFoo", "First", 10, 0},   // before the unit's first procedure: credited to it
    {0x112, "Alpha.pas", "TFoo", "First", 11, 0},
    {0x114, "Alpha.pas", "TFoo", "First", 13, 0},   // its first line, with a stack frame: 0
    {0x13A, "Alpha.pas", "TFoo", "First", 14, 1},
    {0x144, "Alpha.pas", "TFoo", "Second", 17, 1},  // without a frame its first line counts one less
    {0x170, "Alpha.pas", "TFoo", "Second", 15, 0},  // a line before its first: 0
    {0x194, "Alpha.pas", "", "_Plain", 21, 1},     // "push rbx" is no frame here either
    {0x1FF, "Alpha.pas", "", "_Plain", 22, 2},     // the last range runs to the unit's end
    {0x125, "Inner.pas", "TIn", "Nested", 101, 1}, // a unit inside another one that holds the address
    {0x23F, "Beta.pas", "", "Go", 7, 2},          // no frame at Go's start (line 6)
};

class CompiledDataVersions : public CompiledData, public ::testing::WithParamInterface<uint16_t> {};

TEST_P(CompiledDataVersions, RecordsResolveInEveryDataVersion)
{
    StreamBuilder s;
    s.version = GetParam();
    Load(s);
    for (const Expected& e : kCases) {
        SCOPED_TRACE(e.offset);
        const Answer info = At(e.offset);
        ASSERT_TRUE(info.Found);
        EXPECT_EQ(info.DebugDetail, Detail::ddSourceCode);
        EXPECT_EQ(info.Addr, CodeStart() + e.offset);
        EXPECT_EQ(info.UnitName, e.unit);
        EXPECT_EQ(info.ClassName, e.className);
        EXPECT_EQ(info.ProcedureName, e.procedure);
        EXPECT_EQ(info.Line, e.line);
        EXPECT_EQ(info.ProcOffsetLine, e.procOffsetLine);
    }
    // Outside every unit, and below the code: nothing.
    EXPECT_FALSE(At(0x240).Found);
    EXPECT_FALSE(At(0x50).Found);
}

// Names XOR-ed (below 500, with the block to skip from 405), enciphered (500 on).
INSTANTIATE_TEST_SUITE_P(Versions, CompiledDataVersions, ::testing::Values(uint16_t(400), uint16_t(450), uint16_t(6103)));

TEST_F(CompiledData, WithoutThePasswordNamesShowAsBase64)
{
    StreamBuilder s;
    Load(s, false);
    const Answer info = At(0x114);
    ASSERT_TRUE(info.Found);
    const auto raw = s.enciphered("TFoo.First"); // not split: the dot is enciphered too
    EXPECT_EQ(info.ProcedureName, "?" + cv::Base64EncodeStr(std::string(raw.begin(), raw.end())));
    const auto unit = s.enciphered("Alpha");
    EXPECT_EQ(info.UnitName, "?p" + cv::Base64EncodeStr(std::string(unit.begin(), unit.end())));
}

TEST_F(CompiledData, LongNamesContinueInAFurtherName)
{
    StreamBuilder s;
    s.b.u32(1);
    Records r{s, {}};
    const auto first = s.stored("TLong");
    r.r.push_back(uint8_t(((1 - 1) << 5) | ((1 - 1) << 2) | 1));
    r.r.push_back(uint8_t(first.size() + 128));
    r.r.insert(r.r.end(), first.begin(), first.end());
    r.procName("Method");
    s.unit("Unit", 1, 0x100, 0x10, r.r);
    module.Handle = CodeStart() - 0x1000;
    module.ExtraInformation.CrashboxVersion = s.version;
    module.ExtraInformation.DebugInformation = std::make_unique<cv::TMemoryStream>(s.b.b);
    module.EncryptPassword = s.password;
    module.IsValidEncryptPassword = true;
    const Answer info = At(0x105);
    EXPECT_EQ(info.ClassName, "TLong");
    EXPECT_EQ(info.ProcedureName, "Method");
}

TEST_F(CompiledData, TheLibrarysOwnUnitsAreNotShown)
{
    StreamBuilder s;
    Load(s);
    cv::SetCrashboxUnitFileNames({"Zeta.pas", "Beta.pas"});
    const Answer info = At(0x210);
    ASSERT_TRUE(info.Found);
    EXPECT_EQ(info.DebugDetail, Detail::ddModule);
    EXPECT_EQ(info.UnitName, "");
    EXPECT_EQ(info.ProcedureName, "");
    EXPECT_EQ(info.Line, 0u);
    EXPECT_EQ(At(0x114).UnitName, "Alpha.pas");
}

TEST_F(CompiledData, DamagedStreamsFindNothingAndReadSafely)
{
    StreamBuilder s;
    const std::vector<uint8_t> good = SampleStream(s);
    module.Handle = CodeStart() - 0x1000;
    module.ExtraInformation.CrashboxVersion = s.version;
    module.EncryptPassword = s.password;
    module.IsValidEncryptPassword = true;
    for (size_t i = 0; i < good.size(); ++i) {
        for (uint8_t v : {uint8_t(0xFF), uint8_t(0x00), uint8_t(0x83)}) {
            std::vector<uint8_t> d = good;
            d[i] = v;
            module.ExtraInformation.DebugInformation = std::make_unique<cv::TMemoryStream>(d);
            for (uint32_t offset : {0x105u, 0x170u, 0x125u, 0x23Fu})
                At(offset);
        }
        module.ExtraInformation.DebugInformation =
            std::make_unique<cv::TMemoryStream>(std::vector<uint8_t>(good.begin(), good.begin() + ptrdiff_t(i)));
        At(0x23F);
    }
}

TEST(PublicNames, AreSplitIntoUnitClassAndProcedure)
{
    struct Case {
        const char* name;
        bool found;
        Detail detail;
        const char* unit;
        const char* className;
        const char* procedure;
    };
    const Case cases[] = {
        {"malloc", true, Detail::ddProcedure, "", "", "malloc"},
        {"?Mangled@@YAXXZ", false, Detail::ddNone, "", "", ""},
        {"Unit.Proc", true, Detail::ddUnitAndProcedure, "Unit.pas", "", "Proc"},
        {"Unit.TClass.Method", true, Detail::ddUnitAndProcedure, "Unit.pas", "TClass", "Method"},
        {"Unit.Proc@8", true, Detail::ddUnitAndProcedure, "Unit.pas", "", "Proc"},
        {"A.B.C.D", false, Detail::ddNone, "", "", ""},
        {"@Unit@TClass@Method$qqrv", true, Detail::ddUnitAndProcedure, "Unit.pas", "TClass", "Method"},
        {"@Unit@Proc$qqrv", true, Detail::ddUnitAndProcedure, "Unit.pas", "", "Proc"},
        {"@Unit@@Proc$qqrv", true, Detail::ddUnitAndProcedure, "Unit.pas", "", "_Proc"},
        {"@Unit@TList@@Get$qqri", true, Detail::ddUnitAndProcedure, "Unit.pas", "TList", "_Get"},
        {"@Unit@Proc@$qqrv", true, Detail::ddUnitAndProcedure, "Unit.pas", "", "Proc"},
        {"@$xp$6TClass", false, Detail::ddNone, "", "", ""},
        {"@", false, Detail::ddNone, "", "", ""},
        {"@NoDollar", false, Detail::ddNone, "", "", ""},
        {"", false, Detail::ddNone, "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cv::TCrashboxDebugInfo info;
        EXPECT_EQ(cv::ParsePublicName(c.name, info), c.found);
        EXPECT_EQ(info.DebugDetail, c.detail);
        EXPECT_EQ(info.UnitName, c.unit);
        EXPECT_EQ(info.ClassName, c.className);
        EXPECT_EQ(info.ProcedureName, c.procedure);
    }
}

TEST(AddressLookup, FallsBackToTheExportedFunctions)
{
    cv::TCrashboxModuleInfo module;
    module.Handle = CodeStart() - 0x1000;
    module.FunctionsList = std::make_unique<cv::TCrashboxFunctionsList>();
    auto add = [&](const char* name, uint32_t offset, uint64_t size) {
        auto f = std::make_unique<cv::TCrashboxFunctionInfo>();
        f->Name = name;
        f->Addr = CodeStart() + offset;
        f->Size = size;
        module.FunctionsList->Add(std::move(f));
    };
    gCode[0x2F0] = 0xC3; // the end of a function whose size is not known
    add("Unit.First", 0x100, 0x10);
    add("exported_c_function", 0x200, 0x10);
    add("Unit.TWhat.Sized", 0x2E0, 0);
    auto lookup = [&](uintptr_t) { return &module; };

    cv::TCrashboxDebugInfo info;
    cv::FillDebugInfoForAddress(CodeStart() + 0x104, 7, info, true, false, lookup);
    EXPECT_EQ(info.DebugDetail, Detail::ddUnitAndProcedure);
    EXPECT_EQ(info.ModuleInfo, &module);
    EXPECT_EQ(info.ThreadID, 7u);
    EXPECT_TRUE(info.RunningThread);
    EXPECT_EQ(info.Addr, CodeStart() + 0x104);
    EXPECT_EQ(info.ProcedureName, "First");

    cv::FillDebugInfoForAddress(CodeStart() + 0x210, 7, info, false, false, lookup); // the end is inside
    EXPECT_EQ(info.DebugDetail, Detail::ddProcedure);
    EXPECT_EQ(info.ProcedureName, "exported_c_function");

    cv::FillDebugInfoForAddress(CodeStart() + 0x2E8, 7, info, false, false, lookup);
    EXPECT_EQ(info.ProcedureName, "Sized");
    EXPECT_EQ(module.FunctionsList->GetItem(2)->Size, 0x11u); // worked out once and kept

    cv::FillDebugInfoForAddress(CodeStart() + 0x180, 7, info, false, false, lookup); // between functions
    EXPECT_EQ(info.DebugDetail, Detail::ddModule);
    EXPECT_EQ(info.ProcedureName, "");

    cv::FillDebugInfoForAddress(CodeStart() + 0x180, 7, info, false, true, lookup); // the error line
    EXPECT_EQ(info.DebugDetail, Detail::ddSourceCode);
    EXPECT_TRUE(info.ErrorLine);

    cv::FillDebugInfoForAddress(0x1234, 7, info, false, false, [](uintptr_t) { return cv::PCrashboxModuleInfo(nullptr); });
    EXPECT_EQ(info.DebugDetail, Detail::ddNone);
    EXPECT_EQ(info.Addr, 0x1234u);
}

// The external source's procedure names are split at their dots.
TEST(AddressLookup, OtherDebugDataIsSplitIntoClassAndProcedure)
{
    cvtest::TempDir dir;
    dir.write(QStringLiteral("prog.map"),
              "  Start         Length     Name                   Class\n"
              " 0001:00000000 00000100H .text                   CODE\n\n"
              "Detailed map of segments\n\n"
              " 0001:00000000 00000100 C=CODE     S=.text    G=(none)   M=Main    ACBP=A9\n\n"
              "  Address             Publics by Name\n\n"
              "  Address             Publics by Value\n\n"
              " 0001:00000010       Main.Proc\n"
              " 0001:00000020       TThing.Method\n"
              " 0001:00000030       Main.TThing.Other\n"
              " 0001:00000040       @Loose\n\n"
              "Line numbers for Main(main.pas) segment .text\n\n"
              "    10 0001:00000010    20 0001:00000020    30 0001:00000030\n");
    cv::TCrashboxModuleInfo module;
    module.Handle = 0x50000000;
    module.Name = dir.file(QStringLiteral("prog")).toStdString();
    auto lookup = [&](uintptr_t) { return &module; };
    struct Case {
        uint32_t offset;
        Detail detail;
        const char* className;
        const char* procedure;
        uint32_t line;
    };
    const Case cases[] = {
        {0x14, Detail::ddSourceCode, "", "Proc", 10},           // "Main" is the unit: no class
        {0x24, Detail::ddSourceCode, "TThing", "Method", 20},
        {0x34, Detail::ddSourceCode, "TThing", "Other", 30},
        {0x44, Detail::ddSourceCode, "", "_Loose", 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        cv::TCrashboxDebugInfo info;
        cv::FillDebugInfoForAddress(module.Handle + 0x1000 + c.offset, 1, info, false, false, lookup);
        EXPECT_EQ(info.DebugDetail, c.detail);
        EXPECT_EQ(info.UnitName, "main.pas");
        EXPECT_EQ(info.ClassName, c.className);
        EXPECT_EQ(info.ProcedureName, c.procedure);
        EXPECT_EQ(info.Line, c.line);
    }
    EXPECT_NE(module.OtherDebugData, nullptr); // chosen on first need and kept
}

TEST(ELData, ContainerRoundTripAndDamage)
{
    cv::TELDataContents c;
    c.CompilationTime = 1700000000;
    c.Symbols = {{1, 0x1234, 7}, {9, 0x20, 0}};
    c.Options = {1, 2, 3, 4, 5};
    c.HasDebugInformation = true;
    c.DebugInformation.assign(1000, 0x42);
    c.NamesEnciphered = true;
    c.PasswordCheck = cv::ELDataPasswordCheck("pw");
    const std::vector<uint8_t> bytes = cv::WriteELData(c);
    EXPECT_EQ(cvtest::LEAt<uint32_t>(bytes, 0), cv::kELDataMark);
    EXPECT_EQ(cvtest::LEAt<uint16_t>(bytes, 4), cv::kCrashboxDataVersion);
    EXPECT_EQ(cvtest::LEAt<int64_t>(bytes, 6), 1700000000);
    EXPECT_EQ(cvtest::LEAt<uint32_t>(bytes, 16), 18u);
    EXPECT_EQ(cvtest::LEAt<uint32_t>(bytes, 21), 0x1234u);

    cv::TELDataContents back;
    ASSERT_TRUE(cv::ReadELData(bytes, back));
    EXPECT_EQ(back.CompilationTime, c.CompilationTime);
    ASSERT_EQ(back.Symbols.size(), 2u);
    EXPECT_EQ(back.Symbols[1].ID, 9);
    EXPECT_EQ(back.Options, c.Options);
    EXPECT_EQ(back.DebugInformation, c.DebugInformation);
    EXPECT_TRUE(back.NamesEnciphered);
    EXPECT_EQ(back.PasswordCheck, c.PasswordCheck);
    EXPECT_EQ(cv::FindSymbolInELData(bytes, 0x400000, 9), 0x400000u + 0x20 + 0x1000);
    EXPECT_EQ(cv::FindSymbolInELData(bytes, 0x400000, 5), 0u);

    // Versions 600 to 602 read as 6000 to 6002; their neighbours as they are.
    std::vector<uint8_t> old = bytes;
    for (const auto& [stored, read] : std::vector<std::pair<uint16_t, uint16_t>>{{599, 599}, {600, 6000}, {601, 6001}, {602, 6002}, {603, 603}}) {
        cv::endian::storeLE(old.data() + 4, stored);
        ASSERT_TRUE(cv::ReadELData(old, back));
        EXPECT_EQ(back.Version, read) << stored;
    }

    for (size_t n = 0; n < bytes.size(); n += 7) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + ptrdiff_t(n));
        EXPECT_FALSE(cv::ReadELData(cut, back)) << n;
        cv::FindSymbolInELData(cut, 0x400000, 9);
    }
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::vector<uint8_t> changed = bytes;
        changed[i] ^= 0xA5;
        cv::ReadELData(changed, back);
        cv::FindSymbolInELData(changed, 0x400000, 9);
    }
}

TEST(ELData, ModuleFileCarriesOptionsAndDate)
{
    cv::TCrashboxModuleOptions options("prog");
    options.SetOutputPath("/somewhere/else");
    cv::TMemoryStream stream;
    ASSERT_TRUE(options.SaveToStream(stream));
    cv::TELDataContents c;
    c.CompilationTime = 1700000000;
    c.Options = stream.TakeBytes();
    cvtest::TempDir dir;
    const std::string file =
        dir.write(QStringLiteral("prog"), cvtest::toBytes(cvtest::MakeElfWithSections({{"ELDATA", cv::WriteELData(c)}}))).toStdString();
    cv::TCrashboxModuleInfo module;
    module.Name = "prog";
    ASSERT_TRUE(cv::LoadCompiledInData(file, module));
    EXPECT_EQ(module.ExtraInformation.CrashboxVersion, cv::kCrashboxDataVersion);
    EXPECT_EQ(module.ExtraInformation.CompilationDate.toSecsSinceEpoch(), 1700000000);
    ASSERT_NE(module.ExtraInformation.Options, nullptr);
    EXPECT_EQ(module.ExtraInformation.Options->OutputPath(), "/somewhere/else");
    EXPECT_EQ(module.ExtraInformation.DebugInformation, nullptr);

    const std::string plain = dir.write(QStringLiteral("plain"), cvtest::toBytes(cvtest::MakeElfWithSections({}))).toStdString();
    cv::TCrashboxModuleInfo none;
    EXPECT_FALSE(cv::LoadCompiledInData(plain, none));
    EXPECT_EQ(none.ExtraInformation.CrashboxVersion, 0);
}

TEST(ELData, TheToolCarriesItsData)
{
#ifndef CV_TOOL_PROGRAM
    GTEST_SKIP() << "the tool's program is not part of this build";
#else
    if (!QFileInfo::exists(QStringLiteral(CV_TOOL_PROGRAM)))
        GTEST_SKIP() << "the tool's program is not built";
    cv::TCrashboxModuleInfo module;
    module.Name = "corvantis-wordlist";
    ASSERT_TRUE(cv::LoadCompiledInData(CV_TOOL_PROGRAM, module));
    EXPECT_EQ(module.ExtraInformation.CrashboxVersion, cv::kCrashboxDataVersion);
    EXPECT_TRUE(module.ExtraInformation.CompilationDate.isValid());
    EXPECT_NE(module.ExtraInformation.Options, nullptr);
#endif
}

TEST(ELData, ThisProgramHasNoSymbols)
{
    EXPECT_EQ(cv::FindSymbolByID(1), 0u);
}

// --- code patterns ---

alignas(16) uint8_t gPatterns[64];

extern "C" int cvtest_entry_one() { return 1; }
extern "C" int cvtest_entry_two() { return 2; }
extern "C" int cvtest_entry_three() { return 3; }
void* gCell = nullptr;

TEST(CodePatterns, ProloguesAndPushes)
{
    struct Case {
        std::vector<uint8_t> bytes;
        bool frame;
        bool pushEbx;
    };
    const Case cases[] = {
        {{0x55, 0x8B, 0xEC}, true, false},
        {{0x55, 0x48, 0x89, 0xE5}, true, false},
        {{0x55, 0x48, 0x8B, 0xEC}, true, false},
        {{0xF3, 0x0F, 0x1E, 0xFA, 0x55, 0x48, 0x89, 0xE5}, true, false},
        {{0x53, 0x48}, false, true},
        {{0xF3, 0x0F, 0x1E, 0xFA, 0x53}, false, true},
        {{0x55, 0x89, 0xE5}, false, false},
        {{0x41, 0x53}, false, false},
    };
    for (const Case& c : cases) {
        std::fill(std::begin(gPatterns), std::end(gPatterns), uint8_t(0x90));
        std::copy(c.bytes.begin(), c.bytes.end(), gPatterns);
        EXPECT_EQ(cv::IsStackFramePrologueAt(gPatterns), c.frame) << ::testing::PrintToString(c.bytes);
        EXPECT_EQ(cv::IsPushEbxAt(gPatterns), c.pushEbx) << ::testing::PrintToString(c.bytes);
    }
    EXPECT_FALSE(cv::IsStackFramePrologueAt(nullptr));
    EXPECT_FALSE(cv::IsPushEbxAt(reinterpret_cast<const void*>(0x10)));
    EXPECT_TRUE(cv::IsBuiltWithRuntimePackages()); // Qt is a shared library here
}

TEST(CodePatterns, ExceptionHandlerCalls)
{
    cv::RecordExceptionHandlerEntryPoints(reinterpret_cast<void*>(&cvtest_entry_one), reinterpret_cast<void*>(&cvtest_entry_two),
                                          reinterpret_cast<void*>(&cvtest_entry_three));
    auto relative = [](uint8_t op, const void* target) {
        gPatterns[0] = op;
        const int32_t d = int32_t(reinterpret_cast<intptr_t>(target) - reinterpret_cast<intptr_t>(gPatterns + 5));
        std::memcpy(gPatterns + 1, &d, 4);
        return cv::GetExceptionHandlerCallKind(gPatterns);
    };
    EXPECT_EQ(relative(0xE8, reinterpret_cast<void*>(&cvtest_entry_one)), 1);
    EXPECT_EQ(relative(0xE9, reinterpret_cast<void*>(&cvtest_entry_three)), 3);
    EXPECT_EQ(relative(0xE8, reinterpret_cast<uint8_t*>(&cvtest_entry_one) + 1), 0);
    EXPECT_EQ(relative(0x90, reinterpret_cast<void*>(&cvtest_entry_one)), 0);
    // call [rip+cell]
    gCell = reinterpret_cast<void*>(&cvtest_entry_two);
    gPatterns[0] = 0xFF;
    gPatterns[1] = 0x15;
    const int32_t d = int32_t(reinterpret_cast<intptr_t>(&gCell) - reinterpret_cast<intptr_t>(gPatterns + 6));
    std::memcpy(gPatterns + 2, &d, 4);
    EXPECT_EQ(cv::GetExceptionHandlerCallKind(gPatterns), 2);
    cv::RecordDefaultExceptionHandlerEntryPoints();
    EXPECT_EQ(cv::GetExceptionHandlerCallKind(gPatterns), 0);
}

TEST(CodePatterns, HandlerTables)
{
    const cv::TExceptionObject error = cv::ExceptionObjectFromType(typeid(std::out_of_range), "x");
    const std::vector<cv::THandlerTableEntry> table = {{"std::bad_alloc", 1}, {"std::logic_error", 2}, {"", 3}};
    uintptr_t handler = 0;
    EXPECT_TRUE(cv::HandlerTableMatches(error, table, handler));
    EXPECT_EQ(handler, 2u); // an ancestor's entry
    const cv::TExceptionObject other = cv::ExceptionObjectFromType(typeid(std::runtime_error), "y");
    EXPECT_TRUE(cv::HandlerTableMatches(other, table, handler));
    EXPECT_EQ(handler, 3u); // the entry without class takes any exception
    EXPECT_FALSE(cv::HandlerTableMatches(other, std::span(table).first(2), handler));
}

} // namespace
