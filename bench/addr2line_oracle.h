#pragma once
// binutils' addr2line as the yardstick of the address lookups: it is run
// over the same addresses of a file (-f -C -i -a), and its answers are read
// back: the outermost function of each address's inline chain and the line
// of its innermost frame, which is what our lookups give. Shared by the
// lookup benchmark and the test that checks a sample of its addresses.

#include "crashreport/core/elf_image.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace cvoracle {

struct Addr2LineAnswer {
    std::string procedure; // the outermost function; empty when addr2line knows none
    int32_t line = 0;      // the innermost frame's line; 0 when unknown
};

// Answers in the order of the addresses (file addresses); empty when addr2line cannot be run.
inline std::vector<Addr2LineAnswer> RunAddr2Line(const std::string& file, const std::vector<uint64_t>& addresses, double* seconds = nullptr)
{
    QByteArray input;
    for (uint64_t a : addresses)
        input += "0x" + QByteArray::number(qulonglong(a), 16) + '\n';
    const auto t0 = std::chrono::steady_clock::now();
    QProcess p;
    p.start(QStringLiteral("addr2line"), {QStringLiteral("-f"), QStringLiteral("-C"), QStringLiteral("-i"), QStringLiteral("-a"),
                                          QStringLiteral("-e"), QString::fromStdString(file)});
    if (!p.waitForStarted(10000))
        return {};
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        return {};
    if (seconds)
        *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    std::vector<Addr2LineAnswer> answers;
    const QList<QByteArray> lines = p.readAllStandardOutput().split('\n');
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
        a.procedure = l == "??" ? std::string() : l.toStdString();
        QByteArray place = lines[++i];
        const qsizetype paren = place.indexOf(" (");
        if (paren >= 0)
            place.truncate(paren);
        if (firstFrame) {
            a.line = place.mid(place.lastIndexOf(':') + 1).toInt();
            firstFrame = false;
        }
    }
    if (answers.size() != addresses.size())
        return {};
    return answers;
}

// n addresses drawn evenly over the file's .text (file addresses), the same for the same seed.
inline std::vector<uint64_t> RandomTextAddresses(const std::string& file, size_t n, uint32_t seed = 1)
{
    const auto text = cv::ElfSectionBounds(file, ".text");
    std::vector<uint64_t> addresses;
    if (!text || text->size == 0)
        return addresses;
    std::mt19937_64 random(seed);
    std::uniform_int_distribution<uint64_t> pick(text->address, text->address + text->size - 1);
    for (size_t i = 0; i < n; ++i)
        addresses.push_back(pick(random));
    return addresses;
}

} // namespace cvoracle
