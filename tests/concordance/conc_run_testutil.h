#pragma once
// Concordance runs over texts made by the tests: default settings on
// private memory, messages recorded instead of shown, texts with chosen
// dates, and a document to run them through.

#include "concordance/marvex_holder.h"
#include "model/chosen_files.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialogs.h"
#include "suite/lemmatiser.h"
#include "suite/my_types.h"
#include "support/process_state.h"
#include "support/test_support.h"
#include "textread/tag_handler.h"
#include "wordlist/wordlist_holder.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

#include <functional>
#include <memory>
#include <random>

namespace conc_test {

class ConcRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cvtest::StartFromDefaults();
        cv::Global_batch_mode = false;
        cv::TConcSettingsRec32 c = cv::GetConcSaveRec();
        c.SetCharactersPerLine(300);
        cv::SetConcSaveRec(c);
        text = cv::GetTextSettings();
        tags = std::make_unique<cv::TTextTagHandler>(text.LanguageId(), text.CodePage(),
                                                     cv::TTagOptions::FromSettings(text));
    }
    void TearDown() override
    {
        cv::TLemmatiser::Instance().ClearAll();
        cv::global_panic_state = cv::kPanicRun;
        cv::Global_batch_mode = false;
    }

    // A run over two texts of its own with every analysis, for the tests of
    // running short of memory (marvex_holder_run_test.cpp).
    std::function<bool(QString&)> ShortOfMemoryRun();

    std::unique_ptr<cv::T_WholeMarvexHolder> NewDoc()
    {
        return std::make_unique<cv::T_WholeMarvexHolder>(cv::kListConcordance, nullptr, tags.get(), false, false);
    }

    // A text dated `date` (UTC noon); an invalid date leaves the text undated.
    QString AddText(const QString& name, const QString& content, QDate date = QDate(2021, 3, 1))
    {
        const QString f = dir.write(name, content.toUtf8());
        cv::TChosenTextRec r;
        r.FullFilename = f;
        r.FileSize = QFileInfo(f).size();
        if (date.isValid()) {
            const QDateTime t(date, QTime(12, 0), QTimeZone::utc());
            QFile file(f);
            file.open(QIODevice::ReadWrite);
            file.setFileTime(t, QFileDevice::FileModificationTime);
            r.FileTime = t;
        }
        chosen.AddRecord(r);
        return f;
    }

    // Concordances the chosen texts for the search words ("cat/dog").
    bool Run(cv::T_WholeMarvexHolder& doc, const QString& searchWords)
    {
        cv::TSearchWordItems sws;
        sws.AddedSearchWords(searchWords);
        int32_t converted = 0;
        return doc.MakeConcordance(chosen, sws, 0, cv::kListConcordance, converted);
    }

    // The word list of the chosen texts, as the word-list job makes it.
    std::unique_ptr<cv::T_WholeWordlistHolder> WordListOfChosenTexts()
    {
        cv::TCVFileDetails files(true, {});
        for (int i = 0; i < chosen.FileCount(); ++i)
            files.ToolAddAFile(chosen.FullFilename(i));
        auto words = std::make_unique<cv::T_WholeWordlistHolder>(cv::kListWordList, nullptr, nullptr, false, false);
        int32_t converted = 0;
        EXPECT_TRUE(words->MakeWordlist(files, 0, converted, cv::kListWordList));
        return words;
    }

    // n words drawn from a small vocabulary, with `node` at the given places (0-based).
    static QStringList RandomWords(std::mt19937& rng, int n)
    {
        static const char* const vocabulary[] = {"alpha", "beta",  "gamma", "delta", "Alpha", "eta",
                                                 "theta", "iota",  "kappa", "lambda", "mu",   "nu"};
        std::uniform_int_distribution<int> pick(0, int(std::size(vocabulary)) - 1);
        QStringList w;
        for (int i = 0; i < n; ++i)
            w << QString::fromLatin1(vocabulary[pick(rng)]);
        return w;
    }

    cvtest::TempDir dir;
    cv::TTextSettings text;
    std::unique_ptr<cv::TTextTagHandler> tags;
    cv::TSharedChosenFilesClass chosen;
    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard guard{&dialogs};
};

} // namespace conc_test
