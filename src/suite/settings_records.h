#pragma once
// The fixed-size records of the shared settings buffer (besides the text
// settings, text_settings.h, and the lemmatiser list settings,
// list_settings.h). Records whose layout is exchanged with result files keep
// their sizes and field offsets forever; each has a static_assert on its size
// and docs/settings-buffer.md lists the fields.

#include "suite/menu_commands.h"
#include "suite/settings_record.h"
#include "suite/text_settings.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace cv {

// ---------------------------------------------------------------------------
// Key-word settings: copied into every key-word list and written whole into
// ".kws" files. Starts with the study list's 1040-byte language block.
class TKeyWordsSettingsRec : public TSettingsRecord<2664> {
public:
    static constexpr std::size_t kLanguageBlockSize = TTextSettings::kLanguageBlockSize;
    // The link settings travel together (refreshed as one block).
    static constexpr std::size_t kLinkBlockOffset = 1060;
    static constexpr std::size_t kLinkBlockSize = 24;

    // Language block (bytes 0..1039): the same bytes as the text settings' start.
    CV_FIELD(uint32_t, 4, LanguageId)
    CV_TEXT_FIELD(936, 51, LanguageName)

    CV_FIELD(float, 1040, MaxPValue)              // largest accepted probability of the keyness
    CV_FIELD(int16_t, 1044, MinFrequency)         // in the study list
    CV_FIELD(int32_t, 1048, FurtherStatisticalLimit)
    CV_FIELD(int32_t, 1052, StudyRunningWords)
    CV_FIELD(int32_t, 1056, ReferenceRunningWords)
    CV_FIELD(int32_t, 1060, MinLinkClusterFrequency)
    CV_FIELD(int32_t, 1064, MinLinkedKeyWords)
    CV_FIELD(int32_t, 1068, MaxLinkPlotPositions) // more positions: the key word takes no part in linking
    CV_FIELD(int32_t, 1072, MinLinkFrequency)     // co-occurrences of a linked pair
    CV_FIELD(int32_t, 1076, MinLinkSpan)          // in running words
    CV_FIELD(int32_t, 1080, MaxLinkSpan)
    CV_TEXT_FIELD(1084, 223, StudyListNames)      // at most 222 characters
    CV_BOOL_FIELD(1530, PlotKeynessFromSecondScore)
    // Our own fields in the free bytes after 1530:
    CV_FIELD(uint8_t, 1531, KeynessStatistic)     // 0 log likelihood, 1 chi-square
    CV_FIELD(int32_t, 1532, MaxKeyWordsWanted)
    CV_FIELD(int32_t, 1536, StudyTextCount)       // texts behind the study list
    CV_FIELD(int32_t, 1540, ReferenceTextCount)
    // The running words in full (the fields at 1052 and 1056 stop at
    // 2,147,483,647); 0 in records written before them.
    CV_FIELD(int64_t, 1560, StudyRunningWordsInFull)
    CV_FIELD(int64_t, 1568, ReferenceRunningWordsInFull)
    CV_BOOL_FIELD(1579, FurtherStatisticalFlag)
    CV_BOOL_FIELD(1580, TwoWay)                   // study and reference words are both tested
    CV_BOOL_FIELD(1581, PlotsComputed)
    CV_BOOL_FIELD(1582, LinksComputed)
    CV_BOOL_FIELD(1588, MultiTextStudyList)
    CV_BOOL_FIELD(1589, LemmaProcessingFull)
    CV_BOOL_FIELD(1590, SomeJoinedToLemmas)
    CV_FIELD(int32_t, 1592, ColourBlockVersion)
    CV_FIELD(int32_t, 1596, MatchPercentage)
    CV_FIELD(float, 1600, TextPresencePercent)
    CV_FIELD(float, 1604, MinThirdScore)
    CV_FIELD(float, 1608, MinSecondScore)
    CV_TEXT_FIELD(1620, 261, SourceTextName)
    CV_TEXT_FIELD(2142, 261, ReferenceListName)

