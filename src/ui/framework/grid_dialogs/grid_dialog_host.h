#pragma once
// The grid dialogs of one tool window: made on demand, owned by the window
// (a child object of it), and opened by the window's grid handlers. The
// window gives the host what the dialogs need of it through TWindowLink;
// the host never knows the window's class.

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "gui/cv_grid.h"

namespace cv {

class TCorvantisholder;
class TCVFormPrintPreview;
class TFormBreakdown;
class TSearchReplaceDlg;
class TFormTestWhether;
enum class TConditionsMode : int32_t; // search_dialogs.h
class TPrintPreviewHandler;
class TSaveAsTxtDlgFeb2012;

class TGridDialogHost final : public QObject {
public:
    struct TWindowLink {
        std::function<bool(QObject* grid)> GridMayBeWorkedOn;
        std::function<TCorvantisholder*()> Document;
        // Saves the document in its own format under a name (export kind 4).
        std::function<bool(TCV_Grid* grid, const QString& fileName)> SaveOwnFormat;
        std::function<QWidget*()> ChildForm;
    };

    explicit TGridDialogHost(QWidget& window);
    ~TGridDialogHost() override;
    void SetWindowLink(TWindowLink link) { m_link = std::move(link); }

    // Exports the grid's list through the save-as dialog and the document's
    // exports: kind 0 text, 1 XML, 2 spreadsheet, 3 RTF, 4 the list type's
    // own format. busySavingAs is the window's flag: set while the export
    // runs; a second export is refused while it is. True when a file was written.
    bool SaveAsExport(TCV_Grid* grid, int exportKind, bool& busySavingAs);
    // "Columns: Layout & Format" for the grid; computedPage opens it on
    // its calculator page ("New column"). A heading the user changes goes to
    // the grid's ColumnHeadingChanged, "Save" through its
    // SaveColumnsAsCustomised, and an open print preview of the grid follows
    // every change (PreviewPageChanged).
    void OpenColumnsDialog(TCV_Grid* grid, bool computedPage = false);
    // Stores the grid's columns as the customised layout of its list type.
    bool SaveColumnsAsCustomised(TCV_Grid* grid);
    // The conditions dialog (made once) on the grid, in a mode.
    void OpenConditionsDialog(TCV_Grid* grid, TConditionsMode mode);
    // The page changed: an open conditions dialog is stopped and pointed at
    // the new page's grid and list.
    void PageChanged(TCV_Grid* grid);
    // Stops the conditions dialog (and hides it) and any breakdown count before the data goes.
    void StopConditions(bool hide);

    // Prints the grid: print dialog, pages agreed, pages printed. A
    // concordance grid goes to the open preview instead.
    bool PrintGrid(TCV_Grid* grid);
    // The print preview (made once) on the grid.
    void PrintPreviewGrid(TCV_Grid* grid);
    // The grid's page set-up changed: an open preview of it is redrawn.
    void PreviewPageChanged(TCV_Grid* grid);

    // "Active Set Column" for the grid's list; true when a column was chosen.
    bool OpenActiveColumnChooser(TCV_Grid* grid);
    // "Search + Replace" (made once) on the grid: each replacement goes into
    // the row's entry in the searched column (undoably), each hit is shown
    // on status-bar panel 10. Without replacing it only searches.
    void OpenSearchReplace(TCV_Grid* grid, bool replacing = true);
    // Stops a search that runs or waits at a hit (before the window closes).
    void StopSearchReplace();
    // "Breakdown" (made once) on the grid's current column; a concordance is
    // broken down by its text files; an empty searches box gets the words
    // of the selected rows.
    void ShowBreakdown(TCV_Grid* grid);
    // "Choose Clipboard Format"; on OK the grid takes the stored choices.
    bool ChooseClipboardFormat(TCV_Grid* grid);

    // Every grid gets its column layout, so customised layouts show from the start.
    static void AttachColumnLayouts(const std::vector<TCV_Grid*>& grids);

    // The grid dialogs' handlers, added to the window's groups.
    void AddHandlers(TCVGridHandlersA& a);
    void AddHandlers(TCVGridHandlersB& b);

    TSaveAsTxtDlgFeb2012* SaveAsDialog() const;
    TFormTestWhether* SearchDelColourCatForm() const;
    TCVFormPrintPreview* PrintPreviewForm() const;
    TSearchReplaceDlg* SearchReplaceDialog() const;
    TFormBreakdown* BreakdownForm() const;
    TPrintPreviewHandler& PrintHandler() { return *printpreviewHandler; }

protected:
    // The search dialog hidden: the grid it searched draws no search words.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool MayWorkOn(TCV_Grid* grid) const;
    QWidget* Owner() const;

    QWidget& m_window;
    TWindowLink m_link;
    QPointer<TSaveAsTxtDlgFeb2012> m_saveAs;
    QPointer<TFormTestWhether> m_conditions;
    QPointer<TCVFormPrintPreview> m_preview;
    QPointer<TSearchReplaceDlg> m_searchReplace;
    QPointer<TCV_Grid> m_searchGrid;
    QPointer<TFormBreakdown> m_breakdown;
    std::unique_ptr<TPrintPreviewHandler> printpreviewHandler;
};

// The host of a window, made on first use.
TGridDialogHost& GridDialogHostOf(QWidget& window);
// The host when the window has one.
TGridDialogHost* FindGridDialogHost(QWidget& window);
// The breakdown window of the grid's tool window (its host's).
void ShowGridBreakdown(TCV_Grid* grid);

} // namespace cv
