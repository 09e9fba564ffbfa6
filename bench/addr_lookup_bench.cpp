// bench-deps: cv_crashcore
// Looks up code addresses of an ELF file through the debug-information
// sources (for this platform's files: the symbol and DWARF line tables) and
// prints, per address, its unit, procedure and line, then the time taken.
// With --compare it also runs binutils' addr2line over the same addresses
// and prints both times (wall and processor time: on a busy machine the
// latter is the fair measure) and how often procedure and line agree (for
// inlined code: the frames around it and the lines of the calls). The
// goal: 10,000 addresses at least 10 times as fast as addr2line, agreeing on 99%.
//
//   addr_lookup_bench [--compare] FILE ADDRESS...
//   addr_lookup_bench [--compare] [--seed S] FILE --random N
//
// Addresses are hexadecimal, relative to the file's load address (for a
// library or a position-independent program: its own addresses).

#include "addr2line_oracle.h"
#include "bench_support.h"

#include "crashreport/core/debuginfo/debug_info_source.h"
#include "crashreport/core/debuginfo/elf_image.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

double CpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Where the file is taken to be loaded: any address will do for a file read from disk.
constexpr uintptr_t kNominalModule = 0x10000000;

constexpr const char* kUsage = "usage: addr_lookup_bench [--compare] [--seed S] FILE (ADDRESS... | --random N)\n"
                               "  ADDRESS: hexadecimal; S: 0 to 4294967295; N: 1 to 10000000\n";

} // namespace

int main(int argc, char** argv)
{
    const QStringList all = cvbench::Arguments(argc, argv);
    if (cvbench::HelpAsked(all, kUsage))
        return 0;
    cvbench::TArgs args(all);
    bool compare = false;
    int64_t seed = 1, random = 0;
    std::string file;
    std::vector<uint64_t> relative;
    while (!args.AtEnd()) {
        const QString a = args.Take();
        if (a == QLatin1String("--compare"))
            compare = true;
        else if (a == QLatin1String("--seed"))
            args.Number<int64_t>(a, 0, 4294967295, seed);
        else if (a == QLatin1String("--random"))
            args.Number<int64_t>(a, 1, 10000000, random);
        else if (a.startsWith(QLatin1String("--")))
            args.Unknown(a);
        else if (file.empty())
            file = a.toStdString();
        else {
            bool ok = false;
            relative.push_back(a.toULongLong(&ok, 16));
            if (!ok)
                args.Fail(QStringLiteral("an address is a hexadecimal number, not \"%1\"").arg(a));
        }
        if (!args.Ok())
            return cvbench::UsageError(args.Error(), kUsage);
    }
    if (file.empty() || (relative.empty() && random == 0))
        return cvbench::UsageError(QStringLiteral("name a file, and addresses or --random N"), kUsage);
    const auto load = cv::ElfLoadAddress(file);
    if (!load) {
        std::fprintf(stderr, "addr_lookup_bench: \"%s\" is no ELF file that can be read\n", file.c_str());
        return 1;
    }
    if (random > 0)
        for (uint64_t a : cvoracle::RandomTextAddresses(file, std::size_t(random), uint32_t(seed)))
            relative.push_back(a - *load);

    return cvbench::RunJob(QStringLiteral("look up the addresses"), [&]() -> int {
        // Load and look up, timed together: what a report pays for a module.
        struct Answer {
            cv::TELLocationInfo info;
            bool found;
        };
        std::vector<Answer> answers(relative.size());
        const double cpu0 = CpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        std::unique_ptr<cv::TELDebugInfoSource> source;
        cv::FindDebugInfoSource(kNominalModule, source, file);
        const auto t1 = std::chrono::steady_clock::now();
        for (size_t i = 0; i < relative.size(); ++i)
            answers[i].found = source && source->GetLocationInfo(kNominalModule + relative[i], answers[i].info);
        const auto t2 = std::chrono::steady_clock::now();
        const double cpuMs = (CpuSeconds() - cpu0) * 1000;

        for (size_t i = 0; i < relative.size(); ++i) {
            const cv::TELLocationInfo& info = answers[i].info;
            std::printf("%llx\t%s\t%s\t%d", static_cast<unsigned long long>(relative[i]), info.UnitName.c_str(), info.ProcedureName.c_str(),
                        answers[i].found ? info.LineNumber : 0);
            // Inlined code: the functions it was inlined into, at the lines of the calls.
            for (const cv::TELLocationInfo& caller : info.InlinedInto)
                std::printf("\t< %s:%d", caller.ProcedureName.c_str(), caller.LineNumber);
            std::printf("\n");
        }
        const double loadMs = std::chrono::duration<double, std::milli>(t1 - t0).count();
        const double lookupMs = std::chrono::duration<double, std::milli>(t2 - t1).count();
        std::printf("# %zu addresses: load %.1f ms, lookups %.1f ms, together %.1f ms (%.1f ms of processor time)\n", relative.size(), loadMs,
                    lookupMs, loadMs + lookupMs, cpuMs);

        if (compare) {
            std::vector<uint64_t> absolute;
            for (uint64_t r : relative)
                absolute.push_back(r + *load);
            double seconds = 0, cpuSeconds = 0;
            const auto theirs = cvoracle::RunAddr2Line(file, absolute, &seconds, &cpuSeconds);
            if (theirs.empty()) {
                std::fprintf(stderr, "addr_lookup_bench: addr2line could not be run\n");
                return 1;
            }
            size_t agree = 0;
            for (size_t i = 0; i < relative.size(); ++i) {
                const cvoracle::Addr2LineAnswer ours = cvoracle::AnswerOf(answers[i].info, answers[i].found);
                if (cvoracle::SameChain(ours, theirs[i]))
                    ++agree;
                else if (std::getenv("CV_SHOW_DIFFERENCES"))
                    std::fprintf(stderr, "%llx\tours: %s\taddr2line: %s\n", static_cast<unsigned long long>(relative[i]), cvoracle::Text(ours).c_str(),
                                 cvoracle::Text(theirs[i]).c_str());
            }
            const double oursMs = loadMs + lookupMs;
            std::printf("# addr2line %.1f ms (%.1f ms of processor time): %.1f times as fast (%.1f in processor time); "
                        "procedure and line agree for %zu of %zu (%.2f %%)\n",
                        seconds * 1000, cpuSeconds * 1000, seconds * 1000 / oursMs, cpuSeconds * 1000 / cpuMs, agree, relative.size(),
                        100.0 * double(agree) / double(relative.size()));
        }
        return 0;
    });
}
