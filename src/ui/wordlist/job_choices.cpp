#include "ui/wordlist/job_choices.h"

#include <QCoreApplication>
#include <QTimer>

#include <memory>

#include "model/check_signature.h"
#include "suite/cv_stream.h"
#include "suite/cvbuf.h"
#include "suite/wdef.h"
#include "suite/zip_archive.h"

namespace cv {

bool TFixedJobChoices::BatchSetupReady(int32_t, int64_t)
{
    ++batchSetupShown;
    return batchReady;
}

bool TFixedJobChoices::ChooseIndex(uint8_t& openingMode)
{
    ++indexChoiceShown;
    if (indexName.isEmpty())
        return false;
    SetLastUsedFile(kListIndexWordList, indexName);
    openingMode = indexOpeningMode;
    return true;
}

bool TFixedJobChoices::ChooseFromBatchZip(const QString& zipName, TOpenBatchEntry open)
{
    ++batchChoiceShown;
    TZipArchive zip;
    if (!zip.OpenArchive(zipName) || zip.FileCount() == 0)
        return false;
    if (batchEntry < 0 || batchEntry >= zip.FileCount())
        return true;
    auto stream = std::make_shared<TMemoryStream>();
    if (!zip.ExtractToStream(batchEntry, *stream))
        return true;
    const int entry = batchEntry;
    QTimer::singleShot(0, QCoreApplication::instance(), [stream, entry, open = std::move(open)] {
        TCheckSignature sig;
        stream->SetPosition(0);
        if (sig.ReadFromStream(*stream, INT32_MAX) != TSignatureCheck::OK)
            return;
        stream->SetPosition(0);
        open(*stream, sig, entry);
    });
    return true;
}

} // namespace cv
