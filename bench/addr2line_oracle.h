#pragma once
// binutils' addr2line as the yardstick of the address lookups: it is run
// over the same addresses of a file (-f -C -i -a), and its answers are read
// back: each address's inline chain, the innermost frame (the function whose
// code it is, at its line) and the functions it was inlined into (each at
// the line of the call), which is what our lookups give. Shared by the
// lookup benchmark and the test that checks a sample of its addresses.

#include "crashreport/core/debuginfo/debug_info_source.h"
#include "crashreport/core/debuginfo/elf_image.h"

#include <QFile>
#include <QString>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace cvoracle {

struct Addr2LineFrame {
    std::string procedure; // empty when addr2line knows none
    int32_t line = 0;      // 0 when unknown
    std::string file;      // the file of that line (of the call, for a frame around inlined code)
};

struct Addr2LineAnswer {
    std::string procedure; // the innermost frame's function; empty when addr2line knows none
    int32_t line = 0;      // its line; 0 when unknown
    std::vector<Addr2LineFrame> inlinedInto; // the frames around it, innermost first
};

// Whether a lookup's answer is addr2line's: the same chain of frames at the
// same lines, ending in the same function. The names of inlined frames are
// not compared: addr2line names an inlined function by its bare name, and
// at times by the function it was inlined into, where a debugger (and our
// lookups) qualify it; they are checked against gdb elsewhere.
inline bool SameChain(const Addr2LineAnswer& ours, const Addr2LineAnswer& theirs)
{
    if (ours.line != theirs.line || ours.inlinedInto.size() != theirs.inlinedInto.size())
        return false;
    for (std::size_t i = 0; i < ours.inlinedInto.size(); ++i)
        if (ours.inlinedInto[i].line != theirs.inlinedInto[i].line)
            return false;
    const std::string& outermost = ours.inlinedInto.empty() ? ours.procedure : ours.inlinedInto.back().procedure;
    return outermost == (theirs.inlinedInto.empty() ? theirs.procedure : theirs.inlinedInto.back().procedure);
}

// A lookup's answer in the same terms (found: the lookup found the address).
inline Addr2LineAnswer AnswerOf(const cv::TELLocationInfo& info, bool found)
{
    Addr2LineAnswer answer{info.ProcedureName, found ? info.LineNumber : 0, {}};
    for (const cv::TELLocationInfo& caller : info.InlinedInto)
        answer.inlinedInto.push_back({caller.ProcedureName, caller.LineNumber, caller.SourceName});
    return answer;
}

// "function:line", then " < function:line" for each frame around it.
inline std::string Text(const Addr2LineAnswer& answer)
{
    std::string text = answer.procedure + ":" + std::to_string(answer.line);
    for (const Addr2LineFrame& frame : answer.inlinedInto)
        text += " < " + frame.procedure + ":" + std::to_string(frame.line);
    return text;
}

// The lookups name a piece the compiler split off or cloned from a function
// as the function itself: addr2line's clone marks (" [clone .constprop.0]")
// and the suffixes of names it did not demangle ("main.cold") go.
inline std::string FunctionOfPiece(std::string name)
{
    for (size_t at = name.find(" [clone ."); at != std::string::npos; at = name.find(" [clone .", at)) {
        const size_t end = name.find(']', at);
        name.erase(at, end == std::string::npos ? std::string::npos : end + 1 - at);
    }
    for (const char* suffix : {".cold", ".part.", ".constprop.", ".isra."})
        if (const size_t at = name.find(suffix); at != std::string::npos && name.find('(') == std::string::npos)
            name.erase(at);
    return name;
}

