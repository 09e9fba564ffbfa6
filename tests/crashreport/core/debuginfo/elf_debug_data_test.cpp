#include "crashreport/core/debuginfo/elf_debug_data.h"

#include "addr2line_oracle.h"
#include "crashreport/core/capture/modules_list.h"
#include "crashreport/core/debuginfo/compiled_debug_data.h"
#include "crashreport/core/debuginfo/elf_image.h"
#include "crashreport/core/support/module_handles.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>

#include <dlfcn.h>
#include <execinfo.h>
#include <search.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace cvtest_elf {
// The routine the lookups below find; its first line is the line after kProbeLine's.
constexpr int kProbeLine = __LINE__ + 1;
__attribute__((noinline)) int Probe(int x) { return x * 7 + 3; }
} // namespace cvtest_elf

namespace {

const void* ProbeAddress()
{
    return reinterpret_cast<const void*>(&cvtest_elf::Probe);
}

TEST(ElfDebugData, TheRunningProgramResolvesThroughTheChooser)
{
    const uintptr_t module = cv::ModuleHandleOfAddress(ProbeAddress());
    ASSERT_NE(module, 0u);
    std::unique_ptr<cv::TELDebugInfoSource> source;
    ASSERT_TRUE(cv::FindDebugInfoSource(module, source));
    EXPECT_NE(dynamic_cast<cv::TELDebugInfoElf*>(source.get()), nullptr);
    // A source already there is kept.
    cv::TELDebugInfoSource* first = source.get();
    EXPECT_FALSE(cv::FindDebugInfoSource(module, source));
    EXPECT_EQ(source.get(), first);

    cv::TELLocationInfo info;
    const auto entry = reinterpret_cast<uintptr_t>(ProbeAddress());
    ASSERT_TRUE(source->GetLocationInfo(entry, info));
    EXPECT_EQ(info.ProcedureName, "cvtest_elf::Probe(int)");
    EXPECT_EQ(info.UnitName, "elf_debug_data_test.cpp");
    EXPECT_EQ(QFileInfo(QString::fromStdString(info.SourceName)).fileName(), QStringLiteral("elf_debug_data_test.cpp"));
    EXPECT_EQ(info.LineNumber, cvtest_elf::kProbeLine);
    EXPECT_EQ(info.ProcOffsetLine, 0);
    EXPECT_EQ(info.DebugInfo, source.get());

    // Outside every module's code: nothing.
    cv::TELLocationInfo none;
    EXPECT_FALSE(source->GetLocationInfo(module - 0x100000, none));
}

TEST(ElfDebugData, NamesAreDemangled)
{
    EXPECT_EQ(cv::DemangledName("_ZN2cv4TFoo3BarEi"), "cv::TFoo::Bar(int)");
    EXPECT_EQ(cv::DemangledName("main"), "main");
    EXPECT_EQ(cv::DemangledName("_Z"), "_Z");
    EXPECT_EQ(cv::DemangledName(nullptr), "");
}

TEST(ElfDebugData, FilesWithoutSymbolsOrNotElfGiveNoSource)
{
    for (const char* name : {"/nonexistent/file", "/etc/hostname"}) {
        auto source = cv::TELDebugInfoSource::Create<cv::TELDebugInfoElf>(0x10000, name);
        EXPECT_FALSE(source->ValidData()) << name;
    }
}

// The tool's program file; empty when this build has none.
std::string ToolProgram()
{
#ifdef CV_TOOL_PROGRAM
    if (QFileInfo::exists(QStringLiteral(CV_TOOL_PROGRAM)))
        return CV_TOOL_PROGRAM;
#endif
    return {};
}

// A shell command's output (standard output and error), bounded in time.
QString Shell(const cvtest::TempDir& dir, const QString& command, int* status = nullptr)
{
    const cvtest::ProgramRun run = cvtest::runProgram(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command}, dir.path(), {},
                                                      std::chrono::seconds(60));
    if (status)
        *status = run.status;
    return run.output;
}

QString Quoted(const std::string& s)
{
    return "'" + QString::fromStdString(s).replace(QStringLiteral("'"), QStringLiteral("'\\''")) + "'";
}

// The lookups of the tool's program, put at kModule.
class ElfDebugDataOfTheTool : public testing::Test {
protected:
    static constexpr uintptr_t kModule = 0x10000000;

    void SetUp() override
    {
        program = ToolProgram();
        if (program.empty())
            GTEST_SKIP() << "the tool's program is not built";
        const auto loadAddress = cv::ElfLoadAddress(program);
        ASSERT_TRUE(loadAddress);
        load = *loadAddress;
        source = cv::TELDebugInfoSource::Create<cv::TELDebugInfoElf>(kModule, program);
        ASSERT_TRUE(source->ValidData());
    }

    std::string program;
    uint64_t load = 0;
    std::unique_ptr<cv::TELDebugInfoSource> source;
};

