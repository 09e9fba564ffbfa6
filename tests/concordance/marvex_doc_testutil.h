#pragma once
// A concordance document over texts made by the test.

#include "concordance/marvex_holder.h"
#include "suite/cvbuf.h"
#include "suite/search_engine.h"
#include "support/test_support.h"
#include "textread/tag_handler.h"
#include "words_testutil.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

#include <memory>

namespace cvtest {

struct MarvexDoc {
    TempDir dir;
    cv::TTextSettings text = cv::TTextSettings::Defaults();
    std::unique_ptr<cv::TTextTagHandler> tags;
    std::unique_ptr<cv::T_WholeMarvexHolder> doc;
    QStringList files;

    explicit MarvexDoc(uint8_t kind = 10)
    {
        cv::TSettingsBuffer::Instance().ResetToDefaults();
        cv::TConcSettingsRec32 c = cv::GetConcSaveRec();
        c.SetCharactersPerLine(40);
        cv::SetConcSaveRec(c);
        tags = std::make_unique<cv::TTextTagHandler>(text.LanguageId(), text.CodePage(),
                                                     cv::TTagOptions::FromSettings(text));
        doc = std::make_unique<cv::T_WholeMarvexHolder>(kind, nullptr, tags.get(), false, false);
    }
    ~MarvexDoc() { doc.reset(); }

    // A text of the test, dated `day` of March 2021 (UTC noon).
    QString AddText(const QString& name, const QString& content, int day = 1)
    {
        const QString f = dir.write(name, content.toUtf8());
        QFile file(f);
        file.open(QIODevice::ReadWrite);
        file.setFileTime(QDateTime(QDate(2021, 3, day), QTime(12, 0), QTimeZone::utc()),
                         QFileDevice::FileModificationTime);
        files << f;
        return f;
    }

    static cv::TChosenTextRec Rec(const QString& file)
    {
        cv::TChosenTextRec r;
        r.FullFilename = file;
        QFileInfo info(file);
        r.FileSize = info.size();
        r.FileTime = info.lastModified().toUTC();
        return r;
    }

    // Concordances every text added so far for the search words ("a/b").
    bool Run(const QString& searchWords)
    {
        doc->fSWs->AddedSearchWords(searchWords);
        cv::TSearchAndDoEngine engine(*doc->fSWs);
        bool ok = true;
        for (int i = 0; i < files.size(); ++i) {
            int32_t words = 0, converted = 0;
            uint8_t format = 0, status = 0;
            ok = doc->MadeOneFileConcordance(i, int32_t(files.size()), -1, false, Rec(files[i]), nullptr, &engine,
                                             doc->fSWs.get(), nullptr, nullptr, nullptr, 0, 10, words, converted,
                                             format, status)
                && ok;
        }
        return ok;
    }
};

} // namespace cvtest
