#include "model/corvantis_holder.h"

#include "model/base_list.h"
#include "model/batch_procedures.h"
#include "model/list_export.h"
#include "model/stats_list.h"
#include "model/tag_handler_base.h"
#include "runtime/controller_link.h"
#include "suite/controller_codes.h"
#include "suite/cv_globals.h"
#include "suite/cv_stream.h"
#include "suite/cvbuf.h"
#include "suite/dialogs.h"
#include "suite/excel_writer.h"
#include "suite/logging.h"
#include "suite/my_types.h"
#include "suite/private_files.h"
#include "suite/wdef.h"
#include "suite/window_messages.h"
#include "suite/zip_archive.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <new>
#include <cmath>
#include <limits>

namespace cv {

namespace {

constexpr uint16_t kBaseBlockLayout = 1;
// Blocks of ours are small; a length beyond this means a damaged file.
constexpr uint32_t kMaxBlockBytes = 64u << 20;
constexpr uint32_t kMaxRecordBytes = 1u << 20;

enum : uint8_t {
    kFlagStoplist = 1,
    kFlagLemmalist = 2,
    kFlagMixedFormats = 4,
    kFlagAllDataFields = 8,
    kFlagApplicable = 16,
    kFlagTextInPlace = 32,
};

// Reads a size-prefixed record into a fixed block: a shorter stored record is
// zero-filled, a longer one cut (its extra bytes skipped).
bool ReadSizedRecord(TStream& s, std::span<uint8_t> record)
{
    uint32_t n = 0;
    if (!s.ReadU32(n) || n > kMaxRecordBytes || int64_t(n) > s.Remaining())
        return false;
    std::vector<uint8_t> bytes(record.size(), 0);
    const uint32_t take = std::min<uint32_t>(n, uint32_t(record.size()));
    if (!s.ReadExact(bytes.data(), take) || !s.Skip(n - take))
        return false;
    std::copy(bytes.begin(), bytes.end(), record.begin());
    return true;
}

bool WriteSizedRecord(TStream& s, std::span<const uint8_t> record)
{
    return s.WriteU32(uint32_t(record.size())) && s.WriteBytes(record);
}

QString YesNo(bool b)
{
    return b ? QStringLiteral("yes") : QStringLiteral("no");
}

} // namespace

// ---------------------------------------------------------------------------

TCorvantisholder::TCorvantisholder(const TTextSettings& textSettings, uint8_t listType,
                                   TTagsToTranslateList* tagsToTranslate, TTagHandlerBase* textTagHandler,
                                   bool usingLemmalist, bool usingStoplist, TDudFileCallback onDudFile,
                                   TMainListEntriesCallback onMainListEntries,
                                   TCentreOfMainFormCallback centreOfMainForm)
    : TextTagHandler(textTagHandler), TagsToTranslate(tagsToTranslate), Using_Stoplist(usingStoplist),
      Using_Lemmalist(usingLemmalist), fOnDudFile(std::move(onDudFile)),
      fOnMainListEntries(std::move(onMainListEntries)), fCentreOfMainForm(std::move(centreOfMainForm))
{
    TextSettings(textSettings);
    MainFile.ListType = listType;
    fCodePage = ftextsettings.CodePage();
    fUnicode = ftextsettings.Unicode();
    fCVBaseFilenames = std::make_unique<TCVStatsList>(this, CurrentToolSignature());
    fCVBaseFilenames->SetListType(kListFilenames);
    MarkJobStart();
}

TCorvantisholder::~TCorvantisholder() = default;

// ---------------------------------------------------------------------------
// Virtual operations

double TCorvantisholder::GetRelativeEntropyBasis()
{
    return fCVBaseFilenames->Count() > 0 ? double(fCVBaseFilenames->Overall().Data().TokensUsed) : 0;
}

void TCorvantisholder::SetUnicode(bool on)
{
    fUnicode = on;
    for (TCVBaseDataClass* l : fCVBaseLists)
        l->SetUnicode(on);
    fCVBaseFilenames->SetUnicode(on);
    if (TextTagHandler)
        TextTagHandler->SetUseUnicode(on);
}

QStringList TCorvantisholder::TextSettingsSummary() const
{
    const TTextSettings& t = ftextsettings;
    QStringList out;
    out << QStringLiteral("Language\t%1").arg(t.LanguageName());
    static const char* const caseNames[] = {"folded to lower case", "kept as in the texts", "folded to upper case"};
    out << QStringLiteral("Case\t%1").arg(QLatin1String(caseNames[std::min<int>(t.CaseFoldingByte(), 2)]));
    out << QStringLiteral("Numbers\t%1").arg(t.KeepNumbers() ? QStringLiteral("kept") : QStringLiteral("removed"));
    static const char* const markupNames[] = {"none", "tags ignored", "tag rules applied"};
    out << QStringLiteral("Mark-up\t%1").arg(QLatin1String(markupNames[std::min<int>(t.MarkupModeByte(), 2)]));
    out << QStringLiteral("Entities translated\t%1").arg(YesNo(t.TranslateEntities()));
    if (t.MarkupMode() == TMarkupMode::IgnoreTags)
        out << QStringLiteral("Script and style counted\t%1").arg(YesNo(t.CountScriptAndStyle()));
    out << QStringLiteral("Word length\t%1 to %2 characters").arg(t.MinWordLength()).arg(t.MaxWordLength());
    out << QStringLiteral("Standardised TTR basis\t%1 words").arg(t.STTRBasis());
    out << QStringLiteral("Hyphens separate words\t%1").arg(YesNo(t.HyphensSeparateWords()));
    out << QStringLiteral("Apostrophes inside words\t%1").arg(YesNo(t.ApostrophesInWords()));
    if (t.TextSelectionOn())
        out << QStringLiteral("Text selection\tfrom \"%1\" to \"%2\"").arg(t.TextStartMarker(), t.TextEndMarker());
    if (t.MaxTexts() > 0 && t.MaxTexts() < std::numeric_limits<int32_t>::max())
        out << QStringLiteral("Texts at most\t%1").arg(t.MaxTexts());
    return out;
}

void TCorvantisholder::AddTextSettingsNotes()
{
    fNotes += TextSettingsSummary();
}

void TCorvantisholder::NoteFileRead(bool ok)
{
    if (!ok)
        return;
    SetLastUsedFile(MainFile.ListType, OpenedFilename);
    for (TCVBaseDataClass* l : fCVBaseLists)
        l->ClearChangeMark();
    fCVBaseFilenames->ClearChangeMark();
}

void TCorvantisholder::ClearHeldLists()
{
    for (TCVBaseDataClass* l : fCVBaseLists)
        l->Clear();
    fCVBaseFilenames->Clear();
    dud_compute_files.clear();
}

void TCorvantisholder::CheckMenuItemsAfterLoadFromFile()
{
    // "tags hidden", "tags as prefix", "tags as suffix", "words hidden"
    static const int tags[4] = {219, 220, 221, 223};
    const uint8_t display = ftextsettings.TagDisplay();
    for (int k = 0; k < 4; ++k)
        TryToSetAMenuItemChecked(tags[k], display == k);
}

void TCorvantisholder::ChangeAllToUnicode()
{
    for (TCVBaseDataClass* l : fCVBaseLists)
        for (int i = 0; i < l->Count(); ++i) {
            TCVBaseListObject& e = (*l)[i];
            e.ConvertEntryToUnicode();
            for (int j = 0; j < e.JoinedCount(); ++j)
                e.JoinedEntry(j)->ConvertEntryToUnicode();
        }
    SetUnicode(true);
}

void TCorvantisholder::DoCloseAnExcelfile()
{
    if (fExcel)
        fExcel->CloseAnExcelFile();
    fExcel.reset();
}

void TCorvantisholder::DoStartAnExcelFile(int job)
{
    if (!fExcel)
        fExcel = std::make_unique<TExcelWriter>();
    fExcel->StartAnExcelFile();
}

bool TCorvantisholder::MergeWith(TCorvantisholder& other, bool withNote)
{
    if (&other == this)
        return false;
    if (withNote) {
        const QString name = other.OpenedFilename.isEmpty() ? other.SuggestedFilename : other.OpenedFilename;
        AddOneLaterNote(QStringLiteral("Merged with %1").arg(name));
    }
    fNotes += other.fNotes;
    for (const QString& d : other.dud_compute_files)
        if (!dud_compute_files.contains(d))
            dud_compute_files << d;
    if (other.fCVBaseFilenames->Count() > 0) {
        const int32_t texts = fCVBaseFilenames->Overall().Data().Texts + other.fCVBaseFilenames->Overall().Data().Texts;
        fCVBaseFilenames->MergeWith(*other.fCVBaseFilenames, texts, 0, 0);
    }
    fTotalFilesToProcess += other.fTotalFilesToProcess;
    mixed_text_formats = mixed_text_formats || other.mixed_text_formats;
    HasAllDataFields = HasAllDataFields && other.HasAllDataFields;
    return true;
}

// ---------------------------------------------------------------------------
// The envelope

void TCorvantisholder::SetReadError(uint8_t failure, const QString& text)
{
    // The first reason found is the one the user hears.
    if (fLastReadFailure == kReadOK) {
        fLastReadFailure = failure;
        fLastReadError = text;
    }
}

bool TCorvantisholder::StartReadFromStream(TStream& s)
{
    const TSignatureCheck c = fCheck.ReadFromStream(s, std::max(kHolderVersion, fVersion));
    switch (c) {
    case TSignatureCheck::OK:
        return true;
    case TSignatureCheck::NotOurs:
        SetReadError(kReadNotOurs, TCheckSignature::CheckText(c));
        return false;
    case TSignatureCheck::NewerFormat:
    case TSignatureCheck::NewerVersion:
        SetReadError(kReadNewer, TCheckSignature::CheckText(c));
        return false;
    default:
        SetReadError(kReadDamaged, TCheckSignature::CheckText(c));
        return false;
    }
}

bool TCorvantisholder::SaveBaseBlock(TStream& s) const
{
    TMemoryStream b;
    uint8_t flags = 0;
    if (Using_Stoplist)
        flags |= kFlagStoplist;
    if (Using_Lemmalist)
        flags |= kFlagLemmalist;
    if (mixed_text_formats)
        flags |= kFlagMixedFormats;
    if (HasAllDataFields)
        flags |= kFlagAllDataFields;
    if (fApplicable)
        flags |= kFlagApplicable;
    if (fAtLeastOneTextFileInPlace)
        flags |= kFlagTextInPlace;
    // The stored file's name is not kept: it is wherever the file is read from.
    const bool ok = b.WriteU16(kBaseBlockLayout) && b.WriteU8(MainFile.Mark) && b.WriteI32(MainFile.Count)
        && b.WriteU8(MainFile.ListType) && WriteAString(b, SuggestedFilename)
        && WriteAString(b, ExtraStuffParentFilename) && WriteAString(b, SecondTextFilename)
        && WriteAString(b, last_batch_zip_Fullname) && b.WriteBool(fUnicode) && b.WriteU32(fCodePage)
        && b.WriteU8(flags) && WriteAString(b, NotApplicableExplanation) && b.WriteBool(plot_settings.context)
        && b.WriteI32(plot_settings.contextCharacters) && b.WriteI32(plot_settings.contextLineLimit)
        && b.WriteI32(fTotalFilesToProcess) && WriteAStringList(b, dud_compute_files) && b.WriteI32(fClientHeight)
        && b.WriteI32(fClientWidth) && b.WriteI32(fClientDpi);
    return ok && WriteSizedBlock(s, b);
}

bool TCorvantisholder::ReadBaseBlock(TStream& s)
{
    // Fields are read from the block alone: a later layout may append fields
    // (skipped here), and nothing is read beyond the block.
    TMemoryStream b;
    if (!ReadSizedBlock(s, kMaxBlockBytes, b))
        return false;
    uint16_t layout = 0;
    TCVStored_File_rec file;
    QString suggested, parent, second, batchZip, notApplicable;
    bool unicode = true, context = false;
    uint32_t codePage = 0;
    uint8_t flags = 0;
    int32_t chars = 0, lines = 0, total = 0, height = 0, width = 0, dpi = 0;
    QStringList duds;
    if (!b.ReadU16(layout) || layout < 1 || !b.ReadU8(file.Mark) || !b.ReadI32(file.Count)
        || !b.ReadU8(file.ListType) || !ReadAString(b, suggested)
        || !ReadAString(b, parent) || !ReadAString(b, second) || !ReadAString(b, batchZip) || !b.ReadBool(unicode)
        || !b.ReadU32(codePage) || !b.ReadU8(flags) || !ReadAString(b, notApplicable) || !b.ReadBool(context)
        || !b.ReadI32(chars) || !b.ReadI32(lines) || !b.ReadI32(total) || !ReadAStringList(b, duds)
        || !b.ReadI32(height) || !b.ReadI32(width) || !b.ReadI32(dpi))
        return false;
    file.FileName = MainFile.FileName;
    MainFile = file;
    SuggestedFilename = suggested;
    ExtraStuffParentFilename = parent;
    SecondTextFilename = second;
    last_batch_zip_Fullname = batchZip;
    fUnicode = unicode;
    fCodePage = codePage;
    Using_Stoplist = flags & kFlagStoplist;
    Using_Lemmalist = flags & kFlagLemmalist;
    mixed_text_formats = flags & kFlagMixedFormats;
    HasAllDataFields = flags & kFlagAllDataFields;
    fApplicable = flags & kFlagApplicable;
    fAtLeastOneTextFileInPlace = flags & kFlagTextInPlace;
    NotApplicableExplanation = notApplicable;
    plot_settings = {context, chars, lines};
    fTotalFilesToProcess = total;
    dud_compute_files = duds;
    fClientHeight = height;
    fClientWidth = width;
    fClientDpi = dpi;
    return true;
}

bool TCorvantisholder::ReadWholeFromStream(TStream& s)
{
    if (!StartReadFromStream(s))
        return false;
    if (!ReadBaseBlock(s)) {
        SetReadError(kReadDamaged, QStringLiteral("the file is cut short or damaged"));
        return false;
    }
    fVersion = fCheck.Version;
    return true;
}

bool TCorvantisholder::SaveToStream(TStream& s)
{
    fVersion = std::max(fVersion, kHolderVersion);
    fCheck.SetForSaving(MainFile.ListType, fVersion, ListTypeSignatureText());
    return fCheck.SaveToStream(s) && SaveBaseBlock(s);
}

void TCorvantisholder::Complain(const QString& routine, const QString& text)
{
    TDialogRequest r;
    r.routine = routine;
    r.kind = TDialogKind::Error;
    r.caption = Tool_Name(current_tool_var);
    r.text = text;
    ShowDialog(r);
}

uint16_t TCorvantisholder::ReadWholeFromFile(const QString& fileName, uint8_t tool)
{
    fLastReadError.clear();
    fLastReadFailure = kReadOK;
    TMemoryStream m;
    QString error;
    if (!QFileInfo::exists(fileName)) {
        Complain(QStringLiteral("FailedToRead"), QStringLiteral("Cannot open file \"%1\": no such file").arg(fileName));
        return uint16_t(kReadCannotOpen) << 8;
    }
    // The whole file is held while it is read: without the memory for it
    // the file is not read, and the reader says why.
    bool loaded = false;
    try {
        loaded = m.LoadFromFile(fileName, &error);
    } catch (const std::bad_alloc&) {
        error = QStringLiteral("Cannot read file \"%1\": there was not enough memory to read it").arg(fileName);
    }
    if (!loaded) {
        Complain(QStringLiteral("FailedToRead"), error);
        return uint16_t(kReadCannotOpen) << 8;
    }
    const QString previous = OpenedFilename;
    OpenedFilename = fileName;
    bool ok = false;
    try {
        ok = ReadWholeFromStream(m);
    } catch (const std::bad_alloc&) {
        SetReadError(kReadDamaged, QStringLiteral("there was not enough memory to read it"));
    } catch (const std::exception& e) {
        SetReadError(kReadDamaged, QStringLiteral("the file is damaged (%1)").arg(QString::fromLocal8Bit(e.what())));
    } catch (...) {
        SetReadError(kReadDamaged, QStringLiteral("the file is damaged"));
    }
    Global_Busy_Dont_Show_Data = false;
    if (ok) {
        MainFile.FileName = fileName;
        return 1;
    }
    OpenedFilename = previous;
    if (fLastReadFailure == kReadOK)
        SetReadError(kReadDamaged, QStringLiteral("the file is cut short or damaged"));
    QString text = QStringLiteral("Cannot read file \"%1\": %2").arg(fileName, fLastReadError);
    if (fLastReadFailure == kReadWrongKind)
        text += QStringLiteral(" (%1 cannot open it)").arg(Tool_Name(tool));
    Complain(QStringLiteral("FailedToRead"), text);
    return uint16_t(fLastReadFailure) << 8;
}

int TCorvantisholder::UpdateSearchReplaceFilenames(const QString& search, const QString& replacement,
                                                   bool caseSensitive)
{
    if (search.isEmpty())
        return 0;
    const Qt::CaseSensitivity cs = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    std::vector<TCVStatsList*> lists;
    if (fCVBaseFilenames)
        lists.push_back(fCVBaseFilenames.get());
    for (TCVBaseDataClass* l : fCVBaseLists)
        if (auto* stats = dynamic_cast<TCVStatsList*>(l);
            stats && std::find(lists.begin(), lists.end(), stats) == lists.end())
            lists.push_back(stats);
    int changed = 0;
    for (TCVStatsList* stats : lists) {
        bool listChanged = false;
        // Row 0 holds the overall figures, not a text.
        for (int i = 1; i < stats->Count(); ++i) {
            TStatsRec& r = stats->Row(i)->Data();
            const QString path = r.Folder.isEmpty() ? r.FileName : QDir(r.Folder).filePath(r.FileName);
            QString renamed = path;
            renamed.replace(search, replacement, cs);
            if (renamed == path)
                continue;
            const QFileInfo info(renamed);
            r.FileName = info.fileName();
            r.Folder = renamed.contains(u'/') ? QDir::cleanPath(info.path()) : QString();
            listChanged = true;
            ++changed;
        }
        if (listChanged)
            stats->SetChangeMark(1);
    }
    return changed;
}

bool TCorvantisholder::SaveToFile(const QString& fileName)
{
    // Written into the file as it is made (through a temporary file beside
    // it, which replaces the file only when all went well): the lists of a
    // large corpus are not held a second time, whole, in memory.
    TSaveFileStream file(fileName);
    QString error;
    if (!file.Open(&error)) {
        Complain(QStringLiteral("FailedToSave"), error);
        return false;
    }
    bool written = false;
    QString reason;
    try {
        written = SaveToStream(file);
    } catch (const std::bad_alloc&) {
        reason = QStringLiteral("there was not enough memory to save it");
    } catch (...) {
        written = false;
    }
    if (!written) {
        // The system's reason when a write fell short (a full disk, the file-size limit).
        if (reason.isEmpty())
            reason = file.WriteError().isEmpty() ? QStringLiteral("the data could not be written") : file.WriteError();
        Complain(QStringLiteral("FailedToSave"), QStringLiteral("Cannot save file \"%1\": %2").arg(fileName, reason));
        return false;
    }
    if (!file.Commit(&error)) {
        Complain(QStringLiteral("FailedToSave"), error);
        return false;
    }
    MainFile.FileName = fileName;
    for (TCVBaseDataClass* l : fCVBaseLists)
        l->ClearChangeMark();
    return true;
}

bool TCorvantisholder::AddToZipFile(const QString& archive, const QString& entryName)
{
    TMemoryStream m;
    if (!SaveToStream(m))
        return false;
    TZipArchive zip;
    if (!zip.OpenOrCreateArchive(archive) || !zip.AddFromStream(entryName, m, QDateTime::currentDateTime(), kZipAttrArchive)) {
        Complain(QStringLiteral("FailedToSave"), zip.ErrorString());
        return false;
    }
    const bool any = zip.FileCount() >= 1;
    zip.CloseArchive();
    return any;
}

void TCorvantisholder::UpdateSettingsFromTextbuf(int code, TCVBaseDataClass* list, int displayKind)
{
    if (code == kCodeReReadSettings)
        SetTextSettingsTagDisplay(GetTextSettings().TagDisplay());
}

void TCorvantisholder::WriteSettingsToLog()
{
    if (!LoggingIsOn())
        return;
    AddToLogFile(QStringLiteral("Settings:"));
    for (QString line : TextSettingsSummary())
        AddToLogFile(line.replace(QLatin1Char('\t'), QLatin1String(": ")));
}

QString TCorvantisholder::ListTypeSignatureText() const
{
    return ListTypeSignature(MainFile.ListType);
}

QString TCorvantisholder::DefaultExtension() const
{
    const QString ext = DefaultExtFromListType(MainFile.ListType);
    return ext.isEmpty() ? QStringLiteral(".lst") : ext;
}

// ---------------------------------------------------------------------------
// Exports

bool TCorvantisholder::WriteExport(const TCVBaseDataClass& list, int displayKind, TSaveAsFormat format)
{
    return WriteExportRows(TListExportRows(list, ExportSettings, displayKind), format);
}

bool TCorvantisholder::WriteExportRows(const TExportRows& rows, TSaveAsFormat format, TExportRun* run)
{
    if (ExportSettings.FileName.trimmed().isEmpty()) {
        Complain(QStringLiteral("FailedToSave"), QStringLiteral("Cannot export: no file name was given"));
        return false;
    }
    QString error;
    bool ok = false;
    switch (format) {
    case TSaveAsFormat::XML:
        ok = WriteExportXML(rows, ExportSettings, ListTypeSignatureText(), &error, run);
        break;
    case TSaveAsFormat::RTF:
        ok = WriteExportRTF(rows, ExportSettings, &error, run);
        break;
    case TSaveAsFormat::Spreadsheet:
        ok = WriteExportExcel(rows, ExportSettings, ListTypeSignatureText(), &error, run);
        break;
    default:
        ok = WriteExportTXT(rows, ExportSettings, &error, run);
        break;
    }
    // A stop the user asked for is no failure to tell of.
    if (!ok && !(run && run->stopped))
        Complain(QStringLiteral("FailedToSave"), error);
    return ok;
}

bool TCorvantisholder::SaveListAsExcel(const TCVBaseDataClass& list, int displayKind)
{
    return WriteExport(list, displayKind, TSaveAsFormat::Spreadsheet);
}

bool TCorvantisholder::SaveListAsRTF(const TCVBaseDataClass& list, int displayKind)
{
    return WriteExport(list, displayKind, TSaveAsFormat::RTF);
}

bool TCorvantisholder::SaveListAsTXT(const TCVBaseDataClass& list, int displayKind)
{
    return WriteExport(list, displayKind, TSaveAsFormat::Text);
}

bool TCorvantisholder::SaveListAsXML(const TCVBaseDataClass& list, int displayKind)
{
    return WriteExport(list, displayKind, TSaveAsFormat::XML);
}

// ---------------------------------------------------------------------------
// Notes

void TCorvantisholder::StartStandardNotes(uint8_t kind, int32_t batchNumber, const QString& title, const QString& text)
{
    fNotes.clear();
    if (!title.isEmpty())
        fNotes << title;
    if (!text.isEmpty())
        fNotes << text;
    fNotes << QStringLiteral("Made\t%1").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm")));
    if (batchNumber > 0)
        fNotes << QStringLiteral("Batch item\t%1").arg(batchNumber);
    AddTextSettingsNotes();
}

void TCorvantisholder::AddOneDuringMainComputationNote(const QString& text)
{
    fNotes << text;
}

void TCorvantisholder::AddOneLaterNote(const QString& text)
{
    fNotes << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm")) + QLatin1Char('\t') + text;
}

void TCorvantisholder::AddNoteDetails(const QStringList& lines)
{
    fNotes += lines;
}

void TCorvantisholder::MarkJobStart()
{
    fJobStartMs = QDateTime::currentMSecsSinceEpoch();
}

void TCorvantisholder::AddATimingNote()
{
    const int64_t ms = std::max<int64_t>(0, QDateTime::currentMSecsSinceEpoch() - fJobStartMs);
    const int64_t s = ms / 1000;
    fNotes << QStringLiteral("Time taken\t%1:%2:%3.%4")
                  .arg(s / 3600)
                  .arg((s / 60) % 60, 2, 10, QLatin1Char('0'))
                  .arg(s % 60, 2, 10, QLatin1Char('0'))
                  .arg((ms % 1000) / 100);
}

// ---------------------------------------------------------------------------
// Block helpers

bool TCorvantisholder::SavedTextSettings(TStream& s) const
{
    return WriteSizedRecord(s, ftextsettings.Bytes());
}

bool TCorvantisholder::ReadTextSettings(TStream& s)
{
    TTextSettings t;
    if (!ReadSizedRecord(s, t.Bytes()))
        return false;
    ftextsettings = t;
    return true;
}

bool TCorvantisholder::SavedColours(TStream& s, std::span<const uint8_t, kColourBlockSize> colours)
{
    return s.WriteBytes(colours);
}

bool TCorvantisholder::ReadColours(TStream& s, std::span<uint8_t, kColourBlockSize> colours)
{
    std::array<uint8_t, kColourBlockSize> b{};
    if (!s.ReadExact(b.data(), kColourBlockSize))
        return false;
    std::copy(b.begin(), b.end(), colours.begin());
    return true;
}

bool TCorvantisholder::KWSettingsSaved(TStream& s, std::span<const uint8_t, kKWSettingsSize> record)
{
    return WriteSizedRecord(s, record);
}

bool TCorvantisholder::KWSettingsRead(TStream& s, std::span<uint8_t, kKWSettingsSize> record)
{
    return ReadSizedRecord(s, record);
}

bool TCorvantisholder::SavedNotes(TStream& s) const
{
    return WriteAStringList(s, fNotes);
}

bool TCorvantisholder::ReadNotes(TStream& s)
{
    return ReadAStringList(s, fNotes);
}

// ---------------------------------------------------------------------------
// Batch

bool TCorvantisholder::BatchSaveToTempDir(const QString& name, int32_t number, int32_t total, const QDateTime& fileTime)
{
    TBatchProceduresRec& b = Global_BatchProcedures;
    const QString folder = b.BatchRootFolder.isEmpty() ? SuiteTempFolder() : b.BatchRootFolder;
    if (!QDir().mkpath(folder)) {
        Complain(QStringLiteral("FailedToSave"), QStringLiteral("Cannot make folder \"%1\"").arg(folder));
        return false;
    }
    QString base = QFileInfo(name).completeBaseName();
    if (base.isEmpty())
        base = QStringLiteral("result_%1").arg(number);
    const QString ext = DefaultExtension();
    QString target = QDir(folder).filePath(base + ext);
    // Texts of the same name from different folders must not overwrite each other's results.
    for (int k = 2; QFileInfo::exists(target) || b.BatchTempFileNames.contains(target); ++k)
        target = QDir(folder).filePath(QStringLiteral("%1_%2%3").arg(base).arg(k).arg(ext));
    if (!SaveToFile(target))
        return false;
    if (b.Preserve_FileDates && fileTime.isValid()) {
        QFile f(target);
        if (f.open(QIODevice::ReadWrite))
            f.setFileTime(fileTime, QFileDevice::FileModificationTime);
    }
    b.BatchTempFileNames << target;
    ++b.files_saved;
    if (b.OnProgressing)
        b.OnProgressing(number, total);
    return true;
}

bool TCorvantisholder::BatchZipFromTempDir(const QString& extension, const QString& zipName, int32_t count)
{
    TBatchProceduresRec& b = Global_BatchProcedures;
    const QString folder = b.BatchRootFolder.isEmpty() ? SuiteTempFolder() : b.BatchRootFolder;
    QString ext = extension.startsWith(QLatin1Char('.')) ? extension.mid(1) : extension;
    const QFileInfoList files =
        QDir(folder).entryInfoList({QStringLiteral("*.") + ext}, QDir::Files | QDir::Readable, QDir::Name);
    if (files.isEmpty())
        return false;
    // The archive as it was stays beside the new one.
    if (QFileInfo::exists(zipName)) {
        const QString bak = zipName + QStringLiteral(".bak");
        QFile::remove(bak);
        if (!QFile::copy(zipName, bak)) {
            Complain(QStringLiteral("FailedToSave"), QStringLiteral("Cannot write file \"%1\"").arg(bak));
            return false;
        }
    }
    std::vector<TZipNewEntry> entries;
    const int totalFiles = count > 0 ? count : int(files.size());
    int done = 0;
    for (const QFileInfo& fi : files) {
        QFile f(fi.absoluteFilePath());
        if (!f.open(QIODevice::ReadOnly)) {
            Complain(QStringLiteral("FailedToRead"),
                     QStringLiteral("Cannot open file \"%1\": %2").arg(fi.absoluteFilePath(), f.errorString()));
            return false;
        }
        const QByteArray data = f.readAll();
        TZipNewEntry e;
        e.name = fi.fileName();
        e.data.assign(data.begin(), data.end());
        e.time = fi.lastModified();
        entries.push_back(std::move(e));
        if (b.OnAddingToZip)
            b.OnAddingToZip(fi.fileName());
        ++done;
        if (b.OnZippingASection)
            b.OnZippingASection(done, totalFiles, true);
        if (b.OnZipProgress)
            b.OnZipProgress(done, totalFiles);
    }
    TZipArchive zip;
    if (!zip.OpenOrCreateArchive(zipName) || !zip.AddEntries(std::move(entries))) {
        Complain(QStringLiteral("FailedToSave"), zip.ErrorString());
        return false;
    }
    zip.CloseArchive();
    last_batch_zip_Fullname = zipName;
    if (b.Delete_Results_After_Zipping)
        for (const QFileInfo& fi : files)
            QFile::remove(fi.absoluteFilePath());
    return true;
}

bool TCorvantisholder::CheckAllFnamesForZippedEntries(QStringList& fileNames)
{
    QHash<QString, QStringList> entriesOf; // archive -> its entry names (empty list: unreadable)
    QHash<QString, bool> readable;
    bool all = true;
    QStringList kept;
    for (const QString& name : fileNames) {
        const int bar = name.indexOf(QLatin1Char('|'));
        if (bar <= 0) {
            kept << name;
            continue;
        }
        const QString archive = name.left(bar);
        const QString entry = name.mid(bar + 1);
        if (!readable.contains(archive)) {
            TZipArchive zip;
            const bool ok = zip.OpenArchive(archive);
            readable.insert(archive, ok);
            if (ok)
                entriesOf.insert(archive, zip.EntryNames());
        }
        if (readable.value(archive) && entriesOf.value(archive).contains(entry)) {
            kept << name;
        } else {
            all = false;
            if (!dud_compute_files.contains(name))
                dud_compute_files << name;
        }
    }
    fileNames = kept;
    return all;
}

// ---------------------------------------------------------------------------
// Settings and upkeep

void TCorvantisholder::TextSettings(const TTextSettings& settings)
{
    ftextsettings = settings;
    if (ftextsettings.MaxTexts() < 1)
        ftextsettings.SetMaxTexts(std::numeric_limits<int32_t>::max());
}

void TCorvantisholder::TextSettings_Language(std::span<const uint8_t> languageBlock)
{
    ftextsettings.CopyBytesFrom(languageBlock.first(std::min(languageBlock.size(), TTextSettings::kLanguageBlockSize)));
    SetCVBaseListsLCIDToTextSettingsLCID();
}

void TCorvantisholder::SetCVBaseListsLCIDToTextSettingsLCID()
{
    const uint32_t lcid = ftextsettings.LanguageId();
    const QString collation = ftextsettings.CollationName();
    for (TCVBaseDataClass* l : fCVBaseLists)
        l->SetLocale(lcid, collation);
    fCVBaseFilenames->SetLocale(lcid, collation);
}

void TCorvantisholder::SetTextSettingsTagDisplay(uint8_t display)
{
    if (display <= 3)
        ftextsettings.SetTagDisplay(display);
}

void TCorvantisholder::CVBaseFilenames(const TCVStatsList& stats)
{
    fCVBaseFilenames->CopyRowsFrom(stats);
}

void TCorvantisholder::HandleScriptProgress(int32_t done, int32_t total)
{
    TProgressParamsRec p = GetProgressParams();
    const int32_t percent = total > 0 ? int32_t(std::clamp<int64_t>(int64_t(done) * 100 / total, 0, 100)) : 0;
    p.SetTool(current_tool_var);
    p.SetThisPercent(percent);
    p.SetOverallPercent(percent);
    SetProgressParams(p);
    PostMessage(mini_global_own_HWnd, kMsgControllerCommand, PackToolCode(kCodeProgressThisPercent, current_tool_var));
}

void TCorvantisholder::StartProcessUsingTextTagHandler()
{
    if (TextTagHandler)
        TextTagHandler->StartProcess();
}

void TCorvantisholder::TryToSetAMenuItemChecked(int tag, bool checked)
{
    if (tag > 0)
        SetMenuItemChecked(tag, checked);
}

void TCorvantisholder::UpdateCVShell(int tag)
{
    if (tag > 0 && tag <= 0xFFFF)
        PostToController(uint16_t(tag));
}

int TCorvantisholder::Capitalised(QString& text, bool unicode)
{
    if (!text.isEmpty()) {
        const int len = (text[0].isHighSurrogate() && text.size() > 1) ? 2 : 1;
        text.replace(0, len, text.left(len).toUpper());
    }
    return int(text.size());
}

void TCorvantisholder::TryToGetClientHeightOrWidth(int screenDpi, bool heightWanted, int& value, bool& present) const
{
    const int32_t stored = heightWanted ? fClientHeight : fClientWidth;
    present = stored > 0;
    if (!present) {
        value = 0;
        return;
    }
    value = (fClientDpi > 0 && screenDpi > 0) ? int(std::lround(double(stored) * screenDpi / fClientDpi)) : stored;
}

void TCorvantisholder::StoreClientSize(int height, int width, int screenDpi)
{
    fClientHeight = height;
    fClientWidth = width;
    fClientDpi = screenDpi;
}

void TCorvantisholder::UpdateAllFileHandledInfo(const QString& fullFilename, uint8_t format, bool notProcessed)
{
    if (notProcessed) {
        NoteDudFile(fullFilename);
        return;
    }
    if (fFirstTextFormat == 0xFF)
        fFirstTextFormat = format;
    else if (format != fFirstTextFormat)
        mixed_text_formats = true;
}

void TCorvantisholder::ReportMainListEntries(int64_t entries) const
{
    if (fOnMainListEntries)
        fOnMainListEntries(entries);
}

QPoint TCorvantisholder::CentreOfMainForm() const
{
    return fCentreOfMainForm ? fCentreOfMainForm() : QPoint();
}

int TCorvantisholder::NoteDudFile(const QString& fileName)
{
    if (!dud_compute_files.contains(fileName))
        dud_compute_files << fileName;
    return fOnDudFile ? fOnDudFile(fileName) : 0;
}

uint64_t TCorvantisholder::ListTypesWithChangeMark(std::initializer_list<const TCVBaseDataClass*> lists)
{
    uint64_t set = 0;
    for (const TCVBaseDataClass* l : lists)
        if (l && l->ChangeMark() != 0 && l->ListType() < 48)
            set |= uint64_t(1) << l->ListType();
    return set;
}

void ApplyDefaultColumnVisibility(TCVBaseDataClass& list)
{
    const uint32_t shown = GetDefaultColumnVisibility(list.ListType());
    for (int c = 2; c <= std::min(20, list.ColumnCount() - 1); ++c)
        list.SetColumnVisible(c, (shown >> c) & 1u);
}

} // namespace cv
