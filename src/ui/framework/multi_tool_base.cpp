#include "ui/framework/multi_tool_base.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTabWidget>
#include <QToolButton>

#include <algorithm>

#include "crashreport/core/options/crashbox_options.h"
#include "gui/cv_status_bar.h"
#include "gui/file_dialogs.h"
#include "model/check_signature.h"
#include "model/corvantis_holder.h"
#include "runtime/controller_link.h"
#include "runtime/language_list.h"
#include "runtime/progress.h"
#include "suite/controller_codes.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cv_stream.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/logging.h"
#include "suite/menu_commands.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/wdef.h"
#include "suite/window_messages.h"
#include "suite/zip_archive.h"
#include "ui/framework/controller_commands.h"
#include "ui/framework/main_tools_form.h"
#include "ui/framework/tool_data_module.h"
#include "ui/framework/tool_pages.h"

namespace cv {

bool ToolClosing = false;

namespace {

// The tool whose plain-text word lists (".txt", "*.??_srt") open as list type 22.
constexpr uint8_t kToolTakingPlainTextLists = 5;
constexpr uint8_t kListIndexDocument = kListIndexWordList; // 23

// The module's finalisation: the closing line in the log.
struct TModuleEnd {
    ~TModuleEnd()
    {
        if (LoggingIsOn())
            AddToLogFile(QStringLiteral("quit multi_tool_base, "));
    }
};

QString WithoutFolder(const QString& fileName) { return QFileInfo(fileName).fileName(); }

int ScaledForDPI(int value, double dpi) { return int(value * dpi / 96.0 + 0.5); }

enum class TFileKind { NotOurs, OlderOrNewer, Ours };

// Reads the signature at the start of a file; the tool that wrote it and its kind.
TFileKind ReadFileSignature(const QString& fileName, TCheckSignature& sig)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return TFileKind::NotOurs;
    const QByteArray head = file.read(TCheckSignature::kSize);
    if (head.size() < TCheckSignature::kSize || !head.startsWith("CVSF"))
        return TFileKind::NotOurs;
    TMemoryStream stream;
    stream.Write(head.constData(), head.size());
    stream.SetPosition(0);
    const TSignatureCheck check = sig.ReadFromStream(stream, INT32_MAX);
    if (check == TSignatureCheck::OK)
        return TFileKind::Ours;
    return check == TSignatureCheck::NewerFormat ? TFileKind::OlderOrNewer : TFileKind::NotOurs;
}

} // namespace

uint8_t DefaultListTypeOfTool(uint8_t tool)
{
    for (const TCorvantisList& l : AllListTypes())
        if (l.tool == tool && l.defaultExt[0] != 0)
            return l.listType;
    return kListWordList;
}

bool WriteUtf16File(const QString& fileName, const QString& text, QString* error)
{
    // Through the suite's save, which keeps a file in the suite's own folder
    // (the texts' names shown to the user) for its user alone.
    TMemoryStream m;
    m.WriteU16(0xFEFF);
    m.WriteExact(text.utf16(), int64_t(text.size()) * 2);
    return m.SaveToFile(fileName, error);
}

BaseDataSetType& BaseDataSet()
{
    static TModuleEnd end;
    static BaseDataSetType record;
    return record;
}

void ResetBaseDataSet() { BaseDataSet() = BaseDataSetType{}; }

int MainPageHelpContext(uint8_t tool)
{
    static constexpr std::array<int, kToolCount> kContexts{2700, 1910, 2190, 5810, 2480, 5170, 1000, 1000, 2570,
                                                           5410, 4200, 4150, 1000, 5010, 5150, 1000, 1000, 1000};
    return kContexts[std::min<size_t>(tool, kContexts.size() - 1)];
}

// ---------------------------------------------------------------------------
// Window set-up and state

void SetUpToolWindowLink(TWindowHandle window)
{
    if (CrashboxActivated())
        CurrentCrashboxOptions().SetOutputPath(GetUserReadWriteFolder().toStdString());
    InitLoggingFromSharedSettings();
    RegisterOwnWindowWithController(window);
    if (TDataModuleCorvantis* module = DataModuleCorvantis())
        module->UpdateAllMenuShortCutsFromTextbuf();
}

