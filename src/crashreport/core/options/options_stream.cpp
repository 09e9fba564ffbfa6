// Also part of TCrashboxModuleOptions (crashreport/core/options/crashbox_options.h):
// the members that write and read its stream, its options file and its
// texts file live here, beside the layouts of options_stream.h.
#include "crashreport/core/options/options_stream.h"

#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/text_routines.h"
#include "crashreport/core/support/utf_conversion.h"
#include "crashreport/core/support/profile_file.h"
#include "suite/cv_stream.h"

#include <QString>

#include <atomic>
#include <bitset>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace cv {

namespace {
std::atomic<uint16_t> gOptionsVersion{kCurrentOptionsVersion};
}

uint16_t OptionsVersion() { return gOptionsVersion.load(); }

void SetOptionsVersion(uint16_t version) { gOptionsVersion.store(version); }

bool IsOptionsMagic(uint32_t value) { return value == 0x100FAB10u || value == 0x000FAB10u; }

bool IsCompatibleOptionsVersion(uint16_t version)
{
    const int low = kCurrentOptionsVersion / 100 * 100;
    return version >= low && version <= low + 100;
}

bool WriteOptionsString(TStream& stream, std::string_view text)
{
    if (text.size() > 1 && text.find("\r\n") == text.size() - 2)
        text.remove_suffix(2);
    std::string bytes(text);
    for (char& c : bytes)
        c = char(uint8_t(c) ^ kOptionsStringMask);
    return stream.WriteI32(int32_t(bytes.size())) && stream.WriteExact(bytes.data(), int64_t(bytes.size()));
}

bool ReadOptionsString(TStream& stream, std::string& text)
{
    int32_t length;
    if (!stream.ReadI32(length))
        return false;
    text.clear();
    if (length <= 0)
        return true;
    if (length > stream.Remaining())
        return false;
    text.resize(std::size_t(length));
    if (!stream.ReadExact(text.data(), length))
        return false;
    for (char& c : text)
        c = char(uint8_t(c) ^ kOptionsStringMask);
    return true;
}

// --- Writing ---

namespace {

template <typename Set>
bool WriteSet(TStream& s, Set set)
{
    const auto bytes = set.ToBytes();
    return s.WriteExact(bytes.data(), int64_t(bytes.size()));
}

} // namespace

bool TCrashboxModuleOptions::SaveToStream(TStream& s) const
{
    bool ok = s.WriteBool(FActivateLog) && s.WriteBool(FActivateHandle) && WriteSet(s, FLogOptions) &&
              s.WriteBool(FAppendLogs) && s.WriteBool(FSaveLogFile) && s.WriteU8(FForegroundTab) &&
              s.WriteBool(FFreezeActivate) && s.WriteI32(FFreezeTimeout) && WriteOptionsString(s, FSMTPFrom) &&
              WriteOptionsString(s, FSMTPHost) && s.WriteU16(FSMTPPort) && WriteOptionsString(s, FSMTPUserID) &&
              WriteOptionsString(s, FSMTPPassword) && s.WriteU8(FTerminateBtnOperation) &&
              s.WriteI32(FErrorsNumberToSave) && s.WriteI32(FErrorsNumberToShowTerminateBtn) &&
              WriteOptionsString(s, FEMailAddresses) && WriteOptionsString(s, FEMailSubject) &&
              s.WriteU8(FEMailSendMode) && WriteSet(s, FShowOptions) && WriteOptionsString(s, FOutputPath) &&
              s.WriteU8(FWebSendMode) && WriteOptionsString(s, FWebURL) && WriteOptionsString(s, FWebUserID) &&
              WriteOptionsString(s, FWebPassword) && s.WriteI32(FWebPort) && WriteOptionsString(s, FAttachedFiles) &&
              WriteSet(s, FCommonSendOptions) && WriteSet(s, FExceptionDialogOptions) &&
              s.WriteI32(FAutoCloseDialogSecs) && WriteOptionsString(s, FSupportURL) &&
              WriteOptionsString(s, FHTMLLayout) && WriteSet(s, FCallStackOptions) && WriteSet(s, FBehaviourOptions) &&
              WriteSet(s, FLeaksOptions) && s.WriteU8(FAutoCrashOperation) && s.WriteI32(FAutoCrashNumber) &&
              s.WriteI32(FAutoCrashMinutes) && WriteSet(s, FCompiledFileOptions) && s.WriteU8(FExceptionDialogType) &&
              WriteOptionsString(s, FProxyURL) && WriteOptionsString(s, FProxyUserID) &&
              WriteOptionsString(s, FProxyPassword) && s.WriteU16(FProxyPort) &&
              WriteOptionsString(s, FTrakerUserID) && WriteOptionsString(s, FTrakerPassword) &&
              WriteOptionsString(s, FTrakerAssignTo) && WriteOptionsString(s, FTrakerProject) &&
              WriteOptionsString(s, FTrakerCategory) && WriteOptionsString(s, FTrakerTrialID) &&
              WriteOptionsString(s, FZipPassword) && s.WriteI32(FExceptionsFilters->Count());
    for (int i = 0; ok && i < FExceptionsFilters->Count(); ++i) {
        const TCrashboxExceptionFilter& f = FExceptionsFilters->Items(i);
        ok = s.WriteBool(f.Active) && WriteOptionsString(s, f.ExceptionClassName) &&
             WriteOptionsString(s, f.ExceptionMessage) && s.WriteU8(f.ExceptionType) && s.WriteU8(f.DialogType) &&
             s.WriteU8(f.HandlerType) && s.WriteU8(f.ActionType);
    }
    ok = ok && WriteOptionsString(s, FEMailMessage);
    for (int i = 0; ok && i < kMessageTypeCount; ++i)
        ok = WriteOptionsString(s, FCustomizedTexts[std::size_t(i)]);
    return ok && WriteOptionsString(s, FTextsCollection);
}