    void SetLanguageBlock(std::span<const uint8_t> block) { CopyBytesFrom(block.first(std::min(block.size(), kLanguageBlockSize))); }
    std::span<const uint8_t> LanguageBlock() const { return Bytes().first(kLanguageBlockSize); }
    // Copies the 24-byte link block (offsets 1060..1083) of another record.
    void CopyLinkBlockFrom(const TKeyWordsSettingsRec& other)
    {
        CopyBytesFrom(other.Bytes().subspan(kLinkBlockOffset, kLinkBlockSize), kLinkBlockOffset);
    }

    // The running words of the study list (slot 0) or the reference list
    // (slot 1): the full field, or the 32-bit one of an older record.
    int64_t RunningWords(int slot) const
    {
        const int64_t full = slot == 1 ? ReferenceRunningWordsInFull() : StudyRunningWordsInFull();
        return full > 0 ? full : (slot == 1 ? ReferenceRunningWords() : StudyRunningWords());
    }
    // Sets both fields of the slot.
    void SetRunningWords(int slot, int64_t words)
    {
        const auto narrow = int32_t(std::clamp<int64_t>(words, 0, std::numeric_limits<int32_t>::max()));
        if (slot == 1) {
            SetReferenceRunningWordsInFull(words);
            SetReferenceRunningWords(narrow);
        } else {
            SetStudyRunningWordsInFull(words);
            SetStudyRunningWords(narrow);
        }
    }

    static TKeyWordsSettingsRec Defaults();
};
static_assert(TKeyWordsSettingsRec::kSize == 2664);
static_assert(TKeyWordsSettingsRec::ReferenceListNameOffset + 2 * TKeyWordsSettingsRec::ReferenceListNameChars == 2664);

// ---------------------------------------------------------------------------
// Concordance settings: the document's `fSettings`, stored whole in ".cnc".
class TConcSettingsRec32 : public TSettingsRecord<2580> {
public:
    // Option sets are bytes with one bit per member.
    enum TConcDisplayOption : uint8_t { kDisplayOptionCount = 5 };
    enum THideOption : uint8_t { kHideOptionCount = 5 };
    enum TConcColouringOption : uint8_t { kColouringOptionCount = 3 };
    // The layout of our own fields; records of an earlier one are converted on reading.
    static constexpr uint8_t kOwnFieldsLayout = 1;
    // The minimum cluster frequency records of layout 0 were used with.
    static constexpr int16_t kOlderMinClusterFrequency = 2;

    CV_TEXT_FIELD(0, 81, SearchWord)                 // the one search word of files without a search-word block
    // Our own fields in the free bytes 162..647:
    CV_FIELD(int32_t, 200, LastWordGap)              // hits closer than this are skipped; below 0: no gap rule
    CV_FIELD(int32_t, 204, CharactersPerLine)        // characters kept for each line
    CV_FIELD(int16_t, 208, ContextHorizonLeft)
    CV_FIELD(int16_t, 210, ContextHorizonRight)
    CV_FIELD(int16_t, 212, ExclusionHorizonLeft)
    CV_FIELD(int16_t, 214, ExclusionHorizonRight)
    CV_BOOL_FIELD(216, ContextWordsOn)
    CV_BOOL_FIELD(217, ExclusionWordsOn)
    CV_BOOL_FIELD(218, SkipPunctuation)
    CV_FIELD(uint8_t, 219, CollocatesStopAt)         // index into the seven stop-at entries
    CV_FIELD(int32_t, 220, ContextExactGap)
    CV_FIELD(int32_t, 224, MinCollocateTexts)
    CV_FIELD(int16_t, 228, MinCollocateFrequency)
    CV_FIELD(uint8_t, 230, MinCollocateLength)
    CV_BOOL_FIELD(231, MergeSearchWordsForCollocates)
    CV_BOOL_FIELD(232, MergeSearchWordsForClusters)
    CV_FIELD(uint8_t, 233, BoundaryMarking)          // second barrier setting; with byte 1737 both non-zero marks boundaries
    CV_FIELD(int16_t, 234, MinClusterFrequency)      // concordance clusters seen fewer times are not kept
    CV_FIELD(uint8_t, 236, OwnFieldsLayout)          // 0: a record from before the minimum cluster frequency; kOwnFieldsLayout now

