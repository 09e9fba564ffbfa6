#include "ui/framework/grid_dialogs/grid_dialog_host.h"

#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>
#include <QTableView>

#include "gui/desktop_services.h"
#include "model/base_list.h"
#include "model/corvantis_holder.h"
#include "runtime/progress.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/excel_writer.h"
#include "suite/resource_strings.h"
#include "suite/search_items.h"
#include "suite/text_settings.h"
#include "suite/wdef.h"
#include "suite/window_messages.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/framework/grid_dialogs/breakdown_window.h"
#include "ui/framework/grid_dialogs/clipboard_format_dialog.h"
#include "ui/framework/grid_dialogs/grid_columns_dialog.h"
#include "ui/framework/grid_dialogs/grid_printing.h"
#include "ui/framework/grid_dialogs/print_preview.h"
#include "ui/framework/grid_dialogs/save_as_dialog.h"
#include "ui/framework/grid_dialogs/search_dialogs.h"
#include "ui/framework/grid_dialogs/search_replace_dialog.h"
#include "ui/framework/grid_dialogs/search_switches.h"
#include "ui/framework/grid_dialogs/wizard_base.h"

namespace cv {

namespace {

// Width units of the columns dialog, remembered between runs.
uint8_t RememberedUnits()
{
    QSettings settings(GridDialogSettingsFileName(), QSettings::IniFormat);
    const QVariant stored = settings.value(QStringLiteral("columns/units"));
    if (stored.isValid())
        return uint8_t(stored.toInt() == kUnitsCentimetres ? kUnitsCentimetres : kUnitsInches);
    return QLocale().measurementSystem() == QLocale::MetricSystem ? kUnitsCentimetres : kUnitsInches;
}

void RememberUnits(uint8_t units)
{
    QSettings settings(GridDialogSettingsFileName(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("columns/units"), int(units));
}

// The grid column of a set column's number; -1 when the list has none of that number.
int ColumnOfSetNumber(const TCVBaseDataClass& list, int setNumber)
{
    for (int c = 0; c < list.ColumnCount(); ++c)
        if (list.SetNumberOfColumn(c) == setNumber)
            return c;
    return -1;
}

} // namespace

TGridDialogHost::TGridDialogHost(QWidget& window)
    : QObject(&window), m_window(window), printpreviewHandler(std::make_unique<TPrintPreviewHandler>())
{
    setObjectName(QStringLiteral("GridDialogHost"));
}

TGridDialogHost::~TGridDialogHost() = default;

TCVFormPrintPreview* TGridDialogHost::PrintPreviewForm() const { return m_preview; }

TSaveAsTxtDlgFeb2012* TGridDialogHost::SaveAsDialog() const { return m_saveAs; }

TFormTestWhether* TGridDialogHost::SearchDelColourCatForm() const { return m_conditions; }

TSearchReplaceDlg* TGridDialogHost::SearchReplaceDialog() const { return m_searchReplace; }

TFormBreakdown* TGridDialogHost::BreakdownForm() const { return m_breakdown; }

bool TGridDialogHost::MayWorkOn(TCV_Grid* grid) const
{
    if (!grid || !grid->List())
        return false;
    return !m_link.GridMayBeWorkedOn || m_link.GridMayBeWorkedOn(grid);
}

QWidget* TGridDialogHost::Owner() const
{
    QWidget* child = m_link.ChildForm ? m_link.ChildForm() : nullptr;
    return child ? child : &m_window;
}

bool TGridDialogHost::SaveAsExport(TCV_Grid* grid, int exportKind, bool& busySavingAs)
{
    if (busySavingAs || !MayWorkOn(grid))
        return false;
    TCorvantisholder* doc = m_link.Document ? m_link.Document() : nullptr;
    if (!doc)
        return false;
    TCVBaseDataClass& list = *grid->List();
    if (!m_saveAs) {
        m_saveAs = new TSaveAsTxtDlgFeb2012(Owner());
        m_saveAs->StartFolder = FolderForNewFiles();
    }
    // The document's name with its extension turned into "_" and the list
    // type's name; a document never saved has a bare name, which goes into
    // the folder for new files (not the folder the program runs in).
    const uint8_t listType = grid->ListType;
    QString base = doc->MainFile.FileName;
    if (base.isEmpty() && !doc->SuggestedFilename.trimmed().isEmpty())
        base = QDir(FolderForNewFiles()).filePath(doc->SuggestedFilename.trimmed());
    QString fileName;
    if (!base.isEmpty()) {
        const QFileInfo info(base);
        fileName = QDir(info.absolutePath()).filePath(info.completeBaseName() + u'_' + ListTypeName(listType));
    } else {
        fileName = QDir(m_saveAs->StartFolder).filePath(ListTypeName(listType));
    }
    TCVExportSettings current = doc->ExportSettings;
    current.Format = TSaveAsFormat(std::clamp(exportKind, 0, int(TSaveAsFormat::ListTypesOwn)));
    // The dialog numbers the columns as the grid shows them (hidden ones
    // have no number), and the file takes them as numbered.
    m_saveAs->SetupSaveAs(int32_t(ExportColumnsOfGrid(*grid).size()), grid->RowCount() - 1, GridSelectionOf(*grid), 0, listType,
                          grid->KindOfDisplay, current, fileName, GetConcCharactersForTextOnly());
    if (RunModalDialog(*m_saveAs) != QDialog::Accepted)
        return false;
    SetConcCharactersForTextOnly(m_saveAs->SaveAsConcCharacters);
    doc->ExportSettings = m_saveAs->ExportSettings;
    const QString target = doc->ExportSettings.FileName;
    const QString folder = QFileInfo(target).absolutePath();
    if (!QFileInfo(folder).isDir() || !QFileInfo(folder).isWritable()) {
        CannotWriteToXFolder(folder);
        return false;
    }

    // The file written is offered to be opened.
    const auto written = [&](bool ok) {
        QApplication::restoreOverrideCursor();
        grid->Refresh();
        if (ok && QFileInfo::exists(target) && SavedOKOpenNow(target))
            ShowOrSayWhere(target);
        return ok;
    };
    const TSaveAsFormat format = doc->ExportSettings.Format;
    if (format == TSaveAsFormat::ListTypesOwn) {
        // The list type's own format is the document saved under the chosen name.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        busySavingAs = true;
        const bool ok = m_link.SaveOwnFormat && m_link.SaveOwnFormat(grid, target);
        busySavingAs = false;
        return written(ok);
    }

    TGridExportRows rows(*grid, doc->ExportSettings);
    // What a sheet cannot hold is said before the work, not after it: the
    // user may go on with the first rows or choose other rows or a format.
    if (format == TSaveAsFormat::Spreadsheet && SpreadsheetDataRows(rows) < rows.Count()) {
        const QLocale locale;
        const QString text = QStringLiteral("A sheet holds at most %1 rows: only the first %2 of the %3 rows chosen can be saved%4.")
                                 .arg(locale.toString(qlonglong(TExcelWriter::kMaxRows)),
                                      locale.toString(qlonglong(SpreadsheetDataRows(rows))),
                                      locale.toString(qlonglong(rows.Count())),
                                      rows.withHeadingRow ? QStringLiteral(" below the headings") : QString());
        if (WarnAboutAndASKOK(CVSaveAsExcel.toString(), text, kHelpSaveAs) != TDialogAnswer::OK)
            return false;
        rows.KeepFirst(SpreadsheetDataRows(rows));
    }

    QApplication::setOverrideCursor(Qt::WaitCursor);
    global_panic_state = kPanicRun;
    // The list stays as it is while its rows are written (a busy list shows
    // no cells; the export reads them all the same).
    const uint8_t wasBusy = list.ListBusy();
    list.SetListBusy(kListBusy);
    GlobalProgress().ClearAllAndShow(m_window.geometry().center(), 1);
    GlobalProgress().ProgressLongMessage(QFileInfo(target).fileName());
    MyYieldProcess();
    busySavingAs = true;
    TProgressSteps steps;
    TExportRun run;
    run.step = [&steps](int64_t done, int64_t all) { return steps.Step(done, all); };
    // "All files": the name decides; anything not known is plain text.
    const bool ok = doc->WriteExportRows(rows, format == TSaveAsFormat::AllFiles ? TSaveAsFormat::Text : format, &run);
    busySavingAs = false;
    GlobalProgress().Hide();
    list.SetListBusy(wasBusy);
    return written(ok);
}

void TGridDialogHost::OpenColumnsDialog(TCV_Grid* grid, bool computedPage)
{
    if (!MayWorkOn(grid))
        return;
    TGridColumnLayout& layout = ColumnLayoutOf(*grid);
    TFormColumns form(Owner());
    TCVBaseDataClass* list = grid->List();
    const bool setColumns = IsLemmatisableListType(grid->ListType);
    form.AssignDetails(
        grid, layout.Headers(), setColumns, grid->ListType, RememberedUnits(),
        [grid, list](TCV_Base_Grid*, bool setColumn, int column, bool create, const QString& formula) {
            TGridColumnLayout& l = ColumnLayoutOf(*grid);
            if (!setColumn) {
                if (create)
                    l.AddComputedColumn(formula, nullptr);
                else
                    l.DeleteComputedColumn(column);
                return;
            }
            const int gridColumn = create ? -1 : ColumnOfSetNumber(*list, column);
            if (grid->HandlersB.AddOrDeleteColumn) {
                grid->HandlersB.AddOrDeleteColumn(grid, gridColumn, create);
            } else if (create) {
                int32_t next = 1;
                for (int c = 0; c < list->ColumnCount(); ++c)
                    next = std::max(next, list->SetNumberOfColumn(c) + 1);
                list->AddSetColumn(Format(CVSetColumnD, {next}));
                grid->Refresh();
            } else if (list->DeleteSetColumn(gridColumn)) {
                grid->Refresh();
            } else {
                NotApplicableExplanation();
            }
        },
        [this, grid](TCV_Base_Grid*) {
            if (!grid->HandlersB.SaveColumnsAsCustomised)
                return SaveColumnsAsCustomised(grid);
            // Saved through the grid's own handler: the file written tells.
            const QString file = CustomisedLayoutFileName(ColumnLayoutOf(*grid).ListType());
            const QDateTime before = QFileInfo(file).lastModified();
            grid->HandlersB.SaveColumnsAsCustomised(grid);
            const QFileInfo after(file);
            return after.exists() && (!before.isValid() || after.lastModified() >= before);
        },
        [grid](TCV_Base_Grid*, const TGrid_header_array& headers) {
            TGridColumnLayout& l = ColumnLayoutOf(*grid);
            QStringList before;
            for (int c = 0; c < grid->ColCount(); ++c)
                before << grid->Cells(c, 0);
            l.SetHeaders(headers);
            // Headings the user typed become the list's own.
            for (int c = 0; c < grid->ColCount() && c < before.size(); ++c)
                if (grid->Cells(c, 0) != before[c] && grid->HandlersA.ColumnHeadingChanged)
                    grid->HandlersA.ColumnHeadingChanged(grid, c);
            if (grid->HandlersA.PreviewPageChanged)
                grid->HandlersA.PreviewPageChanged(grid);
        });
    if (computedPage && form.ComputedPage)
        form.PageControl->setCurrentWidget(form.ComputedPage);
    RunModalDialog(form);
    RememberUnits(form.fUnits);
}

bool TGridDialogHost::SaveColumnsAsCustomised(TCV_Grid* grid)
{
    if (!MayWorkOn(grid))
        return false;
    QString error;
    if (ColumnLayoutOf(*grid).SaveAsCustomised(&error))
        return true;
    FailedToSave(CustomisedLayoutFileName(ColumnLayoutOf(*grid).ListType()));
    return false;
}

void TGridDialogHost::OpenConditionsDialog(TCV_Grid* grid, TConditionsMode mode)
{
    if (!MayWorkOn(grid))
        return;
    if (!m_conditions)
        m_conditions = new TFormTestWhether(Owner());
    m_conditions->SetUp(grid, mode);
    m_conditions->show();
    m_conditions->raise();
}

void TGridDialogHost::PageChanged(TCV_Grid* grid)
{
    if (!m_conditions || !m_conditions->isVisible())
        return;
    const TConditionsMode mode = m_conditions->ActionTag;
    m_conditions->Stop();
    if (MayWorkOn(grid))
        m_conditions->SetUp(grid, mode);
}

void TGridDialogHost::StopConditions(bool hide)
{
    // The breakdown's count is stopped too: it works on the same lists.
    if (m_breakdown)
        m_breakdown->StopCounting();
    if (!m_conditions)
        return;
    m_conditions->Stop();
    if (hide)
        m_conditions->hide();
}

bool TGridDialogHost::PrintGrid(TCV_Grid* grid)
{
    if (!MayWorkOn(grid))
        return false;
    if (m_preview && m_preview->isVisible() && grid->ListType == kListConcordance) {
        PrintPreviewGrid(grid);
        return false;
    }
    printpreviewHandler->SetTheGrid(grid);
    return printpreviewHandler->PrintGrid(Owner());
}

void TGridDialogHost::PrintPreviewGrid(TCV_Grid* grid)
{
    if (!MayWorkOn(grid))
        return;
    if (!m_preview) {
        m_preview = new TCVFormPrintPreview(Owner());
        m_preview->AssignStuff(printpreviewHandler.get(), &printpreviewHandler->Organiser(), &m_window);
        m_preview->fPrintSettingsChanged = [this] { printpreviewHandler->Organiser().Store(); };
        printpreviewHandler->SetPreviewForm(m_preview);
    }
    printpreviewHandler->SetTheGrid(grid);
    m_preview->SetPreviewGrid(grid);
    BringToFront(m_preview);
    m_preview->Redraw();
}

void TGridDialogHost::PreviewPageChanged(TCV_Grid* grid)
{
    if (m_preview && m_preview->isVisible() && m_preview->fPreviewFormGrid == grid && printpreviewHandler->Grid() == grid)
        printpreviewHandler->Command(kPrintStoreRecord);
}

bool TGridDialogHost::OpenActiveColumnChooser(TCV_Grid* grid)
{
    if (!MayWorkOn(grid))
        return false;
    TFormSetColActiveColChooser chooser(Owner());
    chooser.SetTheAlternatives(grid->List());
    if (RunModalDialog(chooser) != QDialog::Accepted)
        return false;
    grid->Refresh();
    return true;
}

void TGridDialogHost::OpenSearchReplace(TCV_Grid* grid, bool replacing)
{
    if (!MayWorkOn(grid))
        return;
    if (!m_searchReplace)
        m_searchReplace = new TSearchReplaceDlg(Owner());
    else if (m_searchReplace->BusyInSearch)
        m_searchReplace->Stop();
    const auto replace = [this](TCV_Grid* g, int column, const QString&, const QString& replaced, int row) {
        if (!g || !MayWorkOn(g))
            return;
        const int entry = g->EntryOfGridRow(row);
        if (entry >= 0 && g->List()->SetSomeWordAsString(entry, column, replaced, true))
            g->Model()->CellsChanged();
    };
    const auto found = [](TCV_Grid* g, int hit, int, int row, int) {
        if (g && g->HandlersB.StatusBarMessage)
            g->HandlersB.StatusBarMessage(10, Format(CVHitN, {hit, row}));
    };
    // The grid draws the search words of a search while it runs.
    const auto started = [](TCV_Grid* g, const TSearchWordItems& words) {
        if (g)
            g->SetDrawForGridSearchDisplay(GlobalSearchColumn(), words.TypedSearchWords());
    };
    m_searchReplace->Setup(replacing, replace, {}, {}, started, found, grid);
    // When the dialog goes the grid draws them no more.
    if (m_searchGrid && m_searchGrid != grid)
        m_searchGrid->SetDrawForGridSearchDisplay(-1, {});
    m_searchGrid = grid;
    m_searchReplace->removeEventFilter(this);
    m_searchReplace->installEventFilter(this);
    m_searchReplace->show();
    m_searchReplace->raise();
}

bool TGridDialogHost::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_searchReplace && event->type() == QEvent::Hide && m_searchGrid)
        m_searchGrid->SetDrawForGridSearchDisplay(-1, {});
    return QObject::eventFilter(watched, event);
}

