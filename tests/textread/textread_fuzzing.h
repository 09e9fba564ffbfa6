#pragma once
// One fuzz input through the text decoder and the buffer processor, shared
// by the libFuzzer target (tests/fuzz/textread_fuzz.cpp) and the test that
// replays the kept inputs (tests/data/fuzz/textread).
//
// Input: four bytes that choose the encoding, the settings, the chunk size
// and the kind of file, then the text's bytes. Beyond "no crash, no read out
// of bounds" (the sanitizers' part) it checks what must hold for any input:
// decoding in blocks gives what decoding at once gives, buffer positions map
// back to the text in order, every tag run in the class array is framed by
// the tag marks.

#include "suite/decipher.h"
#include "textread/buffer_processor.h"
#include "textread/class_array.h"
#include "textread/preparsed_text.h"
#include "textread/tag_handler.h"
#include "textread/text_classifier.h"
#include "textread/text_decoder.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <string>
#include <vector>

namespace textread_fuzz {

class Checker final : public cv::TBufferProcessor {
public:
    using TBufferProcessor::TBufferProcessor;
    std::string problem;

    void ProcessAChunkOfFile(int32_t chunkIndex) override
    {
        if (chunkIndex < 0 || !problem.empty())
            return;
        const std::u16string_view text = Buffer();
        const std::span<const uint16_t> cls = Classes();
        int64_t last = -1;
        for (int32_t i = 0; i < int32_t(text.size()); ++i) {
            const int64_t pos = SourcePositionOf(i);
            if (pos < last) {
                problem = "source positions go backwards in chunk " + std::to_string(chunkIndex);
                return;
            }
            last = pos;
            // A unit put in (a separator) shares its position with the unit
            // after it, which for the last unit is in the next chunk.
            const bool inserted = i + 1 == int32_t(text.size()) || SourcePositionOf(i + 1) == pos;
            if (BufferIndexOfSourcePosition(pos) > i + (inserted ? 1 : 0)) {
                problem = "a source position maps past its unit in chunk " + std::to_string(chunkIndex);
                return;
            }
        }
        for (std::size_t i = 0; i < cls.size(); ++i) {
            if (!cv::IsTagClass(cls[i]))
                continue;
            const bool starts = i == 0 || !cv::IsTagClass(cls[i - 1]);
            const bool ends = i + 1 == cls.size() || !cv::IsTagClass(cls[i + 1]);
            if ((starts && text[i] != cv::kTagMarkOpen) || (ends && text[i] != cv::kTagMarkClose)) {
                problem = "a tag run without its marks at unit " + std::to_string(i);
                return;
            }
        }
    }
};

inline std::u16string decodeInBlocks(std::span<const uint8_t> bytes, cv::TSourceEncoding e, uint32_t codePage,
                                     std::size_t step)
{
    cv::TTextDecoder d(e, codePage);
    std::u16string out;
    if (step == 0 || bytes.empty()) {
        d.Decode(bytes, true, out);
        return out;
    }
    for (std::size_t i = 0; i < bytes.size(); i += step) {
        const std::size_t n = std::min(step, bytes.size() - i);
        d.Decode(bytes.subspan(i, n), i + n >= bytes.size(), out);
    }
    return out;
}

// The classifier's roads (blocks with AVX-512 and AVX2 where the processor
// has them, blocks with SSE2, unit by unit) on a text cut in two at `cut`: the same
// classes and counts. Returns what differs, or an empty string.
inline std::string compareRoads(const std::u16string& text, std::size_t cut, const cv::TTextSettings& s,
                                const cv::TTextTagHandler& handler)
{
    struct Road {
        std::vector<uint16_t> classes;
        cv::TOneFilesStats stats;
    };
    auto run = [&](bool blocks, int width) {
        cv::TTextClassifier c(s, handler, true);
        c.SetAsciiBlocks(blocks);
        c.SetWideBlocks(width > 0);
        c.SetWidestBlocks(width > 1);
        c.StartText();
        Road r;
        r.classes.assign(text.size() + 1, 0);
        std::vector<int32_t> sections;
        const std::u16string_view all(text);
        const std::size_t at = std::min(cut, text.size());
        c.Classify(all.substr(0, at), all.substr(at), at == text.size(), nullptr, {}, r.classes.data(), sections, r.stats);
        if (at < text.size())
            c.Classify(all.substr(at), {}, true, nullptr, {}, r.classes.data() + at, sections, r.stats);
        return r;
    };
    const Road reference = run(false, 0);
    static const char* const kNames[] = {"blocks", "wide blocks", "widest blocks"};
    for (const int width : {0, 1, 2}) {
        const Road r = run(true, width);
        if (r.classes != reference.classes)
            return std::string(kNames[width]) + " classify otherwise";
        if (r.stats.Words != reference.stats.Words || r.stats.Sentences != reference.stats.Sentences
            || r.stats.Paragraphs != reference.stats.Paragraphs || r.stats.Headings != reference.stats.Headings)
            return std::string(kNames[width]) + " count otherwise";
    }
    return {};
}

// Returns an empty string, or what went wrong.
inline std::string RunOne(const uint8_t* data, std::size_t size, const QString& folder)
{
    if (size < 4)
        return {};
    const uint8_t a = data[0], b = data[1], c = data[2], d = data[3];
    const std::span<const uint8_t> payload(data + 4, size - 4);

    // The decoder alone: blocks change nothing.
    const auto encoding = cv::TSourceEncoding(1 + (a & 3));
    const uint32_t codePage = (a & 4) ? 1251 : 1252;
    if (decodeInBlocks(payload, encoding, codePage, 0) != decodeInBlocks(payload, encoding, codePage, 1 + (b & 7)))
        return "decoding in blocks differs from decoding at once";

    cv::TTextSettings s = cv::TTextSettings::Defaults();
    s.SetMarkupMode(cv::TMarkupMode((c & 3) == 3 ? 1 : (c & 3)));
    s.SetTranslateEntities(c & 4);
    s.SetTextSelectionOn(c & 8);
    s.SetTextStartMarker(QStringLiteral("<body>"));
    s.SetTextEndMarker(QStringLiteral("</body>"));
    s.SetBlankLineEndsParagraph(c & 16);
    s.SetApostrophesInWords(c & 32);
    s.SetHyphensSeparateWords(c & 64);
    s.SetKeepNumbers(c & 128);
    s.SetSectionStartMarker((d & 1) ? QStringLiteral("##") : QString());
    s.SetDetectUtf8(d & 2);
    s.SetCodePage((d & 4) ? 1251 : 1252);
    s.SetMaxTagSpan((d & 8) ? 5 : 1000);
    s.SetExtraWordCharacters((a & 8) ? QStringLiteral("_@") : QString());

    cv::TTextTagHandler handler(s.LanguageId(), s.CodePage(), cv::TTagOptions::FromSettings(s));
    cv::TStoredTagRec keep;
    keep.tag = QStringLiteral("<w *>");
    handler.AddTagfileTag(keep);
    keep.tag = QStringLiteral("<head>");
    handler.AddTagfileTag(keep);
    handler.AddExclusion(u"<script>", u"</script>");
    handler.AddExclusion(u"<x/>");
    cv::TTagsToTranslateList translate;
    translate.AddTranslation(u"<br>", u" ");
    translate.AddTranslation(u"&me;", u"Me");
    handler.SetTagsToTranslateList(&translate);

    // The classifier alone, on the decoded bytes as they stand (tag marks and all).
    const std::u16string decoded = decodeInBlocks(payload, encoding, codePage, 0);
    if (std::string roads = compareRoads(decoded, std::size_t(b) * 7, s, handler); !roads.empty())
        return roads;

    // The kind of file: loose text, enciphered or pre-parsed (well formed or raw).
    QString suffix = QStringLiteral(".txt");
    std::vector<uint8_t> bytes(payload.begin(), payload.end());
    switch ((d >> 4) & 3) {
    case 1:
        suffix = QStringLiteral(".CVencrypted");
        if (!(d & 0x40))
            bytes = cv::EncipheredBytes(payload, b);
        break;
    case 2:
        suffix = QStringLiteral(".CVpreparsed");
        if (!(d & 0x40)) {
            std::u16string units;
            for (std::size_t i = 0; i + 1 < payload.size(); i += 2)
                units.push_back(char16_t(payload[i] | (payload[i + 1] << 8)));
            bytes = cv::PreparsedBytes(units, cv::TPreparsedInfo{});
        }
        break;
    default:
        break;
    }
    const QString file = QDir(folder).filePath(QStringLiteral("input") + suffix);
    {
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return {};
        f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    }
    cv::TChosenTextRec rec;
    rec.FullFilename = file;
    Checker checker(nullptr, nullptr, nullptr, &handler, rec, s, 0, 0, false);
    checker.SetShowFailureMessages(false);
    checker.SetMaxChunkChars(64 << ((b >> 4) & 7));
    checker.ReadAndProcess(1);
    QFile::remove(file);
    return checker.problem;
}

} // namespace textread_fuzz
