#pragma once
// The crash-report options of one module of the process (the program file
// or a library it loaded): whether exceptions are handled and logged, what
// the report holds, how the dialog looks, how and where the report is sent,
// the exception filters and the message texts.
//
// Options change only through setters, which publish them (StoreSharedData)
// unless an update is in progress: BeginUpdate/EndUpdate nest, and the
// outermost EndUpdate publishes once. Only the options of the module that
// holds the crash-report core itself are published; options of other
// modules never are.
//
// The modules list knows the modules whose crash reporting is switched on:
// ActivateCrashbox enters the program itself, and CurrentCrashboxOptions
// gives the options of the calling module (the program: this code is linked
// into it), or raises ECrashboxNotActive when crash reporting was never
// switched on.
//
// The stream form and the texts file: options_stream.h; the process's
// shared options area: shared_options.h.

#include "crashreport/core/support/crashbox_texts.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace cv {

class TStream;
class TCrashboxModuleOptions;

// A set of enumeration members as stored: `Bits` bits in whole bytes, bit i
// of byte k being member 8k+i. Bits of no member are kept as they came.
template <typename E, int Bits>
class TCrashboxSet {
public:
    static constexpr int kBytes = Bits / 8;
    static_assert(Bits % 8 == 0 && Bits <= 64);

    constexpr TCrashboxSet() = default;
    constexpr TCrashboxSet(std::initializer_list<E> members)
    {
        for (E m : members)
            fBits |= Bit(m);
    }
    static constexpr TCrashboxSet All()
    {
        TCrashboxSet s;
        s.fBits = Bits == 64 ? ~uint64_t(0) : (uint64_t(1) << Bits) - 1;
        return s;
    }
    constexpr bool Contains(E m) const { return (fBits & Bit(m)) != 0; }
    constexpr void Include(E m) { fBits |= Bit(m); }
    constexpr void Exclude(E m) { fBits &= ~Bit(m); }
    constexpr void Switch(E m, bool on) { on ? Include(m) : Exclude(m); }
    constexpr bool Empty() const { return fBits == 0; }
    constexpr uint64_t Bits64() const { return fBits; }

    std::array<uint8_t, kBytes> ToBytes() const
    {
        std::array<uint8_t, kBytes> bytes{};
        for (int k = 0; k < kBytes; ++k)
            bytes[std::size_t(k)] = uint8_t(fBits >> (8 * k));
        return bytes;
    }
    // The first bytes of the set; those not given are 0.
    static TCrashboxSet FromBytes(std::span<const uint8_t> bytes)
    {
        TCrashboxSet s;
        for (std::size_t k = 0; k < bytes.size() && k < std::size_t(kBytes); ++k)
            s.fBits |= uint64_t(bytes[k]) << (8 * k);
        return s;
    }
    friend constexpr bool operator==(TCrashboxSet a, TCrashboxSet b) { return a.fBits == b.fBits; }

private:
    static constexpr uint64_t Bit(E m) { return uint64_t(1) << unsigned(m); }
    uint64_t fBits = 0;
};

