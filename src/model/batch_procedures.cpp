#include "model/batch_procedures.h"

#include <QDir>
#include <QFileInfo>

namespace cv {

TBatchProceduresRec Global_BatchProcedures;

void TBatchProceduresRec::ResetForNewBatch()
{
    mode = 0;
    ExtraFoldersUsed = false;
    Files_to_Process = 0;
    files_saved = 0;
    BatchTempFileNames.clear();
}

void BatchZipName(QString& zipName, const QString& pattern)
{
    TBatchProceduresRec& b = Global_BatchProcedures;
    QString name = zipName.trimmed();
    if (name.isEmpty()) {
        name = pattern;
        name.replace(QLatin1String("%d"), QString::number(b.Files_to_Process));
        name = name.trimmed();
        if (name.isEmpty())
            name = QStringLiteral("batch");
    }
    if (!name.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive))
        name += QLatin1String(".zip");
    if (QFileInfo(name).isRelative() && !b.BatchRootFolder.isEmpty())
        name = QDir(b.BatchRootFolder).filePath(name);
    zipName = name;
    b.ZipShortFilename = QFileInfo(name).fileName();
}

} // namespace cv
