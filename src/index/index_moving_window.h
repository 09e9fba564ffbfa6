#pragma once
// Moving windows over a corpus index: how much the vocabulary of each
// stretch of the corpus overlaps with the stretch just before it.
//
// The running words of the index (its texts one after another) are cut
// into windows of W words. A window's overlap is the Jaccard coefficient of
// its set of types and the set of the window before it:
//   overlap = |types(k) ∩ types(k-1)| / |types(k) ∪ types(k-1)|
// so the first window of a run has no value and a run of K whole windows
// has K-1. Several runs are made, run r starting r * W / runs words in, so
// that the plot shows the same series shifted by a fraction of a window.
// Sections are the texts and the section breaks inside them; a value is
// "near" a section when a section starts inside the two windows it
// compares (the very start of the corpus not counted), and the means and
// standard deviations of the near and the far values are kept.
//
// The series is saved as a ".plotdata" file (docs/plotdata-file.md) that
// TMovingWindowPlotDataHolder reads back for the plot view, and as a text
// file of tab-separated lines.

#include "index/index_files.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace cv {

class TStream;

// The smallest window the analysis takes.
constexpr int32_t kMovingWindowWordsMin = 100;
// The plot draws a line once its first run has two values, that is three
// whole windows; a corpus shorter than that gives an empty plot.
constexpr int64_t kMovingWindowsForALine = 3;

// Whether windows of that many words give a corpus of that many running
// words a plot with a line.
bool MovingWindowsFit(int64_t runningWords, int64_t windowWords);
// A window for a corpus too short for the one asked: whole hundreds of
// words, about ten windows to the corpus; 0 when not even windows of the
// smallest size fit.
int32_t MovingWindowThatFits(int64_t runningWords);

struct TMovingWindowSettings {
    int32_t WindowWords = 15000; // running words per window
    int32_t Runs = 4;            // runs, each shifted by WindowWords / Runs
    QString Folder;              // where the files go; empty: beside the index
};

class TMovingWindowPlotDataHolder {
public:
    static constexpr int32_t kVersion = 1;

    TMovingWindowPlotDataHolder() = default;

    int32_t Total_Tokens = 0;    // running words of the index
    int32_t WindowWords = 0;
    int32_t PlannedRuns = 0;
    std::vector<std::vector<float>> OverlapValues; // per run, one value per window (from its second)
    std::vector<float> OverlapMin;                 // per run
    float mean_section_near_overlaps = 0;
    float mean_section_far_overlaps = 0;
    float sd_section_near_overlaps = 0;
    float sd_section_far_overlaps = 0;
    // Per section its label, with the running-word number where it starts.
    QStringList Sections_Info;
    std::vector<int32_t> SectionStarts;

    // Reads a ".plotdata" stream from its current position; false (the
    // holder left empty) when it is cut short, damaged or of a newer version.
    bool ReadPlotDataFromStream(TStream& s);
    bool SavePlotDataToStream(TStream& s) const;
    void Clear() { *this = TMovingWindowPlotDataHolder(); }

    friend bool operator==(const TMovingWindowPlotDataHolder&, const TMovingWindowPlotDataHolder&) = default;
};

// Computes the series of an index. False, with the reason, when the index
// cannot be read or the job was stopped.
bool ComputeMovingWindow(const TIndexData& index, const TMovingWindowSettings& settings,
                         TMovingWindowPlotDataHolder& out, QString* error);

// The tab-separated text form of a series (header lines, one line per value, the sections).
QString MovingWindowText(const TMovingWindowPlotDataHolder& data, const QString& title);

// The two files of the analysis of an index: "<name>_moving_window.plotdata"
// and "<name>_moving_window.txt" in the settings' folder (else the index's).
QStringList MovingWindowFileNames(const QString& indexBase, const TMovingWindowSettings& settings);

} // namespace cv
