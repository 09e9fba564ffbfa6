#pragma once
// The C++ runtime's doors of the crash-report core (exception_doors.h): the
// terminate handler, the replaced __cxa_throw and __cxa_begin_catch, and the
// replaced write of a CGI program. What the other door units use of them.

#include <cstddef>
#include <cstdint>

namespace cv {

bool InstallRuntimeDoors();
void RemoveRuntimeDoors();
bool RuntimeDoorsInstalled();

// The return address of the throw of the exception current in this thread
// (in a catch block, or in the terminate handler); 0 when the raise hook did
// not see that throw.
uintptr_t CurrentExceptionThrowAddress();
// A copy of the calling thread's stack from its raise stack pointer to its
// top, kept for the exception at address (the report of an exception that
// was caught, when its stack is gone).
void SaveRaiseStackCopy(uintptr_t address, bool nativeException);
// True while start-up sends one exception through the application door to
// learn where that door catches.
bool ApplicationDoorCalibrating();
// While one lives, the calling thread is inside a door: exceptions the door
// itself catches (reading the current exception) are no program's.
class TDoorScope {
public:
    TDoorScope();
    ~TDoorScope();
    TDoorScope(const TDoorScope&) = delete;
    TDoorScope& operator=(const TDoorScope&) = delete;
};
// Keeps what a CGI program writes to standard output.
void CaptureStandardOutput(const void* data, std::size_t size);

} // namespace cv
