#pragma once
// Clusters (n-grams) and phrase frames of a corpus index.
//
// A cluster is a run of 2 to 12 words of one text that no boundary at or
// above the "stop at" level divides; every run of the chosen sizes in the
// index is counted, keyed by the type codes of its words (never by their
// spellings), with its frequency, the texts it occurs in and, when asked,
// its dispersion over the index's parts (the word list's DPnorm). Clusters
// below the minimum frequency or number of texts are dropped, and so are
// those holding a number when "#" is to be omitted, those holding a word of
// the stop list when asked, and those holding none of the chosen words
// (every word is chosen unless a selection is given; a word above the
// maximum share of the running words is never chosen).
//
// Each size is counted from one walk over the index's token codes, a
// cluster keyed by its codes side by side (a 2-word cluster is one 64-bit
// number); only the clusters kept are turned into words. The walk scatters
// the places into blocks by a hash of their cluster (a scratch file), so
// that every cluster's places are in one block, and a block's clusters
// are counted in an open-addressed table small enough for the processor's
// caches; the block's places, read again from memory, give the texts and
// dispersion of its clusters kept, and the blocks' clusters are put in the
// order first met. An index of any size is so counted in bounded memory. A
// block whose counts outgrow the table's memory limit has them sorted and
// written to temporary files as runs, merged at its end, to the same
// result. The blocks are counted on the cores the machine leaves idle. The
// texts are read a stretch at a time, whatever their length.
//
// A phrase frame is a cluster with one word left open ("the * of the"): the
// clusters kept that differ in that one place only are its variants. Each
// cluster goes under at most one frame (the frame with the most tokens
// claims it first), and a frame needs two variants.

#include "index/index_files.h"
#include "suite/settings_records.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace cv {

class TCorvantisholder;
class TCVWordList;

struct TClusterOptions {
    int32_t minSize = 3;
    int32_t maxSize = 3;
    int stopLevel = 0;          // as IndexStopLevel gives it
    int64_t minFreq = 3;
    int32_t minTexts = 1;
    double maxPercent = 0;      // words above this share of the running words (percent) are not chosen; 0 no limit
    bool omitNumbers = true;    // leave out clusters holding "#" or a number
    bool omitStopWords = false; // leave out clusters holding a word of the stop list
    bool dispersion = true;
    bool phraseFrames = true;
    int32_t maxSecondsPerWord = 0; // 0 no limit
    // Bytes the counting table of one block of places may take before its
    // counts go to run files; 0: a quarter of a gigabyte, less when the
    // process may address little memory.
    std::size_t tableBytesLimit = 0;
    // The places of a block (their clusters are counted together): more
    // places than this are scattered into blocks of about as many; 0: the
    // default (some hundred thousand).
    int64_t placesPerBlock = 0;
    // Threads the blocks are counted on (the same list on any number); 0:
    // the cores the machine leaves idle, four at most.
    int threads = 0;

    static TClusterOptions FromSettings(const TWordlist_index_settings_rec& rec);
    // A short summary of the options for messages ("3-word clusters, min. frequency 3, ...").
    QString Summary() const;
};

// 32 bytes: a run may hold millions (its entries are most of a cluster
// job's memory).
struct TClusterResult {
    const uint32_t* codesAt = nullptr; // its codes, held by the run (TClusterRun::codeBlocks)
    int64_t freq = 0;
    int32_t texts = 0;
    float dispersion = -1.0f;  // below 0: not computed
    int32_t frame = -1;        // the phrase frame it goes under, -1 none
    uint32_t size = 0;         // its words

    std::span<const uint32_t> codes() const { return {codesAt, size}; }
};
static_assert(sizeof(TClusterResult) == 32);

struct TPhraseFrame {
    std::vector<uint32_t> codes; // the open place holds kFrameSlot
    std::vector<int32_t> variants;
    int64_t freq = 0;
    int32_t texts = 0;
    float dispersion = -1.0f;
};
constexpr uint32_t kFrameSlot = 0xFFFFFFFFu;

// Moved, never copied: its clusters' codes point into its own blocks.
struct TClusterRun {
    TClusterRun() = default;
    TClusterRun(TClusterRun&&) = default;
    TClusterRun& operator=(TClusterRun&&) = default;
    TClusterRun(const TClusterRun&) = delete;
    TClusterRun& operator=(const TClusterRun&) = delete;

    std::vector<TClusterResult> clusters;
    std::vector<std::unique_ptr<uint32_t[]>> codeBlocks; // the clusters' codes, a block per size
    std::vector<TPhraseFrame> frames;
    bool stoppedByTime = false;  // the time allowed ran out: counts cover the texts read until then
    bool cancelled = false;
    int64_t positions = 0;       // cluster places looked at
    std::size_t peakTableBytes = 0; // the largest counting table or index of the clusters kept
    int64_t scratchBytes = 0;       // written to scratch files (the places of the blocks, runs of counts)
};

// Counts the clusters of texts [firstText, lastText] (lastText < 0: to the
// end) of the index. `nodes`: the chosen types (empty: every type);
// `stopTypes`: types of the stop list (may be empty). False, with the
// reason, when the index cannot be read.
bool CountClusters(const TIndexData& index, const std::vector<uint32_t>& nodes, const std::vector<uint8_t>& stopTypes,
                   const TClusterOptions& options, TClusterRun& out, QString* error, int32_t firstText = 0,
                   int32_t lastText = -1);

// The words of a cluster or frame, separated by single spaces ("*" in the open place).
QString ClusterText(const TIndexData& index, std::span<const uint32_t> codes);

// The word list of a run: one entry per cluster (its words, frequency,
// texts, dispersion), the phrase frames as entries with their variants
// joined under them, sorted alphabetically; its totals are the index's
// running words and texts (of the texts the run covered).
std::unique_ptr<TCVWordList> MakeClusterWordList(TCorvantisholder* owner, const TIndexData& index,
                                                 const TClusterRun& run, int64_t runningWords, int32_t texts);

// The same list, taking the run over: a run without phrase frames is shown
// through its own clusters (TWordListRows), the list making no entry for a
// cluster until one is needed; it holds the run and the spellings of the
// index's types, so it may outlive the index. A run with frames is made
// into entries (MakeClusterWordList), its variants joined under them.
std::unique_ptr<TCVWordList> ClusterWordListOfRun(TCorvantisholder* owner, const TIndexData& index, TClusterRun run,
                                                  int64_t runningWords, int32_t texts);

} // namespace cv
