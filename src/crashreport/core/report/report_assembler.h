#pragma once
// The report's assembler listing around the exception address and its CPU
// block (registers, stack and memory dump), from the process's memory and
// the x86-64 registers of the exception's context.
//
// The listing: ten instructions before the exception address and up to ten
// after it (ending early after a return), within 70 bytes on either side and
// only where memory is readable. Each line is the address (16 hexadecimal
// digits), two blanks and the instruction, and, aligned in one column, a
// comment: the procedure a jump or call goes to, the object or text an
// address or immediate points to, and "<-- EXCEPTION" on the faulting
// line. Where the source position changes, comment lines name it:
//
//   ; report_text.TReport.Build (Line=30 - Offset=2)
//   ; -----------------------------------------------
//   0000000000401A27  mov     rax, qword ptr [rbp-$08]
//   0000000000401A2B  mov     dword ptr [rax], edx      ; <-- EXCEPTION

#include <cstdint>
#include <string>
#include <vector>

#include <ucontext.h>

#include "crashreport/core/capture/known_registers.h"
#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/report/report_process.h"

namespace cv {

// The listing's lines without line breaks; none when the exception
// address cannot be read.
std::vector<std::string> AssemblerListingLines(const TReportProcessView& process, uintptr_t exceptionAddress);

// The CPU block: the registers' caption and rule, the registers (all as
// "????" without a readable context, each unknown one so with a context
// that knows only some), then the stack and memory dump
// captions and, when 128 bytes at the stack pointer and 256 at the
// exception address can be read, sixteen dump lines: a stack slot's
// address and value, then 16 bytes from the exception address on in
// hexadecimal and as characters.
std::string CPUBlock(const TCrashboxModuleOptions& options, const TReportProcessView& process, const ucontext_t* context,
                     uintptr_t exceptionAddress);

} // namespace cv
