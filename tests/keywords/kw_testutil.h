#pragma once
// Helpers of the key-word tests: settings on private defaults, no dialogs
// shown, word lists made from (word, frequency) pairs and saved as ".lst"
// files in a temporary folder.

#include "keywords/keywords_holder.h"
#include "model/batch_procedures.h"
#include "model/stats_list.h"
#include "suite/cv_globals.h"
#include "suite/cv_stream.h"
#include "suite/cvbuf.h"
#include "suite/dialogs.h"
#include "suite/lemmatiser.h"
#include "suite/my_types.h"
#include "support/process_state.h"
#include "support/test_support.h"
#include "wordlist/wordlist_holder.h"

#include <gtest/gtest.h>

#include <QString>

#include <memory>
#include <utility>
#include <vector>

namespace kwtest {

using TWords = std::vector<std::pair<QString, int64_t>>;

constexpr uint32_t kEnglishUK = 0x0809;
constexpr uint32_t kEnglishUS = 0x0409;
constexpr uint32_t kFrench = 0x040C;

class KeyWordsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cvtest::StartFromDefaults();
        cv::Global_BatchProcedures = cv::TBatchProceduresRec{};
        cv::Global_BatchProcedures.BatchRootFolder = dir.file(QStringLiteral("batch"));
    }
    void TearDown() override
    {
        cv::global_panic_state = cv::kPanicRun;
        cv::Global_run_without_error_messages = false;
        cv::Global_BatchProcedures = cv::TBatchProceduresRec{};
    }

    // Key-word settings of the buffer, changed by `change`.
    template <typename F>
    static void Settings(F&& change)
    {
        cv::TKeyWordsSettingsRec k = cv::GetKeywordsSettings();
        change(k);
        cv::SetKeywordsSettings(k);
    }

    // A word-list document of one text (or `texts` texts) with these words;
    // `total` running words (0: the sum of the frequencies).
    static std::unique_ptr<cv::T_WholeWordlistHolder> MakeDoc(const TWords& words, int64_t total = 0,
                                                              uint32_t language = kEnglishUK, int32_t texts = 1,
                                                              const QString& textName = QStringLiteral("text.txt"))
    {
        auto doc = std::make_unique<cv::T_WholeWordlistHolder>(cv::kListWordList, nullptr, nullptr, false, false);
        doc->ftextsettings.SetLanguageId(language);
        std::vector<cv::TWordAndFrequency> w;
        for (const auto& [word, f] : words)
            w.push_back({word, f});
        cv::TCVWordList& list = *doc->WordlistOfType(cv::kListWordList);
        list.ImportWords(w, total);
        list.SetTotalTexts(texts);
        for (int i = 0; i < list.Count(); ++i)
            list.Entry(i).fData.Texts = 1;
        for (int t = 0; t < texts; ++t) {
            cv::TStatsRec r;
            r.FileName = texts == 1 ? textName : QStringLiteral("text%1.txt").arg(t + 1);
            r.Folder = QStringLiteral("/corpus");
            r.Texts = 1;
            r.TokensUsed = list.TotalTokens() / texts;
            doc->fStats->AddText(r);
        }
        doc->fStats->RecomputeOverall();
        doc->CVBaseFilenames(*doc->fStats);
        return doc;
    }

    QString SaveList(const QString& name, const TWords& words, int64_t total = 0, uint32_t language = kEnglishUK,
                     int32_t texts = 1)
    {
        auto doc = MakeDoc(words, total, language, texts);
        const QString file = dir.file(name);
        EXPECT_TRUE(doc->SaveToFile(file));
        return file;
    }

    // The worked example: a word of frequency 100 in 10,000 study words
    // against 50 in 100,000 reference words.
    QString WorkedStudy() { return SaveList(QStringLiteral("study.lst"), {{"target", 100}, {"the", 9900}}); }
    QString WorkedReference()
    {
        return SaveList(QStringLiteral("reference.lst"), {{"target", 50}, {"the", 99950}});
    }

    static int IndexOf(const cv::TKeyWordList& l, const QString& word)
    {
        for (int i = 0; i < l.Count(); ++i)
            if (l.Entry(i).fWord == word)
                return i;
        return -1;
    }

    cvtest::TempDir dir;
    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard guard{&dialogs};
};

inline QByteArray SavedBytes(cv::TCorvantisholder& doc)
{
    cv::TMemoryStream m;
    EXPECT_TRUE(doc.SaveToStream(m));
    return cvtest::toBytes(m.Bytes());
}

} // namespace kwtest
