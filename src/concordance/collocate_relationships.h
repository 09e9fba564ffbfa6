#pragma once
// Association scores of collocates: how strongly each collocate is tied to
// the search word it was found near, measured against the frequencies of a
// reference word list.
//
// For each collocate row the eleven scores of the statistics module
// (maths/statistics.h, the same routines the corpus index's relationships use)
// are computed from
//   f_AB  the collocate's count near the node, in the column chosen for it
//         (both sides, one side, or one position),
//   f_A   the node's frequency: the lines of the row's search word (all
//         lines for rows counted over every search word), since f_AB was
//         counted in exactly those lines,
//   f_B   the collocate's frequency in the reference word list (its case
//         variants and the forms joined under it added up); a collocate the
//         list lacks counts as f_AB, the least it can be,
//   N     the reference list's running words,
//   S     the word positions the chosen column looks at per line.
// The scores go into the rows' score slots; optionally every figure behind
// them is written to a ".details.txt" file (docs/collocate-details.md).

#include "maths/statistics.h"
#include "suite/settings_records.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace cv {

class TCollocateList;
class TCVWordList;
struct TCollocateEntryRec32;

// What a computation of collocate relationships came to.
struct TCollocateRelationshipChoices {
    bool result = false;  // the scores were computed
    QString failure;      // why not, for the message
    int32_t scored = 0;   // rows that got scores
};

struct TCollocateRelationshipOptions {
    // When not empty, the figures behind every score are written there.
    QString detailsFileName;
    // Named in the details file.
    QString referenceName;
    // Language of the documents' words (case folding for the look-up).
    uint32_t languageId = 0x0809;
};

// The node side: lines kept per search word and the search words' texts.
struct TCollocateNodes {
    std::vector<int32_t> linesPerSearchWord;
    int64_t allLines = 0;
    QStringList searchWords;
};

// The column whose counts are the joint frequency, and the positions it spans.
struct TJointColumn {
    enum TKind : uint8_t { kBothSides, kLeft, kRight, kPosition };
    TKind kind = kBothSides;
    int position = -1; // the word position of kPosition
    int span = 0;      // S
    QString caption;   // "total", "left", "right", "L2", ...
};
// The joint-frequency column a preferred grid column stands for under the
// horizons; columns that are no count column, and the centre, give "total".
TJointColumn JointColumnFor(const TCollocateList& list, int32_t preferredColumn, Tdouble_smallint_type horizons);
// The row's count in that column (the centre never counts toward "total").
int64_t JointFrequency(const TCollocateEntryRec32& row, const TJointColumn& column, uint8_t spanLeft);

// Fills the eleven scores of every collocate row. False (with the reason in
// choices.failure) when the list is empty, the horizons span no word, or the
// reference list has no running words; the rows are then left as they were.
// A details file that cannot be written is reported in choices.failure but
// does not undo the scores.
bool ComputeCollocateRelationships(TCollocateList& collocates, const TCVWordList& reference, int64_t referenceTokens,
                                   TCollocateRelationshipChoices& choices, const TCollocateRelationshipOptions& options,
                                   int32_t preferredColumn, Tdouble_smallint_type horizons,
                                   const TCollocateNodes& nodes);

// The scores of a row as the statistics module hands them.
TAssociationScores ScoresOf(const TCollocateEntryRec32& row);
// Whether a row's scores pass the minimum thresholds of the checks; every
// row passes when the checks are off.
bool PassesRelationshipThresholdTests(const TCollocateEntryRec32& row, const TConcgramMutualChecks& checks);
// "Dice >= 0.5, MI >= 3 ..." of the thresholds in force; empty when the checks are off.
QString RelationshipThresholdsText(const TConcgramMutualChecks& checks);

} // namespace cv