// Procedure and line agree with addr2line for a sample of the tool's own
// code; for inlined code, with as many frames around it as addr2line gives,
// at the lines of the calls (the benchmark checks 10,000 addresses).
TEST_F(ElfDebugDataOfTheTool, AgreesWithAddr2lineOnTheToolsProgram)
{
    const std::vector<uint64_t> addresses = cvoracle::RandomTextAddresses(program, 400, 7);
    ASSERT_EQ(addresses.size(), 400u);
    const auto theirs = cvoracle::RunAddr2Line(program, addresses);
    if (theirs.empty())
        GTEST_SKIP() << "addr2line cannot be run";
    size_t agree = 0, inlined = 0;
    std::string differences;
    for (size_t i = 0; i < addresses.size(); ++i) {
        cv::TELLocationInfo info;
        const bool found = source->GetLocationInfo(kModule + addresses[i] - load, info);
        const cvoracle::Addr2LineAnswer ours = cvoracle::AnswerOf(info, found);
        inlined += !ours.inlinedInto.empty();
        if (cvoracle::SameChain(ours, theirs[i]))
            ++agree;
        else
            differences += cvoracle::Text(ours) + "\n    / " + cvoracle::Text(theirs[i]) + "\n";
    }
    EXPECT_GE(inlined, 40u) << "the sample holds inlined code";
    EXPECT_GE(agree * 100, addresses.size() * 99) << differences;
}

// Lookups one after another in the same function reuse what the lookup
// before walked of its inlined calls: runs of nearby addresses in inlined
// code, looked up upwards and then downwards (in and out of the calls at
// every depth), give addr2line's chains, and the same lines and line
// offsets in both directions.
TEST_F(ElfDebugDataOfTheTool, NearbyAddressesInInlinedCodeAgreeWithAddr2lineInEitherOrder)
{
    // Inside functions: addr2line names the padding after a function as that function.
    const auto extents = cvoracle::FunctionExtents(program);
    std::vector<uint64_t> upwards;
    for (const uint64_t a : cvoracle::RandomTextAddresses(program, 400, 11)) {
        cv::TELLocationInfo info;
        if (!source->GetLocationInfo(kModule + a - load, info) || info.InlinedInto.empty())
            continue;
        for (uint64_t at = a - 24; at <= a + 24; at += 3)
            if (cvoracle::InsideAFunction(extents, at))
                upwards.push_back(at);
        if (upwards.size() >= 300)
            break;
    }
    ASSERT_GE(upwards.size(), 300u);
    const auto theirs = cvoracle::RunAddr2Line(program, upwards);
    if (theirs.empty())
        GTEST_SKIP() << "addr2line cannot be run";
    // Lines and line offsets of the frames, innermost first.
    const auto lines = [](const cv::TELLocationInfo& info) {
        std::vector<std::pair<int32_t, int32_t>> frames{{info.LineNumber, info.ProcOffsetLine}};
        for (const cv::TELLocationInfo& caller : info.InlinedInto)
            frames.emplace_back(caller.LineNumber, caller.ProcOffsetLine);
        return frames;
    };
    auto fresh = cv::TELDebugInfoSource::Create<cv::TELDebugInfoElf>(kModule, program);
    std::vector<cv::TELLocationInfo> up(upwards.size()), down(upwards.size());
    std::vector<bool> foundUp(upwards.size());
    for (size_t i = 0; i < upwards.size(); ++i)
        foundUp[i] = fresh->GetLocationInfo(kModule + upwards[i] - load, up[i]);
    for (size_t i = upwards.size(); i-- > 0;)
        fresh->GetLocationInfo(kModule + upwards[i] - load, down[i]);
    size_t agree = 0, inlined = 0;
    std::string differences;
    for (size_t i = 0; i < upwards.size(); ++i) {
        EXPECT_EQ(lines(up[i]), lines(down[i])) << std::hex << upwards[i];
        inlined += !up[i].InlinedInto.empty();
        const cvoracle::Addr2LineAnswer ours = cvoracle::AnswerOf(up[i], foundUp[i]);
        if (cvoracle::SameChain(ours, theirs[i]))
            ++agree;
        else
            differences += cvoracle::Text(ours) + "\n    / " + cvoracle::Text(theirs[i]) + "\n";
    }
    EXPECT_GE(inlined, upwards.size() / 2) << "the runs lie in inlined code";
    EXPECT_GE(agree * 100, upwards.size() * 99) << differences;
}

// The folders the units of a program were compiled in (DW_AT_comp_dir),
// as readelf lists them; empty when it cannot be run.
std::set<std::string> CompileFolders(const std::string& program)
{
    cvtest::TempDir dir;
    int status = -1;
    const QString listed = Shell(dir, "readelf --debug-dump=info --dwarf-depth=1 " + Quoted(program) + " | grep DW_AT_comp_dir", &status);
    std::set<std::string> folders;
    static const QRegularExpression folder(QStringLiteral("DW_AT_comp_dir\\s*:(?: \\([^)]*\\):)? (/.*)$"));
    for (const QString& line : listed.split('\n', Qt::SkipEmptyParts))
        if (const auto m = folder.match(line.trimmed()); m.hasMatch())
            folders.insert(m.captured(1).toStdString());
    return folders;
}

