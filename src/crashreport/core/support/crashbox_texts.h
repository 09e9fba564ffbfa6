#pragma once
// The crash-report core's texts: every caption, label, button, report
// heading and message, one per member of TMessageType, with their English
// defaults. Each module's options hold their own copy (crashbox_options.h),
// which can be changed text by text, streamed with the options or loaded
// from a texts file. Texts may hold variables, a name between two "%"
// signs, expanded when a text is fetched for use (ExpandVariables).
//
// The order of the members is stored in the options stream and names the
// keys of the texts file: never reorder, only append.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace cv {

// clang-format off
#define CV_CRASHBOX_MESSAGE_TYPES(X) \
    X(mtInformationMsgCaption, "Information.") \
    X(mtQuestionMsgCaption, "Question.") \
    X(mtErrorMsgCaption, "Error.") \
    X(mtDialog_Caption, "Error occurred") \
    X(mtDialog_ErrorMsgCaption, "An error has occurred during program execution.\r\nPlease read the following information for further details.") \
    X(mtDialog_GeneralCaption, "General") \
    X(mtDialog_GeneralHeader, "General Information") \
    X(mtDialog_CallStackCaption, "Call Stack") \
    X(mtDialog_CallStackHeader, "Call Stack Information") \
    X(mtDialog_ModulesCaption, "Modules") \
    X(mtDialog_ModulesHeader, "Modules Information") \
    X(mtDialog_ProcessesCaption, "Processes") \
    X(mtDialog_ProcessesHeader, "Processes Information") \
    X(mtDialog_AsmCaption, "Assembler") \
    X(mtDialog_AsmHeader, "Assembler Information") \
    X(mtDialog_CPUCaption, "CPU") \
    X(mtDialog_CPUHeader, "CPU Information") \
    X(mtDialog_OKButtonCaption, "&OK") \
    X(mtDialog_TerminateButtonCaption, "&Terminate") \
    X(mtDialog_RestartButtonCaption, "&Restart") \
    X(mtDialog_DetailsButtonCaption, "&Details") \
    X(mtDialog_CustomButtonCaption, "&Help") \
    X(mtDialog_SendMessage, "&Send this error via Internet") \
    X(mtDialog_ScreenshotMessage, "&Attach a Screenshot image") \
    X(mtDialog_CopyMessage, "&Copy to Clipboard") \
    X(mtDialog_SupportMessage, "Go to the Support Page") \
    X(mtMSDialog_ErrorMsgCaption, "The application has encountered a problem. We are sorry for the inconvenience.") \
    X(mtMSDialog_RestartCaption, "Restart application.") \
    X(mtMSDialog_TerminateCaption, "Terminate application.") \
    X(mtMSDialog_PleaseCaption, "Please tell us about this problem.") \
    X(mtMSDialog_DescriptionCaption, "We have created an error report that you can send to us. We will treat this report as confidential and anonymous.") \
    X(mtMSDialog_SeeDetailsCaption, "To see what data the error report contains,") \
    X(mtMSDialog_SeeClickCaption, "click here.") \
    X(mtMSDialog_HowToReproduceCaption, "What were you doing when the problem happened (optional)?") \
    X(mtMSDialog_EmailCaption, "Email address (optional):") \
    X(mtMSDialog_SendButtonCaption, "&Send Error Report") \
    X(mtMSDialog_NoSendButtonCaption, "&Don't Send") \
    X(mtLog_AppHeader, "Application") \
    X(mtLog_AppStartDate, "Start Date") \
    X(mtLog_AppName, "Name/Description") \
    X(mtLog_AppVersionNumber, "Version Number") \
    X(mtLog_AppParameters, "Parameters") \
    X(mtLog_AppCompilationDate, "Compilation Date") \
    X(mtLog_AppUpTime, "Up Time") \
    X(mtLog_ExcHeader, "Exception") \
    X(mtLog_ExcDate, "Date") \
    X(mtLog_ExcAddress, "Address") \
    X(mtLog_ExcModuleName, "Module Name") \
    X(mtLog_ExcModuleVersion, "Module Version") \
    X(mtLog_ExcType, "Type") \
    X(mtLog_ExcMessage, "Message") \
    X(mtLog_ExcID, "ID") \
    X(mtLog_ExcCount, "Count") \
    X(mtLog_ExcStatus, "Status") \
    X(mtLog_ExcNote, "Note") \
    X(mtLog_UserHeader, "User") \
    X(mtLog_UserID, "ID") \
    X(mtLog_UserName, "Name") \
    X(mtLog_UserEmail, "Email") \
    X(mtLog_UserCompany, "Company") \
    X(mtLog_UserPrivileges, "Privileges") \
    X(mtLog_ActCtrlsHeader, "Active Controls") \
    X(mtLog_ActCtrlsFormClass, "Form Class") \
    X(mtLog_ActCtrlsFormText, "Form Text") \
    X(mtLog_ActCtrlsControlClass, "Control Class") \
    X(mtLog_ActCtrlsControlText, "Control Text") \
    X(mtLog_CmpHeader, "Computer") \
    X(mtLog_CmpName, "Name") \
    X(mtLog_CmpTotalMemory, "Total Memory") \
    X(mtLog_CmpFreeMemory, "Free Memory") \
    X(mtLog_CmpTotalDisk, "Total Disk") \
    X(mtLog_CmpFreeDisk, "Free Disk") \
    X(mtLog_CmpSystemUpTime, "System Up Time") \
    X(mtLog_CmpProcessor, "Processor") \
    X(mtLog_CmpDisplayMode, "Display Mode") \
    X(mtLog_CmpDisplayDPI, "Display DPI") \
    X(mtLog_CmpVideoCard, "Video Card") \
    X(mtLog_CmpPrinter, "Printer") \
    X(mtLog_OSHeader, "Operating System") \
    X(mtLog_OSType, "Type") \
    X(mtLog_OSBuildN, "Build #") \
    X(mtLog_OSUpdate, "Update") \
    X(mtLog_OSLanguage, "Language") \
    X(mtLog_OSCharset, "Charset") \
    X(mtLog_NetHeader, "Network") \
    X(mtLog_NetIP, "IP Address") \
    X(mtLog_NetSubmask, "Submask") \
    X(mtLog_NetGateway, "Gateway") \
    X(mtLog_NetDNS1, "DNS 1") \
    X(mtLog_NetDNS2, "DNS 2") \
    X(mtLog_NetDHCP, "DHCP") \
    X(mtLog_CustInfoHeader, "Custom Information") \
    X(mtCallStack_Address, "Address") \
    X(mtCallStack_Name, "Module") \
    X(mtCallStack_Unit, "Unit") \
    X(mtCallStack_Class, "Class") \
    X(mtCallStack_Procedure, "Procedure/Method") \
    X(mtCallStack_Line, "Line") \
    X(mtCallStack_MainThread, "Main") \
    X(mtCallStack_ExceptionThread, "Exception Thread") \
    X(mtCallStack_RunningThread, "Running Thread") \
    X(mtCallStack_CallingThread, "Calling Thread") \
    X(mtCallStack_ThreadID, "ID") \
    X(mtCallStack_ThreadPriority, "Priority") \
    X(mtCallStack_ThreadClass, "Class") \
    X(mtCallStack_LeakCaption, "Memory Leak") \
    X(mtCallStack_LeakData, "Data") \
    X(mtCallStack_LeakType, "Type") \
    X(mtCallStack_LeakSize, "Total size") \
    X(mtCallStack_LeakCount, "Count") \
    X(mtSendDialog_Caption, "Send.") \
    X(mtSendDialog_Message, "Message") \
    X(mtSendDialog_Resolving, "Resolving DNS...") \
    X(mtSendDialog_Login, "Login...") \
    X(mtSendDialog_Connecting, "Connecting with server...") \
    X(mtSendDialog_Connected, "Connected with server.") \
    X(mtSendDialog_Sending, "Sending message...") \
    X(mtSendDialog_Sent, "Message sent.") \
    X(mtSendDialog_SelectProject, "Select project...") \
    X(mtSendDialog_Searching, "Searching...") \
    X(mtSendDialog_Modifying, "Modifying...") \
    X(mtSendDialog_Disconnecting, "Disconnecting...") \
    X(mtSendDialog_Disconnected, "Disconnected.") \
    X(mtReproduceDialog_Caption, "Request") \
    X(mtReproduceDialog_Request, "Please describe the steps to reproduce the error:") \
    X(mtReproduceDialog_OKButtonCaption, "&OK") \
    X(mtModules_Handle, "Handle") \
    X(mtModules_Name, "Name") \
    X(mtModules_Description, "Description") \
    X(mtModules_Version, "Version") \
    X(mtModules_Size, "Size") \
    X(mtModules_LastModified, "Modified") \
    X(mtModules_Path, "Path") \
    X(mtProcesses_ID, "ID") \
    X(mtProcesses_Name, "Name") \
    X(mtProcesses_Description, "Description") \
    X(mtProcesses_Version, "Version") \
    X(mtProcesses_Memory, "Memory") \
    X(mtProcesses_Priority, "Priority") \
    X(mtProcesses_Threads, "Threads") \
    X(mtProcesses_Path, "Path") \
    X(mtCPU_Registers, "Registers") \
    X(mtCPU_Stack, "Stack") \
    X(mtCPU_MemoryDump, "Memory Dump") \
    X(mtSend_SuccessMsg, "The message was sent successfully.") \
    X(mtSend_FailureMsg, "Sorry, sending the message didn't work.") \
    X(mtSend_BugClosedMsg, "These BUG is just closed.\r\nContact the program support to obtain an update.") \
    X(mtSend_UnknownErrorMsg, "Unknown error.") \
    X(mtSend_InvalidLoginMsg, "Invalid login request.") \
    X(mtSend_InvalidSearchMsg, "Invalid search request.") \
    X(mtSend_InvalidSelectionMsg, "Invalid selection request.") \
    X(mtSend_InvalidInsertMsg, "Invalid insert request.") \
    X(mtSend_InvalidModifyMsg, "Invalid modify request.") \
    X(mtException_LeakMultiFree, "Multi Free memory leak.") \
    X(mtException_LeakMemoryOverrun, "Memory Overrun leak.") \
    X(mtException_AntiFreeze, "The application seems to be frozen.") \
    X(mtInvalidEmailMsg, "Invalid email.")
