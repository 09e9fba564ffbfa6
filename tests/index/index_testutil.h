#pragma once
// Helpers of the index tests: default settings, texts written into a
// temporary folder, indexes made of them the way the index job makes them.

#include "index/index_files.h"
#include "index/index_handler.h"
#include "model/chosen_files.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialogs.h"
#include "suite/lemmatiser.h"
#include "suite/my_types.h"
#include "support/test_support.h"
#include "wordlist/wordlist_holder.h"
#include "wordlist/wordlist_testutil.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <memory>
#include <utility>
#include <vector>

namespace index_test {

using TTexts = std::vector<std::pair<QString, QByteArray>>;

// The word-list tests' fixture (default settings, no lists loaded, no
// messages shown, a temporary folder) with indexes made in its folder.
class IndexTest : public wordlist_test::WordlistTest {
protected:
    // The texts chosen, written into the folder first (names may repeat across calls).
    cv::TCVFileDetails Chosen(const TTexts& texts)
    {
        cv::TCVFileDetails chosen(false, {});
        // A text written once keeps its file time, so that runs over it compare equal.
        for (const auto& [name, bytes] : texts)
            chosen.ToolAddAFile(cvtest::readAll(dir.file(name)) == bytes ? dir.file(name) : dir.write(name, bytes));
        return chosen;
    }
    // Makes (mode 0) or extends (mode 1) the index `name` in the folder.
    bool Index(const TTexts& texts, const QString& name, uint8_t mode = cv::kIndexOpenNew)
    {
        cv::TCVFileDetails chosen = Chosen(texts);
        lastError.clear();
        return cv::MakeIndexOfTexts(chosen, dir.file(name), mode, &lastError);
    }
    cv::TIndexData Load(const QString& name)
    {
        cv::TIndexData d;
        QString error;
        EXPECT_TRUE(d.Load(dir.file(name), &error)) << qPrintable(error);
        return d;
    }
    // An index opened for work, as a document holds it.
    std::unique_ptr<cv::T_WholeWordlistHolder> Open(const QString& name)
    {
        auto doc = std::make_unique<cv::T_WholeWordlistHolder>(cv::kListIndexWordList, nullptr, nullptr, false, false);
        EXPECT_EQ(doc->OpenAnIndexAndLoadWords(dir.file(name)) & 0xFF, 1);
        return doc;
    }
    // The codes of every text, one after another.
    static std::vector<std::vector<uint32_t>> AllCodes(const cv::TIndexData& d)
    {
        std::vector<std::vector<uint32_t>> out;
        for (int32_t t = 0; t < d.TextCount(); ++t) {
            std::vector<uint32_t> c;
            EXPECT_TRUE(d.ReadTextTokens(t, c));
            out.push_back(std::move(c));
        }
        return out;
    }

    QString lastError;
};

} // namespace index_test
