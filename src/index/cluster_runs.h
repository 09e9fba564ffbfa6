#pragma once
// The run files of the cluster counts (docs/cluster-runs.md): the counts of
// a table that outgrew its memory, sorted by the clusters' codes, written to
// an unnamed scratch file and read back once by the merge. Sorted records
// share most of their leading codes with the record before, so each is
// written as what differs from it, in variable-length numbers: a run takes
// about a third of the room its records take in the table.

#include "suite/file_system.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace cv {

// What a run counted of one cluster.
struct TClusterRunCounts {
    uint64_t freq = 0;
    uint32_t texts = 0;      // texts of the run it occurs in
    int32_t lastText = -1;   // the last text it occurs in; -1 none known (counted later)
    uint64_t order = 0;      // the how-manieth cluster of the run it was first met as
    bool inStartText = false; // first met in the run's start text
};

// One run, written record by record in increasing order of the codes (no
// two alike), through a buffer, then read back by TClusterRunReader. A full
// disk is told with the system's reason, when the buffer is written. The
// run starts with text `startText`, possibly in its middle: a cluster met
// in that text both before and after the run began is counted in the texts
// of both runs, which the merge takes back (`inStartText`).
class TClusterRunFile {
public:
    // Records of clusters of `size` words (2 to 12); their orders are below
    // `clusters`. The run begins in text `startText`.
    TClusterRunFile(int size, int32_t startText, uint64_t clusters);

    // Makes the scratch file in `folder`. False with the reason.
    bool Create(const QString& folder, QString* error);
    bool Add(std::span<const uint32_t> codes, const TClusterRunCounts& counts, QString* error);
    // Writes what waits in the buffer, and lets the buffer go.
    bool Finish(QString* error);

    int Size() const { return fSize; }
    int32_t StartText() const { return fStartText; }
    // The orders of its records are below this.
    uint64_t Orders() const { return fOrders; }
    int64_t Records() const { return fRecords; }
    int64_t Bytes() const { return fFile ? fFile->Size() : 0; }
    const TScratchFile& File() const { return *fFile; }

    // The most bytes one record takes.
    static constexpr std::size_t kMaxRecordBytes = 1 + 12 * 5 + 10 + 5 + 10 + 8;

private:
    bool Flush(QString* error);
    bool OutOfOrder(QString* error) const;

    int fSize;
    int32_t fStartText;
    uint64_t fOrders;
    int fOrderBytes; // the orders' width: the fewest bytes (1 to 8) that hold `clusters` - 1
    std::unique_ptr<TScratchFile> fFile;
    std::vector<uint8_t> fBuffer;
    std::size_t fUsed = 0;
    uint32_t fPrevious[12] = {};
    int64_t fRecords = 0;

    friend class TClusterRunReader;
};

// Reads the records of a finished run back in order, through a buffer.
class TClusterRunReader {
public:
    // Reads the first record (if any). False with the reason.
    bool Open(const TClusterRunFile& run, QString* error);
    // The record after; Done when there was none.
    bool Next(QString* error);
    bool Done() const { return fDone; }

    // The current record's codes (as many as the run's size) and counts.
    std::span<const uint32_t> Codes() const { return {fCodes, std::size_t(fRun->fSize)}; }
    const TClusterRunCounts& Counts() const { return fCounts; }

private:
    bool Fill(QString* error);
    bool CutShort(QString* error) const;

    const TClusterRunFile* fRun = nullptr;
    int64_t fLeft = 0;
    bool fDone = true;
    std::vector<uint8_t> fBytes;
    std::size_t fAt = 0, fEnd = 0;
    int64_t fOffset = 0; // in the run file, of fBytes[fEnd]
    uint32_t fCodes[12] = {};
    TClusterRunCounts fCounts;
};

} // namespace cv