    CV_FIELD(int32_t, 648, EntriesWantedPerSw)
    CV_FIELD(int32_t, 656, Reserved656)
    CV_FIELD(int32_t, 660, RunningTotal)             // running words so far
    CV_FIELD(int16_t, 1704, CollocHorizonLeft)       // words to the left
    CV_FIELD(int16_t, 1706, CollocHorizonRight)
    CV_FIELD(uint8_t, 1714, ClusterReachLeft)
    CV_FIELD(uint8_t, 1716, ClusterReachRight)
    CV_BOOL_FIELD(1723, PlotComputed)
    CV_BOOL_FIELD(1724, ClustersComputed)
    CV_BOOL_FIELD(1725, PatternsComputed)
    CV_BOOL_FIELD(1726, CollocatesComputed)
    CV_BOOL_FIELD(1729, AssociationComputed)
    CV_BOOL_FIELD(1731, StopListWanted)
    CV_BOOL_FIELD(1733, SearchWordHiddenChecked)   // TMenuCommand::SearchWordHidden
    CV_FIELD(uint8_t, 1737, PunctuationBarrier)      // 0 none
    CV_BOOL_FIELD(1739, SearchWordPaddingChecked)  // TMenuCommand::SearchWordPadding
    CV_FIELD(uint8_t, 1744, DisplayOptions)
    CV_FIELD(uint8_t, 1747, ThreeSorts)
    CV_FIELD(int16_t, 1758, ClusterLengthMin)
    CV_FIELD(int16_t, 1760, ClusterLengthMax)
    CV_FIELD(uint8_t, 1763, StoredFormatLevel)       // 3 written by this version; 0 no search-word block
    CV_FIELD(uint8_t, 1766, HideOptions)
    CV_BOOL_FIELD(1768, CheckingTextLists)
    CV_FIELD(int32_t, 1772, Reserved1772)
    CV_BOOL_FIELD(1778, CaseSensitive)               // clear: words are compared in capitals
    CV_BOOL_FIELD(1779, TimelineComputed)
    CV_BOOL_FIELD(1782, PlotRowsBySearchWord)
    CV_BOOL_FIELD(1783, LinesCarryTagFlags)
    CV_FIELD(uint8_t, 1792, ColouringOptions)

    // A record of an earlier layout of our own fields takes what that layout
    // lacked: the minimum cluster frequency its clusters were made with.
    void ConvertToCurrentLayout()
    {
        if (OwnFieldsLayout() >= kOwnFieldsLayout)
            return;
        SetMinClusterFrequency(kOlderMinClusterFrequency);
        SetOwnFieldsLayout(kOwnFieldsLayout);
    }

    static TConcSettingsRec32 Defaults();
};
static_assert(TConcSettingsRec32::kSize == 2580);

// The collocation horizons as one value (left and right span).
struct Tdouble_smallint_type {
    int16_t left = 0;
    int16_t right = 0;
    friend bool operator==(const Tdouble_smallint_type&, const Tdouble_smallint_type&) = default;
};

// ---------------------------------------------------------------------------
// Index settings: clusters, phrase frames and relationships on a corpus index.
class TWordlist_index_settings_rec : public TSettingsRecord<3352> {
public:
    static constexpr int kThresholdCount = 11;
    // Thresholds in their stored order.
    enum TThreshold : int {
        kDice, kMutualInfo, kMI3, kZScore, kLogLikelihood, kTScore, kLogRatio,
        kCondProbA, kCondProbB, kDeltaPA, kDeltaPB,
    };