// A file as the path below the checkout of the sources its unit was
// compiled from (the folder that holds the unit's compile folder), or the
// path itself when it lies in none of the checkouts.
std::string WithinCheckout(const std::string& file, const std::set<std::string>& compileFolders)
{
    const std::filesystem::path path = std::filesystem::path(file).lexically_normal();
    std::string best;
    for (const std::string& folder : compileFolders) {
        const std::string checkout = std::filesystem::path(folder).lexically_normal().parent_path().string();
        if (checkout.size() > 1 && checkout.size() > best.size() && path.string().starts_with(checkout + "/"))
            best = checkout;
    }
    return best.empty() ? path.string() : "<checkout>" + path.string().substr(best.size());
}

// The file of each call of an inlined chain is addr2line's: for each
// function around the inlined code, the file of the call (a header for calls
// inlined in headers, the unit's own file for its own). Files compare as the
// paths they name: units spell one header's folder their own ways (a
// generated unit includes it by a path up from its own folder, "../.."),
// and where an inlined call is described in two units (a header's inline
// function compiled into both) the two readers may take either. Those two
// units may have been compiled in different checkouts of the sources (their
// objects taken from a compiler cache that checkouts share): each names the
// header in its own checkout, and both are right. The linker kept one copy
// of the function's code and lets the entries of both units describe it
// (ElfDebugData.EachUnitNamesItsFilesInItsOwnCompileFolder builds such a
// program). The files then agree as the same file of their checkouts.
TEST_F(ElfDebugDataOfTheTool, FilesOfInlinedCallsAgreeWithAddr2line)
{
    std::vector<uint64_t> addresses;
    std::vector<cv::TELLocationInfo> infos;
    for (const uint64_t a : cvoracle::RandomTextAddresses(program, 600, 5)) {
        cv::TELLocationInfo info;
        if (source->GetLocationInfo(kModule + a - load, info) && !info.InlinedInto.empty()) {
            addresses.push_back(a);
            infos.push_back(std::move(info));
        }
    }
    ASSERT_GE(addresses.size(), 60u) << "the sample holds inlined code";
    const auto theirs = cvoracle::RunAddr2Line(program, addresses);
    if (theirs.empty())
        GTEST_SKIP() << "addr2line cannot be run";
    size_t compared = 0, agree = 0, headers = 0;
    std::string differences;
    std::optional<std::set<std::string>> compileFolders; // read when a difference asks for them
    for (size_t i = 0; i < addresses.size(); ++i) {
        const cvoracle::Addr2LineAnswer ours = cvoracle::AnswerOf(infos[i], true);
        if (!cvoracle::SameChain(ours, theirs[i]))
            continue; // the chains are compared by the tests above
        std::vector<std::string> mine, addr2line;
        for (size_t k = 0; k < ours.inlinedInto.size(); ++k) {
            mine.push_back(std::filesystem::path(ours.inlinedInto[k].file).lexically_normal().string());
            addr2line.push_back(std::filesystem::path(theirs[i].inlinedInto[k].file).lexically_normal().string());
            headers += ours.inlinedInto[k].file.ends_with(".h");
        }
        ++compared;
        if (mine != addr2line) {
            if (!compileFolders)
                compileFolders = CompileFolders(program);
            for (size_t k = 0; k < mine.size(); ++k) {
                mine[k] = WithinCheckout(mine[k], *compileFolders);
                addr2line[k] = WithinCheckout(addr2line[k], *compileFolders);
            }
        }
        if (mine == addr2line)
            ++agree;
        else
            for (size_t k = 0; k < mine.size(); ++k)
                differences += mine[k] + " / " + addr2line[k] + (k + 1 < mine.size() ? " < " : "\n");
    }
    ASSERT_GE(compared, 50u);
    EXPECT_GT(headers, 0u) << "some calls stand in headers";
    EXPECT_EQ(agree, compared) << differences;
}

