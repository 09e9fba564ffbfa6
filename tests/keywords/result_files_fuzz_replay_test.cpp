// Replays the inputs kept from fuzzing the readers of saved results (and
// the seeds it starts from): each must be read or refused, never crash, and
// a damaged file must not make the reader ask for memory its size cannot
// justify.
#include "keywords/result_files_testutil.h"
#include "support/process_state.h"
#include "support/test_support.h"

#include <QDir>

#include <gtest/gtest.h>

TEST(ResultFilesFuzzReplay, KeptInputsAreReadOrRefused)
{
    cvtest::StartFromDefaults();
    cv::Global_run_without_error_messages = true;
    const QDir dir(cvtest::testDataDir() + QStringLiteral("/fuzz/results"));
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    ASSERT_FALSE(files.isEmpty()) << "no kept inputs in " << dir.path().toStdString();
    QStringList read;
    for (const QString& f : files) {
        const QByteArray bytes = cvtest::readAll(dir.filePath(f));
        if (cvtest::ReadResultFileFromBytes(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())))
            read << f;
    }
    cv::Global_run_without_error_messages = false;
    // Word lists damaged after their check (a byte changed, cut short, an
    // index file, bytes after the end, counts by part that do not add up)
    // are refused.
    for (const char* damaged : {"lst_v2_flipped", "lst_v2_cut", "lst_index_tokens", "lst_v2_trailing", "lst_part_counts_not_adding_up"})
        EXPECT_FALSE(read.contains(QLatin1String(damaged))) << damaged;
    // The seeds are whole files of each kind.
    for (const char* seed : {"cnc_sample", "kws_keywords", "kws_keywords_v3", "kws_kwdb", "kws_kwdb_v2", "lst_sample",
                             "lst_sample_v2", "lst_sample_v3", "lst_part_counts"})
        EXPECT_TRUE(read.contains(QLatin1String(seed))) << seed;
}