    CV_FIELD(uint8_t, 3033, StopAt)               // index into the seven stop-at entries
    CV_BOOL_FIELD(3034, OmitEqualWords)
    CV_BOOL_FIELD(3035, OmitNumbers)
    CV_BOOL_FIELD(3036, ShowPairsBothWays)
    CV_BOOL_FIELD(3037, RecomputeTokens)
    CV_BOOL_FIELD(3038, ToRightOnly)
    CV_FIELD(uint8_t, 3039, StopListMode)         // 0 ignore, 1 word 1, 2 word 2, 3 both
    CV_BOOL_FIELD(3040, AnyThresholdSuffices)
    CV_FIELD(int32_t, 3048, RelationSpan)
    CV_FIELD(int32_t, 3052, MinJointFrequency)
    CV_FIELD(float, 3056, RelationMaxPercent)     // 0: no limit
    CV_FIELD(int32_t, 3128, RelationMinTexts)
    CV_FIELD(int32_t, 3132, MinWord2Frequency)
    CV_FIELD(int32_t, 3244, ClusterSizeMin)
    CV_FIELD(int32_t, 3248, ClusterMinTexts)
    CV_FIELD(float, 3252, ClusterMaxPercent)      // 0: no limit
    CV_FIELD(int32_t, 3260, ClusterSizeMax)
    CV_FIELD(int32_t, 3264, MaxSecondsPerWord)    // 0 unlimited
    CV_BOOL_FIELD(3268, OmitPhraseFrames)
    CV_BOOL_FIELD(3269, ComputeDispersion)
    CV_BOOL_FIELD(3272, StopListLoadedCopy)
    CV_FIELD(int32_t, 3276, MinShowFrequency)
    CV_BOOL_FIELD(3285, BatchProcessing)
    CV_BOOL_FIELD(3286, ClusterListsPerText)      // our own: one cluster list per text
    CV_FIELD(int32_t, 3288, MovingWindowWords)    // our own: running words per moving window
    CV_FIELD(int32_t, 3292, MovingWindowRuns)     // our own: runs of the moving windows, each shifted

    static constexpr std::size_t kThresholdsOffset = 3060;
    float Threshold(int i) const { return Get<float>(kThresholdsOffset + 4 * std::size_t(i)); }
    void SetThreshold(int i, float v)
    {
        if (i >= 0 && i < kThresholdCount)
            Set<float>(kThresholdsOffset + 4 * std::size_t(i), v);
    }

    static TWordlist_index_settings_rec Defaults();
};
static_assert(TWordlist_index_settings_rec::kSize == 3352);

// ---------------------------------------------------------------------------
// What a copy to the clipboard includes.
class TCVClipboardSettings : public TSettingsRecord<24> {
public:
    CV_BOOL_FIELD(0, EditableText)
    CV_BOOL_FIELD(1, PictureOfSelection)
    CV_BOOL_FIELD(2, HeadingRow)
    CV_BOOL_FIELD(3, NumberColumn)

    static TCVClipboardSettings Defaults()
    {
        TCVClipboardSettings c;
        c.SetEditableText(true);
        c.SetHeadingRow(true);
        c.SetNumberColumn(true);
        return c;
    }
};
static_assert(TCVClipboardSettings::kSize == 24);

// ---------------------------------------------------------------------------
// The word-list document's own settings record.
class TWordlistSettingsRec : public TSettingsRecord<24> {
public:
    CV_FIELD(int32_t, 0, MinFrequency)
    CV_FIELD(int32_t, 4, MaxFrequency) // 0: no limit
    CV_FIELD(int32_t, 8, MinTexts)
    // Bytes 12..23 are free.

    static TWordlistSettingsRec Defaults()
    {
        TWordlistSettingsRec w;
        w.SetMinFrequency(1);
        w.SetMinTexts(1);
        return w;
    }
};
static_assert(TWordlistSettingsRec::kSize == 24);