// --- Reading ---

namespace {

using TMessageSet = std::bitset<256>;

TMessageSet Members(std::initializer_list<TMessageType> members)
{
    TMessageSet set;
    for (TMessageType m : members)
        set.set(m);
    return set;
}

TMessageSet Range(TMessageType first, TMessageType last)
{
    TMessageSet set;
    for (int m = first; m <= last; ++m)
        set.set(std::size_t(m));
    return set;
}

// Whether a stream of version v holds text i (after the extra string that
// versions before 6000 keep in front of mtLog_CmpTotalMemory).
bool TextStored(TMessageType i, uint16_t v)
{
    static const TMessageSet addedIn450 =
        Members({mtDialog_ModulesCaption, mtDialog_ModulesHeader, mtDialog_CPUCaption, mtDialog_CPUHeader,
                 mtDialog_SendMessage, mtDialog_ScreenshotMessage, mtDialog_CopyMessage, mtLog_AppParameters,
                 mtLog_CmpTotalMemory, mtLog_OSUpdate, mtLog_ExcModuleName, mtLog_ExcModuleVersion}) |
        Range(mtSendDialog_Caption, TMessageType(kMessageTypeCount - 1));
    static const TMessageSet addedIn500 = Members(
        {mtDialog_SupportMessage,     mtLog_AppCompilationDate,   mtLog_CmpSystemUpTime,    mtLog_CmpProcessor,
         mtLog_CmpDisplayMode,        mtLog_CmpDisplayDPI,        mtLog_CmpVideoCard,       mtLog_CmpPrinter,
         mtLog_NetHeader,             mtLog_NetIP,                mtLog_NetSubmask,         mtLog_NetGateway,
         mtLog_NetDNS1,               mtLog_NetDNS2,              mtLog_NetDHCP,            mtLog_CustInfoHeader,
         mtCallStack_MainThread,      mtCallStack_ExceptionThread, mtCallStack_RunningThread, mtCallStack_CallingThread,
         mtCallStack_ThreadID,        mtCallStack_ThreadPriority, mtCallStack_ThreadClass,  mtModules_LastModified,
         mtSend_SuccessMsg,           mtSend_FailureMsg});
    static const TMessageSet addedIn6000 =
        Members({mtErrorMsgCaption, mtDialog_ProcessesCaption, mtDialog_ProcessesHeader, mtDialog_AsmCaption,
                 mtDialog_AsmHeader, mtDialog_CustomButtonCaption, mtLog_AppUpTime, mtLog_ExcID, mtLog_ExcCount,
                 mtLog_ExcStatus, mtLog_ExcNote, mtLog_UserHeader, mtLog_UserID, mtLog_UserName, mtLog_UserEmail,
                 mtLog_UserCompany, mtLog_UserPrivileges, mtLog_OSCharset, mtSendDialog_Login, mtSendDialog_Sent,
                 mtSendDialog_SelectProject, mtSendDialog_Searching, mtSendDialog_Modifying,
                 mtSendDialog_Disconnecting, mtSendDialog_Disconnected, mtSend_BugClosedMsg, mtSend_UnknownErrorMsg,
                 mtSend_InvalidLoginMsg, mtSend_InvalidSearchMsg, mtSend_InvalidSelectionMsg,
                 mtSend_InvalidInsertMsg, mtSend_InvalidModifyMsg, mtException_LeakMultiFree,
                 mtException_LeakMemoryOverrun, mtException_AntiFreeze, mtInvalidEmailMsg}) |
        Range(mtMSDialog_ErrorMsgCaption, mtMSDialog_NoSendButtonCaption) |
        Range(mtCallStack_LeakCaption, mtCallStack_LeakCount) | Range(mtProcesses_ID, mtProcesses_Path);

    if ((i == mtDialog_DetailsButtonCaption && v < 420) || (i == mtDialog_RestartButtonCaption && v < 421))
        return false;
    if (v < 450 && addedIn450.test(i))
        return false;
    if (v < 500 && addedIn500.test(i))
        return false;
    if ((v < 6000 && i == mtLog_AppParameters) ||
        (v >= 500 && v < 6000 && (i == mtDialog_OKButtonCaption || i == mtDialog_TerminateButtonCaption)))
        return false;
    return !(v < 6000 && addedIn6000.test(i));
}

// Inserts runs of "1" into the show options read from an older layout, so
// that the members added since are on and the older ones at their places.
TShowOptions WidenShowOptions(TShowOptions old, std::initializer_list<std::pair<int, int>> insertions)
{
    std::string bits;
    for (int k = 0; k < kShowOptionCount; ++k)
        bits += old.Contains(TShowOption(k)) ? '1' : '0';
    for (const auto& [position, count] : insertions)
        bits.insert(std::min(std::size_t(position - 1), bits.size()), std::size_t(count), '1');
    TShowOptions widened;
    for (int k = 0; k < kShowOptionCount; ++k)
        if (bits[std::size_t(k)] == '1')
            widened.Include(TShowOption(k));
    return widened;
}

} // namespace