// Two checkouts of one small program's sources, each unit compiled in its
// own checkout's build folder (as objects from a compiler cache that
// checkouts share are): a unit's files are named in its own compile folder.
// Its header's functions inlined into its own function name its checkout's
// header; a header function both units compiled (one copy kept by the
// linker, described by both units) names either checkout's, as addr2line
// may name the other.
TEST(ElfDebugData, EachUnitNamesItsFilesInItsOwnCompileFolder)
{
    cvtest::TempDir dir;
    const std::string root = QDir(dir.path()).canonicalPath().toStdString();
    const char* header = "#pragma once\n"
                         "__attribute__((always_inline)) inline int Inner(int x) { return x * x + 7; }\n"
                         "__attribute__((always_inline)) inline int Outer(int x) { return Inner(x + 1) * 3; }\n"
                         "template <int N> __attribute__((noinline)) int Shared(int x) { return Outer(x) + N; }\n";
    const std::map<std::string, std::string> units{
        {"a", "#include \"h.h\"\n__attribute__((noinline)) int UseA(int x) { return Outer(x) - 1; }\n"
              "int UseB(int);\nint main(int argc, char**) { return UseA(argc) + UseB(argc) + Shared<3>(argc); }\n"},
        {"b", "#include \"h.h\"\n__attribute__((noinline)) int UseB(int x) { return Outer(x) + Shared<3>(x); }\n"}};
    std::string objects;
    for (const auto& [name, text] : units) {
        const std::string checkout = root + "/" + name;
        std::filesystem::create_directories(checkout + "/src");
        std::filesystem::create_directories(checkout + "/build");
        std::ofstream(checkout + "/src/h.h") << header;
        std::ofstream(checkout + "/src/" + name + ".cpp") << text;
        int status = -1;
        const QString output = Shell(dir, QStringLiteral("cd %1 && g++ -g -O2 -c ../src/%2.cpp -o %2.o")
                                              .arg(Quoted(checkout + "/build"), QString::fromStdString(name)), &status);
        if (status != 0)
            GTEST_SKIP() << "g++ cannot compile here: " << output.toStdString();
        objects += " " + Quoted(checkout + "/build/" + name + ".o").toStdString();
    }
    const std::string program = root + "/program";
    int status = -1;
    const QString linked = Shell(dir, QString::fromStdString("g++ -o " + Quoted(program).toStdString() + objects), &status);
    ASSERT_EQ(status, 0) << linked.toStdString();

    // Each function's first address in code inlined two deep (Inner in Outer in the function).
    const auto load = cv::ElfLoadAddress(program);
    ASSERT_TRUE(load);
    constexpr uintptr_t kModule = 0x10000000;
    auto source = cv::TELDebugInfoSource::Create<cv::TELDebugInfoElf>(kModule, program);
    ASSERT_TRUE(source->ValidData());
    std::map<std::string, std::pair<uint64_t, cv::TELLocationInfo>> places;
    for (const QString& line : Shell(dir, "nm -C -S --defined-only " + Quoted(program)).split('\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(' ');
        if (f.size() < 4 || (f[2] != QStringLiteral("T") && f[2] != QStringLiteral("W")))
            continue;
        const std::string function = f.mid(3).join(' ').toStdString();
        if (function != "UseA(int)" && function != "UseB(int)" && function != "int Shared<3>(int)")
            continue;
        const uint64_t start = f[0].toULongLong(nullptr, 16), size = f[1].toULongLong(nullptr, 16);
        for (uint64_t a = start; a < start + size; ++a) {
            cv::TELLocationInfo info;
            if (source->GetLocationInfo(kModule + a - *load, info) && info.InlinedInto.size() == 2) {
                places[function] = {a, std::move(info)};
                break;
            }
        }
    }
    ASSERT_EQ(places.size(), 3u) << "each function holds Inner inlined into Outer";
    // The files of a place: the line's, then each call's, innermost first.
    const auto files = [](const cv::TELLocationInfo& info) {
        std::string text = std::filesystem::path(info.SourceName).lexically_normal().string();
        for (const cv::TELLocationInfo& caller : info.InlinedInto)
            text += " < " + std::filesystem::path(caller.SourceName).lexically_normal().string();
        return text;
    };
    const auto expected = [&root](const char* checkout, const char* unit) {
        const std::string src = root + "/" + checkout + "/src/";
        return src + "h.h < " + src + "h.h < " + src + unit;
    };
    EXPECT_EQ(files(places["UseA(int)"].second), expected("a", "a.cpp"));
    EXPECT_EQ(files(places["UseB(int)"].second), expected("b", "b.cpp"));
    const std::string shared = files(places["int Shared<3>(int)"].second);
    EXPECT_TRUE(shared == expected("a", "h.h") || shared == expected("b", "h.h")) << shared;

    // addr2line names the calls' files the same way for the units' own
    // functions, and one checkout's or the other's for the shared one.
    const std::vector<uint64_t> asked{places["UseA(int)"].first, places["UseB(int)"].first, places["int Shared<3>(int)"].first};
    const auto theirs = cvoracle::RunAddr2Line(program, asked);
    if (theirs.empty())
        GTEST_SKIP() << "addr2line cannot be run";
    const auto callFiles = [](const cvoracle::Addr2LineAnswer& answer) {
        std::string text;
        for (const cvoracle::Addr2LineFrame& frame : answer.inlinedInto)
            text += (text.empty() ? "" : " < ") + std::filesystem::path(frame.file).lexically_normal().string();
        return text;
    };
    const auto withoutLine = [](const std::string& chain) { return chain.substr(chain.find(" < ") + 3); };
    EXPECT_EQ(callFiles(theirs[0]), withoutLine(expected("a", "a.cpp")));
    EXPECT_EQ(callFiles(theirs[1]), withoutLine(expected("b", "b.cpp")));
    const std::string theirShared = callFiles(theirs[2]);
    EXPECT_TRUE(theirShared == withoutLine(expected("a", "h.h")) || theirShared == withoutLine(expected("b", "h.h"))) << theirShared;
}

// --- names of functions the tables do not name, and of split and cloned pieces ---

constexpr uintptr_t kNominalModule = 0x10000000;

// gdb's name of each address of the file (its own addresses), looked up in
// the file alone: its symbol tables and mini debug information, no
// separate debug files. Empty for "No symbol matches"; no answers when gdb
// cannot be run.
std::vector<std::string> GdbNames(const cvtest::TempDir& dir, const std::string& file, const std::vector<uint64_t>& addresses)
{
    QString command = QStringLiteral("gdb -batch -nx -iex 'set debug-file-directory %1/none' ").arg(dir.path());
    for (uint64_t a : addresses)
        command += QStringLiteral("-ex 'info symbol 0x%1' ").arg(a, 0, 16);
    command += Quoted(file) + " 2>&1";
    std::vector<std::string> names;
    static const QRegularExpression named(QStringLiteral("^(.*?)(?: \\+ \\d+)? in section \\S+"));
    for (const QString& line : Shell(dir, command).split('\n')) {
        if (line.startsWith(QStringLiteral("No symbol matches")))
            names.emplace_back();
        else if (const auto m = named.match(line); m.hasMatch())
            names.push_back(m.captured(1).toStdString());
    }
    if (names.size() != addresses.size())
        names.clear();
    return names;
}

// The addresses of the file's exported names (demangled, without version),
// as nm lists them: aliases share an address.
std::map<std::string, std::set<uint64_t>> ExportedNames(const cvtest::TempDir& dir, const std::string& file)
{
    std::map<std::string, std::set<uint64_t>> names;
    for (const QString& line : Shell(dir, "nm -D -C --defined-only " + Quoted(file)).split('\n', Qt::SkipEmptyParts)) {
        const qsizetype first = line.indexOf(' '), second = line.indexOf(' ', first + 1);
        if (first < 0 || second < 0)
            continue;
        QString name = line.mid(second + 1);
        if (const qsizetype at = name.indexOf('@'); at > 0)
            name.truncate(at);
        names[name.toStdString()].insert(line.left(first).toULongLong(nullptr, 16));
    }
    return names;
}

bool HaveGdb()
{
    return !QStandardPaths::findExecutable(QStringLiteral("gdb")).isEmpty();
}

// The return addresses of the frames that called this from system code.
void GatherFrames(std::vector<uintptr_t>& frames)
{
    void* stack[64];
    const int n = ::backtrace(stack, 64);
    for (int i = 1; i < n; ++i)
        frames.push_back(reinterpret_cast<uintptr_t>(stack[i]));
}

// Frames in system libraries: callbacks that the C library, the C++
// runtime and Qt call from inside themselves, from static functions too.
std::vector<uintptr_t> SystemLibraryFrames()
{
    std::vector<uintptr_t> frames;
    int numbers[] = {3, 1, 2};
    qsort_r(numbers, 3, sizeof(int), [](const void* a, const void* b, void* seen) {
        auto& f = *static_cast<std::vector<uintptr_t>*>(seen);
        if (f.empty())
            GatherFrames(f);
        return *static_cast<const int*>(a) - *static_cast<const int*>(b);
    }, &frames);
    std::vector<uintptr_t> inThread;
    std::thread([&inThread] { GatherFrames(inThread); }).join();
    std::vector<uintptr_t> once;
    std::once_flag flag;
    std::call_once(flag, [&once] { GatherFrames(once); });
    std::vector<uintptr_t> walked;
    void* root = nullptr;
    static const int kKey = 7;
    tsearch(&kKey, &root, [](const void* a, const void* b) { return *static_cast<const int*>(a) - *static_cast<const int*>(b); });
    twalk_r(root, [](const void*, VISIT, void* closure) {
        auto& f = *static_cast<std::vector<uintptr_t>*>(closure);
        if (f.empty())
            GatherFrames(f);
    }, &walked);
    tdestroy(root, [](void*) {});
    std::vector<uintptr_t> read;
    cookie_io_functions_t io{};
    io.read = [](void* cookie, char* buffer, size_t size) -> ssize_t {
        auto& f = *static_cast<std::vector<uintptr_t>*>(cookie);
        if (f.empty())
            GatherFrames(f);
        std::memset(buffer, 'x', size);
        return ssize_t(size);
    };
    if (FILE* stream = fopencookie(&read, "r", io)) {
        std::fgetc(stream);
        std::fclose(stream);
    }
    std::vector<uintptr_t> inLoop;
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        GatherFrames(inLoop);
        loop.quit();
    });
    loop.exec();
    std::vector<uintptr_t> signalled;
    {
        QObject object;
        QObject::connect(&object, &QObject::destroyed, [&signalled] { GatherFrames(signalled); });
    }
    for (const auto* more : {&inThread, &once, &walked, &read, &inLoop, &signalled})
        frames.insert(frames.end(), more->begin(), more->end());
    return frames;
}

