#pragma once
// The crash-report options of one module of the process (the program file or
// a library it loaded): here the part the tool window needs, the folder the
// crash log and reports go to, with the update and publishing rules every
// option follows.
//
// Options are published (StoreSharedData) after each change, unless an update
// is in progress (BeginUpdate/EndUpdate nest; the outermost EndUpdate
// publishes once), and only for the options of the module that holds the
// crash-report code itself; options of other modules are never published.
//
// The modules list knows the modules whose crash reporting is switched on:
// ActivateCrashbox enters the program itself, and CurrentCrashboxOptions
// gives the options of the calling module (the program: this code is linked
// into it), or raises ECrashboxNotActive when crash reporting was never
// switched on.

#include <QString>

#include <cstdint>
#include <memory>
#include <stdexcept>

namespace cv {

class TCrashboxModuleOptions {
public:
    // Handle of a module the core knows by that file name; 0 for an empty or unknown name.
    explicit TCrashboxModuleOptions(const QString& moduleName);
    virtual ~TCrashboxModuleOptions();
    TCrashboxModuleOptions(const TCrashboxModuleOptions&) = delete;
    TCrashboxModuleOptions& operator=(const TCrashboxModuleOptions&) = delete;

    // --- virtual operations, in their order ---
    virtual void SetActive(bool value);
    // Every option back to its default, published once.
    virtual void SetToDefaultOptions();
    // Publishing the options to the process's shared area; nothing in this class.
    virtual void StoreSharedData() {}
    virtual void LoadSharedData() {}

    // --- updates ---
    void BeginUpdate() { ++FSharedData; }
    // Leaves an update; the outermost one publishes.
    void EndUpdate();
    int32_t UpdateDepth() const { return FSharedData; }

    // --- options ---
    QString ModuleName() const { return FModuleName; }
    void SetModuleName(const QString& name);
    uintptr_t ModuleHandle() const { return FModuleHandle; }
    void SetModuleHandle(uintptr_t handle);
    bool Active() const { return FActive; }
    // The folder of the crash log and reports (or the full name of the log, ending ".elf").
    QString OutputPath() const { return FOutputPath; }
    void SetOutputPath(const QString& path);

protected:
    // Publishes when no update is in progress and these are the crash-report module's own options.
    void Publish();

private:
    int32_t FSharedData = 0;
    QString FModuleName;
    uintptr_t FModuleHandle = 0;
    QString FOutputPath;
    bool FActive = true;
};

// Raised when crash reporting is used before it was switched on.
class ECrashboxNotActive : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// The handle the core gives the program module (the module holding the crash-report code).
constexpr uintptr_t kCrashboxProgramModuleHandle = 1;
// The handle of a module the core knows by that name (the program file's
// name, compared without folder and case); 0 for an empty or unknown name.
uintptr_t CrashboxModuleHandle(const QString& moduleName);

// Switches crash reporting on for the program: the modules list is made
// with the program's entry and its options (defaults). A second call keeps
// the list as it is.
void ActivateCrashbox(const QString& programFile);
// Frees the modules list (end of the program, or of a test).
void DeactivateCrashbox();
bool CrashboxActivated();
// The options of the calling module.
TCrashboxModuleOptions& CurrentCrashboxOptions();

} // namespace cv