// Reads the fields of one layout into the options, remembering the first
// failure; every read after it does nothing.
struct TOptionsStreamReader {
    TStream& s;
    TCrashboxModuleOptions& o;
    std::string error;

    bool Failed() const { return !error.empty(); }
    void Fail(const std::string& what)
    {
        if (!Failed())
            error = "The crash-report options stream " + what + " at byte " + std::to_string(s.Position());
    }
    void Bool(bool& value)
    {
        uint8_t b;
        if (!Failed() && !s.ReadU8(b))
            return Fail("ends early");
        if (!Failed())
            value = b != 0;
    }
    uint8_t Byte()
    {
        uint8_t b = 0;
        if (!Failed() && !s.ReadU8(b))
            Fail("ends early");
        return b;
    }
    template <typename E>
    void Enum(E& value, int count)
    {
        const int64_t at = s.Position();
        const uint8_t b = Byte();
        if (Failed())
            return;
        if (b >= count) {
            s.SetPosition(at);
            return Fail("holds the unknown value " + std::to_string(b));
        }
        value = E(b);
    }
    void I32(int32_t& value)
    {
        if (!Failed() && !s.ReadI32(value))
            Fail("ends early");
    }
    void U16(uint16_t& value)
    {
        if (!Failed() && !s.ReadU16(value))
            Fail("ends early");
    }
    void Str(std::string& value)
    {
        const int64_t at = s.Position();
        if (!Failed() && !ReadOptionsString(s, value)) {
            s.SetPosition(at);
            Fail("ends early");
        }
    }
    std::string Str()
    {
        std::string value;
        Str(value);
        return value;
    }
    // The first `bytes` bytes of a set; the rest are 0.
    template <typename Set>
    void SetBytes(Set& value, int bytes)
    {
        uint8_t buffer[8] = {};
        if (!Failed() && !s.ReadExact(buffer, bytes))
            return Fail("ends early");
        if (!Failed())
            value = Set::FromBytes(std::span<const uint8_t>(buffer, std::size_t(bytes)));
    }

    void Read(uint16_t v);
};

