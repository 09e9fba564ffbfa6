#include "model/chosen_files.h"

#include "suite/cv_stream.h"
#include "suite/file_system.h"
#include "suite/my_types.h"
#include "suite/private_files.h"
#include "suite/zip_archive.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <QTimeZone>

#include <limits>
#include <optional>

namespace cv {

namespace {

constexpr uint8_t kHandOverMagic[8] = {'C', 'V', 'C', 'H', 'O', 'S', 'E', 'N'};
constexpr int64_t kNoTime = std::numeric_limits<int64_t>::min();

int64_t TimeToStream(const QDateTime& t)
{
    return t.isValid() ? t.toMSecsSinceEpoch() : kNoTime;
}

QDateTime TimeFromStream(int64_t ms)
{
    return ms == kNoTime ? QDateTime() : QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc()).toLocalTime();
}

// "archive.zip|entry" -> archive and entry; nullopt when the name holds no such pair.
std::optional<std::pair<QString, QString>> SplitZipName(const QString& name)
{
    const int bar = name.indexOf(QLatin1Char('|'));
    if (bar <= 0 || bar + 1 >= name.size())
        return std::nullopt;
    return std::make_pair(name.left(bar), name.mid(bar + 1));
}

bool IsZipName(const QString& path)
{
    return path.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive);
}

} // namespace

// ---------------------------------------------------------------------------

QString TSharedChosenFilesClass::FullFilename(int i) const
{
    const TChosenTextRec* r = File(i);
    return r ? r->FullFilename : QString();
}

int64_t TSharedChosenFilesClass::TotalBytes() const
{
    int64_t total = 0;
    for (const auto& f : fFiles)
        total += f.FileSize;
    return total;
}

const TChosenTextRec* TSharedChosenFilesClass::File(int i) const
{
    return (i >= 0 && i < FileCount()) ? &fFiles[size_t(i)] : nullptr;
}

bool TSharedChosenFilesClass::GetFullFileDetails(int i, TChosenTextRec& rec) const
{
    const TChosenTextRec* r = File(i);
    if (!r)
        return false;
    rec = *r;
    return true;
}

void TSharedChosenFilesClass::SetFileHits(int i, int32_t hits)
{
    if (File(i))
        fFiles[size_t(i)].Hits = hits;
}

void TSharedChosenFilesClass::SetFileWords(int i, int32_t words)
{
    if (File(i))
        fFiles[size_t(i)].Words = words;
}

void TSharedChosenFilesClass::SetFileStatus(int i, uint8_t status)
{
    if (File(i))
        fFiles[size_t(i)].Status = status;
}

void TSharedChosenFilesClass::SetFileKind(int i, uint8_t kind)
{
    if (File(i))
        fFiles[size_t(i)].Kind = kind;
}

QString TSharedChosenFilesClass::SuggestedFilename() const
{
    if (fFiles.empty())
        return {};
    if (fFiles.size() == 1) {
        const auto& f = fFiles.front();
        return QFileInfo(f.InsideZip() ? f.ZipEntryName : f.FullFilename).completeBaseName();
    }
    // The deepest folder every text lies in.
    QStringList common = QFileInfo(fFiles.front().FullFilename).absolutePath().split(QLatin1Char('/'));
    for (const auto& f : fFiles) {
        const QStringList parts = QFileInfo(f.FullFilename).absolutePath().split(QLatin1Char('/'));
        int k = 0;
        while (k < common.size() && k < parts.size() && common[k] == parts[k])
            ++k;
        common = common.mid(0, k);
    }
    while (!common.isEmpty() && common.back().isEmpty())
        common.removeLast();
    return common.isEmpty() ? QString() : common.back();
}

void TSharedChosenFilesClass::ClearThem()
{
    fNotes.clear();
    fFiles.clear();
    fFolders.clear();
    RebuildLookUps();
}

QString TSharedChosenFilesClass::KeyOf(const QString& fullFilename, const QString& zipEntryName)
{
    // No file name holds a NUL: the pair is told apart from any other.
    return zipEntryName.isEmpty() ? fullFilename : fullFilename + QChar(0) + zipEntryName;
}

void TSharedChosenFilesClass::RebuildLookUps()
{
    fKeys.clear();
    for (const auto& f : fFiles)
        fKeys.insert(KeyOf(f.FullFilename, f.ZipEntryName));
    fFolderSet = QSet<QString>(fFolders.begin(), fFolders.end());
}

bool TSharedChosenFilesClass::Contains(const QString& fullFilename, const QString& zipEntryName) const
{
    return fKeys.contains(KeyOf(fullFilename, zipEntryName));
}

bool TSharedChosenFilesClass::AddRecord(const TChosenTextRec& rec)
{
    const QString key = KeyOf(rec.FullFilename, rec.ZipEntryName);
    if (fKeys.contains(key))
        return false;
    fFiles.push_back(rec);
    fKeys.insert(key);
    const QString folder = QFileInfo(rec.FullFilename).absolutePath();
    if (!fFolderSet.contains(folder)) {
        fFolderSet.insert(folder);
        fFolders << folder;
    }
    return true;
}

