#pragma once
// Double-clicking a call-stack line that has a source line tells the
// development environment that started the program where that line is:
// one message of 376 bytes (docs/ide-location-message.md) written to the
// environment's message slot, named "Crashbox" and its process number.
//
// A message slot here is a named pipe (FIFO) in the user's runtime folder
// ($XDG_RUNTIME_DIR, else the temporary folder), read by whoever listens;
// the message goes in one write (it is shorter than a pipe's atomic size).
// No slot, or nobody reading it, means no message and no error.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "crashreport/core/support/date_time.h"

namespace cv {

inline constexpr std::size_t kSourceLocationMessageSize = 376;
using TSourceLocationMessage = std::array<uint8_t, kSourceLocationMessageSize>;

// The message: an empty text, the unit, class and procedure names (each at
// most 89 bytes and a terminating zero, in fields of 90 bytes), the line
// and the line offset (-1 when not known) as signed 32-bit numbers and the
// module's compilation time (days, 8-byte floating point; 0 when not
// known), all little-endian.
TSourceLocationMessage EncodeSourceLocationMessage(const std::string& unitName, const std::string& className,
                                                   const std::string& procedureName, int32_t line, int32_t offset,
                                                   TDateTime compilationDate);

// The slot of a process: "<runtime folder>/Crashbox<process>".
std::string LocationSlotName(int64_t processId);

// Whether a process is the development environment (the one that listens).
// None exists on this system; tests and a future environment set a test.
using TIDEProcessTest = std::function<bool(int64_t processId)>;
void SetIDEProcessTest(TIDEProcessTest test);

// Sends the location (nothing when lineText is empty): to the slot of the
// parent process when it is the development environment, else to slot 0.
// lineText and offsetText are decimal (offsetText "-1" when not known);
// text that is no number gives 0 (line) or -1 (offset). True when written.
bool SendLocationToIDE(const std::string& lineText, const std::string& unitName, const std::string& className,
                       const std::string& offsetText, TDateTime compilationDate, const std::string& procedureName);

} // namespace cv