// ---------------------------------------------------------------------------
// Word clouds.
class TWordCloudSettingsRec : public TSettingsRecord<64> {
public:
    CV_FIELD(uint8_t, 0, Shape)        // 0 borderless rounded, 1 rectangle, 2 rounded with border, 3 circle
    CV_BOOL_FIELD(3, ColourBySize)
    CV_BOOL_FIELD(4, FillBehindWords)
    CV_BOOL_FIELD(5, AllowCaseChange)
    CV_FIELD(float, 8, HorizontalSpacing)
    CV_FIELD(float, 12, VerticalSpacing)
    CV_FIELD(uint8_t, 16, OutputCase)
    CV_FIELD(int32_t, 20, MinFontSize)

    static TWordCloudSettingsRec Defaults()
    {
        TWordCloudSettingsRec w;
        w.SetShape(2);
        w.SetColourBySize(true);
        w.SetHorizontalSpacing(1.0f);
        w.SetVerticalSpacing(1.0f);
        w.SetMinFontSize(9);
        return w;
    }
};

// What the grids start from: the printer preferences that size a list's word
// column (GetPrinterPrefs), and per list type the columns shown by default.
class TGridDefaultsRec : public TSettingsRecord<320> {
public:
    static constexpr int kListTypes = 64;
    static constexpr std::size_t kVisibilityOffset = 64; // uint32 per list type: bit c, column c shown

    CV_FIELD(int32_t, 0, WordColumnTenthsMm) // printed width of the word column, 0.1 mm
    CV_FIELD(int32_t, 4, ScreenDpi)          // screen dots per inch the width is shown at

    uint32_t ColumnVisibility(int listType) const
    {
        return listType >= 0 && listType < kListTypes ? Get<uint32_t>(kVisibilityOffset + 4 * std::size_t(listType))
                                                      : 0xFFFFFFFFu;
    }
    void SetColumnVisibility(int listType, uint32_t mask)
    {
        if (listType >= 0 && listType < kListTypes)
            Set<uint32_t>(kVisibilityOffset + 4 * std::size_t(listType), mask);
    }

    static TGridDefaultsRec Defaults()
    {
        TGridDefaultsRec g;
        g.SetWordColumnTenthsMm(400);
        g.SetScreenDpi(96);
        for (int t = 0; t < kListTypes; ++t)
            g.SetColumnVisibility(t, 0xFFFFFFFFu);
        return g;
    }
};

// Colours of rulers, plots and word clouds (0xAARRGGBB) and the plot divisions.
class TRulerPlotWordCloudFeatures : public TSettingsRecord<128> {
public:
    CV_FIELD(uint32_t, 0, RulerColour)
    CV_FIELD(uint32_t, 4, PlotColour)
    CV_FIELD(uint32_t, 8, PlotBackgroundColour)
    CV_FIELD(uint32_t, 12, CloudBackgroundColour)
    CV_FIELD(uint32_t, 16, CloudWordColour)
    CV_FIELD(int32_t, 40, Divisions) // ruler-plot divisions

    static TRulerPlotWordCloudFeatures Defaults()
    {
        TRulerPlotWordCloudFeatures r;
        r.SetRulerColour(0xFF808080u);
        r.SetPlotColour(0xFF000080u);
        r.SetPlotBackgroundColour(0xFFFFFFFFu);
        r.SetCloudBackgroundColour(0xFFFFFFFFu);
        r.SetCloudWordColour(0xFF000080u);
        r.SetDivisions(8);
        return r;
    }
};

// What the program does at start when no file is named.
class TStartupOptionsRec : public TSettingsRecord<16> {
public:
    CV_BOOL_FIELD(0, ShowStartWizard)
    CV_BOOL_FIELD(1, ReopenLastFile)

    static TStartupOptionsRec Defaults()
    {
        TStartupOptionsRec s;
        s.SetShowStartWizard(true);
        return s;
    }
};