// The names of the frames of system libraries in a report are gdb's, and
// where gdb knows no function (an address past every symbol's end: a static
// function of a library that lists only its exports), the report names none.
TEST(ElfDebugData, SystemLibraryFramesAreNamedAsGdbNamesThem)
{
    if (!HaveGdb())
        GTEST_SKIP() << "gdb is not installed";
    struct Frame {
        uintptr_t address;
        std::string file;
        uint64_t fileAddress; // of the call: the return address less one
    };
    std::map<std::string, std::vector<Frame>> byFile;
    std::set<uintptr_t> seen;
    size_t count = 0;
    for (uintptr_t a : SystemLibraryFrames()) {
        Dl_info dl{};
        if (!seen.insert(a).second || ::dladdr(reinterpret_cast<void*>(a - 1), &dl) == 0 || !dl.dli_fname)
            continue;
        const std::string file = QFileInfo(QString::fromLocal8Bit(dl.dli_fname)).canonicalFilePath().toStdString();
        if (!file.starts_with("/usr/lib/") && !file.starts_with("/lib/"))
            continue;
        const auto load = cv::ElfLoadAddress(file);
        ASSERT_TRUE(load) << file;
        byFile[file].push_back({a, file, a - 1 - reinterpret_cast<uintptr_t>(dl.dli_fbase) + *load});
        ++count;
    }
    ASSERT_GE(count, 20u) << "too few frames of system libraries";

    cvtest::TempDir dir;
    cv::TCrashboxModulesList modules;
    size_t unnamed = 0;
    for (const auto& [file, frames] : byFile) {
        std::vector<uint64_t> addresses;
        for (const Frame& f : frames)
            addresses.push_back(f.fileAddress);
        const std::vector<std::string> theirs = GdbNames(dir, file, addresses);
        ASSERT_EQ(theirs.size(), frames.size()) << "gdb gave no answers for " << file;
        const auto exported = ExportedNames(dir, file);
        // Of names that share an address (fgetc and getc) gdb and the report may take either.
        auto aliases = [&exported](const std::string& a, const std::string& b) {
            const auto x = exported.find(a), y = exported.find(b);
            if (x == exported.end() || y == exported.end())
                return false;
            return std::any_of(x->second.begin(), x->second.end(), [&](uint64_t v) { return y->second.count(v) != 0; });
        };
        for (size_t i = 0; i < frames.size(); ++i) {
            cv::TCrashboxDebugInfo info;
            cv::FillDebugInfoForAddress(frames[i].address - 1, 0, info, false, false,
                                        [&modules](uintptr_t a) { return cv::ModuleInfoByAddr(modules, a); });
            if (info.ProcedureName != theirs[i] && !aliases(info.ProcedureName, theirs[i]))
                ADD_FAILURE() << file << " +0x" << std::hex << frames[i].fileAddress << ": \"" << info.ProcedureName
                              << "\", gdb \"" << theirs[i] << "\"";
            std::printf("%s +0x%llx: %s\n", QFileInfo(QString::fromStdString(file)).fileName().toLocal8Bit().constData(),
                        static_cast<unsigned long long>(frames[i].fileAddress), theirs[i].empty() ? "(none)" : theirs[i].c_str());
            EXPECT_EQ(info.ClassName, "") << info.ProcedureName;
            ASSERT_NE(info.ModuleInfo, nullptr);
            EXPECT_EQ(QFileInfo(QString::fromStdString(info.ModuleInfo->Name)).canonicalFilePath().toStdString(), file);
            unnamed += theirs[i].empty();
        }
    }
    EXPECT_GE(unnamed, 1u) << "no frame in a function the library does not name: the case is not covered";
}

