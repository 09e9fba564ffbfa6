#include "index/cluster_runs.h"

#include "index/index_files.h"

#include <algorithm>
#include <cstring>

namespace cv {

namespace {

// The first byte of a record: how many leading codes it shares with the
// record before, and which of the counts differ from what most clusters have.
constexpr uint8_t kSharedMask = 0x0F;
constexpr uint8_t kInStartText = 0x10;
constexpr uint8_t kFreqFollows = 0x20;  // else a frequency of 1
constexpr uint8_t kTextsFollows = 0x40; // else 1 text
constexpr uint8_t kLastFollows = 0x80;  // else no last text (-1)

constexpr std::size_t kBufferBytes = std::size_t(1) << 18;

uint64_t ZigZag(int64_t v) { return (uint64_t(v) << 1) ^ uint64_t(v >> 63); }
int64_t UnZigZag(uint64_t v) { return int64_t(v >> 1) ^ -int64_t(v & 1); }

int BytesFor(uint64_t v)
{
    int n = 1;
    while (n < 8 && (v >> (8 * n)) != 0)
        ++n;
    return n;
}

} // namespace

TClusterRunFile::TClusterRunFile(int size, int32_t startText, uint64_t clusters)
    : fSize(std::clamp(size, 1, 12)), fStartText(startText), fOrders(clusters),
      fOrderBytes(BytesFor(clusters > 0 ? clusters - 1 : 0))
{
}

bool TClusterRunFile::Create(const QString& folder, QString* error)
{
    fFile = std::make_unique<TScratchFile>();
    fBuffer.resize(kBufferBytes);
    fUsed = 0;
    fRecords = 0;
    return fFile->Create(folder, error);
}

bool TClusterRunFile::Add(std::span<const uint32_t> codes, const TClusterRunCounts& counts, QString* error)
{
    if (fBuffer.size() - fUsed < kMaxRecordBytes && !Flush(error))
        return false;
    // The leading codes shared with the record before (none for the first).
    std::size_t shared = 0;
    if (fRecords > 0) {
        while (shared < std::size_t(fSize) && codes[shared] == fPrevious[shared])
            ++shared;
        if (shared == std::size_t(fSize) || codes[shared] < fPrevious[shared])
            return OutOfOrder(error);
    }
    if (fOrderBytes < 8 && counts.order >> (8 * fOrderBytes) != 0)
        return OutOfOrder(error);
    uint8_t* const start = fBuffer.data() + fUsed;
    uint8_t* p = start;
    *p++ = uint8_t(shared) | (counts.inStartText ? kInStartText : 0) | (counts.freq != 1 ? kFreqFollows : 0)
        | (counts.texts != 1 ? kTextsFollows : 0) | (counts.lastText != -1 ? kLastFollows : 0);
    // The first code that differs as its rise over the one before, the rest as they are.
    p = PutVarint(p, codes[shared] - fPrevious[shared]);
    for (std::size_t j = shared + 1; j < std::size_t(fSize); ++j)
        p = PutVarint(p, codes[j]);
    std::copy(codes.begin() + std::ptrdiff_t(shared), codes.begin() + fSize, fPrevious + shared);
    if (counts.freq != 1)
        p = PutVarint(p, counts.freq);
    if (counts.texts != 1)
        p = PutVarint(p, counts.texts);
    if (counts.lastText != -1)
        p = PutVarint(p, ZigZag(int64_t(counts.lastText) - fStartText));
    for (int b = 0; b < fOrderBytes; ++b)
        *p++ = uint8_t(counts.order >> (8 * b));
    fUsed += std::size_t(p - start);
    ++fRecords;
    return true;
}

bool TClusterRunFile::OutOfOrder(QString* error) const
{
    if (error)
        *error = QStringLiteral("Cannot write %1: the counts come out of order").arg(fFile->FileName());
    return false;
}

bool TClusterRunFile::Flush(QString* error)
{
    if (fUsed > 0 && !fFile->Append(fBuffer.data(), int64_t(fUsed), error))
        return false;
    fUsed = 0;
    return true;
}

bool TClusterRunFile::Finish(QString* error)
{
    if (!Flush(error))
        return false;
    fBuffer = {};
    return true;
}

bool TClusterRunReader::Open(const TClusterRunFile& run, QString* error)
{
    fRun = &run;
    fLeft = run.fRecords;
    fBytes.resize(kBufferBytes);
    fAt = fEnd = 0;
    fOffset = 0;
    std::fill(std::begin(fCodes), std::end(fCodes), 0u);
    return Next(error);
}

bool TClusterRunReader::Fill(QString* error)
{
    std::memmove(fBytes.data(), fBytes.data() + fAt, fEnd - fAt);
    fEnd -= fAt;
    fAt = 0;
    const int64_t n = std::min(int64_t(fBytes.size() - fEnd), fRun->Bytes() - fOffset);
    if (n <= 0)
        return true;
    if (!fRun->fFile->ReadAt(fOffset, fBytes.data() + fEnd, n, error))
        return false;
    fOffset += n;
    fEnd += std::size_t(n);
    return true;
}

bool TClusterRunReader::CutShort(QString* error) const
{
    if (error)
        *error = QStringLiteral("Cannot read file \"%1\": the file is cut short").arg(fRun->fFile->FileName());
    return false;
}

bool TClusterRunReader::Next(QString* error)
{
    fDone = fLeft == 0;
    if (fDone)
        return true;
    if (fEnd - fAt < TClusterRunFile::kMaxRecordBytes && !Fill(error))
        return false;
    const uint8_t* p = fBytes.data() + fAt;
    const uint8_t* const end = fBytes.data() + fEnd;
    if (p == end)
        return CutShort(error);
    const uint8_t head = *p++;
    const std::size_t size = std::size_t(fRun->fSize);
    const std::size_t shared = head & kSharedMask;
    if (shared >= size)
        return CutShort(error);
    uint64_t v = 0;
    if (!GetVarint(p, end, v))
        return CutShort(error);
    fCodes[shared] += uint32_t(v);
    for (std::size_t j = shared + 1; j < size; ++j) {
        if (!GetVarint(p, end, v))
            return CutShort(error);
        fCodes[j] = uint32_t(v);
    }
    fCounts.inStartText = (head & kInStartText) != 0;
    fCounts.freq = 1;
    fCounts.texts = 1;
    fCounts.lastText = -1;
    if ((head & kFreqFollows) != 0) {
        if (!GetVarint(p, end, v))
            return CutShort(error);
        fCounts.freq = v;
    }
    if ((head & kTextsFollows) != 0) {
        if (!GetVarint(p, end, v))
            return CutShort(error);
        fCounts.texts = uint32_t(v);
    }
    if ((head & kLastFollows) != 0) {
        if (!GetVarint(p, end, v))
            return CutShort(error);
        fCounts.lastText = int32_t(UnZigZag(v) + fRun->fStartText);
    }
    if (end - p < fRun->fOrderBytes)
        return CutShort(error);
    fCounts.order = 0;
    for (int b = 0; b < fRun->fOrderBytes; ++b)
        fCounts.order |= uint64_t(*p++) << (8 * b);
    fAt = std::size_t(p - fBytes.data());
    --fLeft;
    return true;
}

} // namespace cv