// Enumerations: a member's value is its position, counting from 0; the
// stream stores these values.
enum TTerminateBtnOperation : uint8_t { tbNone, tbTerminate, tbRestart };
enum TExceptionDialogType : uint8_t { edtNone, edtMessageBox, edtMSClassic, edtCrashbox };
enum TForegroundType : uint8_t { ftGeneral, ftCallStack, ftModules, ftProcesses, ftAssembler, ftCPU };
enum TEmailSendMode : uint8_t { esmNoSend, esmEmailClient, esmSMTPClient, esmSMTPServer };
enum TWebSendMode : uint8_t { wsmNoSend, wsmHTTP, wsmHTTPS, wsmFTP, wsmBugZilla, wsmFogBugz, wsmMantis };
enum TCompiledFileOption : uint8_t { cfoReduceFileSize = 0, cfoUseEL7 = 2 };
enum TLogOption : uint8_t {
    loNoDuplicateErrors,
    loAppendReproduceText,
    loDeleteLogAtVersionChange,
    loAddComputerNameInLogFileName,
    loSaveModulesAndProcessesSections,
    loSaveAssemblerAndCPUSections
};
enum TCommonSendOption : uint8_t {
    sndShowSendDialog,
    sndShowSuccessFailureMsg,
    sndSendEntireLog,
    sndSendXMLLogCopy,
    sndSendScreenshot,
    sndUseOnlyActiveWindow,
    sndSendLastHTMLPage,
    sndSendInSeparatedThread,
    sndAddDateInFileName,
    sndAddComputerNameInFileName
};
enum TExceptionDialogOption : uint8_t {
    edoSendErrorReportChecked,
    edoAttachScreenshotChecked,
    edoShowCopyToClipOption,
    edoShowDetailsButton,
    edoShowInDetailedMode,
    edoShowInTopMostMode,
    edoUseCrashboxLookAndFeel,
    edoShowSendErrorReportOption,
    edoShowAttachScreenshotOption,
    edoShowCustomButton
};
enum TCallStackOption : uint8_t {
    csoShowDLLs,
    csoShowBPLs,
    csoShowBorlandThreads,
    csoShowWindowsThreads,
    csoDoNotStoreProcNames
};
enum TBehaviourOption : uint8_t {
    boPauseBorlandThreads,
    boDoNotPauseMainThread,
    boPauseWindowsThreads,
    boUseMainModuleOptions,
    boCopyLogInCaseOfError,
    boSaveCompressedCopyInCaseOfError,
    boHandleSafeCallExceptions,
    boCallRTLExceptionEvent,
    boCatchHandledExceptions
};
enum TLeaksOption : uint8_t { loCatchLeaks, loGroupsSonLeaks, loHideBorlandLeaks, loFreeAllLeaks, loCatchLeaksExceptions };
enum TShowOption : uint8_t {
    soAppStartDate,
    soAppName,
    soAppVersionNumber,
    soAppParameters,
    soAppCompilationDate,
    soAppUpTime,
    soExcDate,
    soExcAddress,
    soExcModuleName,
    soExcModuleVersion,
    soExcType,
    soExcMessage,
    soExcID,
    soExcCount,
    soExcStatus,
    soExcNote,
    soUserID,
    soUserName,
    soUserEmail,
    soUserPrivileges,
    soUserCompany,
    soActCtlsFormClass,
    soActCtlsFormText,
    soActCtlsControlClass,
    soActCtlsControlText,
    soCmpName,
    soCmpTotalMemory,
    soCmpFreeMemory,
    soCmpTotalDisk,
    soCmpFreeDisk,
    soCmpSysUpTime,
    soCmpProcessor,
    soCmpDisplayMode,
    soCmpDisplayDPI,
    soCmpVideoCard,
    soCmpPrinter,
    soOSType,
    soOSBuildN,
    soOSUpdate,
    soOSLanguage,
    soOSCharset,
    soNetIP,
    soNetSubmask,
    soNetGateway,
    soNetDNS1,
    soNetDNS2,
    soNetDHCP,
    soCustomData
};
inline constexpr int kShowOptionCount = soCustomData + 1;

using TCompiledFileOptions = TCrashboxSet<TCompiledFileOption, 8>;
using TLogOptions = TCrashboxSet<TLogOption, 8>;
using TCommonSendOptions = TCrashboxSet<TCommonSendOption, 16>;
using TExceptionDialogOptions = TCrashboxSet<TExceptionDialogOption, 16>;
using TCallStackOptions = TCrashboxSet<TCallStackOption, 8>;
using TBehaviourOptions = TCrashboxSet<TBehaviourOption, 16>;
using TLeaksOptions = TCrashboxSet<TLeaksOption, 8>;
using TShowOptions = TCrashboxSet<TShowOption, 48>;

// Number of members of each enumeration stored as one byte (the reader refuses others).
inline constexpr int kTerminateBtnOperationCount = 3;
inline constexpr int kExceptionDialogTypeCount = 4;
inline constexpr int kForegroundTypeCount = 6;
inline constexpr int kEmailSendModeCount = 4;
inline constexpr int kWebSendModeCount = 7;

// --- Exception filters ---