// A library that lists only its exports in its dynamic table names the rest
// in its mini debug information (".gnu_debugdata"): the names of every
// function are gdb's, with the full symbol table, with the mini debug
// information alone, and with the dynamic table alone.
TEST(ElfDebugData, FunctionsAreNamedFromEachSymbolTableAsGdbNamesThem)
{
#ifndef CV_SYMBOL_PROBE_LIBRARY
    GTEST_SKIP() << "the probe library is not part of this build";
#else
    if (!HaveGdb())
        GTEST_SKIP() << "gdb is not installed";
    cvtest::TempDir dir;
    int status = -1;
    const QString made = Shell(dir, QStringLiteral(R"(set -e
cp %1 full.so
nm -D --format=posix --defined-only full.so | awk '{print $1}' | sort > dynsyms
nm --format=posix --defined-only full.so | awk '$2 ~ /^[Tt]$/ {print $1}' | sort > funcsyms
comm -13 dynsyms funcsyms > keep
objcopy --only-keep-debug full.so debug
objcopy -S --remove-section .gdb_index --remove-section .comment --keep-symbols=keep debug mini
xz -f mini
objcopy --strip-all full.so bare.so
objcopy --add-section .gnu_debugdata=mini.xz bare.so mini.so
nm --format=posix --defined-only full.so | awk '$2 ~ /^[Tt]$/ {print $3, $4}'
)").arg(Quoted(CV_SYMBOL_PROBE_LIBRARY)), &status);
    ASSERT_EQ(status, 0) << made.toStdString();

    // Two addresses in each function: its second byte and its last.
    std::vector<uint64_t> addresses;
    for (const QString& line : made.split('\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(' ');
        bool ok = false;
        const uint64_t start = f.value(0).toULongLong(&ok, 16), size = f.value(1).toULongLong(nullptr, 16);
        if (ok && size > 1) {
            addresses.push_back(start + 1);
            addresses.push_back(start + size - 1);
        }
    }
    ASSERT_GE(addresses.size(), 10u) << made.toStdString();

    std::map<std::string, size_t> namedBy;
    for (const char* variant : {"full.so", "mini.so", "bare.so"}) {
        const std::string file = dir.file(QString::fromLatin1(variant)).toStdString();
        const std::vector<std::string> theirs = GdbNames(dir, file, addresses);
        ASSERT_EQ(theirs.size(), addresses.size()) << variant;
        const auto load = cv::ElfLoadAddress(file);
        ASSERT_TRUE(load);
        auto source = cv::TELDebugInfoSource::Create<cv::TELDebugInfoElf>(kNominalModule, file);
        ASSERT_TRUE(source->ValidData()) << variant;
        for (size_t i = 0; i < addresses.size(); ++i) {
            cv::TELLocationInfo info;
            source->GetLocationInfo(kNominalModule + addresses[i] - *load, info);
            EXPECT_EQ(info.ProcedureName, theirs[i]) << variant << " 0x" << std::hex << addresses[i];
            namedBy[variant] += !theirs[i].empty();
        }
    }
    EXPECT_EQ(namedBy["mini.so"], namedBy["full.so"]);
    EXPECT_LT(namedBy["bare.so"], namedBy["mini.so"]) << "the static and hidden functions are named only by the other tables";
#endif
}

// The compiler's pieces of a function (".cold", ".part.N", ".constprop.N",
// ".isra.N") are named as the function and placed in it: the line offset
// counts from the function's first line, as addr2line gives it.
TEST(ElfDebugData, PiecesOfFunctionsAreNamedAndPlacedAsTheirFunction)
{
    const std::string program = ToolProgram();
    if (program.empty())
        GTEST_SKIP() << "the tool's program is not built";
    cvtest::TempDir dir;
    int status = -1;
    const QString listed = Shell(dir, "nm --defined-only --format=posix " + Quoted(program), &status);
    ASSERT_EQ(status, 0);
    // The pieces, and the functions by name (those met once) for the parents.
    static const QRegularExpression piece(QStringLiteral("\\.(cold|part\\.|constprop\\.|isra\\.)"));
    std::vector<std::pair<std::string, uint64_t>> pieces;
    std::map<std::string, std::vector<uint64_t>> functions;
    for (const QString& line : listed.split('\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(' ');
        if (f.size() < 3 || (f[1] != QStringLiteral("t") && f[1] != QStringLiteral("T")))
            continue;
        const uint64_t address = f[2].toULongLong(nullptr, 16);
        if (piece.match(f[0]).hasMatch())
            pieces.emplace_back(f[0].toStdString(), address);
        else
            functions[f[0].toStdString()].push_back(address);
    }
    ASSERT_GE(pieces.size(), 1000u) << "the tool's program has about 2,800 pieces";

    const auto load = cv::ElfLoadAddress(program);
    ASSERT_TRUE(load);
    cv::TCrashboxModuleInfo module;
    module.Handle = kNominalModule;
    module.Name = program;
    // The cold pieces whose function is met once, for the placement: their
    // line and their function's first line from addr2line.
    std::vector<uint64_t> asked;
    std::vector<size_t> placed;
    size_t found = 0;
    std::string wrong;
    std::vector<cv::TCrashboxDebugInfo> answers(pieces.size());
    // Where a piece starts in inlined code: the functions around it.
    std::vector<std::vector<cv::TCrashboxDebugInfo>> around(pieces.size());
    for (size_t i = 0; i < pieces.size(); ++i) {
        const auto& [name, address] = pieces[i];
        cv::TCrashboxDebugInfo& info = answers[i];
        info.ModuleInfo = &module;
        if (!cv::LookUpOtherDebugData(kNominalModule + address - *load, info, &around[i]))
            continue;
        ++found;
        for (const char* word : {"cold", "part", "constprop", "isra"})
            if (info.ClassName.find(word) != std::string::npos)
                wrong += name + ": class " + info.ClassName + "\n";
        for (const char* suffix : {"[clone", ".cold", ".part.", ".constprop.", ".isra."})
            if (info.ProcedureName.find(suffix) != std::string::npos)
                wrong += name + ": procedure " + info.ProcedureName + "\n";
        const std::string parent = name.substr(0, name.find('.'));
        const auto f = functions.find(parent);
        if (name.ends_with(".cold") && f != functions.end() && f->second.size() == 1 && info.Line != 0) {
            placed.push_back(i);
            asked.push_back(address);
            asked.push_back(f->second.front());
        }
    }
    EXPECT_GE(found * 100, pieces.size() * 99) << found << " of " << pieces.size() << " pieces found";
    EXPECT_TRUE(wrong.empty()) << wrong;

    ASSERT_GE(placed.size(), 50u);
    const auto lines = cvoracle::RunAddr2Line(program, asked);
    if (lines.empty())
        GTEST_SKIP() << "addr2line cannot be run";
    size_t agree = 0;
    std::string differences;
    // The place in the function itself: of inlined code, the call's (the outermost frame's).
    auto outermostLine = [](const cvoracle::Addr2LineAnswer& a) { return a.inlinedInto.empty() ? a.line : a.inlinedInto.back().line; };
    for (size_t k = 0; k < placed.size(); ++k) {
        const std::vector<cv::TCrashboxDebugInfo>& callers = around[placed[k]];
        const cv::TCrashboxDebugInfo& info = callers.empty() ? answers[placed[k]] : callers.back();
        const int32_t expected = outermostLine(lines[2 * k]) - outermostLine(lines[2 * k + 1]);
        if (int32_t(info.ProcOffsetLine) == expected)
            ++agree;
        else
            differences += pieces[placed[k]].first + ": " + std::to_string(int32_t(info.ProcOffsetLine)) + " / " + std::to_string(expected) + "\n";
    }
    EXPECT_GE(agree * 100, placed.size() * 98) << differences;
}

} // namespace

namespace {

// The answers of the file's debug data for the addresses, as text.
std::vector<std::string> LookUps(const std::string& file, const std::vector<uint64_t>& addresses, uint64_t load)
{
    constexpr uintptr_t kModule = 0x10000000;
    auto source = cv::TELDebugInfoSource::Create<cv::TELDebugInfoElf>(kModule, file);
    std::vector<std::string> answers;
    for (const uint64_t a : addresses) {
        cv::TELLocationInfo info;
        const bool found = source->GetLocationInfo(kModule + a - load, info);
        answers.push_back(cvoracle::Text(cvoracle::AnswerOf(info, found)) + " unit " + info.UnitName);
    }
    return answers;
}

} // namespace

// The units' address ranges come from the address-range table when it has
// a set for every unit, else from the units' entries: a program looks up
// the same with its table, without it, and with a table that lost all
// sets but the first (which no longer covers every unit).
TEST(ElfDebugData, UnitRangesFromTheAddressRangeTableGiveTheSameLookUps)
{
    const std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
    const auto load = cv::ElfLoadAddress(program);
    ASSERT_TRUE(load);
    const std::vector<uint64_t> addresses = cvoracle::RandomTextAddresses(program, 300, 11);
    ASSERT_EQ(addresses.size(), 300u);
    cvtest::TempDir dir;
    // The copies keep the program's name: an address outside every unit is placed in the file's.
    const std::string name = std::filesystem::path(program).filename().string();
    const std::string without = dir.file(QStringLiteral("without")).toStdString() + "/" + name;
    const std::string cut = dir.file(QStringLiteral("cut")).toStdString() + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(without).parent_path());
    std::filesystem::create_directories(std::filesystem::path(cut).parent_path());
    const std::string table = dir.file(QStringLiteral("table")).toStdString();
    ASSERT_EQ(std::system(("objcopy --remove-section .debug_aranges '" + program + "' '" + without + "'").c_str()), 0);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(cv::ReadElfSection(program, ".debug_aranges", bytes));
    ASSERT_GE(bytes.size(), 4u);
    uint32_t firstLength = 0;
    std::memcpy(&firstLength, bytes.data(), 4);
    ASSERT_LT(firstLength + 4u, bytes.size()) << "the program has a single unit";
    bytes.resize(firstLength + 4);
    std::ofstream(table, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    ASSERT_EQ(std::system(("objcopy --update-section .debug_aranges='" + table + "' '" + program + "' '" + cut + "'").c_str()), 0);

    const std::vector<std::string> withTable = LookUps(program, addresses, *load);
    EXPECT_GE(std::count_if(withTable.begin(), withTable.end(), [](const std::string& a) { return a.find(" unit ") + 6 < a.size(); }), 290)
        << "the lookups find units";
    for (const std::string& file : {without, cut}) {
        const std::vector<std::string> answers = LookUps(file, addresses, *load);
        ASSERT_EQ(answers.size(), withTable.size());
        for (size_t i = 0; i < answers.size(); ++i)
            EXPECT_EQ(answers[i], withTable[i]) << std::hex << addresses[i] << " in " << file;
    }
}
