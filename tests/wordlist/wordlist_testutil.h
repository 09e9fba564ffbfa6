#pragma once
// Helpers of the word-list tests: settings on private defaults, texts written
// into a temporary folder, a word list made of them, look-ups by word.

#include "model/chosen_files.h"
#include "suite/cv_globals.h"
#include "suite/cv_stream.h"
#include "suite/cvbuf.h"
#include "suite/dialogs.h"
#include "suite/lemmatiser.h"
#include "suite/my_types.h"
#include "support/process_state.h"
#include "support/test_support.h"
#include "textread/tag_handler.h"
#include "wordlist/wordlist_holder.h"
#include "wordlist/wordlist_tree.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace wordlist_test {

// Every test starts from the default settings, no lists loaded, no messages shown.
class WordlistTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cvtest::StartFromDefaults();
    }
    void TearDown() override
    {
        cv::TLemmatiser::Instance().ClearAll();
        cv::global_panic_state = cv::kPanicRun;
    }

    static cv::TTextSettings Settings() { return cv::GetTextSettings(); }
    static void Use(const cv::TTextSettings& s) { cv::SetTextSettings(s); }

    // Writes the texts (name, bytes) and makes one word list of them all.
    std::unique_ptr<cv::T_WholeWordlistHolder> Make(const std::vector<std::pair<QString, QByteArray>>& texts,
                                                     cv::TTagHandlerBase* tags = nullptr, bool lemmas = false,
                                                     bool stops = false)
    {
        cv::TCVFileDetails chosen(true, {});
        for (const auto& [name, bytes] : texts)
            chosen.ToolAddAFile(dir.write(name, bytes));
        auto doc = std::make_unique<cv::T_WholeWordlistHolder>(cv::kListWordList, nullptr, tags, lemmas, stops);
        doc->SetChunkUnits(chunkUnits);
        int32_t converted = 0;
        made = doc->MakeWordlist(chosen, 0, converted, cv::kListWordList);
        return doc;
    }
    std::unique_ptr<cv::T_WholeWordlistHolder> MakeOne(const QString& text, cv::TTagHandlerBase* tags = nullptr)
    {
        return Make({{QStringLiteral("text.txt"), text.toUtf8()}}, tags);
    }

    // Tags shown in the lists (the settings' tag display on), and a tag
    // handler that lists `tags` ("<w NN>"...), as the settings' tag file would.
    std::unique_ptr<cv::TTextTagHandler> ShowTags(std::initializer_list<const char*> tags)
    {
        cv::TTextSettings t = Settings();
        t.SetTagDisplay(1);
        Use(t);
        auto handler = std::make_unique<cv::TTextTagHandler>(t.LanguageId(), t.CodePage(), cv::TTagOptions::FromSettings(t));
        for (const char* tag : tags) {
            cv::TStoredTagRec rec;
            rec.tag = QString::fromLatin1(tag);
            EXPECT_TRUE(handler->AddTagfileTag(rec)) << tag;
        }
        return handler;
    }

    // Loads a lemmatiser list of this tool from lines.
    void LoadList(cv::TLemmatiserListKind kind, const QString& lines)
    {
        const QString name = dir.write(QStringLiteral("list%1.txt").arg(int(kind)), lines.toUtf8());
        ASSERT_GT(cv::TLemmatiser::Instance().LoadedOne(cv::kToolWordList, kind, name, cv::TListSettingsRec::Defaults(),
                                                         {}, {}, 0x0809),
                  0);
    }

    cvtest::TempDir dir;
    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard guard{&dialogs};
    bool made = false;
    int32_t chunkUnits = 0; // the chunks texts are read in (0: the job's own)
};

// The frequency of a word (with its tag) in a list, -1 when absent.
inline int64_t Freq(const cv::TCVWordList& l, const QString& word, const QString& tag = QString())
{
    const int i = l.FindWordAndTag(word, tag);
    return i < 0 ? -1 : l.CorrectFreq(i, false);
}

inline const cv::TCVWordList& List(const cv::T_WholeWordlistHolder& doc)
{
    return *doc.WordlistOfType(cv::kListWordList);
}

inline int64_t SumOfFrequencies(const cv::TCVWordList& l)
{
    int64_t n = 0;
    for (int i = 0; i < l.Count(); ++i)
        n += l.CorrectFreq(i, true);
    return n;
}

inline QByteArray Saved(cv::T_WholeWordlistHolder& doc)
{
    cv::TMemoryStream m;
    EXPECT_TRUE(doc.SaveToStream(m));
    return cvtest::toBytes(m.Bytes());
}

// A spelling padded as the cutter pads it (zeros to sixteen units at least,
// and to a multiple of four beyond), and as the tree's look-ups want it.
inline std::u16string Padded(const std::u16string& w)
{
    std::u16string p = w;
    p.resize(std::max<std::size_t>(16, std::size_t(cv::TWordlistParentTree::PaddedLength(int32_t(w.size())))) + 8, 0);
    return p;
}

} // namespace wordlist_test