enum TFilterExceptionType : uint8_t { fetAll, fetHandled, fetUnhandled };
enum TFilterDialogType : uint8_t { fdtNone, fdtUnchanged, fdtMessageBox, fdtMSClassic, fdtCrashbox };
enum TFilterHandlerType : uint8_t { fhtNone, fhtRTL, fhtCrashbox };
enum TFilterActionType : uint8_t { fatNone, fatTerminate, fatRestart };
inline constexpr int kFilterExceptionTypeCount = 3;
inline constexpr int kFilterDialogTypeCount = 5;
inline constexpr int kFilterHandlerTypeCount = 3;
inline constexpr int kFilterActionTypeCount = 3;

// One exception filter; which exceptions it takes and what it does with
// them is the filter matching's business.
struct TCrashboxExceptionFilter {
    bool Active = true;
    std::string ExceptionClassName;
    std::string ExceptionMessage;
    TFilterExceptionType ExceptionType = fetAll;
    TFilterDialogType DialogType = fdtNone;
    TFilterHandlerType HandlerType = fhtNone;
    TFilterActionType ActionType = fatNone;
    friend bool operator==(const TCrashboxExceptionFilter&, const TCrashboxExceptionFilter&) = default;
};

// The filters of one options object, which owns them. Adding, inserting and
// deleting publish the owner's options.
class TCrashboxExceptionsFilters {
public:
    explicit TCrashboxExceptionsFilters(TCrashboxModuleOptions* owner) : FOwner(owner) {}
    TCrashboxExceptionsFilters(const TCrashboxExceptionsFilters&) = delete;
    TCrashboxExceptionsFilters& operator=(const TCrashboxExceptionsFilters&) = delete;

    TCrashboxModuleOptions* Owner() const { return FOwner; }
    void SetOwner(TCrashboxModuleOptions* owner) { FOwner = owner; }
    int Count() const { return int(fItems.size()); }
    // std::out_of_range for an index outside the list.
    const TCrashboxExceptionFilter& Items(int index) const;
    TCrashboxExceptionFilter& Items(int index);
    const TCrashboxExceptionFilter& operator[](int index) const { return Items(index); }

    // Appends; returns the new filter's index.
    int Add(std::unique_ptr<TCrashboxExceptionFilter> filter);
    int Add(const TCrashboxExceptionFilter& filter) { return Add(std::make_unique<TCrashboxExceptionFilter>(filter)); }
    void Insert(int index, std::unique_ptr<TCrashboxExceptionFilter> filter);
    void Delete(int index);
    void Clear() { fItems.clear(); }
    // Clear, then a copy of each of the source's filters.
    void Assign(const TCrashboxExceptionsFilters& source);
    friend bool operator==(const TCrashboxExceptionsFilters& a, const TCrashboxExceptionsFilters& b);

private:
    void PublishOwner();
    TCrashboxModuleOptions* FOwner;
    std::vector<std::unique_ptr<TCrashboxExceptionFilter>> fItems;
};