bool TSharedChosenFilesClass::SaveToStream(TStream& s, uint8_t tool) const
{
    if (!s.WriteExact(kHandOverMagic, 8) || !s.WriteU16(kStreamVersion) || !s.WriteU8(tool)
        || !WriteAStringList(s, fFolders) || !WriteAStringList(s, fNotes) || !s.WriteCount(FileCount()))
        return false;
    for (const auto& f : fFiles) {
        if (!WriteAString(s, f.FullFilename) || !WriteAString(s, f.ZipEntryName) || !s.WriteI64(f.FileSize)
            || !s.WriteI64(TimeToStream(f.FileTime)) || !s.WriteI32(f.Hits) || !s.WriteI32(f.Words)
            || !s.WriteU8(f.Status) || !s.WriteU8(f.Kind) || !WriteAString(s, f.Notes))
            return false;
    }
    return true;
}

bool TSharedChosenFilesClass::ReadFromStream(TStream& s)
{
    uint8_t magic[8] = {};
    uint16_t version = 0;
    uint8_t tool = 0;
    if (!s.ReadExact(magic, 8) || !std::equal(magic, magic + 8, kHandOverMagic) || !s.ReadU16(version)
        || version < 1 || version > kStreamVersion || !s.ReadU8(tool))
        return false;
    QStringList folders, notes;
    int32_t n = 0;
    // A text takes at least two empty strings (6 bytes each), 26 bytes of numbers and an empty note.
    if (!ReadAStringList(s, folders) || !ReadAStringList(s, notes) || !s.ReadCount(n, 6 + 6 + 26 + 6))
        return false;
    std::vector<TChosenTextRec> files;
    files.reserve(size_t(n));
    for (int32_t k = 0; k < n; ++k) {
        TChosenTextRec f;
        int64_t time = 0;
        if (!ReadAString(s, f.FullFilename) || !ReadAString(s, f.ZipEntryName) || !s.ReadI64(f.FileSize)
            || !s.ReadI64(time) || !s.ReadI32(f.Hits) || !s.ReadI32(f.Words) || !s.ReadU8(f.Status)
            || !s.ReadU8(f.Kind) || !ReadAString(s, f.Notes))
            return false;
        f.FileTime = TimeFromStream(time);
        files.push_back(std::move(f));
    }
    fFiles = std::move(files);
    fFolders = std::move(folders);
    fNotes = std::move(notes);
    RebuildLookUps();
    return true;
}

QString TSharedChosenFilesClass::HandOverFilename(const QString& tempFolder, uint8_t tool)
{
    return QDir(tempFolder).filePath(Tool_Name(tool) + QLatin1String(kHandOverExtension));
}

bool TSharedChosenFilesClass::SavedToTempFile(const QString& tempFolder, uint8_t tool, QString* error) const
{
    TMemoryStream m;
    if (!SaveToStream(m, tool))
        return false;
    return m.SaveToFile(HandOverFilename(tempFolder, tool), error);
}

bool TSharedChosenFilesClass::SavedToTempFile() const
{
    return SavedToTempFile(SuiteTempFolder(), current_tool_var);
}

// ---------------------------------------------------------------------------

TCVFileDetails::TCVFileDetails(bool restrictExtensionsTo3, TErrorCallback onError)
    : fRestrictExtensionsTo3(restrictExtensionsTo3), fOnError(std::move(onError))
{
}

void TCVFileDetails::Fail(const QString& message) const
{
    if (fOnError)
        fOnError(message);
}

bool TCVFileDetails::AddOneFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        // A dangling link, a loop of links, a name not in UTF-8 or too long
        // a path are told as what they are.
        const QString why = CannotReadReason(path);
        Fail(QStringLiteral("Cannot open file \"%1\": %2")
                 .arg(path, why.isEmpty() || why == QLatin1String("it does not exist") ? QStringLiteral("no such file") : why));
        return false;
    }
    if (!info.isFile()) {
        Fail(QStringLiteral("Cannot open file \"%1\": not a file").arg(path));
        return false;
    }
    if (!info.isReadable()) {
        Fail(QStringLiteral("Cannot open file \"%1\": permission denied").arg(path));
        return false;
    }
    TChosenTextRec rec;
    rec.FullFilename = info.absoluteFilePath();
    rec.FileSize = info.size();
    rec.FileTime = info.lastModified();
    AddRecord(rec);
    return true;
}