void TOptionsStreamReader::Read(uint16_t v)
{
    Bool(o.FActivateLog);
    Bool(o.FActivateHandle);
    SetBytes(o.FLogOptions, 1);
    if (v < 500) {
        bool dialog = Byte() != 0;
        if (v < 450)
            dialog = !dialog;
        if (!dialog && !Failed())
            o.FExceptionDialogType = edtNone;
    }
    Bool(o.FAppendLogs);
    if (v >= 450 && v < 500)
        for (TCommonSendOption member : {sndSendEntireLog, sndSendScreenshot, sndShowSendDialog})
            o.FCommonSendOptions.Switch(member, Byte() != 0);
    if (v >= 401) {
        Bool(o.FSaveLogFile);
        Enum(o.FForegroundTab, kForegroundTypeCount);
        if (v < 6000 && o.FForegroundTab == ftProcesses)
            o.FForegroundTab = ftCPU;
    }
    if (v >= 403 && v < 500)
        o.FExceptionDialogOptions.Switch(edoUseCrashboxLookAndFeel, Byte() != 0);
    std::string oldFreezeMessage;
    if (v >= 420) {
        Bool(o.FFreezeActivate);
        I32(o.FFreezeTimeout);
        if (v < 422)
            o.FFreezeTimeout /= 1000;
        if (v < 6000)
            Str(oldFreezeMessage);
        if (v >= 450)
            Str(o.FSMTPFrom);
        Str(o.FSMTPHost);
    }
    if (v >= 450)
        U16(o.FSMTPPort);
    if (v >= 421) {
        Str(o.FSMTPUserID);
        Str(o.FSMTPPassword);
        Enum(o.FTerminateBtnOperation, kTerminateBtnOperationCount);
    }
    if (v < 6000 && Byte() == 0 && !Failed())
        o.FTerminateBtnOperation = tbNone;
    I32(o.FErrorsNumberToSave);
    I32(o.FErrorsNumberToShowTerminateBtn);
    Str(o.FEMailAddresses);
    Str(o.FEMailSubject);
    Enum(o.FEMailSendMode, kEmailSendModeCount);
    if (v < 450 && o.FEMailSendMode != esmNoSend)
        o.FEMailSendMode = o.FSMTPHost.empty() ? esmEmailClient : esmSMTPClient;
    if (v >= 6000) {
        SetBytes(o.FShowOptions, 6);
    } else if (v < 500) {
        SetBytes(o.FShowOptions, 4);
        o.FShowOptions = WidenShowOptions(o.FShowOptions, {{5, 2}, {10, 1}, {13, 4}, {23, 4}, {31, 6}, {42, 7}});
    } else {
        SetBytes(o.FShowOptions, 5);
        o.FShowOptions = WidenShowOptions(o.FShowOptions, {{6, 1}, {10, 1}, {13, 4}, {23, 4}, {34, 3}, {41, 1}, {48, 1}});
    }
    if (v < 450)
        Byte();
    Str(o.FOutputPath);
    if (v >= 500) {
        Enum(o.FWebSendMode, kWebSendModeCount);
        Str(o.FWebURL);
        Str(o.FWebUserID);
        Str(o.FWebPassword);
        I32(o.FWebPort);
        Str(o.FAttachedFiles);
        SetBytes(o.FCommonSendOptions, 2);
        if (v < 6000)
            o.FCommonSendOptions.Exclude(sndAddComputerNameInFileName);
        SetBytes(o.FExceptionDialogOptions, v < 6000 ? 1 : 2);
        I32(o.FAutoCloseDialogSecs);
        Str(o.FSupportURL);
        Str(o.FHTMLLayout);
        SetBytes(o.FCallStackOptions, 1);
        if (v < 6000)
            o.FCallStackOptions.Include(csoDoNotStoreProcNames);
        if (v < 6000) {
            SetBytes(o.FBehaviourOptions, 1);
        } else {
            SetBytes(o.FBehaviourOptions, 2);
            SetBytes(o.FLeaksOptions, 1);
        }
        Enum(o.FAutoCrashOperation, kTerminateBtnOperationCount);
        I32(o.FAutoCrashNumber);
        I32(o.FAutoCrashMinutes);
        if (v >= 6000) {
            SetBytes(o.FCompiledFileOptions, 1);
            Enum(o.FExceptionDialogType, kExceptionDialogTypeCount);
            Str(o.FProxyURL);
            Str(o.FProxyUserID);
            Str(o.FProxyPassword);
            U16(o.FProxyPort);
            Str(o.FTrakerUserID);
            Str(o.FTrakerPassword);
            Str(o.FTrakerAssignTo);
            Str(o.FTrakerProject);
            Str(o.FTrakerCategory);
            Str(o.FTrakerTrialID);
            Str(o.FZipPassword);
        }
    }
    o.FExceptionsFilters->Clear();
    int32_t count = 0;
    // A filter takes at least 13 bytes (8 before version 6000): a count
    // the rest of the stream cannot hold is damage, not a reason to allocate.
    if (!Failed() && !s.ReadCount(count, v >= 6000 ? 13 : 8))
        Fail("ends early or holds a bad filter count");
    for (int32_t i = 0; i < count && !Failed(); ++i) {
        auto filter = std::make_unique<TCrashboxExceptionFilter>();
        if (v >= 6000)
            Bool(filter->Active);
        Str(filter->ExceptionClassName);
        Str(filter->ExceptionMessage);
        if (v >= 6000) {
            Enum(filter->ExceptionType, kFilterExceptionTypeCount);
            Enum(filter->DialogType, kFilterDialogTypeCount);
            Enum(filter->HandlerType, kFilterHandlerTypeCount);
            Enum(filter->ActionType, kFilterActionTypeCount);
        } else {
            filter->ExceptionType = fetUnhandled;
            filter->DialogType = filter->ExceptionMessage.empty() ? fdtNone : fdtMessageBox;
            filter->HandlerType = fhtNone;
            filter->ActionType = fatNone;
        }
        o.FExceptionsFilters->Add(std::move(filter));
    }
    Str(o.FEMailMessage);
    for (int i = 0; i < kMessageTypeCount && !Failed(); ++i) {
        const auto index = TMessageType(i);
        if (index == mtLog_CmpTotalMemory && v < 6000)
            Str();
        if (TextStored(index, v))
            Str(o.FCustomizedTexts[std::size_t(i)]);
    }
    if (v >= 6000)
        Str(o.FTextsCollection);
    if (!oldFreezeMessage.empty())
        o.FCustomizedTexts[mtException_AntiFreeze] = oldFreezeMessage;
}