// Answers in the order of the addresses (file addresses); empty when
// addr2line cannot be run. seconds: its wall time; cpuSeconds: the user and
// system time it took (the measure a busy machine disturbs least).
inline std::vector<Addr2LineAnswer> RunAddr2Line(const std::string& file, const std::vector<uint64_t>& addresses, double* seconds = nullptr,
                                                 double* cpuSeconds = nullptr)
{
    std::string input;
    for (uint64_t a : addresses) {
        char line[32];
        std::snprintf(line, sizeof line, "0x%llx\n", static_cast<unsigned long long>(a));
        input += line;
    }
    // The addresses from a file, the answers into one: no pipe to keep flowing.
    char inName[] = "/tmp/cv_addr2line_in_XXXXXX";
    char outName[] = "/tmp/cv_addr2line_out_XXXXXX";
    const int in = ::mkstemp(inName), out = ::mkstemp(outName);
    if (in < 0 || out < 0 || ::write(in, input.data(), input.size()) != ssize_t(input.size())) {
        if (in >= 0)
            ::close(in), ::unlink(inName);
        if (out >= 0)
            ::close(out), ::unlink(outName);
        return {};
    }
    ::lseek(in, 0, SEEK_SET);
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::execlp("addr2line", "addr2line", "-f", "-C", "-i", "-a", "-e", file.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    const bool ran = child > 0 && ::wait4(child, &status, 0, &usage) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (seconds)
        *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (cpuSeconds)
        *cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    QByteArray text;
    if (ran) {
        QFile answers(QString::fromLocal8Bit(outName));
        if (answers.open(QIODevice::ReadOnly))
            text = answers.readAll();
    }
    ::close(in);
    ::close(out);
    ::unlink(inName);
    ::unlink(outName);
    if (!ran)
        return {};

    std::vector<Addr2LineAnswer> answers;
    const QList<QByteArray> lines = text.split('\n');
    bool firstFrame = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray& l = lines[i];
        if (l.startsWith("0x")) {
            answers.emplace_back();
            firstFrame = true;
            continue;
        }
        if (answers.empty() || l.isEmpty() || i + 1 >= lines.size())
            continue;
        // A frame: its function, then "file:line" (perhaps with a discriminator).
        Addr2LineAnswer& a = answers.back();
        Addr2LineFrame frame;
        frame.procedure = l == "??" ? std::string() : FunctionOfPiece(l.toStdString());
        QByteArray place = lines[++i];
        const qsizetype paren = place.indexOf(" (");
        if (paren >= 0)
            place.truncate(paren);
        frame.line = place.mid(place.lastIndexOf(':') + 1).toInt();
        frame.file = place.left(place.lastIndexOf(':')).toStdString();
        if (firstFrame) {
            a.procedure = frame.procedure;
            a.line = frame.line;
            firstFrame = false;
        } else {
            a.inlinedInto.push_back(frame);
        }
    }
    if (answers.size() != addresses.size())
        return {};
    return answers;
}

// The extents of the file's functions as binutils' nm lists them (symbols of
// text with a size), sorted and disjoint; empty when nm cannot be run.
inline std::vector<std::pair<uint64_t, uint64_t>> FunctionExtents(const std::string& file)
{
    std::vector<std::pair<uint64_t, uint64_t>> extents;
    const std::string command = "nm -S --defined-only '" + file + "' 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return extents;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) {
        unsigned long long start = 0, size = 0;
        char type = 0;
        if (std::sscanf(line, "%llx %llx %c", &start, &size, &type) == 3 && size > 0 && std::strchr("TtWw", type))
            extents.emplace_back(start, start + size);
    }
    ::pclose(pipe);
    // Aliases and nested symbols overlap: keep disjoint extents.
    std::sort(extents.begin(), extents.end());
    std::vector<std::pair<uint64_t, uint64_t>> merged;
    for (const auto& e : extents)
        if (!merged.empty() && e.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, e.second);
        else
            merged.push_back(e);
    return merged;
}

// Whether an address lies inside one of the extents (FunctionExtents); any
// address does when there are none.
inline bool InsideAFunction(const std::vector<std::pair<uint64_t, uint64_t>>& extents, uint64_t a)
{
    if (extents.empty())
        return true;
    const auto after = std::upper_bound(extents.begin(), extents.end(), std::make_pair(a, UINT64_MAX));
    return after != extents.begin() && a < std::prev(after)->second;
}

// n addresses drawn evenly over the file's .text (file addresses), the same
// for the same seed. Only addresses inside a function as nm gives its
// extent are kept: the padding between functions belongs to no function
// (no return address can lie there), while addr2line names it after the
// function before it.
inline std::vector<uint64_t> RandomTextAddresses(const std::string& file, size_t n, uint32_t seed = 1)
{
    const auto text = cv::ElfSectionBounds(file, ".text");
    std::vector<uint64_t> addresses;
    if (!text || text->size == 0)
        return addresses;
    const auto extents = FunctionExtents(file);
    std::mt19937_64 random(seed);
    std::uniform_int_distribution<uint64_t> pick(text->address, text->address + text->size - 1);
    for (size_t tries = 0; addresses.size() < n && tries < 100 * n; ++tries)
        if (const uint64_t a = pick(random); InsideAFunction(extents, a))
            addresses.push_back(a);
    return addresses;
}

} // namespace cvoracle
