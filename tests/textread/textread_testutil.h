#pragma once
// Helpers of the text-reading tests: texts in every encoding, and a
// processor that keeps what each chunk gave.

#include "support/test_support.h"
#include "textread/buffer_processor.h"
#include "textread/class_array.h"
#include "textread/tag_handler.h"

#include <QByteArray>
#include <QString>

#include <string>
#include <vector>

namespace textread_test {

inline QByteArray utf8(const QString& s) { return s.toUtf8(); }
inline QByteArray latin1(const QString& s) { return s.toLatin1(); }
inline QByteArray utf16(const QString& s, bool bigEndian, bool bom)
{
    QByteArray out;
    if (bom)
        out += bigEndian ? QByteArray("\xFE\xFF", 2) : QByteArray("\xFF\xFE", 2);
    for (const QChar c : s) {
        const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
        if (bigEndian) {
            out += hi;
            out += lo;
        } else {
            out += lo;
            out += hi;
        }
    }
    return out;
}
inline std::u16string u16(const QString& s) { return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), std::size_t(s.size())); }
inline QString q(std::u16string_view s) { return QString(reinterpret_cast<const QChar*>(s.data()), qsizetype(s.size())); }
// The buffer's text with its tag marks shown as "<" and ">".
inline QString shownText(std::u16string_view s)
{
    std::u16string t(s);
    cv::ShowTagMarks(t);
    return q(t);
}

// Keeps every chunk's buffer and classes, and the order of the hooks.
class Collector : public cv::TBufferProcessor {
public:
    using TBufferProcessor::TBufferProcessor;

    std::u16string text;
    std::vector<uint16_t> classes;
    std::vector<int32_t> chunks;        // indexes handed to ProcessAChunkOfFile
    std::vector<std::size_t> chunkSizes;
    std::vector<int64_t> sectionPositions; // text positions of section starts
    std::vector<int64_t> chunkPositions;   // text position of each chunk's first unit
    QStringList hooks;

    bool SetupTheBuffer() override
    {
        hooks << QStringLiteral("setup");
        return TBufferProcessor::SetupTheBuffer();
    }
    void ProcessAChunkOfFile(int32_t chunkIndex) override
    {
        hooks << QStringLiteral("chunk %1").arg(chunkIndex);
        chunks.push_back(chunkIndex);
        if (chunkIndex < 0)
            return;
        text += Buffer();
        classes.insert(classes.end(), Classes().begin(), Classes().end());
        chunkSizes.push_back(Buffer().size());
        chunkPositions.push_back(SourcePositionOf(0));
        for (const int32_t s : SectionStarts())
            sectionPositions.push_back(SourcePositionOf(s));
    }
    void HandleTextStatsAtEndOfBuffer() override { hooks << QStringLiteral("stats"); }

    QString shown() const { return shownText(text); }
    // The words of the collected class array, as text.
    QStringList words() const
    {
        QStringList out;
        int32_t pos = 0;
        cv::TScannedWord w;
        while (cv::NextWord(classes, pos, w))
            out << q(std::u16string_view(text).substr(std::size_t(w.start), std::size_t(w.length)));
        return out;
    }
    // The boundary levels met between words: "" for none, else the level.
    std::vector<int> barriers() const
    {
        std::vector<int> out;
        int32_t pos = 0;
        cv::TScannedWord w;
        while (cv::NextWord(classes, pos, w))
            out.push_back(w.barrier);
        return out;
    }
};

struct ReadResult {
    bool ok = false;
    std::u16string text;
    std::vector<uint16_t> classes;
    cv::TOneFilesStats stats;
    cv::TFileHandledInfo info;
    std::vector<int32_t> chunks;
    QStringList words;
    QString error;
    QStringList notes; // ReadNotes
};

inline cv::TTextSettings defaultSettings() { return cv::TTextSettings::Defaults(); }

inline ReadResult readFile(const QString& fileName, const cv::TTextSettings& settings = defaultSettings(),
                           cv::TTextTagHandler* handler = nullptr, int32_t chunkChars = 0,
                           const QString& zipEntry = QString())
{
    cv::TChosenTextRec rec;
    rec.FullFilename = fileName;
    rec.ZipEntryName = zipEntry;
    ReadResult r;
    Collector c(nullptr, [&](const cv::TFileHandledInfo& i) { r.info = i; }, nullptr, handler, rec, settings, 0, 0, false);
    c.SetShowFailureMessages(false);
    if (chunkChars > 0)
        c.SetMaxChunkChars(chunkChars);
    r.ok = c.ReadAndProcess(1);
    r.text = c.text;
    r.classes = c.classes;
    r.stats = c.TextStats();
    r.chunks = c.chunks;
    r.words = c.words();
    r.error = c.LastError();
    r.notes = c.ReadNotes();
    return r;
}

} // namespace textread_test
