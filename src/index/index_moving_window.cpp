#include "index/index_moving_window.h"

#include "model/check_signature.h"
#include "runtime/progress.h"
#include "suite/cv_stream.h"
#include "suite/wdef.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <limits>

namespace cv {

bool TMovingWindowPlotDataHolder::SavePlotDataToStream(TStream& s) const
{
    TCheckSignature sig;
    sig.SetForSaving(kListMovingWindowPlot, kVersion, ListTypeSignature(kListMovingWindowPlot));
    if (!sig.SaveToStream(s) || !s.WriteI32(Total_Tokens) || !s.WriteI32(WindowWords) || !s.WriteI32(PlannedRuns))
        return false;
    for (int32_t r = 0; r < PlannedRuns; ++r) {
        const std::vector<float>& v = OverlapValues[std::size_t(r)];
        if (!s.WriteCount(int64_t(v.size())))
            return false;
        for (float x : v)
            if (!s.WriteF32(x))
                return false;
        if (!s.WriteF32(OverlapMin[std::size_t(r)]))
            return false;
    }
    if (!s.WriteF32(mean_section_near_overlaps) || !s.WriteF32(mean_section_far_overlaps)
        || !s.WriteF32(sd_section_near_overlaps) || !s.WriteF32(sd_section_far_overlaps)
        || !s.WriteCount(Sections_Info.size()))
        return false;
    for (qsizetype i = 0; i < Sections_Info.size(); ++i)
        if (!WriteAString(s, Sections_Info[i]) || !s.WriteI32(SectionStarts[std::size_t(i)]))
            return false;
    return true;
}

bool TMovingWindowPlotDataHolder::ReadPlotDataFromStream(TStream& s)
{
    TMovingWindowPlotDataHolder d;
    TCheckSignature sig;
    auto fail = [this] {
        Clear();
        return false;
    };
    if (sig.ReadFromStream(s, kVersion) != TSignatureCheck::OK || sig.Kind != kListMovingWindowPlot)
        return fail();
    if (!s.ReadI32(d.Total_Tokens) || !s.ReadI32(d.WindowWords) || !s.ReadI32(d.PlannedRuns) || d.PlannedRuns < 0
        || d.Total_Tokens < 0 || int64_t(d.PlannedRuns) * 8 > s.Remaining())
        return fail();
    d.OverlapValues.resize(std::size_t(d.PlannedRuns));
    d.OverlapMin.resize(std::size_t(d.PlannedRuns));
    for (int32_t r = 0; r < d.PlannedRuns; ++r) {
        int32_t n = 0;
        if (!s.ReadCount(n, 4))
            return fail();
        std::vector<float>& v = d.OverlapValues[std::size_t(r)];
        v.resize(std::size_t(n));
        for (float& x : v)
            if (!s.ReadF32(x))
                return fail();
        if (!s.ReadF32(d.OverlapMin[std::size_t(r)]))
            return fail();
    }
    int32_t sections = 0;
    if (!s.ReadF32(d.mean_section_near_overlaps) || !s.ReadF32(d.mean_section_far_overlaps)
        || !s.ReadF32(d.sd_section_near_overlaps) || !s.ReadF32(d.sd_section_far_overlaps)
        || !s.ReadCount(sections, 9))
        return fail();
    for (int32_t i = 0; i < sections; ++i) {
        QString label;
        int32_t start = 0;
        if (!ReadAString(s, label) || !s.ReadI32(start))
            return fail();
        d.Sections_Info << label;
        d.SectionStarts.push_back(start);
    }
    *this = std::move(d);
    return true;
}

namespace {

struct TMeanSd {
    double sum = 0, sumSq = 0;
    int64_t n = 0;
    void Add(double v)
    {
        sum += v;
        sumSq += v * v;
        ++n;
    }
    float Mean() const { return n > 0 ? float(sum / double(n)) : 0.0f; }
    float Sd() const
    {
        if (n < 2)
            return 0.0f;
        const double m = sum / double(n);
        return float(std::sqrt(std::max(0.0, (sumSq - double(n) * m * m) / double(n - 1))));
    }
};

} // namespace

bool MovingWindowsFit(int64_t runningWords, int64_t windowWords)
{
    return windowWords > 0 && runningWords / windowWords >= kMovingWindowsForALine;
}

int32_t MovingWindowThatFits(int64_t runningWords)
{
    constexpr int64_t kWindowsWanted = 10;
    const int64_t words = std::min<int64_t>(runningWords / kWindowsWanted / 100 * 100, std::numeric_limits<int32_t>::max());
    const int64_t window = std::max<int64_t>(kMovingWindowWordsMin, words);
    return MovingWindowsFit(runningWords, window) ? int32_t(window) : 0;
}

bool ComputeMovingWindow(const TIndexData& index, const TMovingWindowSettings& settings,
                         TMovingWindowPlotDataHolder& out, QString* error)
{
    out.Clear();
    const int64_t W = std::max<int64_t>(1, settings.WindowWords);
    const int32_t runs = std::clamp(settings.Runs, 1, 64);
    const int64_t total = index.RunningWords();
    out.Total_Tokens = int32_t(std::min<int64_t>(total, std::numeric_limits<int32_t>::max()));
    out.WindowWords = int32_t(W);
    out.PlannedRuns = runs;
    out.OverlapValues.assign(std::size_t(runs), {});
    out.OverlapMin.assign(std::size_t(runs), 0.0f);

    // Per run: the window each type was last met in, and the current window's counts.
    struct TRun {
        int64_t offset = 0;
        int64_t window = -1;
        int64_t distinct = 0, shared = 0, previousDistinct = 0;
        std::vector<int64_t> lastWindow;
    };
    const std::size_t codeCount = index.types.size() + kIndexFirstTypeCode;
    std::vector<TRun> state(static_cast<std::size_t>(runs));
    for (int32_t r = 0; r < runs; ++r) {
        state[std::size_t(r)].offset = int64_t(r) * W / runs;
        state[std::size_t(r)].lastWindow.assign(codeCount, -1);
    }
    // Section starts, in running words.
    std::vector<int64_t> sectionStarts;
    int64_t word = 0;
    auto closeWindow = [&](TRun& s, int32_t r) {
        if (s.window >= 1) {
            const int64_t uni = s.distinct + s.previousDistinct - s.shared;
            out.OverlapValues[std::size_t(r)].push_back(uni > 0 ? float(double(s.shared) / double(uni)) : 0.0f);
        }
        s.previousDistinct = s.distinct;
        s.distinct = s.shared = 0;
    };
    QString why;
    bool cancelled = false;
    TProgressSteps steps;
    const bool ok = WalkIndexTexts(
        index,
        [&](int32_t t, std::span<const uint32_t> codes, std::span<const uint8_t> levels) {
            const TIndexText& text = index.texts[std::size_t(t)];
            const QString name = text.stats.ZipEntryName.isEmpty() ? text.stats.FileName : text.stats.ZipEntryName;
            out.Sections_Info << QStringLiteral("<%1>").arg(name);
            sectionStarts.push_back(word);
            const std::span<const TIndexMarkup> marks = index.TextMarkup(t);
            std::size_t m = 0;
            int sectionInText = 0;
            for (std::size_t i = 0; i < codes.size(); ++i) {
                if ((i & 0xFFFF) == 0 && !steps.Step(word, total)) {
                    cancelled = true;
                    return false;
                }
                const uint32_t c = codes[i];
                if (c == kIndexCodeNumber)
                    continue;
                if (i > 0 && levels[i] >= 5) {
                    while (m < marks.size() && marks[m].token < text.firstToken + int64_t(i))
                        ++m;
                    const uint16_t tag = m < marks.size() && marks[m].token == text.firstToken + int64_t(i) ? marks[m].tag : 0;
                    const QString label = tag > 0 && tag <= index.tagTexts.size() ? index.tagTexts[tag - 1]
                                                                                  : QStringLiteral("<%1 %2>").arg(name).arg(++sectionInText + 1);
                    out.Sections_Info << label;
                    sectionStarts.push_back(word);
                }
                for (int32_t r = 0; r < runs; ++r) {
                    TRun& s = state[std::size_t(r)];
                    if (word < s.offset)
                        continue;
                    const int64_t w = (word - s.offset) / W;
                    if (w != s.window) {
                        if (s.window >= 0)
                            closeWindow(s, r);
                        s.window = w;
                    }
                    if (c < kIndexFirstTypeCode)
                        continue;
                    int64_t& last = s.lastWindow[c];
                    if (last == w)
                        continue;
                    s.shared += last == w - 1;
                    ++s.distinct;
                    last = w;
                }
                ++word;
            }
            return true;
        },
        &why, &cancelled);
    if (!ok || cancelled) {
        if (error)
            *error = cancelled ? QStringLiteral("The moving-window analysis was stopped.") : why;
        out.Clear();
        return false;
    }
    // The last window of a run counts only when it is whole.
    for (int32_t r = 0; r < runs; ++r) {
        TRun& s = state[std::size_t(r)];
        if (s.window >= 0 && s.offset + (s.window + 1) * W <= total)
            closeWindow(s, r);
    }

    TMeanSd near, far;
    for (int32_t r = 0; r < runs; ++r) {
        const std::vector<float>& v = out.OverlapValues[std::size_t(r)];
        out.OverlapMin[std::size_t(r)] = v.empty() ? 0.0f : *std::min_element(v.begin(), v.end());
        for (std::size_t k = 0; k < v.size(); ++k) {
            // Value k compares windows k and k + 1 of the run.
            const int64_t from = state[std::size_t(r)].offset + int64_t(k) * W;
            const int64_t to = from + 2 * W;
            const bool isNear = std::any_of(sectionStarts.begin(), sectionStarts.end(),
                                            [&](int64_t s) { return s > 0 && s > from && s < to; });
            (isNear ? near : far).Add(v[k]);
        }
    }
    out.mean_section_near_overlaps = near.Mean();
    out.sd_section_near_overlaps = near.Sd();
    out.mean_section_far_overlaps = far.Mean();
    out.sd_section_far_overlaps = far.Sd();
    for (int64_t s : sectionStarts)
        out.SectionStarts.push_back(int32_t(std::min<int64_t>(s, std::numeric_limits<int32_t>::max())));
    return true;
}

QString MovingWindowText(const TMovingWindowPlotDataHolder& d, const QString& title)
{
    QString s;
    QTextStream ts(&s);
    ts << "Moving window\t" << title << '\n';
    ts << "Running words\t" << d.Total_Tokens << '\n';
    ts << "Window words\t" << d.WindowWords << '\n';
    ts << "Runs\t" << d.PlannedRuns << '\n';
    ts << "Mean overlap near sections\t" << QString::number(d.mean_section_near_overlaps, 'f', 4) << '\t'
       << QString::number(d.sd_section_near_overlaps, 'f', 4) << '\n';
    ts << "Mean overlap elsewhere\t" << QString::number(d.mean_section_far_overlaps, 'f', 4) << '\t'
       << QString::number(d.sd_section_far_overlaps, 'f', 4) << '\n';
    ts << '\n' << "Run\tWindow\tFirst word\tLast word\tOverlap\n";
    for (int32_t r = 0; r < d.PlannedRuns; ++r) {
        const int64_t offset = int64_t(r) * d.WindowWords / std::max(1, d.PlannedRuns);
        const std::vector<float>& v = d.OverlapValues[std::size_t(r)];
        for (std::size_t k = 0; k < v.size(); ++k) {
            const int64_t first = offset + int64_t(k + 1) * d.WindowWords;
            ts << r + 1 << '\t' << k + 2 << '\t' << first + 1 << '\t' << first + d.WindowWords << '\t'
               << QString::number(v[k], 'f', 4) << '\n';
        }
    }
    ts << '\n' << "Section\tFirst word\n";
    for (qsizetype i = 0; i < d.Sections_Info.size(); ++i)
        ts << d.Sections_Info[i] << '\t' << d.SectionStarts[std::size_t(i)] + 1 << '\n';
    ts.flush();
    return s;
}

QStringList MovingWindowFileNames(const QString& indexBase, const TMovingWindowSettings& settings)
{
    const QFileInfo base(indexBase);
    const QString folder = settings.Folder.isEmpty() ? base.absolutePath() : settings.Folder;
    const QString stem = QDir(folder).filePath(base.fileName() + QStringLiteral("_moving_window"));
    return {stem + QStringLiteral(".plotdata"), stem + QStringLiteral(".txt")};
}

} // namespace cv