void TGridDialogHost::StopSearchReplace()
{
    if (m_searchReplace && (m_searchReplace->BusyInSearch || m_searchReplace->WaitingForDecision()))
        m_searchReplace->Stop();
}

void TGridDialogHost::ShowBreakdown(TCV_Grid* grid)
{
    if (!MayWorkOn(grid))
        return;
    TCVBaseDataClass& list = *grid->List();
    // Taken first: a grid that gets its column layout now shows its list afresh.
    QStringList words;
    for (int entry : grid->SelectedEntries())
        if (const TCVBaseListObject* e = list.Get(entry))
            words << e->MainWordOnly();
    if (!m_breakdown)
        m_breakdown = new TFormBreakdown(Owner());
    int column = grid->View()->currentIndex().column();
    if (column <= 0 || column >= list.ColumnCount())
        column = std::max(1, list.WordColumn());
    m_breakdown->SetTheHeaders(column, grid,
                               [](const TCVBaseDataClass& l, const TSearchSummaryRequest& request,
                                  const QStringList& expressions, TSummaryArrays& summary) {
                                   ComputeSearchSummary(l, request, expressions, GetTextSettings(), summary);
                               });
    if (grid->ListType == kListConcordance)
        m_breakdown->SetBreakDownToFiles();
    m_breakdown->FeedTheMemoIfEmpty(words);
    m_breakdown->show();
    m_breakdown->raise();
}

