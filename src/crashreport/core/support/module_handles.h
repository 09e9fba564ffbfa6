#pragma once
// Module handles of this process. A module is the program file or a shared
// library it loaded; its handle is the lowest address the module is mapped
// at (what the loader's dladdr calls the file base), so a handle is never 0
// for a loaded module, and 0 means "no such module".

#include <cstdint>
#include <string>
#include <vector>

namespace cv {

// One loaded module as the loader lists it.
struct TLoadedModule {
    uintptr_t Handle = 0;
    uint64_t Size = 0;    // from the handle to the end of its last loadable segment
    std::string FileName; // the program's full path; a library's as it was loaded
};
// The loaded modules in the loader's order (the program first). The
// system's own virtual library (the vDSO), which has no file, is left out.
std::vector<TLoadedModule> EnumerateLoadedModules();
// A number that changes whenever the loader loads or unloads a module (the
// loader's own counts of both), found without walking the modules.
uint64_t LoadedModulesGeneration();

// The handle of the loaded module of that name: a name holding "/" is
// compared as a whole path (after resolving links), a bare name with the
// file names of the modules; 0 for an empty name or a module not loaded.
uintptr_t ModuleHandleOfName(const std::string& name);
// The handle of the module that holds the address; 0 when none does.
uintptr_t ModuleHandleOfAddress(const void* address);
// The full file name of the module with that handle; empty when none has it.
std::string ModuleFileNameOfHandle(uintptr_t handle);
// The handle of the module that holds the crash-report core itself (the
// program, since the core is linked into it).
uintptr_t CrashboxLibraryModuleHandle();

} // namespace cv
