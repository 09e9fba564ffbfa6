#include "crashreport/core/options/crashbox_options.h"

#include "crashreport/core/options/shared_options.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/module_handles.h"
#include "crashreport/core/support/report_helpers.h"

#include <utility>

namespace cv {

const char* const kDefaultHTMLLayout = "<html>\r\n"
                                       "  <head>\r\n"
                                       "  </head>\r\n"
                                       "  <body TopMargin=10 LeftMargin=10>\r\n"
                                       "    <table width=\"100%\" border=\"0\">\r\n"
                                       "      <tr>\r\n"
                                       "        <td nowrap>\r\n"
                                       "          <font face=\"Lucida Console, Courier\" size=\"2\">\r\n"
                                       "            <%HTML_TAG%>\r\n"
                                       "          </font>\r\n"
                                       "        </td>\r\n"
                                       "      </tr>\r\n"
                                       "    </table>\r\n"
                                       "  </body>\r\n"
                                       "</html>";

// --- Filters ---

const TCrashboxExceptionFilter& TCrashboxExceptionsFilters::Items(int index) const
{
    if (index < 0 || index >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    return *fItems[std::size_t(index)];
}

TCrashboxExceptionFilter& TCrashboxExceptionsFilters::Items(int index)
{
    return const_cast<TCrashboxExceptionFilter&>(std::as_const(*this).Items(index));
}

void TCrashboxExceptionsFilters::PublishOwner()
{
    if (FOwner)
        FOwner->Publish();
}

int TCrashboxExceptionsFilters::Add(std::unique_ptr<TCrashboxExceptionFilter> filter)
{
    fItems.push_back(std::move(filter));
    PublishOwner();
    return Count() - 1;
}

void TCrashboxExceptionsFilters::Insert(int index, std::unique_ptr<TCrashboxExceptionFilter> filter)
{
    if (index < 0 || index > Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    fItems.insert(fItems.begin() + index, std::move(filter));
    // The other modules see an inserted filter as they see an added one.
    PublishOwner();
}

void TCrashboxExceptionsFilters::Delete(int index)
{
    Items(index);
    fItems.erase(fItems.begin() + index);
    PublishOwner();
}

void TCrashboxExceptionsFilters::Assign(const TCrashboxExceptionsFilters& source)
{
    if (&source == this)
        return;
    Clear();
    for (const auto& filter : source.fItems)
        Add(*filter);
}

bool operator==(const TCrashboxExceptionsFilters& a, const TCrashboxExceptionsFilters& b)
{
    if (a.Count() != b.Count())
        return false;
    for (int i = 0; i < a.Count(); ++i)
        if (!(a[i] == b[i]))
            return false;
    return true;
}

// --- Options ---

TCrashboxModuleOptions::TCrashboxModuleOptions(const std::string& moduleName)
    : FModuleName(moduleName),
      FModuleHandle(CrashboxModuleHandle(moduleName)),
      FExceptionsFilters(std::make_unique<TCrashboxExceptionsFilters>(this))
{
    // Construction runs the defaults through the virtual call of this class
    // (a derived class's override is not reached yet), then starts with no update.
    SetToDefaultOptions();
    FSharedData = 0;
}

TCrashboxModuleOptions::~TCrashboxModuleOptions()
{
    // Nothing is published while the options go.
    BeginUpdate();
}

void TCrashboxModuleOptions::EndUpdate()
{
    --FSharedData;
    Publish();
}

void TCrashboxModuleOptions::Publish()
{
    if (FSharedData <= 0 && FModuleHandle != 0 && FModuleHandle == CrashboxLibraryModuleHandle())
        StoreSharedData();
}

void TCrashboxModuleOptions::SetActive(bool value) { Store(FActive, value); }

void TCrashboxModuleOptions::SetFreezeActivate(bool value) { Store(FFreezeActivate, value); }

void TCrashboxModuleOptions::SetTerminateBtnOperation(TTerminateBtnOperation v)
{
    FTerminateBtnOperation = v;
    if (FForcedTerminateBtnOperation != tbNone)
        FForcedTerminateBtnOperation = v;
    Publish();
}

void TCrashboxModuleOptions::SetForcedTerminateBtnOperation(TTerminateBtnOperation v)
{
    FForcedTerminateBtnOperation = v;
    FTerminateBtnOperation = v;
    Publish();
}

std::unique_ptr<TCrashboxExceptionsFilters>
TCrashboxModuleOptions::SetExceptionsFilters(std::unique_ptr<TCrashboxExceptionsFilters> v)
{
    if (!v)
        v = std::make_unique<TCrashboxExceptionsFilters>(this);
    v->SetOwner(this);
    std::unique_ptr<TCrashboxExceptionsFilters> previous = std::move(FExceptionsFilters);
    FExceptionsFilters = std::move(v);
    Publish();
    return previous;
}

void TCrashboxModuleOptions::SetCustomizedTexts(TMessageType index, const std::string& text)
{
    if (index >= kMessageTypeCount)
        return;
    Store(FCustomizedTexts[index], text);
}

void TCrashboxModuleOptions::CopyOptionsFrom(const TCrashboxModuleOptions& s)
{
    FExceptionsFilters->Assign(*s.FExceptionsFilters);
    FCustomizedTexts = s.FCustomizedTexts;
    FTextsCollection = s.FTextsCollection;
    SetFreezeActivate(s.FFreezeActivate);
    SetFreezeTimeout(s.FFreezeTimeout);
    SetSMTPFrom(s.FSMTPFrom);
    SetSMTPHost(s.FSMTPHost);
    SetSMTPPort(s.FSMTPPort);
    SetSMTPUserID(s.FSMTPUserID);
    SetSMTPPassword(s.FSMTPPassword);
    SetProxyURL(s.FProxyURL);
    SetProxyUserID(s.FProxyUserID);
    SetProxyPassword(s.FProxyPassword);
    SetProxyPort(s.FProxyPort);
    SetTrakerUserID(s.FTrakerUserID);
    SetTrakerPassword(s.FTrakerPassword);
    SetTrakerAssignTo(s.FTrakerAssignTo);
    SetTrakerProject(s.FTrakerProject);
    SetTrakerCategory(s.FTrakerCategory);
    SetTrakerTrialID(s.FTrakerTrialID);
    SetZipPassword(s.FZipPassword);
    SetPreBuildEvent(s.FPreBuildEvent);
    SetPostSuccessfulBuildEvent(s.FPostSuccessfulBuildEvent);
    SetPostFailureBuildEvent(s.FPostFailureBuildEvent);
    SetCompiledFileOptions(s.FCompiledFileOptions);
    SetShowOptions(s.FShowOptions);
    SetExceptionDialogType(s.FExceptionDialogType);
    SetActivateLog(s.FActivateLog);
    SetActivateHandle(s.FActivateHandle);
    SetAppendLogs(s.FAppendLogs);
    SetSaveLogFile(s.FSaveLogFile);
    SetLogOptions(s.FLogOptions);
    SetCommonSendOptions(s.FCommonSendOptions);
    SetForegroundTab(s.FForegroundTab);
    SetErrorsNumberToSave(s.FErrorsNumberToSave);
    SetErrorsNumberToShowTerminateBtn(s.FErrorsNumberToShowTerminateBtn);
    SetOutputPath(s.FOutputPath);
    SetEMailAddresses(s.FEMailAddresses);
    SetEMailSubject(s.FEMailSubject);
    SetEMailMessage(s.FEMailMessage);
    SetEMailSendMode(s.FEMailSendMode);
    SetWebSendMode(s.FWebSendMode);
    SetAttachedFiles(s.FAttachedFiles);
    SetExceptionDialogOptions(s.FExceptionDialogOptions);
    SetAutoCloseDialogSecs(s.FAutoCloseDialogSecs);
    SetSupportURL(s.FSupportURL);
    SetHTMLLayout(s.FHTMLLayout);
    SetAutoCrashOperation(s.FAutoCrashOperation);
    SetAutoCrashNumber(s.FAutoCrashNumber);
    SetAutoCrashMinutes(s.FAutoCrashMinutes);
    SetCallStackOptions(s.FCallStackOptions);
    SetBehaviourOptions(s.FBehaviourOptions);
    SetWebURL(s.FWebURL);
    SetWebPort(s.FWebPort);
    SetWebPassword(s.FWebPassword);
    SetWebUserID(s.FWebUserID);
    FLeaksOptions = s.FLeaksOptions;
    FReproduceText = s.FReproduceText;
    FTerminateBtnOperation = s.FTerminateBtnOperation;
    FForcedTerminateBtnOperation = s.FForcedTerminateBtnOperation;
}

void TCrashboxModuleOptions::Assign(const TCrashboxModuleOptions* source)
{
    if (!source)
        throw EConvertError("Impossible to assign nil as TCrashboxModuleOptions.");
    if (source == this)
        return;
    BeginUpdate();
    CopyOptionsFrom(*source);
    EndUpdate();
}

void TCrashboxModuleOptions::SetToDefaultOptions()
{
    BeginUpdate();
    FSMTPFrom = kDefaultSMTPFrom;
    FSMTPHost.clear();
    FSMTPUserID.clear();
    FSMTPPassword.clear();
    FSMTPPort = 25;
    FProxyURL.clear();
    FProxyUserID.clear();
    FProxyPassword.clear();
    FProxyPort = 8080;
    FTrakerUserID.clear();
    FTrakerPassword.clear();
    FTrakerAssignTo.clear();
    FTrakerProject.clear();
    FTrakerCategory.clear();
    FTrakerTrialID.clear();
    FZipPassword.clear();
    FPreBuildEvent.clear();
    FPostSuccessfulBuildEvent.clear();
    FPostFailureBuildEvent.clear();
    FCompiledFileOptions = {cfoReduceFileSize};
    FTerminateBtnOperation = tbRestart;
    FFreezeActivate = false;
    FFreezeTimeout = 60;
    FShowOptions = TShowOptions::All();
    FExceptionDialogType = edtMSClassic;
    FExceptionsFilters->Clear();
    FCustomizedTexts = DefaultCustomizedTexts();
    FTextsCollection = "English";
    FActivateLog = false;
    FActivateHandle = true;
    FAppendLogs = false;
    FSaveLogFile = true;
    FLogOptions = {loSaveModulesAndProcessesSections, loSaveAssemblerAndCPUSections};
    FCommonSendOptions = {sndShowSendDialog, sndSendScreenshot, sndSendLastHTMLPage};
    FForegroundTab = ftGeneral;
    FErrorsNumberToSave = 32;
    FErrorsNumberToShowTerminateBtn = 3;
    FOutputPath.clear();
    FEMailAddresses.clear();
    FEMailSubject.clear();
    FEMailMessage.clear();
    FEMailSendMode = esmNoSend;
    FWebSendMode = wsmNoSend;
    FAttachedFiles.clear();
    FExceptionDialogOptions = {edoSendErrorReportChecked,    edoAttachScreenshotChecked,   edoShowCopyToClipOption,
                               edoShowDetailsButton,         edoShowSendErrorReportOption, edoShowAttachScreenshotOption};
    FAutoCloseDialogSecs = 0;
    FSupportURL.clear();
    FHTMLLayout = kDefaultHTMLLayout;
    FAutoCrashOperation = tbRestart;
    FAutoCrashNumber = 10;
    FAutoCrashMinutes = 1;
    FCallStackOptions = {csoShowDLLs, csoShowBPLs, csoShowBorlandThreads, csoShowWindowsThreads};
    FBehaviourOptions = {boUseMainModuleOptions, boCopyLogInCaseOfError, boHandleSafeCallExceptions};
    FLeaksOptions = {loGroupsSonLeaks, loHideBorlandLeaks, loFreeAllLeaks, loCatchLeaksExceptions};
    FWebURL.clear();
    FWebPort = 0;
    FWebPassword.clear();
    FWebUserID.clear();
    FReproduceText.clear();
    FActive = true;
    EndUpdate();
}

std::string TCrashboxModuleOptions::WantedOutputFile(const std::string& fileName) const
{
    std::string extension = ExtractFileExt(FOutputPath);
    for (char& c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".elf")
        return ExpandVariables(FOutputPath);
    const std::string folder = FOutputPath.empty() ? ExtractFilePath(fileName) : FOutputPath;
    return ExpandVariables(IncludeTrailingBackslashA(folder) + ExtractFileName(fileName));
}

std::string TCrashboxModuleOptions::OutputFile(const std::string& fileName) const
{
    std::string result = WantedOutputFile(fileName);
    ForceFolders(ExtractFileDir(result));
    MakeFileAccessible(result, true, false);
    return result;
}

std::string TCrashboxModuleOptions::OutputLogFile(const std::string& fileName) const { return LogFileName(fileName, true); }

std::string TCrashboxModuleOptions::WantedOutputLogFile(const std::string& fileName) const { return LogFileName(fileName, false); }

std::string TCrashboxModuleOptions::LogFileName(const std::string& fileName, bool accessible) const
{
    const std::string name = ChangeFileExt(fileName.empty() ? RemoveVSHost(FModuleName) : fileName, ".elf");
    std::string result = accessible ? OutputFile(name) : WantedOutputFile(name);
    if (FLogOptions.Contains(loAddComputerNameInLogFileName)) {
        std::string computer = GetComputerNameStr();
        for (char& c : computer)
            if (std::string_view("\"*/:<>?\\|").find(c) != std::string_view::npos)
                c = '_';
        const std::string extension = ExtractFileExt(result);
        result = ChangeFileExt(result, "") + "_" + computer + extension;
    }
    return result;
}

// --- The modules list ---

namespace {

// The modules whose crash reporting is on. The program links the crash-report
// code in, so it is the only module the core has an entry for.
struct TCrashboxModules {
    std::string programFile;
    std::unique_ptr<TCrashboxModuleOptions> programOptions;
};

std::unique_ptr<TCrashboxModules>& Modules()
{
    static std::unique_ptr<TCrashboxModules> modules;
    return modules;
}

} // namespace

uintptr_t CrashboxModuleHandle(const std::string& moduleName) { return ModuleHandleOfName(moduleName); }

void ActivateCrashbox(const std::string& programFile)
{
    ActivateCrashbox(programFile, std::make_unique<TCrashboxSharedOptions>(programFile));
}

void ActivateCrashbox(const std::string& programFile, std::unique_ptr<TCrashboxModuleOptions> programOptions)
{
    auto& modules = Modules();
    if (modules)
        return;
    modules = std::make_unique<TCrashboxModules>();
    modules->programFile = programFile;
    modules->programOptions = std::move(programOptions);
}

void DeactivateCrashbox()
{
    Modules().reset();
    ReleaseSharedOptionsArea();
}

bool CrashboxActivated() { return Modules() != nullptr; }

TCrashboxModuleOptions& CurrentCrashboxOptions()
{
    if (!Modules() || !Modules()->programOptions) {
        const std::string module = Modules() ? Modules()->programFile : GetExeFileNameA();
        throw ECrashboxNotActive("\r\nCannot use 'CurrentCrashboxOptions' function in module \"" + module +
                                 "\" without activate Crashbox.\r\nTo activate Crashbox use the new IDE "
                                 "\"Project/Crashbox Options...\" menu.");
    }
    return *Modules()->programOptions;
}

} // namespace cv
