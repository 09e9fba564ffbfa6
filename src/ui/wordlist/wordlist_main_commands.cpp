// Part of TFormWordList (ui/wordlist/wordlist_main.h), the word-list window,
// whose members stand in files by topic: the window's own commands, the menu
// commands it carries out itself, and the handlers it binds into its page
// grids (clusters and relationships from an open index, requests to the
// concordance tool, key words against a reference list, equal words,
// automatic joining, the texts of words, double clicks).

#include "ui/wordlist/wordlist_main.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QScreen>
#include <QSet>
#include <QTabWidget>
#include <QTableView>

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

#include "concordance/tell_marvex.h"
#include "gui/cv_grid.h"
#include "gui/cv_status_bar.h"
#include "gui/desktop_services.h"
#include "gui/file_dialogs.h"
#include "index/index_clusters.h"
#include "index/index_files.h"
#include "index/index_handler.h"
#include "index/index_moving_window.h"
#include "index/index_relationships.h"
#include "keywords/keywords_holder.h"
#include "keywords/kw_plots.h"
#include "model/batch_procedures.h"
#include "model/check_signature.h"
#include "model/chosen_files.h"
#include "model/stats_list.h"
#include "runtime/controller_link.h"
#include "runtime/progress.h"
#include "runtime/start_an_app.h"
#include "suite/controller_codes.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/lemmatiser.h"
#include "suite/logging.h"
#include "suite/menu_commands.h"
#include "suite/my_types.h"
#include "suite/private_files.h"
#include "suite/resource_strings.h"
#include "suite/wdef.h"
#include "suite/window_messages.h"
#include "textread/tag_handler.h"
#include "ui/framework/list_editing.h"
#include "ui/framework/tool_data_module.h"
#include "ui/framework/tool_pages.h"
#include "ui/wordlist/views/frozen_columns.h"
#include "ui/wordlist/views/plot_cell.h"
#include "wordlist/detailed_consistency.h"
#include "wordlist/keyword_list.h"
#include "wordlist/plain_text_wordlist.h"
#include "wordlist/wordlist_holder.h"