Tdouble_smallint_type HookStatusBarToProgress(TCVStatusBar& statusBar, std::function<void(int)> panelClick)
{
    statusBar.OnPanelClick = std::move(panelClick);
    GlobalProgress().SetProgressStatusBar(&statusBar);
    // The window's own panels show every job's progress, with the controller running too.
    GlobalProgress().SetDisplay(TProgressClass::TDisplay::StatusBarAndController);
    return statusBar.InitStatusBar();
}

QRect MainFormPlacement(const TMainFormPlacementInput& in)
{
    const int c = in.captionHeight;
    const int w = in.desktop.width() / 4 * 3;
    const int h = in.desktop.height() / 4 * 3;
    // The form's design resolution (96 pixels per inch) times the tools open, a quarter of it.
    const int d = ScaledForDPI(96 * in.toolsOpen / 4, in.screenDpi);
    int left = (in.tool + 1) * c + d;
    int top = 3 * c + d;
    if (in.monitorCount > 1 && in.defaultMonitor > 0) {
        left += in.monitor1.left();
        top += in.monitor1.top();
    }
    const int height = std::max(h, ScaledForDPI(460, in.screenDpi));
    const int width = std::max(w, ScaledForDPI(640, in.screenDpi));
    return QRect(left, top, width, height);
}

void PlaceMainFormOnMonitor(QWidget& form)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return;
    TMainFormPlacementInput in;
    in.desktop = primary->geometry();
    in.monitor1 = screens.isEmpty() ? in.desktop : screens.first()->geometry();
    in.monitorCount = int(screens.size());
    // The settings buffer names no default monitor: the first one is used.
    in.defaultMonitor = 0;
    in.captionHeight = form.style() ? form.style()->pixelMetric(QStyle::PM_TitleBarHeight) : 23;
    in.toolsOpen = GetToolsOpen();
    in.tool = current_tool_var;
    in.screenDpi = primary->logicalDotsPerInch();
    form.setGeometry(MainFormPlacement(in));
}

void ActivateMainForm(QWidget* menu, const std::function<void(int)>& callback)
{
    if (ToolClosing)
        return;
    if (LoggingIsOn())
        AddToLogFile(QTime::currentTime().toString(QStringLiteral("hh:mm:ss")) + QStringLiteral(": activating main form"));
    ToolWindowList().SetAllGridsToStyle();
    if (callback)
        callback(-1);
    // The menus follow Qt's application style; there is no separate menu styler to bring in line.
    (void)menu;
}

void NoteToolClosing()
{
    ToolClosing = true;
    if (LoggingIsOn())
        AddToLogFile(QStringLiteral("********** ") + Format(CVClosingATool, {Tool_Name(current_tool_var)}));
}

void WaitForControllerMainToolWindow(int waitMs)
{
    GlobalProgress().Hide();
    // Without a running controller nobody will name a window: no wait.
    if (!GetCVShellInitialised())
        return;
    QElapsedTimer waited;
    waited.start();
    while (GetActiveMainToolWindow(kToolController) == 0 && waited.elapsed() < waitMs)
        MyYieldProcess();
}