// Limits of the batch job that writes collocates for every word of a list.
class TCollocateScriptSettings : public TSettingsRecord<64> {
public:
    CV_FIELD(int32_t, 0, MinWordLength)
    CV_FIELD(int32_t, 4, MaxWordLength)
    CV_FIELD(int32_t, 8, MinFrequency)
    CV_FIELD(int32_t, 12, MaxFrequency)
    CV_FIELD(int32_t, 16, MinTexts)
    CV_FIELD(int32_t, 20, MaxTexts)
    CV_FIELD(int32_t, 24, MinCollocates)
    CV_FIELD(int32_t, 28, MaxCollocates)

    static TCollocateScriptSettings Defaults()
    {
        TCollocateScriptSettings c;
        c.SetMinWordLength(1);
        c.SetMaxWordLength(50);
        c.SetMinFrequency(5);
        c.SetMaxFrequency(2147483647);
        c.SetMinTexts(1);
        c.SetMaxTexts(2147483647);
        c.SetMinCollocates(1);
        c.SetMaxCollocates(2147483647);
        return c;
    }
};

// Thresholds a collocate relationship must pass (same order as the index
// record's eleven thresholds).
class TConcgramMutualChecks : public TSettingsRecord<64> {
public:
    static constexpr int kThresholdCount = TWordlist_index_settings_rec::kThresholdCount;
    CV_BOOL_FIELD(44, AnyThresholdSuffices)
    CV_BOOL_FIELD(45, ChecksOn) // clear: every relationship passes

    float Threshold(int i) const { return Get<float>(4 * std::size_t(i)); }
    void SetThreshold(int i, float v)
    {
        if (i >= 0 && i < kThresholdCount)
            Set<float>(4 * std::size_t(i), v);
    }

    static TConcgramMutualChecks Defaults();
};

// ---------------------------------------------------------------------------
// The progress display handed to the controller's progress window.
class TProgressParamsRec : public TSettingsRecord<1024> {
public:
    CV_FIELD(int32_t, 0, Tool)            // tool that reports
    CV_FIELD(uint8_t, 4, Mode)            // 0 compute job, 1 import, open or comparison
    CV_BOOL_FIELD(5, Visible)
    CV_FIELD(int32_t, 8, ThisPercent)
    CV_FIELD(int32_t, 12, OverallPercent)
    CV_FIELD(int64_t, 16, RunningWords)
    CV_FIELD(int64_t, 24, MemoryBytes)
    CV_FIELD(int32_t, 32, SecondsToGo)    // below 0: not known
    CV_FIELD(int32_t, 36, CentreX)
    CV_FIELD(int32_t, 40, CentreY)
    CV_TEXT_FIELD(48, 160, ShortMessage)
    CV_TEXT_FIELD(368, 261, LongMessage)
};

inline TKeyWordsSettingsRec TKeyWordsSettingsRec::Defaults()
{
    TKeyWordsSettingsRec k;
    k.SetLanguageBlock(TTextSettings::Defaults().LanguageBlock());
    k.SetMaxPValue(0.000001f);
    k.SetMinFrequency(3);
    k.SetMinLinkClusterFrequency(2);
    k.SetMinLinkedKeyWords(1);
    k.SetMaxLinkPlotPositions(1000);
    k.SetMinLinkFrequency(2);
    k.SetMinLinkSpan(1);
    k.SetMaxLinkSpan(5);
    k.SetKeynessStatistic(0);
    k.SetMaxKeyWordsWanted(500);
    k.SetTextPresencePercent(5.0f);
    k.SetColourBlockVersion(1);
    return k;
}

inline TConcSettingsRec32 TConcSettingsRec32::Defaults()
{
    TConcSettingsRec32 c;
    c.SetLastWordGap(-1);
    c.SetCharactersPerLine(250);
    c.SetContextHorizonLeft(5);
    c.SetContextHorizonRight(5);
    c.SetExclusionHorizonLeft(5);
    c.SetExclusionHorizonRight(5);
    c.SetSkipPunctuation(true);
    c.SetMinCollocateTexts(1);
    c.SetMinCollocateFrequency(1);
    c.SetMinCollocateLength(1);
    c.SetEntriesWantedPerSw(100000);
    c.SetCollocHorizonLeft(5);
    c.SetCollocHorizonRight(5);
    c.SetClusterReachLeft(5);
    c.SetClusterReachRight(5);
    c.SetStopListWanted(false);
    c.SetClusterLengthMin(3);
    c.SetClusterLengthMax(5);
    c.SetMinClusterFrequency(2);
    c.SetOwnFieldsLayout(kOwnFieldsLayout);
    c.SetStoredFormatLevel(3);
    return c;
}

