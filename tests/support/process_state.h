#pragma once
// The process-wide state a test of a whole run starts from.

namespace cvtest {

// Settings on private memory, reset to their defaults; no lemma or stop
// lists loaded; the word-list tool current; no panic; messages shown (to the
// test's dialogs), none recorded as a failure.
void StartFromDefaults();

} // namespace cvtest