void ControllerToForeground()
{
    // The controller shows the progress in its own window; this one waits behind it.
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void OwnWindowToForeground(QWidget* window)
{
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    if (window) {
        window->raise();
        window->activateWindow();
    }
    GlobalProgress().Hide();
}

void ShowDataOrStartScreen(bool hasData, const TDataScreenControls& c)
{
    if (LoggingIsOn())
        AddToLogFile(hasData ? QStringLiteral("Checking data -- we have data") : QStringLiteral("Checking data -- no data"));
    TOneToolWindowList& pages = ToolWindowList();
    pages.fHasData = hasData;
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    if (!hasData) {
        if (c.pager)
            c.pager->setContextMenuPolicy(Qt::DefaultContextMenu);
        HideDataControls(c.toolbar, c.pager, nullptr, c.statusBar);
        if (c.startPanel)
            c.startPanel->show();
        if (auto* label = qobject_cast<QLabel*>(c.toolLabel))
            label->setText(Tool_Name(current_tool_var));
        if (auto* label = qobject_cast<QLabel*>(c.versionLabel))
            label->setText(Format(CVVersion, {QCoreApplication::applicationVersion().left(51)}));
        PostToController(kCodeNoData);
        MyYieldProcess();
        for (int i = pages.Count() - 1; i > 0; --i) {
            pages.ClearBaseList(i);
            if (TCV_Grid* grid = pages.GridOfPage(i))
                grid->SetList(nullptr, grid->KindOfDisplay);
        }
        return;
    }
    ToolClosing = false;
    if (c.toolbar || c.statusBar)
        pages.ShowToolbarAndStatusBar(c.toolbar, c.statusBar);
    if (c.pager)
        c.pager->show();
    if (c.startPanel)
        c.startPanel->hide();
    if (c.pager) {
        // The right-click menu of the page shown.
        QWidget* page = c.pager->currentWidget();
        const int tag = page ? page->property("tag").toInt() : 0;
        QMenu* popup = tag == kListNotes ? c.notesPopup : tag == kListSecondText ? c.sourceTextPopup : c.helpPopup;
        if (popup && page)
            TDataModuleCorvantis::SetContextMenuHelp(page, popup);
    }
}

void HideDataControls(QWidget* panel, QWidget* grid, QWidget* other, TCVStatusBar* statusBar)
{
    if (panel)
        panel->hide();
    if (other)
        other->hide();
    if (grid)
        grid->hide();
    if (statusBar)
        statusBar->ClearTheStatusBar();
    MyYieldProcess();
}

void SetUpPage(QTabWidget* pager, bool hasData)
{
    TOneToolWindowList& pages = ToolWindowList();
    pages.fHasData = hasData;
    if (!pager)
        return;
    const int pageNumber = pager->currentIndex() + 1;
    for (int i = 1; i < pages.Count(); ++i)
        if (pages.PageIndexOfHolder(i) == pageNumber)
            if (TCV_Grid* grid = pages.GridOfPage(i))
                grid->BeginUpdate();
    if (LoggingIsOn())
        AddToLogFile(Format(CVPageTabNumber, {pageNumber}));
}

void ShowLemmaButtons(const TToolButtonTable& buttons, uint8_t listType)
{
    const bool lemmatisable = IsLemmatisableListType(listType);
    for (const auto& [tag, button] : buttons)
        if (tag == TagOf(TMenuCommand::JoinRows) && button)
            button->setVisible(lemmatisable);
}

void ApplyStyleToCurrentGrid()
{
    TOneToolWindowList& pages = ToolWindowList();
    TCV_Grid* grid = pages.CurrentGrid();
    if (!grid)
        return;
    if (LoggingIsOn())
        AddToLogFile(QStringLiteral("changing style to %1").arg(QApplication::style() ? QApplication::style()->name() : QString()));
    pages.GeneralCellHandler->SetRulerPlotWordCloudFeatures(GetRulerPlotWordCloudFeatures());
    // Search words are padded as the "Padding" item of the concordance view says.
    const bool pad = GetMenuItemChecked(TMenuCommand::SearchWordPadding);
    grid->SetGridOptions(pad ? grid->GridOptions | kGridOptionPadSearchWord : grid->GridOptions & ~kGridOptionPadSearchWord);
    grid->Refresh();
}

bool ChangeLanguageDialog(const QString& currentLanguage, const TLanguageDialog& dialog, int waitMs, int* chosenIndex)
{
    if (!dialog)
        return false;
    const std::optional<int> chosen = dialog(TLanguageList::Instance().Names(), currentLanguage);
    if (!chosen)
        return false;
    if (chosenIndex)
        *chosenIndex = *chosen;
    // The controller acknowledges the change (code 701); it is waited for, within limits.
    LanguageChangeDone = false;
    QElapsedTimer waited;
    waited.start();
    while (!LanguageChangeDone && waited.elapsed() < waitMs)
        MyYieldProcess();
    return true;
}

// ---------------------------------------------------------------------------
// Files

uint8_t WhichToolsCorvantis32BitFile(const QString& fileName, uint8_t* listType)
{
    TCheckSignature sig;
    if (ReadFileSignature(fileName, sig) != TFileKind::Ours)
        return 0xFF;
    if (listType)
        *listType = sig.Kind;
    return sig.WritingTool();
}

bool FileSuitsTool(TCVStored_File_rec& rec, uint8_t tool)
{
    TCheckSignature sig;
    if (ReadFileSignature(rec.FileName, sig) == TFileKind::Ours && sig.WritingTool() == tool &&
        ToolTypeFromListType(sig.Kind) == tool) {
        rec.ListType = sig.Kind;
        return true;
    }
    uint8_t listType = kListNone;
    int count = 0;
    if (IsAZipFile(rec.FileName) && IsABatchZipFileForListType(rec.FileName, &listType, &count) &&
        ToolTypeFromListType(listType) == tool) {
        rec.ListType = listType;
        rec.Count = count;
        return count >= 1;
    }
    return false;
}

bool FileIsForTool(const QString& fileName, uint8_t tool)
{
    TCVStored_File_rec rec;
    rec.FileName = fileName;
    return FileSuitsTool(rec, tool);
}

bool CheckFileForTool(TCVStored_File_rec& rec, uint8_t tool)
{
    bool ok = FileSuitsTool(rec, tool);
    if (!ok && tool == kToolTakingPlainTextLists) {
        const QString suffix = QFileInfo(rec.FileName.toLower()).suffix();
        if (suffix == QStringLiteral("txt") || (suffix.size() == 6 && suffix.endsWith(QStringLiteral("_srt")))) {
            rec.ListType = kListPlainTextWordList;
            ok = true;
        }
    }
    if (!ok) {
        TCheckSignature sig;
        const TFileKind kind = ReadFileSignature(rec.FileName, sig);
        if (kind == TFileKind::OlderOrNewer)
            IsntACurrentCorvanFile(rec.FileName);
        else if (kind == TFileKind::Ours && sig.WritingTool() != tool)
            WrongToolForFile(rec.FileName, ToolTypeFromListType(sig.Kind));
        else
            IsntCorvanFile(rec.FileName);
        rec.Clear();
        return false;
    }
    if (tool == kToolWordList && rec.ListType != kListPlainTextWordList && !IsAZipFile(rec.FileName)) {
        const uint8_t fromExt = ListTypeFromFileExt(rec.FileName);
        if (fromExt != kListNone)
            rec.ListType = fromExt;
    }
    return true;
}

QString RecentFileCaptionText(const QString& fileName)
{
    QString caption = fileName;
    return caption.replace(QStringLiteral("\\n"), QStringLiteral("\\N"));
}

bool OpenRecentFile(QAction* item, const std::function<bool()>& open)
{
    if (!item || !open)
        return false;
    // The caption shows "\N" where the name has "\n"; the item may keep the name itself.
    const QVariant stored = item->property("fileName");
    const QString name = stored.isValid() ? stored.toString() : StripHotkey(item->text());
    if (!QFileInfo(name).isFile())
        return false;
    TCVStored_File_rec& rec = StartupOpenFileRec();
    rec.Clear();
    rec.FileName = name;
    if (!CheckFileForTool(rec, current_tool_var))
        return false;
    open();
    return true;
}

void RecentFileMenuCaption(QAction* item)
{
    if (!item)
        return;
    const QString last = GetLastMainToolFileName(current_tool_var);
    if (last.isEmpty())
        return;
    item->setProperty("fileName", last);
    item->setText(RecentFileCaptionText(last));
}

bool AskSaveFileName(TCVFileDialog& dialog, uint8_t tool, QString& fileName)
{
    QString ext = QFileInfo(fileName).suffix();
    if (fileName.isEmpty() || ext.isEmpty()) {
        const uint8_t type = DefaultListTypeOfTool(tool);
        ext = WithoutDotDefaultExt(type);
        if (fileName.isEmpty())
            fileName = QLatin1Char('.') + ext;
        dialog.Filter = LimitedDefaultFilter(type) + QStringLiteral(";;All files (*)");
    }
    // A name offered is a whole path in a folder there is: a bare name, or
    // one in a folder that has gone (or never was, as a new user's
    // documents folder), goes into the folder for new files.
    const QFileInfo offered(fileName);
    if (!offered.completeBaseName().isEmpty() && !(offered.isAbsolute() && offered.absoluteDir().exists()))
        fileName = QDir(FolderForNewFiles()).filePath(offered.fileName());
    dialog.DefaultExt = ext;
    dialog.FileName = fileName;
    if (QFileInfo(fileName).isAbsolute())
        dialog.InitialDir = QFileInfo(fileName).absolutePath();
    else if (dialog.InitialDir.isEmpty() || !QFileInfo(dialog.InitialDir).isDir())
        dialog.InitialDir = FolderForNewFiles();
    if (!dialog.Execute())
        return false;
    if (QFileInfo::exists(dialog.FileName) && !OKToOverwrite(dialog.FileName))
        return false;
    fileName = dialog.FileName;
    SetDefaultFolder(QFileInfo(fileName).absolutePath());
    BaseDataSet().def_folder = QFileInfo(fileName).absolutePath();
    return true;
}

bool SaveStringsAskingName(QString& fileName, const QStringList& strings)
{
    if (fileName.isEmpty() || !QFileInfo(fileName).isFile()) {
        TCVFileDialog dialog(TCVFileDialog::TKind::Save);
        dialog.Filter = QStringLiteral("Text files (*.txt);;All files (*)");
        dialog.DefaultExt = QStringLiteral("txt");
        dialog.InitialDir = fileName.isEmpty() ? GetLastOpenedFolder() : QFileInfo(fileName).absolutePath();
        dialog.FileName = fileName;
        if (!dialog.Execute())
            return false;
        if (QFileInfo::exists(dialog.FileName) && !OKToOverwrite(dialog.FileName))
            return false;
        fileName = dialog.FileName;
    }
    QString error;
    if (!WriteUtf16File(fileName, strings.join(QStringLiteral("\r\n")), &error)) {
        FailedToSave(fileName, error);
        return false;
    }
    return true;
}

bool PrepareOpenDialog(TCVFileDialog& dialog, uint8_t listType, bool hasData)
{
    BaseDataSetType& record = BaseDataSet();
    // A dialog never set yet is set whatever the record says (a new window's dialog).
    if (listType == record.list && hasData == record.hasdata && !dialog.Filter.isEmpty())
        return false;
    record.list = listType;
    record.hasdata = hasData;
    const uint8_t type = IsKnownListType(listType) && !DefaultExtFromListType(listType).isEmpty()
                             ? listType
                             : DefaultListTypeOfTool(current_tool_var);
    dialog.Filter = LimitedDefaultFilter(type) + QStringLiteral(";;All files (*)");
    dialog.InitialDir = GetLastOpenedFolder();
    dialog.DefaultExt = WithoutDotDefaultExt(type);
    return true;
}

void SetFileNameEditDefaults(TCVFileDialog& dialog, uint8_t tool)
{
    const uint8_t type = DefaultListTypeOfTool(tool);
    dialog.Filter = LimitedDefaultFilter(type);
    dialog.InitialDir = GetLastOpenedFolder();
    dialog.DefaultExt = WithoutDotDefaultExt(type);
}

// ---------------------------------------------------------------------------
// Captions, saving and opening

QString CaptionFromFile(const TCorvantisholder* document, const QString& text)
{
    if (!document || text != document->MainFile.FileName || text.isEmpty())
        return text;
    // An index document is titled after its index, whatever its lists (its
    // clusters, its word list) were saved as since it was opened.
    if (document->MainFile.ListType == kListIndexDocument)
        return Format(CVIndexFile, {QFileInfo(document->OpenedFilename.isEmpty() ? text : document->OpenedFilename)
                                        .completeBaseName()});
    return WithoutFolder(text);
}

void SetCaptionFromFile(TMainToolsForm& form, const TCorvantisholder* document, const QString& text, bool withFile)
{
    // The flag is carried for the callers' sake; the caption itself tells the controller.
    (void)withFile;
    form.SetToolCaption(CaptionFromFile(document, text));
}

bool RestoreClientSizeFromHolder(TMainToolsForm& form, const TCorvantisholder& document, int maxHeight, int maxWidth)
{
    SetCaptionFromFile(form, &document, document.MainFile.FileName, true);
    const QScreen* screen = form.screen() ? form.screen() : QGuiApplication::primaryScreen();
    const int dpi = screen ? int(screen->logicalDotsPerInch()) : 96;
    int height = 0, width = 0;
    bool hasHeight = false, hasWidth = false;
    document.TryToGetClientHeightOrWidth(dpi, true, height, hasHeight);
    document.TryToGetClientHeightOrWidth(dpi, false, width, hasWidth);
    if (!hasHeight || !hasWidth || height <= 0 || width <= 0)
        return false;
    if (maxHeight > 0)
        height = std::min(height, maxHeight);
    if (maxWidth > 0)
        width = std::min(width, maxWidth);
    form.resize(width, height);
    return true;
}

void NoteFileSaved(TMainToolsForm& form, TCorvantisholder* document, bool ok)
{
    GlobalProgress().Hide();
    const QString name = document ? document->MainFile.FileName : QString();
    if (LoggingIsOn())
        AddToLogFile(CVSaving + QStringLiteral(":") + name);
    if (!ok) {
        FailedToSave(name);
        if (document)
            document->MainFile.FileName.clear();
        form.SetToolCaption({});
        return;
    }
    SavedOK(name);
    SetCaptionFromFile(form, document, name, true);
    SetMyTempFilename(name);
    SetLastMainToolFileName(current_tool_var, name);
    PostToController(kCodeFileOpenedOrSaved);
}

void NoteFileOpened(TMainToolsForm& form, TCorvantisholder* document, QPlainTextEdit* notes, bool ok, bool failureTold)
{
    GlobalProgress().Hide();
    const QString name = document ? document->MainFile.FileName : StartupOpenFileRec().FileName;
    if (LoggingIsOn())
        AddToLogFile(Format(CVOpeningX, {name}));
    Global_Busy_Dont_Show_Data = false;
    if (!ok) {
        // A Stop asked (at the end of a text or at once) is no failure to read.
        if (global_panic_state != kPanicRun)
            ReportedAFact(CVSuspendStop);
        else if (!failureTold)
            FailedToRead(name);
        if (document)
            document->MainFile.FileName.clear();
        form.SetToolCaption({});
        return;
    }
    if (notes && document) {
        notes->setPlainText(document->fNotes.join(QLatin1Char('\n')));
        notes->document()->setModified(false);
    }
    SetCaptionFromFile(form, document, name, true);
    SetMyTempFilename(name);
    SetLastMainToolFileName(current_tool_var, name);
    PostToController(kCodeFileOpenedOrSaved);
}

bool SaveDocument(TMainToolsForm& form, TCVStored_File_rec* second, QPlainTextEdit* notes, const QString& fileName,
                  TCorvantisholder& document)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (current_tool_var != kToolTakingPlainTextLists && second)
        second->FileName = fileName;
    document.MainFile.FileName = fileName;
    // Notes the user never touched stay as the document keeps them.
    if (notes && notes->document()->isModified())
        document.fNotes = notes->toPlainText().split(QLatin1Char('\n'));
    const QScreen* screen = form.screen() ? form.screen() : QGuiApplication::primaryScreen();
    const int dpi = screen ? int(screen->logicalDotsPerInch()) : 96;
    document.StoreClientSize(form.height(), form.width(), dpi);
    const bool ok = document.SaveToFile(fileName);
    if (ok) {
        if (notes)
            notes->document()->setModified(false);
        SetCaptionFromFile(form, &document, fileName, true);
    }
    QApplication::restoreOverrideCursor();
    return ok;
}

} // namespace cv