// Raised by Assign from no options at all.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TCrashboxModuleOptions {
public:
    // The options of the loaded module of that name (its handle found from
    // the name; 0 for an empty or unknown name), every option at its default.
    explicit TCrashboxModuleOptions(const std::string& moduleName);
    virtual ~TCrashboxModuleOptions();
    TCrashboxModuleOptions(const TCrashboxModuleOptions&) = delete;
    TCrashboxModuleOptions& operator=(const TCrashboxModuleOptions&) = delete;

    // --- Virtual operations, in their order ---
    virtual void SetActive(bool value);
    virtual void SetFreezeActivate(bool value);
    // A copy of every option, filter and text of the source, published
    // once; Active, ModuleName and ModuleHandle stay. EConvertError for null.
    virtual void Assign(const TCrashboxModuleOptions* source);
    // Every option back to its default (ModuleName, ModuleHandle and
    // ForcedTerminateBtnOperation stay), no filters, published once.
    virtual void SetToDefaultOptions();
    // The options stream (options_stream.cpp). Loading reads a stream of the
    // current OptionsVersion(); it changes nothing unless the whole stream reads.
    virtual bool SaveToStream(TStream& stream) const;
    virtual bool SaveToFile(const std::string& fileName, std::string* error = nullptr) const;
    virtual bool LoadFromStream(TStream& stream, std::string* error = nullptr);
    virtual bool LoadFromFile(const std::string& fileName, std::string* error = nullptr);
    // Publishing to, and reading from, the process's shared options area:
    // nothing in this class.
    virtual void StoreSharedData() {}
    virtual void LoadSharedData() {}

    // A stream of a given options version (older layouts converted).
    bool LoadFromStreamOfVersion(TStream& stream, uint16_t version, std::string* error = nullptr);
    // The texts file (options_stream.cpp); both end by naming the texts
    // collection after the file.
    bool SaveCustomizedTextsToFile(const std::string& fileName, std::string* error = nullptr);
    bool LoadCustomizedTextsFromFile(const std::string& fileName, std::string* error = nullptr);

    // --- Updates ---
    void BeginUpdate() { ++FSharedData; }
    // Leaves an update; the outermost one publishes.
    void EndUpdate();
    int32_t UpdateDepth() const { return FSharedData; }

    // --- Output files ---
    // The path of an output file named like fileName: OutputPath itself when
    // it names a ".elf" file, else in OutputPath (or fileName's own folder
    // when that is empty). The folder is made; a place that cannot be
    // written gives way to the library data folder.
    std::string OutputFile(const std::string& fileName) const;
    // The log file (".elf") for fileName, or for the module when empty; with
    // loAddComputerNameInLogFileName the computer name is added to its name.
    std::string OutputLogFile(const std::string& fileName) const;
    // The same where the options name it, before a place that cannot be
    // written gives way (variables expanded, no folder made).
    std::string WantedOutputFile(const std::string& fileName) const;
    std::string WantedOutputLogFile(const std::string& fileName) const;

    // --- Texts ---
    const std::string& GetCustomizedTexts(TMessageType index) const { return FCustomizedTexts[index]; }
    void SetCustomizedTexts(TMessageType index, const std::string& text);
    // The text with its variables expanded: what the dialogs, the report and the sending show.
    std::string GetExpandedText(TMessageType index) const { return ExpandVariables(FCustomizedTexts[index]); }
    const TCustomizedTexts& CustomizedTexts() const { return FCustomizedTexts; }

    // --- Options ---
    const std::string& ModuleName() const { return FModuleName; }
    void SetModuleName(const std::string& v) { Store(FModuleName, v); }
    uintptr_t ModuleHandle() const { return FModuleHandle; }
    void SetModuleHandle(uintptr_t v) { Store(FModuleHandle, v); }
    bool Active() const { return FActive; }
    bool FreezeActivate() const { return FFreezeActivate; }
    int32_t FreezeTimeout() const { return FFreezeTimeout; }
    void SetFreezeTimeout(int32_t v) { Store(FFreezeTimeout, v); }

    const std::string& SMTPFrom() const { return FSMTPFrom; }
    void SetSMTPFrom(const std::string& v) { Store(FSMTPFrom, v); }
    const std::string& SMTPHost() const { return FSMTPHost; }
    void SetSMTPHost(const std::string& v) { Store(FSMTPHost, v); }
    uint16_t SMTPPort() const { return FSMTPPort; }
    void SetSMTPPort(uint16_t v) { Store(FSMTPPort, v); }
    const std::string& SMTPUserID() const { return FSMTPUserID; }
    void SetSMTPUserID(const std::string& v) { Store(FSMTPUserID, v); }
    const std::string& SMTPPassword() const { return FSMTPPassword; }
    void SetSMTPPassword(const std::string& v) { Store(FSMTPPassword, v); }

    const std::string& ProxyURL() const { return FProxyURL; }
    void SetProxyURL(const std::string& v) { Store(FProxyURL, v); }
    const std::string& ProxyUserID() const { return FProxyUserID; }
    void SetProxyUserID(const std::string& v) { Store(FProxyUserID, v); }
    const std::string& ProxyPassword() const { return FProxyPassword; }
    void SetProxyPassword(const std::string& v) { Store(FProxyPassword, v); }
    uint16_t ProxyPort() const { return FProxyPort; }
    void SetProxyPort(uint16_t v) { Store(FProxyPort, v); }

    const std::string& TrakerUserID() const { return FTrakerUserID; }
    void SetTrakerUserID(const std::string& v) { Store(FTrakerUserID, v); }
    const std::string& TrakerPassword() const { return FTrakerPassword; }
    void SetTrakerPassword(const std::string& v) { Store(FTrakerPassword, v); }
    const std::string& TrakerAssignTo() const { return FTrakerAssignTo; }
    void SetTrakerAssignTo(const std::string& v) { Store(FTrakerAssignTo, v); }
    const std::string& TrakerProject() const { return FTrakerProject; }
    void SetTrakerProject(const std::string& v) { Store(FTrakerProject, v); }
    const std::string& TrakerCategory() const { return FTrakerCategory; }
    void SetTrakerCategory(const std::string& v) { Store(FTrakerCategory, v); }
    const std::string& TrakerTrialID() const { return FTrakerTrialID; }
    void SetTrakerTrialID(const std::string& v) { Store(FTrakerTrialID, v); }
    const std::string& ZipPassword() const { return FZipPassword; }
    void SetZipPassword(const std::string& v) { Store(FZipPassword, v); }

    // Build-time command texts: carried, never streamed.
    const std::string& PreBuildEvent() const { return FPreBuildEvent; }
    void SetPreBuildEvent(const std::string& v) { Store(FPreBuildEvent, v); }
    const std::string& PostSuccessfulBuildEvent() const { return FPostSuccessfulBuildEvent; }
    void SetPostSuccessfulBuildEvent(const std::string& v) { Store(FPostSuccessfulBuildEvent, v); }
    const std::string& PostFailureBuildEvent() const { return FPostFailureBuildEvent; }
    void SetPostFailureBuildEvent(const std::string& v) { Store(FPostFailureBuildEvent, v); }
    TCompiledFileOptions CompiledFileOptions() const { return FCompiledFileOptions; }
    void SetCompiledFileOptions(TCompiledFileOptions v) { Store(FCompiledFileOptions, v); }

    TTerminateBtnOperation TerminateBtnOperation() const { return FTerminateBtnOperation; }
    // A forced operation (not tbNone) follows the new value too.
    void SetTerminateBtnOperation(TTerminateBtnOperation v);
    TTerminateBtnOperation ForcedTerminateBtnOperation() const { return FForcedTerminateBtnOperation; }
    // Sets both the forced and the plain operation.
    void SetForcedTerminateBtnOperation(TTerminateBtnOperation v);

    TShowOptions ShowOptions() const { return FShowOptions; }
    void SetShowOptions(TShowOptions v) { Store(FShowOptions, v); }
    TExceptionDialogType ExceptionDialogType() const { return FExceptionDialogType; }
    void SetExceptionDialogType(TExceptionDialogType v) { Store(FExceptionDialogType, v); }
    TCrashboxExceptionsFilters& ExceptionsFilters() { return *FExceptionsFilters; }
    const TCrashboxExceptionsFilters& ExceptionsFilters() const { return *FExceptionsFilters; }
    // Puts another list in place (it becomes the options'); the previous
    // list is handed back, not freed.
    std::unique_ptr<TCrashboxExceptionsFilters> SetExceptionsFilters(std::unique_ptr<TCrashboxExceptionsFilters> v);
    const std::string& TextsCollection() const { return FTextsCollection; }
    void SetTextsCollection(const std::string& v) { Store(FTextsCollection, v); }

    bool ActivateLog() const { return FActivateLog; }
    void SetActivateLog(bool v) { Store(FActivateLog, v); }
    bool ActivateHandle() const { return FActivateHandle; }
    void SetActivateHandle(bool v) { Store(FActivateHandle, v); }
    bool AppendLogs() const { return FAppendLogs; }
    void SetAppendLogs(bool v) { Store(FAppendLogs, v); }
    bool SaveLogFile() const { return FSaveLogFile; }
    void SetSaveLogFile(bool v) { Store(FSaveLogFile, v); }
    TLogOptions LogOptions() const { return FLogOptions; }
    void SetLogOptions(TLogOptions v) { Store(FLogOptions, v); }
    TCommonSendOptions CommonSendOptions() const { return FCommonSendOptions; }
    void SetCommonSendOptions(TCommonSendOptions v) { Store(FCommonSendOptions, v); }
    TForegroundType ForegroundTab() const { return FForegroundTab; }
    void SetForegroundTab(TForegroundType v) { Store(FForegroundTab, v); }
    int32_t ErrorsNumberToSave() const { return FErrorsNumberToSave; }
    // 0 is kept as 1.
    void SetErrorsNumberToSave(int32_t v) { Store(FErrorsNumberToSave, v == 0 ? 1 : v); }
    int32_t ErrorsNumberToShowTerminateBtn() const { return FErrorsNumberToShowTerminateBtn; }
    void SetErrorsNumberToShowTerminateBtn(int32_t v) { Store(FErrorsNumberToShowTerminateBtn, v); }
    // The folder of the crash log and reports (or the full name of the log, ending ".elf").
    const std::string& OutputPath() const { return FOutputPath; }
    void SetOutputPath(const std::string& v) { Store(FOutputPath, v); }

    const std::string& EMailAddresses() const { return FEMailAddresses; }
    void SetEMailAddresses(const std::string& v) { Store(FEMailAddresses, v); }
    const std::string& EMailSubject() const { return FEMailSubject; }
    void SetEMailSubject(const std::string& v) { Store(FEMailSubject, v); }
    const std::string& EMailMessage() const { return FEMailMessage; }
    void SetEMailMessage(const std::string& v) { Store(FEMailMessage, v); }
    TEmailSendMode EMailSendMode() const { return FEMailSendMode; }
    void SetEMailSendMode(TEmailSendMode v) { Store(FEMailSendMode, v); }
    TWebSendMode WebSendMode() const { return FWebSendMode; }
    void SetWebSendMode(TWebSendMode v) { Store(FWebSendMode, v); }
    const std::string& AttachedFiles() const { return FAttachedFiles; }
    void SetAttachedFiles(const std::string& v) { Store(FAttachedFiles, v); }
    TExceptionDialogOptions ExceptionDialogOptions() const { return FExceptionDialogOptions; }
    void SetExceptionDialogOptions(TExceptionDialogOptions v) { Store(FExceptionDialogOptions, v); }
    int32_t AutoCloseDialogSecs() const { return FAutoCloseDialogSecs; }
    void SetAutoCloseDialogSecs(int32_t v) { Store(FAutoCloseDialogSecs, v); }
    const std::string& SupportURL() const { return FSupportURL; }
    void SetSupportURL(const std::string& v) { Store(FSupportURL, v); }
    // The page a web program shows, holding the tag "<%HTML_TAG%>".
    const std::string& HTMLLayout() const { return FHTMLLayout; }
    void SetHTMLLayout(const std::string& v) { Store(FHTMLLayout, v); }
    TTerminateBtnOperation AutoCrashOperation() const { return FAutoCrashOperation; }
    void SetAutoCrashOperation(TTerminateBtnOperation v) { Store(FAutoCrashOperation, v); }
    int32_t AutoCrashNumber() const { return FAutoCrashNumber; }
    void SetAutoCrashNumber(int32_t v) { Store(FAutoCrashNumber, v); }
    int32_t AutoCrashMinutes() const { return FAutoCrashMinutes; }
    void SetAutoCrashMinutes(int32_t v) { Store(FAutoCrashMinutes, v); }
    TCallStackOptions CallStackOptions() const { return FCallStackOptions; }
    void SetCallStackOptions(TCallStackOptions v) { Store(FCallStackOptions, v); }
    TBehaviourOptions BehaviourOptions() const { return FBehaviourOptions; }
    void SetBehaviourOptions(TBehaviourOptions v) { Store(FBehaviourOptions, v); }
    // Read only: set by the stream, the option files and Assign.
    TLeaksOptions LeaksOptions() const { return FLeaksOptions; }
    const std::string& WebURL() const { return FWebURL; }
    void SetWebURL(const std::string& v) { Store(FWebURL, v); }
    int32_t WebPort() const { return FWebPort; }
    void SetWebPort(int32_t v) { Store(FWebPort, v); }
    const std::string& WebPassword() const { return FWebPassword; }
    void SetWebPassword(const std::string& v) { Store(FWebPassword, v); }
    const std::string& WebUserID() const { return FWebUserID; }
    void SetWebUserID(const std::string& v) { Store(FWebUserID, v); }
    const std::string& ReproduceText() const { return FReproduceText; }
    void SetReproduceText(const std::string& v) { Store(FReproduceText, v); }