bool TCrashboxModuleOptions::LoadFromStream(TStream& stream, std::string* error)
{
    return LoadFromStreamOfVersion(stream, OptionsVersion(), error);
}

bool TCrashboxModuleOptions::LoadFromStreamOfVersion(TStream& stream, uint16_t version, std::string* error)
{
    // Read into a copy, so that a stream that breaks off changes nothing.
    TCrashboxModuleOptions loaded{std::string()};
    loaded.Assign(this);
    TOptionsStreamReader reader{stream, loaded, {}};
    reader.Read(version);
    if (reader.Failed()) {
        if (error)
            *error = reader.error;
        return false;
    }
    Assign(&loaded);
    return true;
}

bool TCrashboxModuleOptions::SaveToFile(const std::string& fileName, std::string* error) const
{
    TMemoryStream stream;
    if (!SaveToStream(stream)) {
        if (error)
            *error = "Cannot write the crash-report options of \"" + fileName + "\"";
        return false;
    }
    QString reason;
    // The file holds the mail and web passwords, only XOR-ed: its user's alone.
    if (!stream.SaveToFile(QString::fromStdString(fileName), &reason, TSaveMode::Private)) {
        if (error)
            *error = reason.toStdString();
        return false;
    }
    return true;
}

bool TCrashboxModuleOptions::LoadFromFile(const std::string& fileName, std::string* error)
{
    TMemoryStream stream;
    QString reason;
    if (!stream.LoadFromFile(QString::fromStdString(fileName), &reason)) {
        if (error)
            *error = reason.toStdString();
        return false;
    }
    std::string why;
    if (!LoadFromStream(stream, &why)) {
        if (error)
            *error = "\"" + fileName + "\": " + why;
        return false;
    }
    return true;
}

// --- The texts file ---