bool TGridDialogHost::ChooseClipboardFormat(TCV_Grid* grid)
{
    if (!MayWorkOn(grid))
        return false;
    return RunClipboardFormatDialog(Owner(), grid);
}

void TGridDialogHost::AttachColumnLayouts(const std::vector<TCV_Grid*>& grids)
{
    for (TCV_Grid* grid : grids)
        if (grid)
            ColumnLayoutOf(*grid);
}

void TGridDialogHost::AddHandlers(TCVGridHandlersA& a)
{
    a.PreviewPageChanged = [this](TCV_Grid* grid) { PreviewPageChanged(grid); };
    a.OpenColumnsDialog = [this](TCV_Grid* grid) { OpenColumnsDialog(grid); };
    a.OpenConditionsDialog = [this](TCV_Grid* grid) { OpenConditionsDialog(grid, TConditionsMode::DeleteIf); };
    a.OpenColourCategoryDialog = [this](TCV_Grid* grid) {
        OpenConditionsDialog(grid, TConditionsMode::ColourCategories);
    };
}

void TGridDialogHost::AddHandlers(TCVGridHandlersB& b)
{
    b.SaveColumnsAsCustomised = [this](TCV_Grid* grid) { SaveColumnsAsCustomised(grid); };
    b.OpenConditionsDialog2 = [this](TCV_Grid* grid) { OpenConditionsDialog(grid, TConditionsMode::Search); };
    b.PrintGrid = [this](TCV_Grid* grid) { PrintGrid(grid); };
    b.PrintPreviewGrid = [this](TCV_Grid* grid) { PrintPreviewGrid(grid); };
    b.OpenSearchReplace = [this](TCV_Grid* grid, bool replacing) { OpenSearchReplace(grid, replacing); };
    b.SSummaryStats = [this](TCV_Grid* grid) { ShowBreakdown(grid); };
    b.GGetSaveToClipboardChoices = [this](TCV_Grid* grid) { ChooseClipboardFormat(grid); };
}

TGridDialogHost& GridDialogHostOf(QWidget& window)
{
    if (TGridDialogHost* host = FindGridDialogHost(window))
        return *host;
    return *new TGridDialogHost(window);
}

TGridDialogHost* FindGridDialogHost(QWidget& window)
{
    return window.findChild<TGridDialogHost*>(QStringLiteral("GridDialogHost"), Qt::FindDirectChildrenOnly);
}

void ShowGridBreakdown(TCV_Grid* grid)
{
    if (!grid)
        return;
    QWidget* window = grid->MainWindow ? grid->MainWindow.data() : grid->window();
    GridDialogHostOf(*window).ShowBreakdown(grid);
}

} // namespace cv
