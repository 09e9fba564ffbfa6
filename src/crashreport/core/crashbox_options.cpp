#include "crashreport/core/crashbox_options.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace cv {

namespace {

// The modules whose crash reporting is on. The program links the crash-report
// code in, so it is the only module the core has an entry for.
struct TCrashboxModules {
    QString programFile;
    std::unique_ptr<TCrashboxModuleOptions> programOptions;
};

std::unique_ptr<TCrashboxModules>& Modules()
{
    static std::unique_ptr<TCrashboxModules> modules;
    return modules;
}

QString ProgramFile()
{
    if (Modules())
        return Modules()->programFile;
    return QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
}

} // namespace

uintptr_t CrashboxModuleHandle(const QString& moduleName)
{
    if (moduleName.isEmpty())
        return 0;
    const QString program = QFileInfo(ProgramFile()).fileName();
    return QFileInfo(moduleName).fileName().compare(program, Qt::CaseInsensitive) == 0 ? kCrashboxProgramModuleHandle
                                                                                      : 0;
}

TCrashboxModuleOptions::TCrashboxModuleOptions(const QString& moduleName)
    : FModuleName(moduleName), FModuleHandle(CrashboxModuleHandle(moduleName))
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
    if (FSharedData <= 0 && FModuleHandle != 0 && FModuleHandle == kCrashboxProgramModuleHandle)
        StoreSharedData();
}

void TCrashboxModuleOptions::SetToDefaultOptions()
{
    BeginUpdate();
    FOutputPath.clear();
    FActive = true;
    EndUpdate();
}

void TCrashboxModuleOptions::SetActive(bool value)
{
    FActive = value;
    Publish();
}

void TCrashboxModuleOptions::SetModuleName(const QString& name)
{
    FModuleName = name;
    Publish();
}

void TCrashboxModuleOptions::SetModuleHandle(uintptr_t handle)
{
    FModuleHandle = handle;
    Publish();
}

void TCrashboxModuleOptions::SetOutputPath(const QString& path)
{
    FOutputPath = path;
    Publish();
}

void ActivateCrashbox(const QString& programFile)
{
    auto& modules = Modules();
    if (modules)
        return;
    modules = std::make_unique<TCrashboxModules>();
    modules->programFile = programFile;
    modules->programOptions = std::make_unique<TCrashboxModuleOptions>(programFile);
}

void DeactivateCrashbox() { Modules().reset(); }

bool CrashboxActivated() { return Modules() != nullptr; }

TCrashboxModuleOptions& CurrentCrashboxOptions()
{
    if (!Modules() || !Modules()->programOptions) {
        const QString module = ProgramFile();
        throw ECrashboxNotActive(
            QStringLiteral("\r\nCannot use 'CurrentCrashboxOptions' function in module \"%1\" without activate "
                           "Crashbox.\r\nTo activate Crashbox use the new IDE \"Project/Crashbox Options...\" menu.")
                .arg(module)
                .toStdString());
    }
    return *Modules()->programOptions;
}

} // namespace cv