namespace cv {

namespace {

// The narrowest the plot column of the key-word plots is made (pixels).
constexpr int kPlotColumnMinWidth = 360;

// The statistics page's columns that stay in view: N and the text file.
constexpr int kStatisticsFrozenColumns = 2;

// Last actions the commands add to the page register's set.
enum : uint8_t {
    kActionClustersMade = 7,
    kActionRelationshipsMade = 11,
    kActionKeyWordsMade = 12,
    kActionTokensRecomputed = 16,
};

constexpr int kHelpEqualWords = 2930;


bool Cancelled() { return global_panic_state.load() != kPanicRun; }

// A message of the window's own, shown through the suite's dialogs.
TDialogAnswer Tell(const char* routine, TDialogKind kind, const QString& text, int helpContext = 0,
                   TDialogButtons buttons = TDialogButtons::OK, TDialogAnswer defaultAnswer = TDialogAnswer::OK)
{
    TDialogRequest r;
    r.routine = QLatin1String(routine);
    r.kind = kind;
    r.caption = Tool_Name(current_tool_var);
    r.text = text;
    r.buttons = buttons;
    r.defaultAnswer = defaultAnswer;
    r.helpContext = helpContext;
    return ShowDialog(r);
}

void ResultsAreInTab(const QString& tab)
{
    Tell("ResultsAreInTab", TDialogKind::Information, QStringLiteral("The results are in the \"%1\" tab.").arg(tab));
}

void PhraseFramesLookLikeJoined()
{
    Tell("PhraseFramesLookLikeJoined", TDialogKind::Information,
         QStringLiteral("Phrase frames are shown like lemmas: the clusters that fill a frame's open place are "
                        "joined under the frame (see the Lemmas column)."));
}

void TellReadFailure(const QString& reason) { Tell("FailedToRead", TDialogKind::Error, reason); }

// The word of a row as index look-ups take it (the main word alone).
QString MainWordOfEntry(const TCVBaseDataClass& list, int entry)
{
    return entry >= 0 && entry < list.Count() ? list.MainWordOfRow(entry) : QString();
}

// The word of a row with the tag the list shows with it (prefix or suffix).
QString RelevantAffixesOfStringData(const TCVBaseDataClass& list, int entry)
{
    if (list.HoldsRowsWithoutEntries())
        return MainWordOfEntry(list, entry); // such rows carry no tags
    const TCVBaseListObject* e = list.Get(entry);
    if (!e)
        return {};
    if (const auto* words = dynamic_cast<const TCVWordList*>(&list)) {
        if (words->TagDisplay() == 1)
            return e->GetAPrefixAsString() + e->MainWordOnly();
        if (words->TagDisplay() == 2)
            return e->MainWordOnly() + e->GetASuffixAsString();
    }
    return e->MainWordOnly();
}

QString FullTextName(const TStatsRec& r)
{
    const QString file = r.Folder.isEmpty() ? r.FileName : QDir(r.Folder).filePath(r.FileName);
    return r.ZipEntryName.isEmpty() ? file : file + QLatin1Char('|') + r.ZipEntryName;
}

QString WithExtension(const QString& fileName, const QString& extension)
{
    const QFileInfo info(fileName);
    return info.dir().filePath(info.completeBaseName() + extension);
}

} // namespace

// ---------------------------------------------------------------------------
// Helpers

bool TFormWordList::IsIndexDocument() const
{
    const T_WholeWordlistHolder* doc = WordlistDocument();
    return doc && doc->fIndexHandler;
}

// ---------------------------------------------------------------------------
// The menu commands

bool TFormWordList::HandleToolMenuCommand(int tag, QAction*)
{
    // While the engine works on the document (it pumps messages) only
    // closing the window is taken: it stops the job and closes after it.
    const TMenuCommand command = TMenuCommand(tag);
    if (command != TMenuCommand::Exit && RefusedWhileInUse("a menu command"))
        return command != TMenuCommand::Help && command != TMenuCommand::ContextHelp;
    T_WholeWordlistHolder* doc = WordlistDocument();
    switch (command) {
    case TMenuCommand::Open: {
        if (fData) {
            const TDialogAnswer answer = StartNewToolInstance();
            if (answer == TDialogAnswer::Cancel)
                return true;
            if (answer == TDialogAnswer::Yes) {
                PostToController(kCodeNewWithData);
                return true;
            }
        }
        terminating_app = false;
        // Unsaved data are asked about first (kept on Cancel); nothing shown
        // goes before a file is chosen and read (OpenFile).
        if (UnsavedDataMayGo())
            Open();
        RefreshDataDisplay();
        return true;
    }
    case TMenuCommand::New:
        NewWithChosenTexts();
        return true;
    case TMenuCommand::KeyWords:
    case TMenuCommand::CompareTwoWordLists:
        CompareWithReferenceList();
        return true;
    case TMenuCommand::Exit:
        close();
        return true;
    case TMenuCommand::DiceCoefficients:
        ShowDiceLemmaShower();
        return true;
    case TMenuCommand::Dispersion:
        if (doc) {
            if (doc->ComputedDispersion())
                ToolWindowList().Last_actions.Include(kActionTokensRecomputed);
            RefreshDataDisplay();
        }
        return true;
    case TMenuCommand::TagsOnly:
        if (doc) {
            doc->DeleteAllTaggedWords(GetMenuItemChecked(TMenuCommand::TagsOnly));
            ToolWindowList().Last_actions.Include(kActionRowsChanged);
            RefreshDataDisplay();
        }
        return true;
    case TMenuCommand::OpenMovingWindow:
        ChooseMovingWindowPlotFile();
        return true;
    case TMenuCommand::MovingWindow:
        MakeMovingWindowPlot();
        return true;
    case TMenuCommand::LastFile:
        Lastfile1Click();
        return true;
    case TMenuCommand::ExportData:
        ExportIndexData();
        return true;
    case TMenuCommand::CheckWordList:
        CheckForEqualWords();
        return true;
    case TMenuCommand::CompareWithTextFile:
        CompareWithTextFile();
        return true;
    case TMenuCommand::RowPercentages:
        ToggleRowPercentages();
        return true;
    case TMenuCommand::Plot:
    case TMenuCommand::Links:
        ComputeKeyWordPlots(command == TMenuCommand::Links);
        return true;
    default:
        if (IsOtherSort(tag)) {
            OtherSort(ToolWindowList().CurrentGrid(), tag);
            return true;
        }
        return false;
    }
}

void TFormWordList::OtherSort(TCV_Grid* grid, int tag)
{
    if (!GridMayBeWorkedOn(grid))
        return;
    // The frequency page keeps its order: the sort shows on the alphabetical page.
    if (grid == CVGridFreq || grid == CVGridIndexFreq) {
        ActivatePage(grid == CVGridFreq ? AdvOfficePageAlph : AdvOfficePageIndexAlph);
        QApplication::processEvents();
        grid = ToolWindowList().CurrentGrid();
        if (!GridMayBeWorkedOn(grid))
            return;
    }
    TCVBaseDataClass& list = *grid->List();
    {
        THourglass busy;
        if (!SortListByWords(list, tag))
            return;
    }
    // A word list names the sort on its alphabetical page.
    if (auto* words = dynamic_cast<TCVWordList*>(&list)) {
        int32_t key = TCVWordList::kSortAlphabetical;
        switch (TMenuCommand(tag)) {
        case TMenuCommand::SortReverseWord: key = TCVWordList::kSortWordEndings; break;
        case TMenuCommand::SortWordLength: key = TCVWordList::kSortWordLength; break;
        case TMenuCommand::SortByPrefix:
        case TMenuCommand::SortBySuffix: key = TCVWordList::kSortTags; break;
        default: break;
        }
        words->Set1Sort(0, key);
        words->SetSortAscending(0, true);
        words->Set1Sort(1, key == TCVWordList::kSortAlphabetical ? -1 : TCVWordList::kSortAlphabetical);
        words->Set1Sort(2, -1);
    }
    grid->ClearViewSort();
    PageHook();
    ToolWindowList().Last_actions.Include(kActionRowsChanged);
    RefreshDataDisplay();
    grid->Refresh();
}

void TFormWordList::ToggleRowPercentages()
{
    m_rowPercentages = !m_rowPercentages;
    if (TDataModuleCorvantis* module = DataModuleCorvantis())
        if (QAction* item = module->ItemOfTag(TMenuCommand::RowPercentages)) {
            item->setCheckable(true);
            item->setChecked(m_rowPercentages);
        }
    CVGridConsistency->Refresh();
}

// ---------------------------------------------------------------------------
// The handlers bound into the page grids

TCVGridHandlersA TFormWordList::WordListGridHandlersA()
{
    TCVGridHandlersA a = BaseGridHandlersA();
    a.AAutoJoin = [this](TCV_Grid* g) { AAutoJoin(g); };
    a.CCheckLemmasForConsistency = [this](TCV_Grid* g) { CCheckLemmasForConsistency(g); };
    a.CClusters = [this](TCV_Grid* g) { CClusters(g); };
    a.CComputeConcordance = [this](TCV_Grid* g) { CComputeConcordance(g); };
    a.CComputeRelationships = [this](TCV_Grid* g) { CComputeRelationships(g); };
    a.CComputeTimeline = [this](TCV_Grid* g) { CComputeTimeline(g); };
    a.DDblClickCell = [this](TCV_Grid* g, int column, int row) { DDblClickCell(g, column, row); };
    a.EditSetColumnCell = [this](TCV_Grid* g, int column, int row) { EditSetColumnCell(g, column, row); };
    a.FFindFiles = [this](TCV_Grid* g) { FFindFiles(g); };
    a.IIsToolbarShowing = [this] { return IIsToolbarShowing(); };
    a.JJoinClusters = [this](TCV_Grid* g) { JJoinClusters(g); };
    return a;
}

TCVGridHandlersB TFormWordList::WordListGridHandlersB()
{
    TCVGridHandlersB b = BaseGridHandlersB();
    b.NNotifyDadReFormColour = [](TCV_Grid*) {};
    b.RRecomputeTokens = [this](TCV_Grid* g) { RRecomputeTokens(g); };
    b.GGetSaveToClipboardChoices = [this](TCV_Grid* g) { GGetSaveToClipboardChoices(g); };
    b.SShowGridColumnData = [this](TCV_Grid* g) { SShowGridColumnData(g); };
    b.SShowOrHideToolbar = [this](TCV_Grid* g, bool visible) { SShowOrHideToolbar(g, visible); };
    b.SSummaryStats = [this](TCV_Grid* g) { SSummaryStats(g); };
    return b;
}

void TFormWordList::CComputeTimeline(TCV_Grid* grid)
{
    // Word lists have no time line; the command is the concordance tool's.
    GridMayBeWorkedOn(grid);
}

void TFormWordList::SShowGridColumnData(TCV_Grid* grid) { GridMayBeWorkedOn(grid); }

void TFormWordList::SSummaryStats(TCV_Grid* grid)
{
    if (GridMayBeWorkedOn(grid))
        CommandChoices().ShowBreakdown(grid);
}

void TFormWordList::SShowOrHideToolbar(TCV_Grid* grid, bool visible)
{
    if (GridMayBeWorkedOn(grid))
        ContainBoxMainTop->setVisible(visible);
}

bool TFormWordList::IIsToolbarShowing() const { return ContainBoxMainTop->isVisibleTo(this); }

void TFormWordList::GGetSaveToClipboardChoices(TCV_Grid* grid)
{
    if (GridMayBeWorkedOn(grid))
        grid->ClipboardSettings = GetClipboardSettings();
}

void TFormWordList::RRecomputeTokens(TCV_Grid* grid)
{
    if (RefusedWhileInUse("recomputing tokens"))
        return;
    if (!GridMayBeWorkedOn(grid))
        return;
    if (auto* words = dynamic_cast<TCVWordList*>(grid->List())) {
        THourglass busy;
        words->RecomputeTokens();
    }
    ToolWindowList().Last_actions.Include(kActionTokensRecomputed);
    RefreshDataDisplay();
}

// ---------------------------------------------------------------------------
// Clusters

void TFormWordList::CClusters(TCV_Grid* grid)
{
    if (RefusedWhileInUse("clusters"))
        return;
    T_WholeWordlistHolder* doc = WordlistDocument();
    if (!GridMayBeWorkedOn(grid) || !doc || !doc->fIndexHandler) {
        CantMakeClustersWithoutIndex();
        return;
    }
    // New clusters take the place of those shown: unsaved ones are asked about first.
    if (!MayReplaceUnsaved(kListWordList))
        return;
    TIndexHandler& handler = *doc->fIndexHandler;
    TCVBaseDataClass* list = grid->List();
    const std::vector<int> selected = grid->SelectedEntries();
    const bool hasSelection = list->MarkCount() > 0 || grid->SelectedRows().size() > 1;
    TClusterChoice choice;
    if (!CommandChoices().ChooseClusters(hasSelection, choice))
        return;
    handler.fSettings = GetWordlistIndexSettings();
    handler.fWordChoice = choice.wordChoice;
    if (Global_stopLemmaMatchLoaded[2])
        handler.fSettings.SetStopListLoadedCopy(ClustersContainingStopListWordsExcluded());

    bool ok = false;
    global_panic_state = kPanicRun;
    {
        THourglass busy;
        GlobalProgress().ClearAllAndShow(GetCentreofMainForm(), 1);
        if (choice.wordChoice == kIndexProcessSelected) {
            handler.fWordsToProcess.clear();
            for (int entry : selected) {
                handler.AddToItemsToProcess(MainWordOfEntry(*list, entry));
                MyYieldProcess();
            }
        } else if (choice.wordChoice == kIndexProcessTextFile) {
            handler.fWordsToProcess = choice.words;
        }
        fSpare_Index_filename = doc->MainFile.FileName;
        fSpare_Index_Col1Width = grid->ColWidths(1);
        handler.fCancel_pressed = false;
        TFailureToldWatch watch;
        {
            TDocumentUse inUse(*this);
            ok = doc->ComputeClusters([this] { SaveClusterListsPerText(); });
        }
        // The clusters shown before are gone.
        GiveBackFreedMemory();
        if (!ok && !watch.Told() && !handler.fCancel_pressed && !Cancelled()) {
            const TClusterOptions options = TClusterOptions::FromSettings(handler.fSettings);
            NoClustersOfSizeIn(handler.Data().tokenCount, options.minSize, options.Summary(), doc->MainFile.FileName);
        }
        GlobalProgress().Hide();
    }
    EndOfStoppableStep(ok);
    if (ok) {
        const TBatchProceduresRec& batch = Global_BatchProcedures;
        if (handler.fSettings.ClusterListsPerText()) {
            fSpare_Index_filename.clear();
            SavedOK(QDir(batch.BatchRootFolder).absolutePath() + QDir::separator() + batch.ZipShortFilename);
        }
        TCVWordList* clusters = doc->WordlistOfType(kListWordList);
        KeepUnsaved({clusters});
        clusters->SetSortSettingsToDefault();
        clusters->EnsureAlphabeticalAscendingSort();
        doc->SuggestedFilename = ClusterSuggestedName();
        clusters->SetGridHeadings(StandardGridHeaderArray(kListWordList));
        if (!handler.fSettings.OmitPhraseFrames())
            PhraseFramesLookLikeJoined();
        doc->MainFile.FileName.clear();
        ToolWindowList().last_menu_fit.for_list = kListNone;
        PrepareOpenDialog(kListWordList);
    } else {
        fSpare_Index_filename.clear();
    }
    ToolWindowList().Last_actions.Include(kActionClustersMade);
    RefreshDataDisplay();
    ShowPagesForListType();
    if (ok) {
        // The clusters are what the user asked to see.
        ActivatePage(AdvOfficePageFrequency);
        const QScreen* screen = this->screen();
        const int threeInches = 3 * (screen ? int(screen->logicalDotsPerInch()) : 96);
        for (TCV_Grid* g : {CVGridFreq, CVGridAlph})
            g->SetColWidths(TCVWordList::kColWord, std::max(288, std::min(threeInches, g->width() / 2)));
        SetPageAppropriateCaption();
    }
}

void TFormWordList::EndOfStoppableStep(bool finished)
{
    const uint8_t state = global_panic_state.load();
    if (state != kPanicStopAtEndOfText && state != kPanicStopNow)
        return;
    // The stop is done with: it must not stop the next step at once.
    global_panic_state = kPanicRun;
    // The question stays up while the job's threads go on: answered after
    // they were done, the job had nothing left to stop.
    if (finished)
        ReportedAFact(QStringLiteral("The job had already finished when it was asked to stop: everything it made is shown."));
}

QString TFormWordList::ClusterSuggestedName() const
{
    const T_WholeWordlistHolder* doc = WordlistDocument();
    const TWordlist_index_settings_rec settings =
        doc && doc->fIndexHandler ? doc->fIndexHandler->fSettings : GetWordlistIndexSettings();
    const TClusterOptions options = TClusterOptions::FromSettings(settings);
    const QString sizes = options.minSize == options.maxSize
                              ? Format(CVXWordClusters, {options.minSize})
                              : Format(CVXtoYWordClusters, {options.minSize, options.maxSize});
    // Named after the index and beside it, whatever jobs ran before (each
    // leaves the document without a file name of its own).
    const QString index = doc && doc->fIndexHandler ? doc->fIndexHandler->BaseName()
                                                    : IndexBaseName(fSpare_Index_filename);
    return index + QLatin1Char('_') + CVIndex.toString() + QLatin1Char('_') + sizes;
}

void TFormWordList::SaveClusterListsPerText()
{
    T_WholeWordlistHolder* doc = WordlistDocument();
    if (!doc || !doc->fStats)
        return;
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    TBatchProceduresRec& batch = Global_BatchProcedures;
    batch.mode = 1;
    const int32_t texts = doc->fStats->Count() - 1;
    if (JobChoices().BatchSetupReady(texts, ChosenTexts ? ChosenTexts->TotalBytes() : 0)) {
        if (batch.OnBatchFileNameAndMaxN)
            batch.OnBatchFileNameAndMaxN(batch.BatchRootFolder, CVSavingClusterWordlists.toString(), texts);
        if (!doc->SaveTempClusterWordlists(batch.BatchRootFolder) && !Cancelled())
            FailedToSave(batch.BatchRootFolder);
    }
    JobChoices().HideBatchSetup();
}

// ---------------------------------------------------------------------------
// Relationships

void TFormWordList::CComputeRelationships(TCV_Grid* grid)
{
    if (RefusedWhileInUse("relationships"))
        return;
    if (!GridMayBeWorkedOn(grid))
        return;
    GlobalProgress().ClearAllAndShow(GetCentreofMainForm(), 1);
    // Consistency relations come with their list; an index computes its own.
    if (grid->ListType == kListIndexWordList && !ComputeIndexRelationships(grid))
        RefreshDataDisplay();
    GlobalProgress().Hide();
}

bool TFormWordList::ComputeIndexRelationships(TCV_Grid* grid)
{
    if (!IsIndexDocument() || !grid)
        return false;
    // New relationships take the place of those made before: unsaved ones are asked about first.
    if (!MayReplaceUnsaved(kListIndexRelationships))
        return false;
    global_panic_state = kPanicRun;
    if (grid->KindOfDisplay == kGridKindFrequency)
        ActivatePage(AdvOfficePageIndexAlph);
    const std::vector<int> selected = grid->SelectedEntries();
    const QString selectedWord = selected.size() == 1 ? MainWordOfEntry(*grid->List(), selected.front()) : QString();
    const bool hasSelection = selected.size() > 1 || grid->List()->MarkCount() > 0;
    TRelationshipChoice choice;
    if (!CommandChoices().ChooseRelationships(selectedWord, hasSelection, choice))
        return false;
    GlobalProgress().ClearAllAndShow(GetCentreofMainForm(), 1);
    // The choices dialog goes from the screen before the work begins.
    MyYieldProcess();
    return ComputeRelationshipsFromIndex(grid, choice);
}

bool TFormWordList::ComputeRelationshipsFromIndex(TCV_Grid* grid, const TRelationshipChoice& choice)
{
    T_WholeWordlistHolder* doc = WordlistDocument();
    if (!doc || !doc->fIndexHandler || !grid || !grid->List())
        return false;
    TIndexHandler& handler = *doc->fIndexHandler;
    TCVBaseDataClass& list = *grid->List();
    TCVWordList* indexWords = doc->WordlistOfType(kListIndexWordList);

    handler.ResetTheSettingsFromTextbuf();
    handler.fWordsToProcess.clear();
    handler.fCancel_pressed = false;
    grid->SavePositions();
    THourglass busy;
    handler.fWordChoice = choice.processSelection;
    const auto everyRow = [&](const std::function<void(const QString&)>& visit) {
        for (int row = 1; row < grid->RowCount() && !Cancelled(); ++row)
            if (const int entry = grid->EntryOfGridRow(row); entry >= 0)
                visit(MainWordOfEntry(list, entry));
    };
    switch (choice.processSelection) {
    case kIndexProcessSelected:
        for (int entry : grid->SelectedEntries()) {
            if (Cancelled())
                break;
            handler.AddToItemsToProcess(MainWordOfEntry(list, entry));
        }
        break;
    case kIndexProcessCharacterRange: {
        const QChar from = choice.startChar.toUpper();
        const QChar to = choice.endChar.toUpper();
        everyRow([&](const QString& word) {
            if (!word.isEmpty() && word.at(0).toUpper() >= from && word.at(0).toUpper() <= to)
                handler.AddToItemsToProcess(word);
        });
        break;
    }
    case kIndexProcessTextFile: {
        const uint8_t relationWords = uint8_t(TLemmatiserListKind::RelationWords);
        if (ToolWindowList().LoadLemmaMatchStopList(relationWords))
            TraverseRelationsDoing(current_tool_var, [&](const QString& line, int) {
                handler.AddToItemsToProcess(line);
                return true;
            });
        // "Ignore words in list": every word of the page but the file's.
        if (GetRelationMatchWanted(current_tool_var) != 0 && !handler.fWordsToProcess.isEmpty()) {
            QSet<QString> fileWords;
            for (const QString& w : std::as_const(handler.fWordsToProcess))
                fileWords.insert(w.trimmed().toCaseFolded());
            handler.fWordsToProcess.clear();
            everyRow([&](const QString& word) {
                if (!fileWords.contains(word.toCaseFolded()))
                    handler.AddToItemsToProcess(word);
            });
        }
        if (handler.fWordsToProcess.isEmpty()) {
            NoWordsIn(choice.wordFile, 2830);
            grid->RestorePositions();
            return false;
        }
        break;
    }
    default:
        break;
    }

    const auto setBusy = [&](uint8_t state) {
        if (doc->fStats)
            doc->fStats->SetListBusy(state);
        if (indexWords)
            indexWords->SetListBusy(state);
    };
    setBusy(kListBusy);
    bool ok = false;
    const bool noneChosen = handler.fWordChoice != kIndexProcessAll && handler.ChosenTypes().empty();
    if (!Cancelled() && !noneChosen) {
        handler.fSettings = GetWordlistIndexSettings();
        const int64_t tokens = handler.fSettings.RecomputeTokens() && indexWords ? indexWords->ComputedCurrentTokens()
                                                                                  : handler.Data().RunningWords();
        handler.SetTotalTokensInIndex(tokens);
        TDocumentUse inUse(*this);
        ok = handler.ComputeMIAssociation();
    }
    setBusy(kListNotBusy);
    // The walk's tables are gone, and the relationships made before.
    GiveBackFreedMemory();
    if (ok) {
        TRelationshipsList& relations = *handler.fRelationshipsList;
        KeepUnsaved({&relations});
        relations.SetGridHeadings(TRelationshipsList::Headings());
        // Named after the document's file, or, for a document never saved, after the index.
        const QString source = doc->MainFile.FileName.isEmpty() ? handler.BaseName() : doc->MainFile.FileName;
        doc->MainFile.FileName = WithExtension(source, DefaultExtFromListType(kListIndexRelationships));
        doc->MainFile.ListType = kListIndexRelationships;
        doc->AddOneLaterNote(Format(CVProcedureEquals, {CVRelationships}));
        doc->AddNoteDetails({QStringLiteral("index\t%1").arg(QDir::toNativeSeparators(handler.BaseName())),
                             QStringLiteral("span\t%1 left, %2 right").arg(relations.SpanLeft).arg(relations.SpanRight),
                             QStringLiteral("running words\t%1").arg(relations.TotalTokens),
                             QStringLiteral("relationships\t%1").arg(relations.Count())});
        PrepareOpenDialog(kListIndexRelationships);
        SetToolCaption(QFileInfo(doc->MainFile.FileName).fileName());
    } else if (noneChosen || (handler.LastError().isEmpty() && !Cancelled())) {
        NoMutualInfoData();
    } else if (!handler.LastError().isEmpty() && !handler.fCancel_pressed) {
        TellReadFailure(handler.LastError());
    }
    ToolWindowList().Last_actions.Include(kActionRelationshipsMade);
    RefreshDataDisplay();
    grid->RestorePositions();
    return ok;
}

// ---------------------------------------------------------------------------
// Requests for the concordance tool

void TFormWordList::PrepareTellMarvexList()
{
    if (fForMarvexList)
        fForMarvexList->Clear();
    else
        fForMarvexList = std::make_unique<TTellMarvexList>(current_tool_var, kToolConcordance);
    fForMarvexList->SetCollocHorizonsFromSettings();
}

void TFormWordList::CComputeConcordance(TCV_Grid* grid)
{
    T_WholeWordlistHolder* doc = WordlistDocument();
    if (!doc || !doc->fStats || !GridMayBeWorkedOn(grid))
        return;
    PrepareTellMarvexList();
    if (doc->fIndexHandler) {
        // The positions the index gives count its texts in its own order.
        for (const TIndexText& text : doc->fIndexHandler->Data().texts)
            fForMarvexList->AddText({QDir(text.stats.Folder).filePath(text.stats.FileName), text.stats.ZipEntryName});
    } else {
        fForMarvexList->TakeTexts(*doc->fStats);
    }
    if (fForMarvexList->CheckWhetherAllFilesExist() <= 0)
        return;
    if (LoggingIsOn())
        AddToLogFile(QStringLiteral("WordList asking for a concordance"));
    THourglass busy;
    for (int row : grid->SelectedRows()) {
        AddConcordanceRequestForRow(grid, row);
        MyYieldProcess();
    }
    SendConcordanceRequest(doc->ftextsettings);
}

void TFormWordList::SendConcordanceRequest(const TTextSettings& settings)
{
    QString error;
    if (!fForMarvexList || fForMarvexList->Count() == 0)
        return;
    if (fForMarvexList->SavedToTempfile(SuiteTempFolder(), &error)) {
        SetTextSettings(settings);
        PostToController(kCodeConcordanceRequest);
    } else {
        FailedToSave(error.isEmpty() ? fForMarvexList->TempFilename(SuiteTempFolder()) : error);
    }
}

bool TFormWordList::RequestConcordanceOfPlotRow(int entry)
{
    const T_WholeWordlistHolder* doc = WordlistDocument();
    const TKWPlotList* plots = m_keyWords ? m_keyWords->fPlots.get() : nullptr;
    if (!doc || !doc->fKeywordsList || !plots)
        return false;
    // The plot rests on the lines of its key words in the one text of the
    // list: the concordance tool is asked for those lines, each occurrence
    // by its place in the text; the overall row asks for every key word's.
    const QString text = doc->fKeywordsList->KWSettings.SourceTextName();
    PrepareTellMarvexList();
    fForMarvexList->AddText({text, QString()});
    if (fForMarvexList->CheckWhetherAllFilesExist() <= 0) {
        FailedToFind(text);
        return false;
    }
    const auto ask = [&](const TKWPlotEntry& e) {
        std::vector<TMarvexPosition> positions;
        const TGeneralPlotDataList& places = e.PlotPositions();
        for (int i = 0; i < places.Count(); ++i)
            positions.push_back({0, places.Position(i)});
        if (LoggingIsOn())
            AddToLogFile(QStringLiteral("adding %1, expecting %2 in 1 file").arg(e.w).arg(e.data.hits));
        fForMarvexList->AddRequest(e.w, e.data.hits, 1, std::move(positions));
    };
    if (entry >= 0 && entry < plots->Count()) {
        ask(plots->Entry(entry));
    } else {
        for (int i = 0; i < plots->Count(); ++i)
            ask(plots->Entry(i));
    }
    SendConcordanceRequest(doc->ftextsettings);
    return fForMarvexList->Count() > 0;
}

void TFormWordList::AddConcordanceRequestForRow(TCV_Grid* grid, int row)
{
    T_WholeWordlistHolder* doc = WordlistDocument();
    TCVBaseDataClass* list = grid ? grid->List() : nullptr;
    const int entry = grid ? grid->EntryOfGridRow(row) : -1;
    if (!doc || !list || !fForMarvexList || entry < 0)
        return;
    const auto positionsOf = [&](const QString& word) {
        std::vector<TMarvexPosition> positions;
        if (doc->fIndexHandler)
            for (const TIndexPosition& p : doc->fIndexHandler->AllContextsOf(word))
                positions.push_back({p.text, int32_t(p.wordInText + 1)});
        return positions;
    };
    const TCVBaseListObject& e = (*list)[entry];
    if (e.JoinedCount() > 0) {
        // A lemma: its head word and each form joined under it.
        std::vector<const TCVBaseListObject*> forms{&e};
        for (int i = 0; i < e.JoinedCount(); ++i)
            forms.push_back(e.JoinedEntry(i));
        for (const TCVBaseListObject* form : forms) {
            const QString word = form->MainWordOnly();
            if (LoggingIsOn())
                AddToLogFile(QStringLiteral("adding lemma variant %1").arg(word));
            fForMarvexList->AddRequest(word, int32_t(form->MainWordFrequency()), form->MainNTexts(),
                                       positionsOf(word));
        }
        return;
    }
    const QString word = RelevantAffixesOfStringData(*list, entry);
    const auto* words = dynamic_cast<const TCVWordList*>(list);
    const int64_t frequency = words ? words->CorrectFreq(entry) : e.MainWordFrequency();
    const int32_t texts = e.MainNTexts();
    if (LoggingIsOn())
        AddToLogFile(frequency > 0 ? QStringLiteral("adding %1, expecting %2 in %3 files").arg(word).arg(frequency).arg(texts)
                                   : QStringLiteral("adding word %1").arg(word));
    fForMarvexList->AddRequest(word, int32_t(std::min<int64_t>(frequency, INT32_MAX)), texts,
                               positionsOf(e.MainWordOnly()));
}

// ---------------------------------------------------------------------------
// Lemmas, joining, files

void TFormWordList::CCheckLemmasForConsistency(TCV_Grid* grid)
{
    if (RefusedWhileInUse("lemma consistency"))
        return;
    if (!GridMayBeWorkedOn(grid))
        return;
    TCVFileDialog dialog(TCVFileDialog::TKind::Open);
    dialog.Title = CVChooseWordlistIndexOfSameCorpus;
    dialog.Filter = LimitedDefaultFilter(kListIndexWordList) + QStringLiteral(";;All files (*)");
    const QString last = GetLastUsedFile(kListIndexWordList);
    dialog.FileName = last;
    dialog.InitialDir = last.isEmpty() ? GetLastOpenedFolder() : QFileInfo(last).absolutePath();
    if (dialog.Execute()) {
        if (auto* words = dynamic_cast<TCVWordList*>(grid->List())) {
            THourglass busy;
            TIndexHandler index(nullptr, dialog.FileName, kIndexOpenRead);
            words->CheckLemmasForConsistency(dialog.FileName, &index);
        }
    }
    grid->Refresh();
}

void TFormWordList::AAutoJoin(TCV_Grid* grid)
{
    if (RefusedWhileInUse("auto-join"))
        return;
    if (!GridMayBeWorkedOn(grid))
        return;
    TAutoJoinChoice choice;
    if (!CommandChoices().ChooseAutoJoin(choice) || choice.affixes.empty())
        return;
    auto* words = dynamic_cast<TCVWordList*>(grid->List());
    if (!words)
        return;
    THourglass busy;
    words->EnsureAlphabeticalAscendingSort();
    // Look-ups are not case-sensitive.
    std::unordered_map<QString, int> entryOfWord;
    for (int i = words->Count() - 1; i >= 0; --i)
        entryOfWord[words->Entry(i).fWord.toCaseFolded()] = i;
    const auto candidateOf = [](const QString& word, const TAutoJoinAffix& affix) -> QString {
        switch (affix.kind) {
        case 0:
            return word.size() > affix.text.size() && word.endsWith(affix.text) ? word.chopped(affix.text.size())
                                                                                 : QString();
        case 1:
            return word.size() > affix.text.size() && word.startsWith(affix.text) ? word.mid(affix.text.size())
                                                                                   : QString();
        default: {
            const qsizetype at = word.indexOf(affix.text, 1, Qt::CaseInsensitive);
            return at >= 1 ? QString(word).remove(at, affix.text.size()) : QString();
        }
        }
    };
    // Which entries go under which head; an entry is either a head or a form.
    std::map<int, std::vector<int>> groups;
    std::vector<char> isForm(size_t(words->Count()), 0);
    for (int i = 0; i < words->Count() && !Cancelled(); ++i) {
        if ((i & 255) == 0)
            MyYieldProcess();
        if (groups.count(i))
            continue;
        const QString word = words->Entry(i).fWord;
        for (const TAutoJoinAffix& affix : choice.affixes) {
            const QString candidate = candidateOf(word, affix);
            if (candidate.isEmpty())
                continue;
            const auto found = entryOfWord.find(candidate.toCaseFolded());
            if (found == entryOfWord.end() || found->second == i || isForm[size_t(found->second)])
                continue;
            if (choice.confirmEach && !JoinXtoY(word, words->Entry(found->second).fWord))
                continue;
            groups[found->second].push_back(i);
            isForm[size_t(i)] = 1;
            break;
        }
    }
    if (!groups.empty()) {
        // Joining by entry objects: every join takes a form out of the rows.
        std::vector<std::pair<TCVBaseListObject*, std::vector<TCVBaseListObject*>>> byEntry;
        for (const auto& [head, forms] : groups) {
            std::vector<TCVBaseListObject*> f;
            for (int form : forms)
                f.push_back(words->Get(form));
            byEntry.emplace_back(words->Get(head), std::move(f));
        }
        words->BeginUndoStep(QStringLiteral("Auto-Join"));
        for (const auto& [head, forms] : byEntry) {
            std::vector<int> rows{words->IndexOf(head)};
            for (TCVBaseListObject* f : forms)
                rows.push_back(words->IndexOf(f));
            words->JoinARange(rows, true);
        }
        words->EndUndoStep();
        ToolWindowList().Last_actions.Include(kActionRowsChanged);
    }
    grid->Refresh();
}

void TFormWordList::JJoinClusters(TCV_Grid* grid)
{
    if (RefusedWhileInUse("joining clusters"))
        return;
    T_WholeWordlistHolder* doc = WordlistDocument();
    if (!doc || !doc->fIndexHandler)
        return;
    bool smallerIntoLargest = true;
    if (!CommandChoices().ChooseJoinClusters(smallerIntoLargest))
        return;
    TCVWordList* clusters = doc->WordlistOfType(kListWordList);
    if (clusters && clusters->JoinClusters(smallerIntoLargest)) {
        ToolWindowList().Last_actions.Include(kActionRowsChanged);
        RefreshDataDisplay();
    }
    if (grid)
        grid->Refresh();
}

void TFormWordList::FFindFiles(TCV_Grid* grid)
{
    T_WholeWordlistHolder* doc = WordlistDocument();
    if (!GridMayBeWorkedOn(grid) || !doc)
        return;
    const TCVBaseDataClass& list = *grid->List();
    const std::vector<int> entries = grid->SelectedEntries();
    if (doc->fIndexHandler) {
        THourglass busy;
        TIndexHandler& handler = *doc->fIndexHandler;
        const TIndexData& index = handler.Data();
        QStringList rows;
        for (int entry : entries) {
            const QString word = MainWordOfEntry(list, entry);
            std::set<int32_t> texts;
            for (const TIndexPosition& p : handler.AllContextsOf(word))
                texts.insert(p.text);
            int n = 0;
            for (int32_t t : texts)
                if (t >= 0 && t < index.TextCount())
                    rows << QStringLiteral("%1. %2\t%3").arg(++n).arg(FullTextName(index.texts[size_t(t)].stats), word);
        }
        CommandChoices().ShowLemmaShower(CVFilenames.toString(), {CVFilenames.toString(), CVWord.toString()}, rows);
    } else if (doc->fStats) {
        QStringList words;
        for (int entry : entries)
            words << RelevantAffixesOfStringData(list, entry);
        const int texts = std::max(0, doc->fStats->Count() - 1);
        if (!words.isEmpty() && OKToShowWdsForNFiles(words.join(u','), double(texts))) {
            bool present = false;
            for (int i = 1; i < doc->fStats->Count() && !present; ++i) {
                const TStatsRec& r = doc->fStats->Row(i)->Data();
                present = QFileInfo(QDir(r.Folder).filePath(r.FileName)).isFile();
            }
            if (present)
                CommandChoices().ShowWordFrequenciesPerText(words, *doc->fStats);
            else
                ReportedAFact(CVNoFilesPresentOnDisk);
        }
    }
    grid->Refresh();
}

// ---------------------------------------------------------------------------
// Double clicks

void TFormWordList::DDblClickCell(TCV_Grid* grid, int column, int row)
{
    if (!GridMayBeWorkedOn(grid) || row <= 0)
        return;
    TCVBaseDataClass& list = *grid->List();
    const int entry = grid->EntryOfGridRow(row);
    if (grid->ListType == kListKeyWordPlot) {
        // A row of the plot (the overall row first): the lines it rests on.
        RequestConcordanceOfPlotRow(entry);
        return;
    }
    QString message;
    if (entry >= 0 && entry < list.Count()) {
        switch (grid->ListType) {
        case kListFilenames:
            if (const auto* stats = dynamic_cast<const TCVStatsList*>(&list)) {
                const TStatsRec& r = stats->Row(entry)->Data();
                const QString file = QDir(r.Folder).filePath(r.FileName);
                if (!r.FileName.isEmpty() && QFileInfo(file).isFile())
                    ShowOrSayWhere(file);
                else if (!r.Folder.isEmpty())
                    FailedToFind(file);
            }
            break;
        case kListWordList:
        case kListIndexWordList:
            if (column == TCVWordList::kColWord) {
                const QString word = MainWordOfEntry(list, entry);
                QStringList codes;
                for (QChar c : word)
                    codes << QStringLiteral("%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
                message = QStringLiteral("%1 = (%2)").arg(word, codes.join(u','));
            } else if (column == TCVWordList::kColLemmas) {
                const TCVBaseListObject& e = list[entry];
                if (e.JoinedCount() > 0) {
                    QStringList rows;
                    for (int i = 0; i < e.JoinedCount(); ++i)
                        rows << QStringLiteral("%1\t%2").arg(e.JoinedEntry(i)->MainWordFrequency()).arg(
                                    e.JoinedEntry(i)->MainWordOnly());
                    CommandChoices().ShowLemmaShower(CVLemmaForms.toString(),
                                                     {CVFrequency.toString(), CVVariants.toString()}, rows);
                }
            } else if (column == TCVWordList::kColSet || list.IsASetColumnColumn(column)) {
                EditSetColumnCell(grid, column, row);
            }
            break;
        case kListConsistencyRelations:
        case kListDetailedConsistency:
        case kListIndexRelationships:
            if (list.IsASetColumnColumn(column))
                EditSetColumnCell(grid, column, row);
            break;
        default:
            break;
        }
    }
    grid->Refresh();
    GlobalProgress().Hide();
    if (!message.isEmpty())
        AdvOfficeStatusBar1->PutAStatusbarMessage(kPanelInfo, message);
}

void TFormWordList::EditSetColumnCell(TCV_Grid* grid, int column, int row)
{
    if (RefusedWhileInUse("editing a category"))
        return;
    if (!GridMayBeWorkedOn(grid))
        return;
    TCVBaseDataClass& list = *grid->List();
    const int entry = grid->EntryOfGridRow(row);
    if (entry < 0 || entry >= list.Count())
        return;
    const int32_t set = list.SetNumberOfColumn(column);
    if (set <= 0)
        return;
    QString text = list[entry].Category(set);
    uint32_t colour = 0;
    if (!CommandChoices().EditCategory(RelevantAffixesOfStringData(list, entry), text, colour))
        return;
    if ((colour >> 24) != 0)
        list.SetACategoryAndColour(entry, set, text, colour, true);
    else
        list.SetACategoryString(entry, set, text, true);
    grid->Refresh();
}

// ---------------------------------------------------------------------------
// Key words against a reference list

void TFormWordList::CompareWithReferenceList(const QString& givenReference, const QString& referenceName)
{
    T_WholeWordlistHolder* doc = WordlistDocument();
    if (!doc)
        return;
    // The comparison reads the study list from its file: the save dialog,
    // when one opens now, says so.
    const QString plainTitle = ForceViewSaveFileDialog1.Title;
    ForceViewSaveFileDialog1.Title = CVSaveStudyListForKeyWords.toString();
    const struct TTitleBack {
        TCVFileDialog& dialog;
        QString title;
        ~TTitleBack() { dialog.Title = title; }
    } titleBack{ForceViewSaveFileDialog1, plainTitle};
    bool saveCalledOff = false;
    const TDialogAnswer answer = AskToSave(&saveCalledOff);
    if (answer == TDialogAnswer::No) {
        // Not saved, no comparison: the user is told why nothing follows.
        Tell("ListMustBeSavedFirst", TDialogKind::Information,
             QStringLiteral("Key words are computed from the word list's saved file, so the list must be saved "
                            "first. Save it (File > Save) and ask for the key words again."));
        return;
    }
    if (answer == TDialogAnswer::Cancel || saveCalledOff)
        return;
    // The comparison reads the study list from its file.
    QString study = doc->MainFile.FileName;
    if (study.isEmpty() || !QFileInfo(study).isFile()) {
        if (!Save(ToolWindowList().CurrentGrid()))
            return;
        study = doc->MainFile.FileName;
    }
    if (givenReference.isEmpty()) {
        if (!CommandChoices().ConfirmComparison(study))
            return;
        // The reference list chosen is a setting of the user's: the controller keeps it for the next start.
        PostToController(kCodeSettingsChangedInTool);
    }
    const QString reference = givenReference.isEmpty() ? GetKeywordsSettingsReferenceCorpus() : givenReference;
    // A reference list that is not there is named, not taken for one without key words.
    if (!reference.isEmpty() && !QFileInfo::exists(reference)) {
        FailedToFind(reference);
        return;
    }
    if (QFileInfo(reference) == QFileInfo(study)) {
        CantCompareWithSameFile(reference);
        return;
    }
    bool found = false;
    {
        THourglass busy;
        GlobalProgress().ClearAllAndShow(GetCentreofMainForm(), 1);
        TDocumentUse inUse(*this);
        doc->ComparedWordlists(study, reference, GetKeywordsSettingsHandleAmount(), found);
    }
    SetPageVisible(AdvOfficePageKWs, found);
    doc->NewTabsheetMade = found;
    GlobalProgress().Hide();
    const QString caption =
        Format(CVKWSWith, {referenceName.isEmpty() ? QFileInfo(reference).completeBaseName() : referenceName});
    AdvOfficePager1->setTabText(AdvOfficePager1->indexOf(AdvOfficePageKWs), caption);
    StartupOpenFileRec().Mark = 1;
    ToolWindowList().Last_actions.Include(kActionKeyWordsMade);
    RefreshDataDisplay();
    if (found) {
        ToolWindowList().Last_actions.Include(kActionKeyWordsMade);
        ResultsAreInTab(caption);
    } else {
        NoKeyWordsFound();
    }
}

bool TFormWordList::ComputeKeyWordPlots(bool withLinks)
{
    T_WholeWordlistHolder* doc = WordlistDocument();
    if (!doc || !doc->fKeywordsList || doc->fKeywordsList->Count() == 0) {
        ReportedAFact(QStringLiteral("There are no key words yet: compare the word list with a reference list first."));
        return false;
    }
    TKeyWordList& mine = *doc->fKeywordsList;
    if (mine.KWSettings.MultiTextStudyList()) {
        ReportedAFact(QStringLiteral("Plots and links place the key words in the text of the word list, so they "
                                     "need a word list of one text; this one was made from several."));
        return false;
    }
    // A key-word document of its own holds the plots and links (the
    // comparison's key words are copied into it).
    auto keyWords = std::make_unique<T_WholeKeywordsHolder>(kListKeyWords, fTagsToTranslateList.get(), fTagHandler.get(),
                                                            false, false, TCorvantisholder::TDudFileCallback{},
                                                            TCorvantisholder::TMainListEntriesCallback{},
                                                            [this] { return GetCentreofMainForm(); });
    auto list = std::make_unique<TKeyWordList>(keyWords.get(), kListKeyWords, CurrentToolSignature());
    list->KWSettings = mine.KWSettings;
    list->MergeWith(mine);
    list->n_actually_obtained = mine.n_actually_obtained;
    list->wds_considered_for_Dice = mine.wds_considered_for_Dice;
    list->DiceCoefficient = mine.DiceCoefficient;
    keyWords->SetKWsToThis(std::move(list));
    bool plotted = false;
    {
        THourglass busy;
        GlobalProgress().ClearAllAndShow(GetCentreofMainForm(), 1);
        TDocumentUse inUse(*this);
        // A choice of minimal processing is for batches: asked for, the plots are made.
        const bool fast = GetFastMinimalProcessing(current_tool_var);
        SetFastMinimalProcessing(current_tool_var, false);
        plotted = keyWords->RunRequestedComputations(withLinks);
        SetFastMinimalProcessing(current_tool_var, fast);
        GlobalProgress().Hide();
    }
    if (!plotted) {
        if (!Global_FailureMessage.isEmpty())
            ReportedAFact(Global_FailureMessage);
        else
            ReportedAFact(QStringLiteral("None of the key words could be placed in the text \"%1\".")
                              .arg(mine.KWSettings.SourceTextName()));
        return false;
    }
    DetachGridsFromLists();
    m_keyWords = std::move(keyWords);
    doc->AddOneLaterNote(Format(CVProcedureEquals, {withLinks ? QStringLiteral("key-word plots and links")
                                                              : QStringLiteral("key-word plots")}));
    ShowPagesForListType();
    QWidget* page = withLinks && m_keyWords->fKWLinks->Count() > 0 ? AdvOfficePageKWLinks : AdvOfficePageKWPlot;
    SetPageVisible(page, true);
    ActivatePage(page);
    // The plots get the room their marks need: as wide as the heading would
    // have it, they would show a text's thousands of words in a few pixels.
    CVGridKWPlot->SetColWidths(TKWPlotList::kColPlot, std::max(kPlotColumnMinWidth, CVGridKWPlot->width() / 2));
    ToolWindowList().Last_actions.Include(kActionKeyWordsMade);
    RefreshDataDisplay();
    return true;
}

bool TFormWordList::KeyWordPlotsPossible() const
{
    const T_WholeWordlistHolder* doc = WordlistDocument();
    return doc && doc->fKeywordsList && !doc->fKeywordsList->KWSettings.MultiTextStudyList();
}

void TFormWordList::SetUpGridDrawing()
{
    // The statistics page keeps its row numbers and file names in view.
    new TFrozenColumns(CVGridStatistics->View(), kStatisticsFrozenColumns);
    CVGridKWPlot->View()->setItemDelegateForColumn(
        TKWPlotList::kColPlot,
        new TPlotCellDelegate(CVGridKWPlot, [this](int entry, const TGeneralPlotDataList*& positions, int32_t& words) {
            const TKWPlotList* plots = m_keyWords ? m_keyWords->fPlots.get() : nullptr;
            if (!plots || CVGridKWPlot->List() != plots)
                return false;
            positions = plots->PlotPositionsOfRow(entry);
            words = plots->PlotData(entry + 1).words_in_file;
            return positions != nullptr;
        }));
    TDataModuleCorvantis* module = DataModuleCorvantis();
    if (!module)
        return;
    SetMenuSetProvider([this, module](uint8_t listType, uint8_t kind) {
        TMenuTagSet set = module->MenuSetForListType(listType, kind);
        if (WordlistDocument() && WordlistDocument()->fKeywordsList && !KeyWordPlotsPossible()) {
            set.reset(size_t(TagOf(TMenuCommand::Plot)));
            set.reset(size_t(TagOf(TMenuCommand::Links)));
        }
        return set;
    });
}

void TFormWordList::CompareWithTextFile()
{
    if (!WordlistDocument())
        return;
    TCVFileDialog dialog(TCVFileDialog::TKind::Open);
    dialog.Title = QStringLiteral("Choose a plain-text word list to compare with");
    dialog.Filter = QStringLiteral("Text files (*.txt);;All files (*)");
    dialog.DefaultExt = QStringLiteral("txt");
    dialog.InitialDir = GetLastOpenedFolder();
    if (!dialog.Execute())
        return;
    const QString text = dialog.FileName;
    // The text becomes a saved word list for the comparison, in the suite's own temporary folder.
    // A shortage of memory on the way has been told: it is no list without words.
    bool shortOfMemory = false;
    std::unique_ptr<TWordListPlainTextStringlist> plain = cv::ImportPlainTextWordList(
        text, GetTextSettings().LanguageId(), uint8_t(TListCase::Insensitive), 0, 1, &shortOfMemory);
    std::unique_ptr<T_WholeWordlistHolder> reference =
        plain ? MakeWordlistFromPlainText(*plain, QStringLiteral("reference list from %1").arg(text), &shortOfMemory)
              : nullptr;
    plain.reset();
    if (!reference) {
        if (!shortOfMemory)
            NoWordListWordsFoundIn(text);
        return;
    }
    const QString saved = SuiteTempFile(QFileInfo(text).completeBaseName() + QStringLiteral(" (reference)") +
                                        DefaultExtFromListType(kListWordList));
    if (!reference->SaveToFile(saved))
        return;
    CompareWithReferenceList(saved, QFileInfo(text).completeBaseName());
}

// ---------------------------------------------------------------------------
// Texts of rows

QStringList TFormWordList::FileNamesOfEntry(TCV_Grid* grid, int entry)
{
    T_WholeWordlistHolder* doc = WordlistDocument();
    if (!doc || !grid || !grid->List())
        return {};
    const TCVBaseDataClass& list = *grid->List();
    QStringList names;
    const auto addStats = [&](const TStatsRec& r) {
        const QString name = FullTextName(r);
        if (!r.FileName.isEmpty() && !names.contains(name))
            names << name;
    };
    if (auto* stats = dynamic_cast<const TCVStatsList*>(&list)) {
        // The pages of texts: the row's text (row 0 is the overall row).
        for (int i = entry >= 0 ? entry : 1; i < stats->Count() && (entry < 0 || i == entry); ++i)
            if (i > 0)
                addStats(stats->Row(i)->Data());
        return names;
    }
    if (doc->fIndexHandler) {
        const TIndexData& index = doc->fIndexHandler->Data();
        std::set<int32_t> texts;
        const auto textsOf = [&](const QString& word) {
            for (const TIndexPosition& p : doc->fIndexHandler->AllContextsOf(word))
                texts.insert(p.text);
        };
        if (entry >= 0) {
            textsOf(MainWordOfEntry(list, entry));
        } else {
            for (int t = 0; t < index.TextCount(); ++t)
                texts.insert(t);
        }
        for (int32_t t : texts)
            if (t >= 0 && t < index.TextCount())
                addStats(index.texts[size_t(t)].stats);
        return names;
    }
    if (auto* keyWords = dynamic_cast<const TKeyWordList*>(&list)) {
        if (const QString source = keyWords->KWSettings.SourceTextName(); !source.isEmpty())
            return {source};
    }
    // A word list without an index knows its texts, not which word is in which.
    if (doc->fStats)
        for (int i = 1; i < doc->fStats->Count(); ++i)
            addStats(doc->fStats->Row(i)->Data());
    return names;
}

void TFormWordList::ShowRowSourceFile(TCV_Grid* grid)
{
    T_WholeWordlistHolder* doc = WordlistDocument();
    if (!GridMayBeWorkedOn(grid) || !doc)
        return;
    const int entry = grid->EntryOfGridRow(std::max(1, grid->Row()));
    QStringList words;
    if (grid->ListType != kListFilenames && grid->ListType != kListStatistics && entry >= 0)
        words << MainWordOfEntry(*grid->List(), entry);
    const QStringList texts = FileNamesOfEntry(grid, entry);
    // A text inside a zip archive is read from the archive by the viewer.
    const QString text = texts.value(0);
    if (text.isEmpty() || !QFileInfo(text.section(u'|', 0, 0)).isFile()) {
        if (!text.isEmpty())
            FailedToFind(text);
        else
            ReportedAFact(CVNoFilesPresentOnDisk);
        return;
    }
    if (!CommandChoices().ShowSourceText(text, words))
        FailedToRead(text);
}

// ---------------------------------------------------------------------------
// Equal words

void TFormWordList::CheckForEqualWords()
{
    T_WholeWordlistHolder* doc = WordlistDocument();
    if (!doc)
        return;
    TCV_Grid* grid = ToolWindowList().CurrentGrid();
    auto* words = grid ? dynamic_cast<TCVWordList*>(grid->List()) : nullptr;
    if (!words)
        words = doc->WordlistOfType(doc->MainFile.ListType);
    if (!words)
        return;
    const std::vector<std::pair<int, int>> pairs = words->CheckForEqualStrings();
    if (pairs.empty()) {
        NoProblem();
        return;
    }
    QStringList shown;
    for (const auto& [a, b] : pairs)
        shown << words->Entry(a).fWord + QLatin1Char('\t') + words->Entry(b).fWord;
    CommandChoices().ShowLemmaShower(CVVariants.toString(), {CVWord.toString(), CVWord.toString()}, shown);

    // An entry merged into another is found through it when a later pair names it.
    std::vector<int> mergedInto(size_t(words->Count()), -1);
    const auto keeper = [&](int i) {
        while (mergedInto[size_t(i)] >= 0)
            i = mergedInto[size_t(i)];
        return i;
    };
    TDialogAnswer toAll = TDialogAnswer::None;
    int merged = 0;
    for (const auto& [first, second] : pairs) {
        const int a = keeper(first);
        const int b = keeper(second);
        if (a == b)
            continue;
        TDialogAnswer answer = toAll;
        if (answer == TDialogAnswer::None) {
            answer = Tell("MergeXwithY", TDialogKind::Question,
                          Format(CVMergeXwithY, {words->Entry(a).fWord, words->Entry(b).fWord}), kHelpEqualWords,
                          TDialogButtons::YesNoToAllCancel, TDialogAnswer::Cancel);
            if (answer == TDialogAnswer::YesToAll || answer == TDialogAnswer::NoToAll)
                toAll = answer;
        }
        if (answer == TDialogAnswer::Cancel)
            break;
        if (answer == TDialogAnswer::Yes || answer == TDialogAnswer::YesToAll) {
            if (words->MergeEqualWords(a, b)) {
                mergedInto[size_t(b)] = a;
                ++merged;
            }
        } else if (answer == TDialogAnswer::No || answer == TDialogAnswer::NoToAll) {
            words->AddASpaceToWordNumber(b);
        }
    }
    if (merged > 0 && OKToDoX(Format(CVZapX, {CVMerged}), kHelpEqualWords))
        words->Zap(true);
    words->EnsureAlphabeticalAscendingSort();
    ToolWindowList().Last_actions.Include(kActionRowsChanged);
    RefreshDataDisplay();
}

// ---------------------------------------------------------------------------
// Smaller windows and files

void TFormWordList::ShowDiceLemmaShower()
{
    const T_WholeWordlistHolder* doc = WordlistDocument();
    const TCVWordList* words = doc ? doc->WordlistOfType(doc->MainFile.ListType) : nullptr;
    if (!words || words->Count() == 0)
        return;
    QStringList rows;
    if (const TKeyWordList* keyWords = doc->fKeywordsList.get(); keyWords && keyWords->Count() > 0)
        rows << QStringLiteral("Dice coefficient\t%1").arg(keyWords->DiceCoefficient, 0, 'f', 3)
             << QStringLiteral("words compared\t%1").arg(keyWords->wds_considered_for_Dice)
             << QStringLiteral("key words\t%1").arg(keyWords->Count());
    CommandChoices().ShowLemmaShower(CVDiceCoefficients.toString(), {CVWord.toString(), CVFrequency.toString()}, rows);
}

void TFormWordList::ChooseMovingWindowPlotFile()
{
    TCVFileDialog dialog(TCVFileDialog::TKind::Open);
    dialog.Filter = QStringLiteral("Moving Window Plot files (*.plotdata);;All files (*)");
    dialog.DefaultExt = QStringLiteral("plotdata");
    dialog.InitialDir = GetLastOpenedFolder();
    if (dialog.Execute())
        OpenMovingWindowPlotFile(dialog.FileName);
}

void TFormWordList::MakeMovingWindowPlot()
{
    T_WholeWordlistHolder* doc = WordlistDocument();
    if (!doc || !doc->fIndexHandler)
        return;
    TMovingWindowSettings settings = CommandChoices().MovingWindowSettings();
    // A corpus too short for the windows set would give an empty plot:
    // the user is told, and offered windows that fit.
    const int64_t runningWords = doc->fIndexHandler->Data().RunningWords();
    if (!MovingWindowsFit(runningWords, settings.WindowWords)) {
        const int32_t fitting = MovingWindowThatFits(runningWords);
        if (fitting == 0) {
            TooFewWordsForMovingWindows(runningWords, kMovingWindowsForALine * kMovingWindowWordsMin);
            return;
        }
        if (!MovingWindowsTooLongUseFitting(runningWords, settings.WindowWords, fitting))
            return;
        settings.WindowWords = fitting;
    }
    QStringList written;
    {
        THourglass busy;
        TDocumentUse inUse(*this);
        global_panic_state = kPanicRun;
        GlobalProgress().ClearAllAndShow(GetCentreofMainForm(), 1);
        written = doc->MakeAndSaveMovingWindow(settings);
        GlobalProgress().Hide();
    }
    const QString plot = written.value(0);
    const QString text = written.value(1);
    // One question for both files; the plot then comes up in front of the
    // window the question belonged to.
    if (plot.isEmpty() || !QFileInfo(plot).isFile())
        return;
    if (text.isEmpty() ? SavedOKViewNow(plot) : SavedPlotViewNow(plot, text))
        OpenMovingWindowPlotFile(plot);
}

void TFormWordList::ExportIndexData()
{
    T_WholeWordlistHolder* doc = WordlistDocument();
    if (!doc || !doc->fIndexHandler)
        return;
    TIndexExportChoice choice;
    if (!CommandChoices().ChooseIndexExport(choice) || choice.fileName.isEmpty())
        return;
    bool ok = false;
    {
        THourglass busy;
        ok = doc->fIndexHandler->ExportData(choice.fileName, choice.word.trimmed(), choice.sentenceLengths);
    }
    if (ok)
        ShowOrSayWhere(choice.fileName);
}

} // namespace cv