inline TWordlist_index_settings_rec TWordlist_index_settings_rec::Defaults()
{
    TWordlist_index_settings_rec r;
    r.SetOmitEqualWords(true);
    r.SetOmitNumbers(true);
    r.SetRelationSpan(1);
    r.SetMinJointFrequency(1);
    r.SetRelationMinTexts(1);
    r.SetMinWord2Frequency(1);
    // Permissive thresholds except the two scores users usually filter on.
    for (int i = 0; i < kThresholdCount; ++i)
        r.SetThreshold(i, -999.999f);
    r.SetThreshold(kDice, -0.1f);
    r.SetThreshold(kMutualInfo, 3.0f);
    r.SetThreshold(kTScore, 2.0f);
    r.SetClusterSizeMin(3);
    r.SetClusterSizeMax(3);
    r.SetClusterMinTexts(1);
    r.SetComputeDispersion(true);
    r.SetMinShowFrequency(3);
    r.SetMovingWindowWords(15000);
    r.SetMovingWindowRuns(4);
    return r;
}

inline TConcgramMutualChecks TConcgramMutualChecks::Defaults()
{
    TConcgramMutualChecks c;
    const auto index = TWordlist_index_settings_rec::Defaults();
    for (int i = 0; i < kThresholdCount; ++i)
        c.SetThreshold(i, index.Threshold(i));
    return c;
}

} // namespace cv

namespace cv {

// ---------------------------------------------------------------------------
// Switches, folders and menu states of the whole suite. Per-tool switches are
// one byte per tool number; menu states one bit per menu tag.
class TGeneralSettingsRec : public TSettingsRecord<4096> {
public:
    static constexpr int kToolSlots = 32;
    static constexpr int kMenuTags = 256;
    static constexpr int kShortcutTags = 225;

    CV_BOOL_FIELD(0, Logging)
    CV_TEXT_FIELD(2, 261, LogFilename)
    CV_TEXT_FIELD(524, 261, UserReadWriteFolder)
    CV_TEXT_FIELD(1046, 261, HelpFilename)
    CV_TEXT_FIELD(1568, 261, MyTempFilename)
    CV_TEXT_FIELD(2090, 261, DefaultFolder)
    CV_TEXT_FIELD(2612, 261, LastOpenedFolder)
    CV_FIELD(int32_t, 3136, TagsWanted)
    CV_BOOL_FIELD(3140, CustomLanguageTagsLoaded)
    CV_BOOL_FIELD(3141, MaySaveCVBufferFile)
    CV_BOOL_FIELD(3142, RemoveDuplicatesAutomatically)
    CV_BOOL_FIELD(3143, PostProcessSaveFilenames)
    CV_BOOL_FIELD(3144, Randomising)
    CV_BOOL_FIELD(3145, ShouldColourPercentages)
    CV_FIELD(uint8_t, 3146, TimeLinePlotBase)         // 0 years, 1 months, 2 days
    CV_FIELD(uint8_t, 3147, TimeLinePlotBaseRounding)
    CV_FIELD(int32_t, 3148, RandomRange)
    CV_FIELD(int32_t, 3152, ConcCharactersForTextOnly)
    CV_BOOL_FIELD(3156, AskWhetherToSaveModifiedData)
    CV_BOOL_FIELD(3157, RestrictTo3LetterExtensions)
    CV_BOOL_FIELD(3158, MenuAltered)
    CV_FIELD(uint8_t, 3159, KeypressMode)             // 0 type-in, 1 set categories, 2 editing data
    CV_FIELD(int32_t, 3160, AutoSaveMinutes)          // 0: no autosave
    CV_FIELD(uint8_t, 3164, HelpAccessMode)           // 0 help file, 1 help pages at the help address
    CV_FIELD(uint8_t, 3165, DisplayWordsPerMillion)   // 0 default, 2 percent, 3 per thousand, 4 per million
    CV_BOOL_FIELD(3166, DeadKeyListCustomised)        // read "customised deadkeys.dat" at start
    CV_FIELD(uint8_t, 3167, OpenAndSaveDialogOption)  // 0 the desktop's file dialogs, 1 the program's own
    CV_TEXT_FIELD(3812, 128, HelpBaseAddress)         // base of the help pages; empty: the help file's folder
    CV_TEXT_FIELD(4068, 14, KeyboardChoice)           // keyboard layout to switch to at start; empty: none