namespace {

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

int HexValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

// The length of the escape at text[i] (a "%"): 2, 3 or 6; 0 when it opens none.
std::size_t EscapeLength(std::string_view text, std::size_t i)
{
    if (i + 1 < text.size() && text[i + 1] == '%')
        return 2;
    if (i + 5 < text.size() && text[i + 1] == 'U' && IsHex(text[i + 2]) && IsHex(text[i + 3]) && IsHex(text[i + 4]) &&
        IsHex(text[i + 5]))
        return 6;
    if (i + 2 < text.size() && IsHex(text[i + 1]) && IsHex(text[i + 2]))
        return 3;
    return 0;
}

// Escapes one stretch of text (line breaks inside it are escaped too).
std::string EncodeStretch(std::string_view text)
{
    std::string out;
    char hex[8];
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b == '%') {
            out += "%%";
            ++i;
            continue;
        }
        const std::size_t n = Utf8CharAt(text, i);
        if (n == 0) {
            std::snprintf(hex, sizeof hex, "%%%02X", b);
            out += hex;
            ++i;
            continue;
        }
        if (b >= 32 && b < 127 && b != '&' && b != '-' && b != '<' && b != '>') {
            out += char(b);
        } else {
            for (const char16_t unit : UTF8ToWide(text.substr(i, n))) {
                std::snprintf(hex, sizeof hex, "%%U%04X", unsigned(unit));
                out += hex;
            }
        }
        i += n;
    }
    return out;
}

// Escapes each line of the text, keeping its CR LF line breaks; with
// `keepMarkerLines`, the first line and (when it holds the last-line marker)
// the last stay as they are.
std::string EncodeLines(std::string_view text, bool keepMarkerLines)
{
    std::string out;
    std::size_t start = 0;
    for (bool first = true;; first = false) {
        const auto end = text.find("\r\n", start);
        const std::string_view line = text.substr(start, end == std::string_view::npos ? end : end - start);
        const bool last = end == std::string_view::npos;
        const bool marker =
            keepMarkerLines && (first || (last && line.find(kTextsLastLineMarker) != std::string_view::npos));
        out += marker ? std::string(line) : EncodeStretch(line);
        if (last)
            break;
        out += "\r\n";
        start = end + 2;
    }
    return out;
}

bool Decodable(std::string_view text)
{
    if (text.find_first_of("<>") != std::string_view::npos)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%')
            continue;
        const std::size_t n = EscapeLength(text, i);
        if (n == 0)
            return false;
        i += n - 1;
    }
    return true;
}

std::string DecodeStretch(std::string_view text)
{
    std::string out;
    std::u16string units; // a run of "%U" escapes, one text of UTF-16
    auto flushUnits = [&] {
        out += WideToUTF8(units);
        units.clear();
    };
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = text[i] == '%' ? EscapeLength(text, i) : 0;
        if (n == 6) {
            units += char16_t(HexValue(text[i + 2]) << 12 | HexValue(text[i + 3]) << 8 | HexValue(text[i + 4]) << 4 |
                              HexValue(text[i + 5]));
            i += 6;
            continue;
        }
        flushUnits();
        if (n == 3) {
            out += char(HexValue(text[i + 1]) << 4 | HexValue(text[i + 2]));
            i += 3;
        } else if (n == 2) {
            out += "%%";
            i += 2;
        } else {
            out += text[i++];
        }
    }
    flushUnits();
    return ReplaceAllA(out, "%%", "%");
}

// The lines between the marker lines (or all of them), decoded when they can be.
std::string DecodeLines(std::string_view text, bool keepMarkerLines)
{
    std::size_t innerStart = 0;
    std::size_t innerEnd = text.size();
    if (keepMarkerLines) {
        const auto firstBreak = text.find("\r\n");
        if (firstBreak == std::string_view::npos)
            return std::string(text);
        innerStart = firstBreak + 2;
        const auto lastBreak = text.rfind("\r\n");
        if (text.find(kTextsLastLineMarker, lastBreak) != std::string_view::npos)
            innerEnd = lastBreak;
        if (innerEnd < innerStart)
            innerEnd = innerStart;
    }
    const std::string_view inner = text.substr(innerStart, innerEnd - innerStart);
    if (!Decodable(inner))
        return std::string(text);
    return std::string(text.substr(0, innerStart)) + DecodeStretch(inner) + std::string(text.substr(innerEnd));
}