protected:
    // Publishes when no update is in progress and these are the options of
    // the module that holds the crash-report core.
    void Publish();

private:
    // The log file, moved (accessible) or as the options name it.
    std::string LogFileName(const std::string& fileName, bool accessible) const;
    friend class TCrashboxExceptionsFilters;
    friend struct TOptionsStreamReader;

    template <typename T>
    void Store(T& field, const T& value)
    {
        field = value;
        Publish();
    }
    void CopyOptionsFrom(const TCrashboxModuleOptions& source);

    int32_t FSharedData = 0;
    std::string FSMTPFrom;
    std::string FSMTPHost;
    std::string FSMTPUserID;
    std::string FSMTPPassword;
    uint16_t FSMTPPort = 25;
    std::string FProxyURL;
    std::string FProxyUserID;
    std::string FProxyPassword;
    uint16_t FProxyPort = 8080;
    std::string FTrakerUserID;
    std::string FTrakerPassword;
    std::string FTrakerAssignTo;
    std::string FTrakerProject;
    std::string FTrakerCategory;
    std::string FTrakerTrialID;
    std::string FZipPassword;
    std::string FPreBuildEvent;
    std::string FPostSuccessfulBuildEvent;
    std::string FPostFailureBuildEvent;
    TCompiledFileOptions FCompiledFileOptions;
    TTerminateBtnOperation FTerminateBtnOperation = tbRestart;
    TTerminateBtnOperation FForcedTerminateBtnOperation = tbNone;
    bool FFreezeActivate = false;
    int32_t FFreezeTimeout = 60;
    std::string FModuleName;
    uintptr_t FModuleHandle = 0;
    TShowOptions FShowOptions;
    TExceptionDialogType FExceptionDialogType = edtMSClassic;
    std::unique_ptr<TCrashboxExceptionsFilters> FExceptionsFilters;
    TCustomizedTexts FCustomizedTexts;
    std::string FTextsCollection;
    bool FActivateLog = false;
    bool FActivateHandle = true;
    bool FAppendLogs = false;
    bool FSaveLogFile = true;
    TLogOptions FLogOptions;
    TCommonSendOptions FCommonSendOptions;
    TForegroundType FForegroundTab = ftGeneral;
    int32_t FErrorsNumberToSave = 32;
    int32_t FErrorsNumberToShowTerminateBtn = 3;
    std::string FOutputPath;
    std::string FEMailAddresses;
    std::string FEMailSubject;
    std::string FEMailMessage;
    TEmailSendMode FEMailSendMode = esmNoSend;
    TWebSendMode FWebSendMode = wsmNoSend;
    std::string FAttachedFiles;
    TExceptionDialogOptions FExceptionDialogOptions;
    int32_t FAutoCloseDialogSecs = 0;
    std::string FSupportURL;
    std::string FHTMLLayout;
    TTerminateBtnOperation FAutoCrashOperation = tbRestart;
    int32_t FAutoCrashNumber = 10;
    int32_t FAutoCrashMinutes = 1;
    TCallStackOptions FCallStackOptions;
    TBehaviourOptions FBehaviourOptions;
    TLeaksOptions FLeaksOptions;
    std::string FWebURL;
    int32_t FWebPort = 0;
    std::string FWebPassword;
    std::string FWebUserID;
    std::string FReproduceText;
    bool FActive = true;
};

// The default sender of e-mail reports.
inline constexpr const char* kDefaultSMTPFrom = "crashbox@example.com";
// The default page of a web program.
extern const char* const kDefaultHTMLLayout;

// Raised when crash reporting is used before it was switched on.
class ECrashboxNotActive : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// The handle of the loaded module of that name (module_handles.h); 0 for an
// empty or unknown name.
uintptr_t CrashboxModuleHandle(const std::string& moduleName);

// Switches crash reporting on for the program: the modules list is made
// with the program's entry and its options (defaults, published to the
// process's shared options area). A second call keeps the list as it is.
void ActivateCrashbox(const std::string& programFile);
// The same with the program's options object made by the caller (the
// core's start-up makes the running module's options class).
void ActivateCrashbox(const std::string& programFile, std::unique_ptr<TCrashboxModuleOptions> programOptions);
// Frees the modules list and the shared options area (end of the program, or of a test).
void DeactivateCrashbox();
bool CrashboxActivated();
// The options of the calling module.
TCrashboxModuleOptions& CurrentCrashboxOptions();

} // namespace cv