    static constexpr std::size_t kFastMinimalOffset = 3168;   // byte per tool
    static constexpr std::size_t kUseUserFilterOffset = 3200; // byte per tool
    static constexpr std::size_t kRelationMatchOffset = 3232; // byte per tool
    static constexpr std::size_t kCarryoutBitsOffset = 3264;  // bit per tag
    static constexpr std::size_t kMenuCheckedBitsOffset = 3296;
    static constexpr std::size_t kPopupInUseBitsOffset = 3328;
    static constexpr std::size_t kShortcutsOffset = 3360;     // uint16 per tag

    uint8_t ToolByte(std::size_t base, int tool) const
    {
        return tool >= 0 && tool < kToolSlots ? Get<uint8_t>(base + std::size_t(tool)) : 0;
    }
    void SetToolByte(std::size_t base, int tool, uint8_t v)
    {
        if (tool >= 0 && tool < kToolSlots)
            Set<uint8_t>(base + std::size_t(tool), v);
    }
    bool TagBit(std::size_t base, int tag) const
    {
        return tag >= 0 && tag < kMenuTags && (Get<uint8_t>(base + std::size_t(tag / 8)) >> (tag % 8)) & 1;
    }
    void SetTagBit(std::size_t base, int tag, bool on)
    {
        if (tag < 0 || tag >= kMenuTags)
            return;
        uint8_t b = Get<uint8_t>(base + std::size_t(tag / 8));
        b = on ? uint8_t(b | (1u << (tag % 8))) : uint8_t(b & ~(1u << (tag % 8)));
        Set<uint8_t>(base + std::size_t(tag / 8), b);
    }
    uint16_t Shortcut(int tag) const
    {
        return tag >= 0 && tag < kShortcutTags ? Get<uint16_t>(kShortcutsOffset + 2 * std::size_t(tag)) : 0;
    }
    void SetShortcut(int tag, uint16_t v)
    {
        if (tag >= 0 && tag < kShortcutTags)
            Set<uint16_t>(kShortcutsOffset + 2 * std::size_t(tag), v);
    }

    // Defaults that need no knowledge of the machine; the folders are filled
    // by the settings buffer.
    static TGeneralSettingsRec Defaults()
    {
        TGeneralSettingsRec g;
        g.SetConcCharactersForTextOnly(100);
        g.SetAskWhetherToSaveModifiedData(true);
        for (int tag = 0; tag < kMenuTags; ++tag)
            g.SetTagBit(kCarryoutBitsOffset, tag, true);
        // Menu items checked from the start: status bar, main tool bar,
        // default number display, "Ctrl required" for selecting rows.
        for (TMenuCommand command : {TMenuCommand::StatusBar, TMenuCommand::MainToolbar, TMenuCommand::NumbersDefault,
                                     TMenuCommand::CtrlRequired})
            g.SetTagBit(kMenuCheckedBitsOffset, TagOf(command), true);
        return g;
    }
};
static_assert(TGeneralSettingsRec::kShortcutsOffset + 2 * TGeneralSettingsRec::kShortcutTags <= 3812);

} // namespace cv