bool TCVFileDetails::AddZipEntries(const QString& archive, const QString& onlyEntry)
{
    TZipArchive zip;
    if (!zip.OpenArchive(archive)) {
        Fail(zip.ErrorString());
        return false;
    }
    const QString full = QFileInfo(archive).absoluteFilePath();
    bool any = false;
    QSet<QString> names;
    for (const TZipEntryInfo& e : zip.Entries()) {
        if (e.IsDirectory() || (!onlyEntry.isEmpty() && e.name != onlyEntry))
            continue;
        // A text inside an archive is known by its name (in the chosen
        // texts, their file and every list made of them): of entries of
        // one name only the first can be read.
        if (names.contains(e.name)) {
            Fail(QStringLiteral("Skipped entry \"%1\" number %2 of zip archive \"%3\": an earlier entry of the archive "
                                "has the same name, and only the first of them can be read")
                     .arg(e.name)
                     .arg(&e - zip.Entries().data() + 1)
                     .arg(archive));
            continue;
        }
        names.insert(e.name);
        TChosenTextRec rec;
        rec.FullFilename = full;
        rec.ZipEntryName = e.name;
        rec.FileSize = e.uncompressedSize;
        rec.FileTime = e.time;
        AddRecord(rec);
        any = true;
    }
    if (!any)
        Fail(onlyEntry.isEmpty()
                 ? QStringLiteral("Cannot use zip archive \"%1\": it holds no texts").arg(archive)
                 : QStringLiteral("Cannot open \"%1\" inside zip archive \"%2\": no such entry").arg(onlyEntry, archive));
    return any;
}

bool TCVFileDetails::AddByMask(const QString& mask)
{
    const QFileInfo info(mask);
    const QDir dir = info.dir();
    const QString pattern = info.fileName();
    if (!dir.exists()) {
        Fail(QStringLiteral("Cannot open folder \"%1\": no such folder").arg(dir.path()));
        return false;
    }
    const QRegularExpression full(QRegularExpression::wildcardToRegularExpression(pattern),
                                  QRegularExpression::CaseInsensitiveOption);
    // "*.htm" also takes ".html" unless extensions are restricted to what the mask says.
    std::optional<QRegularExpression> longer;
    static const QRegularExpression threeLetterExt(QStringLiteral("\\.[^.*?]{3}$"));
    if (!fRestrictExtensionsTo3 && threeLetterExt.match(pattern).hasMatch())
        longer = QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern + QLatin1Char('*')),
                                    QRegularExpression::CaseInsensitiveOption);
    bool any = false;
    const QStringList names = dir.entryList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QString& name : names) {
        if (full.match(name).hasMatch() || (longer && longer->match(name).hasMatch()))
            any = AddOneFile(dir.filePath(name)) || any;
    }
    if (!any)
        Fail(QStringLiteral("No texts match \"%1\"").arg(mask));
    return any;
}

bool TCVFileDetails::ToolAddAFile(const QString& name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return false;
    // "archive.zip|entry" names an entry of an archive; a loose file may
    // have a "|" in its own name, and is taken as the file it is.
    if (const auto pair = SplitZipName(trimmed); pair && !QFileInfo::exists(trimmed))
        return AddZipEntries(pair->first, pair->second);
    // A wild card in the name: a mask (looked for without a regular
    // expression, which would be made again for every file added).
    if (const QString fileName = QFileInfo(trimmed).fileName();
        fileName.contains(QLatin1Char('*')) || fileName.contains(QLatin1Char('?')))
        return AddByMask(trimmed);
    if (IsZipName(trimmed) && QFileInfo(trimmed).isFile())
        return AddZipEntries(trimmed, QString());
    return AddOneFile(trimmed);
}

bool TCVFileDetails::ReadChosenFromFile(const QString& fileName)
{
    QByteArray bytes;
    // A hand-over in the suite's own folder counts only when this user made
    // it: the texts offered are the ones this user chose.
    if (IsInSuiteTempFolder(fileName)) {
        QString error;
        if (!ReadPrivateFile(fileName, bytes, &error)) {
            Fail(error);
            return false;
        }
    } else {
        QFile f(fileName);
        if (!f.open(QIODevice::ReadOnly)) {
            Fail(QStringLiteral("Cannot open file \"%1\": %2").arg(fileName, f.errorString()));
            return false;
        }
        bytes = f.readAll();
    }

    if (!fileName.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive)) {
        TMemoryStream m(std::vector<uint8_t>(bytes.begin(), bytes.end()));
        if (!ReadFromStream(m)) {
            Fail(QStringLiteral("Cannot read file \"%1\": not a list of chosen texts, or damaged").arg(fileName));
            return false;
        }
        return FileCount() > 0;
    }

    // A plain list: UTF-16 or UTF-8 by its byte-order mark, else UTF-8, else Latin-1.
    QString text;
    if (const auto enc = QStringConverter::encodingForData(bytes)) {
        QStringDecoder dec(*enc);
        text = dec(bytes);
    } else {
        QStringDecoder utf8(QStringDecoder::Utf8);
        text = utf8(bytes);
        if (utf8.hasError())
            text = QString::fromLatin1(bytes);
    }
    ClearThem();
    const QDir base = QFileInfo(fileName).absoluteDir();
    for (QString line : text.split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts)) {
        line = line.trimmed();
        if (line.size() >= 2 && line.startsWith(QLatin1Char('"')) && line.endsWith(QLatin1Char('"')))
            line = line.mid(1, line.size() - 2).trimmed();
        if (line.isEmpty())
            continue;
        if (QFileInfo(line.section(QLatin1Char('|'), 0, 0)).isRelative())
            line = base.filePath(line);
        ToolAddAFile(line);
    }
    return FileCount() > 0;
}

} // namespace cv
