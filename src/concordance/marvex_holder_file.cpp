// Part of T_WholeMarvexHolder (concordance/marvex_holder.h), whose members
// stand in files by topic: its ".cnc" file (docs/cnc-file.md). After the
// envelope of every saved result, the settings record, the texts with lines,
// the notes, the text settings, the saved tags, the search words, the lines
// with their colour block, the texts without lines, and the derived lists
// whose work-done flags (kept in the settings record) are set.

#include "concordance/marvex_holder.h"

#include "runtime/progress.h"
#include "suite/cv_globals.h"
#include "suite/cv_stream.h"
#include "suite/cvbuf.h"
#include "suite/window_messages.h"

#include <QFileInfo>

namespace cv {

namespace {

// Clears the grids' busy switch on the way out of a read, whatever happened.
struct TBusyOff {
    ~TBusyOff() { Global_Busy_Dont_Show_Data = false; }
};

constexpr int32_t kMinTagRecordBytes = TStoredTagRec::kOldFixedSize + 2 * 6 + 1;

} // namespace

void T_WholeMarvexHolder::WorkDoneFromSettings()
{
    work_done.Plot_computed = fSettings.PlotComputed();
    work_done.Clusters_computed = fSettings.ClustersComputed();
    work_done.Patterns_computed = fSettings.PatternsComputed();
    work_done.Collocates_computed = fSettings.CollocatesComputed();
    work_done.Association_computed = fSettings.AssociationComputed();
    work_done.Timeline_computed = fSettings.TimelineComputed();
}

void T_WholeMarvexHolder::WorkDoneToSettings()
{
    fSettings.SetPlotComputed(work_done.Plot_computed);
    fSettings.SetClustersComputed(work_done.Clusters_computed);
    fSettings.SetPatternsComputed(work_done.Patterns_computed);
    fSettings.SetCollocatesComputed(work_done.Collocates_computed);
    fSettings.SetAssociationComputed(work_done.Association_computed);
    fSettings.SetTimelineComputed(work_done.Timeline_computed);
}

bool T_WholeMarvexHolder::ReadInConcSettRec(TStream& s, int32_t holderVersion)
{
    // Every document version so far stores the record's 2,580 bytes; a
    // record of an earlier layout of our own fields is converted to the
    // current one (docs/settings-buffer.md).
    if (holderVersion < 1)
        return false;
    TConcSettingsRec32 r;
    if (!s.ReadExact(r.Bytes().data(), int64_t(r.Bytes().size())))
        return false;
    r.ConvertToCurrentLayout();
    fSettings = r;
    return true;
}

// ---------------------------------------------------------------------------
// Saved tags (block 5)

bool T_WholeMarvexHolder::SaveArrayOfSavedTags(TStream& s)
{
    fTagFileTagsVersion = std::max(fTagFileTagsVersion, 1);
    if (!s.WriteI32(kSavedTagsMarker) || !s.WriteI32(int32_t(fArrayOfSavedTags.size()))
        || !s.WriteI32(fTagFileTagsVersion))
        return false;
    try {
        for (const TVisibleTagRec& t : fArrayOfSavedTags)
            if (!t.stored.SaveToStream(s) || !s.WriteBool(t.sem_colorir))
                return false;
    } catch (...) {
        return false;
    }
    return true;
}

bool T_WholeMarvexHolder::ReadArrayOfSavedTags(TStream& s)
{
    int32_t first = 0;
    if (!s.ReadI32(first))
        return false;
    DataHasColourTags = false;
    int32_t count = first;
    int32_t version = fTagFileTagsVersion;
    if (first == kSavedTagsMarker && (!s.ReadI32(count) || !s.ReadI32(version)))
        return false;
    // A count that could not fit in the rest of the stream is damage.
    if (count < 0 || int64_t(count) * kMinTagRecordBytes > s.Remaining())
        return false;
    const bool oldLayout = version < 1;
    std::vector<TVisibleTagRec> tags;
    bool ok = true;
    try {
        for (int32_t k = 0; k < count && ok; ++k) {
            TVisibleTagRec r;
            uint8_t sem = 0;
            ok = r.stored.ReadFromStream(s, oldLayout) && s.ReadU8(sem);
            if (!ok)
                break;
            r.sem_colorir = sem != 0;
            // Equal colours would hide the tag: it takes the style's tag colours.
            if (r.stored.foreground_colour == r.stored.background_colour) {
                r.stored.foreground_colour = kDefaultTagForeground;
                r.stored.background_colour = kDefaultTagBackground;
            }
            if (r.stored.foreground_colour != kDefaultTagForeground
                || r.stored.background_colour != kDefaultTagBackground)
                DataHasColourTags = true;
            if (!r.stored.tag.isEmpty())
                tags.push_back(std::move(r));
        }
    } catch (...) {
        ok = false;
    }
    if (ok) {
        fArrayOfSavedTags = std::move(tags);
        fTagFileTagsVersion = version;
    }
    SetTagStringOnlyMarks();
    return ok;
}

// ---------------------------------------------------------------------------
// Writing

bool T_WholeMarvexHolder::SaveToStream(TStream& s)
{
    CorvantisHolderMainListCount(fConcordanceList->Count());
    if (!TCorvantisholder::SaveToStream(s))
        return false;
    try {
        fCollocateList->RaiseVersionTo(13);
        fSettings.SetStoredFormatLevel(kStoredFormatLevel);
        fSettings.SetLinesCarryTagFlags(true);
        WorkDoneToSettings();
        fStoredFormatLevel = kStoredFormatLevel;
        bool ok = s.WriteBytes(fSettings.Bytes()) && fTextFilesWithSearchWord->SaveToStream(s) && SavedNotes(s)
            && SavedTextSettings(s) && SaveArrayOfSavedTags(s) && fSWs->SaveToStream(s);
        if (ok) {
            fConcordanceList->RaiseVersionTo(kCurrentLinesVersion);
            ok = fConcordanceList->SaveToStream(s) && fTextFilesWithoutSearchWord->SaveToStream(s);
        }
        if (ok && work_done.Clusters_computed)
            ok = fClusterList->SaveToStream(s);
        if (ok && work_done.Collocates_computed)
            ok = fCollocateList->SaveToStream(s);
        if (ok && work_done.Plot_computed) {
            fConcPlotList->RaiseVersionTo(21);
            ok = fConcPlotList->SaveToStream(s);
        }
        if (ok && work_done.Patterns_computed) {
            fPatternsList->RaiseVersionTo(11);
            ok = fPatternsList->SaveToStream(s);
        }
        if (ok && work_done.Timeline_computed)
            ok = fTimeLineList->SaveToStream(s);
        return ok;
    } catch (...) {
        return false;
    }
}

// ---------------------------------------------------------------------------
// Reading

bool T_WholeMarvexHolder::ReadWholeFromStream(TStream& s)
{
    TBusyOff busyOff;
    // Only a concordance document reads a concordance file.
    if (fDocumentKind != kListConcordance) {
        SetReadError(kReadWrongKind, QStringLiteral("only a concordance can read a concordance file"));
        return false;
    }
    if (!TCorvantisholder::ReadWholeFromStream(s))
        return false;
    if (DiskFileType() != kListConcordance || MainFile.ListType != kListConcordance) {
        SetReadError(kReadWrongKind, QStringLiteral("it holds no concordance"));
        MainFile.ListType = fDocumentKind;
        return false;
    }
    bool ok = false;
    try {
        ok = ReadBlocksAfterEnvelope(s);
    } catch (...) {
        ok = false;
    }
    SetUnicode(fUnicode);
    NoteFileRead(ok);
    if (!ok)
        SetReadError(kReadDamaged, QStringLiteral("the file is cut short or damaged"));
    return ok;
}

bool T_WholeMarvexHolder::ReadBlocksAfterEnvelope(TStream& s)
{
    fCV4data = false;
    if (!ReadInConcSettRec(s, CorvantisHolderVersionNumber()))
        return false;
    WorkDoneFromSettings();
    if (fSettings.Reserved1772() == 0)
        fSettings.SetReserved1772(GetConcSaveRec().Reserved1772());

    if (!fTextFilesWithSearchWord->ReadFromStream(s))
        return false;
    AtLeastOneTextFileInPlace(fTextFilesWithSearchWord->fTextFilesStillInPlace);
    MyYieldProcess();
    if (!ReadNotes(s))
        return false;
    MyYieldProcess();
    if (!ReadTextSettings(s))
        return false;
    MyYieldProcess();
    if (!ReadArrayOfSavedTags(s))
        return false;
    MyYieldProcess();

    SetConcSaveRec(fSettings);
    fCollocateList->ComputeLeftAndRightSpan(fSettings);
    fStoredFormatLevel = fSettings.StoredFormatLevel();
    SetCVBaseListsLCIDToTextSettingsLCID();
    GlobalProgress().ProgressShortMessage(ftextsettings.LanguageName());
    plot_options.rowsBySearchWord = fSettings.PlotRowsBySearchWord();
    if (fStoredFormatLevel > 0) {
        if (!fSWs->ReadFromStream(s))
            return false;
        fTagFlagsByte = fSettings.LinesCarryTagFlags() ? 1 : 0;
    } else {
        // Files without a search-word block hold their one search word in the settings.
        fTagFlagsByte = 0;
        fSWs->Clear();
        fSWs->AddedSearchWords(fSettings.SearchWord());
    }
    fSearchWordHasPairedTags.clear();
    if (fTagFlagsByte == 0)
        for (const QString& plain : fSWs->PlainSearchWords())
            fSearchWordHasPairedTags.push_back(ContainsPairedTagMarkup(plain, ftextsettings));
    LinkLists();

    // Block 7: the lines, then their colour block.
    TConcordanceReadContext& rc = fConcordanceList->ReadContext;
    rc.textCount = fTextFilesWithSearchWord->Count();
    rc.textFileSize = [this](int32_t n) -> int64_t {
        // Text numbers are 1-based; a damaged line may carry any number.
        const int i = fTextFilesWithSearchWord->IndexOfTextNumber(n);
        if (i < 0)
            return -1;
        const QFileInfo f(fTextFilesWithSearchWord->Record(i).FullFilename);
        return f.isFile() ? f.size() : -1;
    };
    rc.linesCarryTagFlags = fTagFlagsByte != 0;
    rc.searchWordHasTag = fSearchWordHasPairedTags;
    if (!fConcordanceList->ReadFromStream(s))
        return false;
    fCV4data = fConcordanceList->fHoldsOldLayoutLines;
    fConcordanceList->ConvertAllLines(fUnicode);
    fConcordanceList->FillMissingPercentages([this](int32_t n) { return WordsOfText(n); });
    fTextFilesWithSearchWord->EnsureOrderTableAllocated();
    LinkLists();
    if (fCV4data) {
        // Lines of the oldest layout come without anything derived from them.
        HasAllDataFields = false;
        work_done = {};
        return true;
    }

    if (fConcordanceList->GetVersionNumber() >= 15 && !fTextFilesWithoutSearchWord->ReadFromStream(s))
        return false;
    if (work_done.Clusters_computed) {
        if (!fClusterList->ReadFromStream(s))
            return false;
        if (fClusterList->GetVersionNumber() <= 10)
            fClusterList->SetClusterLengths();
    }
    if (work_done.Collocates_computed && !fCollocateList->ReadFromStream(s))
        return false;
    if (work_done.Plot_computed) {
        if (!fConcPlotList->ReadFromStream(s))
            return false;
        if (fConcPlotList->Count() > 0)
            fConcPlotList->RecomputeOverallTotals();
    }
    if (work_done.Patterns_computed && !fPatternsList->ReadFromStream(s))
        return false;
    if (work_done.Timeline_computed && !fTimeLineList->ReadFromStream(s))
        return false;
    return true;
}

} // namespace cv
