#pragma once
// File descriptors held back for a report. A program that has used up its
// descriptor table (a leak of files, a corpus of many thousand texts) would
// otherwise leave its report no file to read, write or rename, nor a
// socket to send it by: the report would be lost without a word. Two sets
// are held from start-up on, as descriptors of "/dev/null" (close-on-exec):
// one let go when a report begins (its reading of the process), one when
// the report is stored (the log, its new file, the reporter's request);
// both taken again when the report is done, as far as the table allows.

namespace cv {

enum class TDescriptorUse { Reading, Saving };

// Holds the set back (again); what is held already stays.
void HoldDescriptors(TDescriptorUse use);
// Lets the set go for the report.
void ReleaseDescriptors(TDescriptorUse use);
// How many of the set are held now.
int HeldDescriptors(TDescriptorUse use);

} // namespace cv