// clang-format on

enum TMessageType : uint8_t {
#define CV_CRASHBOX_MESSAGE_MEMBER(name, text) name,
    CV_CRASHBOX_MESSAGE_TYPES(CV_CRASHBOX_MESSAGE_MEMBER)
#undef CV_CRASHBOX_MESSAGE_MEMBER
};

#define CV_CRASHBOX_MESSAGE_COUNT(name, text) +1
inline constexpr int kMessageTypeCount = 0 CV_CRASHBOX_MESSAGE_TYPES(CV_CRASHBOX_MESSAGE_COUNT);
#undef CV_CRASHBOX_MESSAGE_COUNT

// One text per member, in member order.
using TCustomizedTexts = std::array<std::string, kMessageTypeCount>;

// The member's identifier as spelled in the code ("mtDialog_Caption").
std::string_view MessageTypeName(TMessageType index);
std::string_view DefaultMessageText(TMessageType index);
// Every default text, in member order.
const TCustomizedTexts& DefaultCustomizedTexts();

// The text with its variables expanded, left to right: "%NAME%" (NAME made of
// ASCII letters, digits and "_") becomes the environment variable NAME; when
// it has no value, the names "date", "time" and "cd" (in any case) give the
// current date and time in the locale's short formats and the current
// folder, and any other name the empty text. An inserted value is not
// expanded again; a "%" that does not open such a name stays as it is.
std::string ExpandVariables(std::string_view text);

} // namespace cv