// Applies `code` to the part of the text that is escaped: the marker block
// (trimmed), or the whole text when it has no first-line marker.
template <typename Code>
std::string ApplyToMarkerBlock(std::string_view text, Code code)
{
    const auto first = text.find(kTextsFirstLineMarker);
    if (first == std::string_view::npos)
        return code(text, false);
    const auto last = text.find(kTextsLastLineMarker, first);
    const std::size_t end = last == std::string_view::npos ? text.size() : last + std::strlen(kTextsLastLineMarker);
    return std::string(text.substr(0, first)) + code(TrimA(text.substr(first, end - first)), true) +
           std::string(text.substr(end));
}

// Lines as the file keeps them: CR LF, a lone CR or a lone LF ends one, and
// a final line break leaves an empty last line.
std::vector<std::string_view> FileLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find_first_of("\r\n", start);
        lines.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos)
            return lines;
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
}

} // namespace

std::string EncodeTextsFileText(std::string_view text)
{
    return ApplyToMarkerBlock(text, [](std::string_view part, bool markers) { return EncodeLines(part, markers); });
}

std::string DecodeTextsFileText(std::string_view text)
{
    return ApplyToMarkerBlock(text, [](std::string_view part, bool markers) { return DecodeLines(part, markers); });
}

void WriteTextsToProfile(TProfileFile& profile, const TCustomizedTexts& texts)
{
    for (int i = 0; i < kMessageTypeCount; ++i) {
        const std::string name(MessageTypeName(TMessageType(i)));
        const std::string encoded = EncodeTextsFileText(texts[std::size_t(i)]);
        const std::vector<std::string_view> lines = FileLines(encoded);
        profile.Write(kTextsFileSection, "Count " + name, std::to_string(lines.size()));
        for (std::size_t k = 0; k < lines.size(); ++k)
            profile.Write(kTextsFileSection, name + std::to_string(k), "\"" + std::string(lines[k]) + "\"");
    }
}

void ReadTextsFromProfile(const TProfileFile& profile, TCustomizedTexts& texts)
{
    for (int i = 0; i < kMessageTypeCount; ++i) {
        const std::string name(MessageTypeName(TMessageType(i)));
        const std::string countText = profile.Read(kTextsFileSection, "Count " + name).value_or("0");
        int64_t count = 0;
        const auto [end, ec] = std::from_chars(countText.data(), countText.data() + countText.size(), count);
        if (ec != std::errc() || end != countText.data() + countText.size())
            count = 0;
        // Each line is a key of its own: a count beyond what the file could
        // hold is damage, and the text keeps its value.
        if (count < 1 || count > int64_t(profile.LineCount()))
            continue;
        std::string text;
        std::string& current = texts[std::size_t(i)];
        for (int64_t k = 0; k < count; ++k) {
            std::string line = profile.Read(kTextsFileSection, name + std::to_string(k)).value_or(current);
            if (line.size() >= 2 && line.front() == '"' && line.back() == '"')
                line = line.substr(1, line.size() - 2);
            if (k > 0)
                text += "\r\n";
            text += line;
        }
        current = DecodeTextsFileText(text);
    }
}

namespace {

// The texts file, made accessible where it is or in the library's data
// folder, and its profile; false, with the reason, when it cannot be had.
bool OpenTextsFile(const std::string& fileName, bool forReading, std::string& location, TProfileFile& profile,
                   std::string* error)
{
    const std::optional<std::string> place = ProfileFileLocation(fileName, forReading);
    if (!place) {
        if (error)
            *error = std::string(forReading ? "Cannot open" : "Cannot write") + " file \"" + fileName +
                     "\": neither there nor in the library's data folder";
        return false;
    }
    location = *place;
    return profile.Load(location, error);
}

} // namespace

bool TCrashboxModuleOptions::SaveCustomizedTextsToFile(const std::string& fileName, std::string* error)
{
    std::string location;
    TProfileFile profile;
    if (!OpenTextsFile(fileName, false, location, profile, error))
        return false;
    WriteTextsToProfile(profile, FCustomizedTexts);
    if (!profile.Save(location, error))
        return false;
    SetTextsCollection(ChangeFileExt(fileName, ""));
    return true;
}

bool TCrashboxModuleOptions::LoadCustomizedTextsFromFile(const std::string& fileName, std::string* error)
{
    std::string location;
    TProfileFile profile;
    if (!OpenTextsFile(fileName, true, location, profile, error))
        return false;
    BeginUpdate();
    ReadTextsFromProfile(profile, FCustomizedTexts);
    FTextsCollection = ChangeFileExt(fileName, "");
    EndUpdate();
    return true;
}

} // namespace cv
