#pragma once
// Replacing routines of the running process (x86-64 ELF), each change
// recorded so that DoneHooks can undo it:
// - procedure hooks: the routine's first instructions become a jump to the
//   replacement; a trampoline near the routine runs the moved instructions
//   (relative branches and RIP-relative operands adjusted) and jumps back,
//   so the replaced routine stays callable;
// - import hooks: the GOT slots through which a module calls a routine of
//   another point at the replacement; with HookImportInAllModules also in
//   every module loaded later;
// - method hooks: a slot of a C++ virtual-method table.
// Code and tables are made writable with mprotect for the write and get
// their protection back right after.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace cv {

class EHookError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// A null routine to hook.
class EProcNull : public EHookError {
public:
    using EHookError::EHookError;
};
// The routine or import cannot be hooked.
class EHookingError : public EHookError {
public:
    using EHookError::EHookError;
};

// Start-up and shut-down of the hooks: the lists are made, and at the end
// every import hook, every method hook and every procedure hook (the last
// first) is undone and the lists freed.
void InitHooks();
void DoneHooks();
bool HooksStarted();

// --- procedure hooks ---

// Redirects target to replacement and returns the trampoline through which
// the original routine can still be called; hooking a target again returns
// its trampoline and changes nothing. Raises EProcNull for a null target and
// EHookingError for a routine that is too short to patch (it ends before 5
// bytes), that begins with an instruction the decoder does not know, or
// whose moved code cannot reach what it refers to from the trampoline.
void* HookProcedure(void* target, void* replacement, const std::string& name);
// For the hook whose target or trampoline is address: the routine's bytes
// back, the trampoline freed. False when there is no such hook.
bool UnhookProcedure(void* address);

// --- import hooks ---

// Points the module's GOT slots that hold oldProc at replacement; with a
// symbolName, also the slots of that symbol not bound yet (lazy binding).
// Returns oldProc when a slot changed, else null. Raises EProcNull for a
// null oldProc and, unless allowNotFound, EHookingError when no slot changed.
// On this system a slot does not tell the library it was bound to:
// libraryName is kept in the record only.
void* HookImport(uintptr_t module, const std::string& libraryName, void* oldProc, void* replacement,
                 const std::string& name, bool allowNotFound, bool noRecord, const std::string& symbolName = {});
// original := the routine procName of libraryName (any loaded module when
// libraryName is empty); then HookImport in each named module that is loaded.
// True when any module changed.
bool HookImportInModules(const std::string& libraryName, const std::string& procName, void* replacement, void*& original,
                         const std::vector<std::string>& moduleNames, bool allowNotFound);
// The same in every loaded module, and in every module loaded from now on
// (the loader's dlopen is watched for them). True when any module changed.
bool HookImportInAllModules(const std::string& libraryName, const std::string& procName, void* replacement,
                            void*& original);

// --- method hooks ---

// Sets slot index of the table to replacement and returns the slot's
// previous value; a slot already holding replacement returns the value
// recorded when it was hooked, and nothing changes. 0 before InitHooks.
uintptr_t HookMethod(void** table, int index, void* replacement);
// The recorded value back in the slot; false when the slot was not hooked.
bool UnhookMethod(void** table, int index);

// --- writing code ---

// Copies size bytes to destination, which is made writable for the copy.
bool WriteCode(void* destination, const void* source, size_t size);
// While one lives, the writes of its thread read the process's memory map
// (which costs far more than the write) once, not once each: for a run of
// hooks made together. Each write puts back the protections it changes, so
// the map stays true for the pages written; a write the map does not cover
// reads it again. Nested ones share the outermost one's map.
class TCodeWriteBatch {
public:
    TCodeWriteBatch();
    ~TCodeWriteBatch();
    TCodeWriteBatch(const TCodeWriteBatch&) = delete;
    TCodeWriteBatch& operator=(const TCodeWriteBatch&) = delete;

private:
    bool FOutermost;
};
// A 5-byte relative jump at from to to; false when to is out of its reach.
bool WriteJump(void* from, const void* to);
// Writes value into slot index of the table, only when the slot lies in a loaded module.
void PatchSlot(void** table, int index, void* value);

// Counts, for tests and the report.
size_t ProcedureHookCount();
size_t ImportHookCount();
size_t MethodHookCount();

} // namespace cv
