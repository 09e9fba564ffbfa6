#pragma once
// Helpers of the line and processor tests: a concordance of one text made by
// the test, with the settings the test chooses.

#include "concordance/marvex_buffer_processor.h"
#include "suite/search_items.h"
#include "support/test_support.h"
#include "textread/tag_handler.h"
#include "textread/tag_records.h"

#include <QString>

#include <memory>
#include <optional>
#include <string>

namespace lines_test {

inline std::u16string u16(const QString& s)
{
    return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), std::size_t(s.size()));
}

// The words of a line at positions from..to, joined by blanks ("" for none).
inline QString wordsAt(const cv::TConcordanceEntry& line, int from, int to)
{
    QStringList out;
    for (int p = from; p <= to; ++p) {
        QStringView w;
        int n = 0;
        out << (cv::TConcordanceList::WordAtCollocatePosition(line.fData, p, w, n) ? w.toString() : QString());
    }
    return out.join(u' ');
}

// One text, one job.
struct ConcRun {
    cvtest::TempDir dir;
    cv::TTextSettings text = cv::TTextSettings::Defaults();
    cv::TConcSettingsRec32 settings = cv::TConcSettingsRec32::Defaults();
    cv::TSearchWordItems items;
    cv::TBaseSearchItems contextItems;
    cv::TBaseSearchItems exclusionItems;
    std::unique_ptr<cv::TTextTagHandler> tags;
    cv::TConcordanceList lines{nullptr};
    int32_t maxChunk = 0;       // 0: the reader's own
    std::unique_ptr<cv::TConcordanceLinePlugin> filter;
    QString lastError;
    int32_t linesMade = 0;
    QStringList samples;
    std::optional<std::vector<int32_t>> jumpList; // positions asked for, when set
    int32_t jumpLeft = 0;

    ConcRun() { settings.SetCharactersPerLine(60); }

    // A tag handler that keeps the listed tags (mode "tag rules").
    void KeepTags(const QStringList& listed)
    {
        text.SetMarkupMode(cv::TMarkupMode::TagRules);
        tags = std::make_unique<cv::TTextTagHandler>(text.LanguageId(), text.CodePage(),
                                                     cv::TTagOptions::FromSettings(text));
        for (const QString& t : listed) {
            cv::TStoredTagRec r;
            r.tag = t;
            r.foreground_colour = 0x0000FF;
            r.background_colour = 0xFFFF00;
            tags->AddTagfileTag(r);
        }
    }

    bool Run(const QString& content, const QString& searchWords, int textNumber = 1)
    {
        if (!searchWords.isEmpty())
            items.AddedSearchWords(searchWords);
        return RunOver(dir.write(QStringLiteral("text%1.txt").arg(textNumber), content.toUtf8()), textNumber);
    }

    bool RunOver(const QString& file, int textNumber = 1)
    {
        if (!tags)
            tags = std::make_unique<cv::TTextTagHandler>(text.LanguageId(), text.CodePage(),
                                                         cv::TTagOptions::FromSettings(text));
        lines.fEntriesWantedPerSW = settings.EntriesWantedPerSw();
        lines.fsearch_words_to_seek = items.PlannedCount();
        lines.current_ConcFileEntry = textNumber;
        cv::TMarvexDocumentLink link;
        link.lines = &lines;
        link.settings = settings;
        link.textSettings = text;
        cv::TChosenTextRec rec;
        rec.FullFilename = file;
        cv::TSearchAndDoEngine engine(items);
        cv::TMarvexBufferProcessor p(link, true, [this](const QString& s) { samples << s; }, &items,
                                     contextItems.IsEmpty() ? nullptr : &contextItems,
                                     exclusionItems.IsEmpty() ? nullptr : &exclusionItems, nullptr, &engine, 10, 0,
                                     false, rec, tags.get());
        if (maxChunk > 0)
            p.SetMaxChunkChars(maxChunk);
        p.SetShowFailureMessages(false);
        if (filter)
            p.SetUserFilter(std::move(filter));
        if (jumpList)
            p.SetJumpList(*jumpList);
        const bool ok = p.ReadAndProcess(1);
        lastError = p.LastError();
        linesMade = p.LinesMade();
        jumpLeft = p.JumpPositionsLeft();
        return ok;
    }

    const cv::TConcordanceEntry& Line(int i) const { return lines.Line(i); }
    std::vector<int32_t> WordNumbers() const
    {
        std::vector<int32_t> out;
        for (int i = 0; i < lines.Count(); ++i)
            out.push_back(lines.Line(i).fData.base.word_num);
        return out;
    }
};

} // namespace lines_test
