#pragma once
// Following the jumps of import stubs to the routine they stand for.

namespace cv {

// The target of a jump thunk ("FF 25" with its RIP-relative pointer cell, as
// in the program's import stubs; an "endbr64" and a "bnd" prefix before it
// are allowed); any other address is returned as it is.
const void* GetRealProcAddress(const void* address);

} // namespace cv
