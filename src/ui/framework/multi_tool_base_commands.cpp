// Part of ui/framework/multi_tool_base.h, kept apart from the window set-up
// and saving procedures of multi_tool_base.cpp: the shared menu commands,
// and the procedures that save, print or show files for them: the source
// text, lemma lists, renamed text names.

#include "ui/framework/multi_tool_base.h"

#include "files/save_file.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTabWidget>
#include <QTextDocument>
#include <QTextEdit>

#include <stdexcept>

#include "gui/cv_status_bar.h"
#include "gui/desktop_services.h"
#include "gui/file_dialogs.h"
#include "gui/rich_text_rtf.h"
#include "model/base_list.h"
#include "model/corvantis_holder.h"
#include "runtime/controller_link.h"
#include "suite/controller_codes.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/menu_commands.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/wdef.h"
#include "suite/window_placement.h"
#include "ui/framework/controller_commands.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/framework/main_tools_form.h"
#include "ui/framework/tool_data_module.h"
#include "ui/framework/tool_pages.h"

namespace cv {

namespace {

// The memo of the pager's current page when that page shows a text (list type 27).
QStringList TextPageLines(QTabWidget* pager)
{
    const TOneToolWindowList& pages = ToolWindowList();
    if (!pager)
        return {};
    for (int i = 1; i < pages.Count(); ++i) {
        const TOneToolWindowHolder* holder = pages.Items(i);
        if (holder->data.page_index != pager->currentIndex() + 1 || holder->data.ListType != kListSecondText)
            continue;
        QObject* control = holder->data.the_object.data();
        if (auto* memo = qobject_cast<QPlainTextEdit*>(control))
            return memo->toPlainText().split(QLatin1Char('\n'));
        if (auto* rich = qobject_cast<QTextEdit*>(control))
            return rich->toPlainText().split(QLatin1Char('\n'));
    }
    return {};
}

// The suite's deliberate crash (for trying the crash reports): a division by
// zero, raised as the exception it becomes.
[[noreturn]] void CauseADivisionCrash() { throw std::domain_error("Division by zero (Cause a Crash)"); }

} // namespace

uint16_t SettingsCommandCode(int tag)
{
    switch (TMenuCommand(tag)) {
    case TMenuCommand::Colours: return kCodeSettingsColours;
    case TMenuCommand::Font: return kCodeSettingsFont;
    case TMenuCommand::Language: return kCodeSettingsLanguage;
    case TMenuCommand::Folders: return kCodeSettingsFolders;
    case TMenuCommand::TagSettings: return kCodeSettingsTags;
    case TMenuCommand::StopLemmaMatchLists: return kCodeSettingsLists;
    case TMenuCommand::SettingsOfTool: return kCodeSettingsOfTool;
    case TMenuCommand::ChooseTexts: return kCodeChooseTexts;
    case TMenuCommand::Customise: return kCodeSettingsCustomise;
    case TMenuCommand::IndexSettings: return kCodeSettingsIndex;
    default: return 0;
    }
}

bool HandleCommonMenuCommand(const TCommonMenuContext& c, int tag)
{
    if (const uint16_t code = SettingsCommandCode(tag)) {
        // The controller carries out settings; this window steps back for
        // its dialog, which comes up over this window (not over another
        // window of the tool).
        if (c.window)
            PostToControllerWithParam(kCodeAskingWindowCentre, PackScreenPoint(c.window->frameGeometry().center()));
        PostToController(code);
        if (c.window)
            c.window->lower();
        return true;
    }
    switch (TMenuCommand(tag)) {
    case TMenuCommand::SaveAsPlainText:
        if (c.document) {
            const QStringList lines = TextPageLines(c.pager);
            if (!lines.isEmpty()) {
                QString name = c.textFileName ? *c.textFileName : QString();
                if (SaveStringsAskingName(name, lines)) {
                    if (c.textFileName)
                        *c.textFileName = name;
                    SavedOK(name);
                }
            }
        }
        return false; // the window saves its grid as text as well
    case TMenuCommand::Open:
        if (c.open)
            c.open();
        return true;
    case TMenuCommand::Delete: {
        // The key belongs to the form that has it; the main window deletes rows itself.
        QWidget* active = QApplication::activeWindow();
        return active && c.window && active != c.window;
    }
    case TMenuCommand::Close:
        ToolClosing = true;
        if (c.close)
            c.close();
        return true;
    case TMenuCommand::Ruler:
        if (c.document)
            if (TCV_Grid* grid = ToolWindowList().CurrentGrid()) {
                if (GetMenuItemChecked(TMenuCommand::Ruler)) {
                    grid->SetGridOptions(grid->GridOptions | kGridOptionVerticalLines);
                    ToolWindowList().GeneralCellHandler->SetRulerPlotWordCloudFeatures(GetRulerPlotWordCloudFeatures());
                } else {
                    grid->SetGridOptions(grid->GridOptions & ~kGridOptionVerticalLines);
                }
                grid->Refresh();
            }
        return true;
    case TMenuCommand::CauseACrash:
        CauseADivisionCrash();
    case TMenuCommand::StatusBar:
    case TMenuCommand::MainToolbar:
        if (c.toolbar && c.statusBar)
            ToolWindowList().ShowToolbarAndStatusBar(c.toolbar, c.statusBar);
        return true;
    case TMenuCommand::PageSetup:
        return true;
    case TMenuCommand::TileVertically:
    case TMenuCommand::TileHorizontally:
        PostToController(uint16_t(tag));
        return true;
    case TMenuCommand::Help:
        if (TDataModuleCorvantis* module = DataModuleCorvantis())
            module->HandleAHelpFileChoice(MainPageHelpContext(current_tool_var));
        return true;
    case TMenuCommand::AboutAndMemory:
        PostToController(kCodeAboutAndMemory);
        return true;
    case TMenuCommand::TagsHidden:
    case TMenuCommand::TagsAsPrefix:
    case TMenuCommand::TagsAsSuffix:
    case TMenuCommand::WordsHidden:
        if (c.document) {
            for (TMenuCommand t : {TMenuCommand::TagsHidden, TMenuCommand::TagsAsPrefix, TMenuCommand::TagsAsSuffix,
                                   TMenuCommand::WordsHidden})
                SetMenuItemChecked(t, TagOf(t) == tag);
            // The text settings' tag displays 0, 1 and 2 follow the items' numbers; words hidden is 3.
            c.document->SetTextSettingsTagDisplay(TMenuCommand(tag) == TMenuCommand::WordsHidden
                                                      ? 3
                                                      : uint8_t(tag - TagOf(TMenuCommand::TagsHidden)));
            if (TCV_Grid* grid = ToolWindowList().CurrentGrid())
                grid->Refresh();
        }
        return true;
    case TMenuCommand::LanguageChangeDone:
        LanguageChangeDone = true;
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------
// Files shown, renamed, saved

void OpenFileInBrowserOrEditor(QWidget* window, const QString& fileName)
{
    (void)window; // the dialogs find their parent themselves
    const QString ext = QLatin1Char('.') + QFileInfo(fileName).suffix().toUpper() + QLatin1Char(',');
    if (QStringLiteral(".HTLM,.HTM,.XML,").contains(ext) && ext != QStringLiteral(".,") &&
        OpenFileInBrowserOrNotepad(fileName)) {
        ShowOrSayWhere(fileName);
        return;
    }
    // The desktop keeps no separate editor choice: the file opens in the
    // program it keeps for text of its kind.
    ShowOrSayWhere(fileName);
}

bool RenameTextFilesInDocument(TMainToolsForm& form, TCorvantisholder* document, const TFileNameReplaceDialog& dialog,
                               std::pair<QString, QString>& result, const std::function<void()>& refresh)
{
    if (!document || !dialog)
        return false;
    const std::optional<TFileNameReplacement> choice = dialog();
    if (!choice || choice->search.isEmpty())
        return false;
    if (document->UpdateSearchReplaceFilenames(choice->search, choice->replacement, choice->caseSensitive) < 1)
        return false;
    result = {choice->search, choice->replacement};
    if (refresh)
        refresh();
    const QString name = document->MainFile.FileName;
    if (!name.isEmpty() && QFileInfo(name).isFile() && OKtoSaveAgainAs(name)) {
        if (document->SaveToFile(name))
            SavedOK(name);
        else
            FailedToSave(name);
    }
    (void)form;
    return true;
}

QStringList LemmaLinesOfList(const TCVBaseDataClass& list)
{
    QStringList lines;
    for (int i = 0; i < list.Count(); ++i) {
        const TCVBaseListObject& head = list[i];
        if (head.JoinedCount() < 1)
            continue;
        QStringList forms;
        for (int j = 0; j < head.JoinedCount(); ++j)
            forms << head.JoinedEntry(j)->MainWordOnly();
        lines << head.MainWordOnly() + QStringLiteral(" -> ") + forms.join(QStringLiteral(", "));
    }
    return lines;
}

bool SaveLemmasAsLemmaList(const TCVBaseDataClass& list)
{
    const QStringList lines = LemmaLinesOfList(list);
    if (lines.isEmpty())
        return false;
    TCVFileDialog dialog(TCVFileDialog::TKind::Save);
    dialog.Title = CVSaveLemmasAsLemmaList;
    dialog.Filter = QStringLiteral("Text files (*.txt);;All files (*)");
    dialog.DefaultExt = QStringLiteral("txt");
    dialog.InitialDir = GetUserReadWriteFolder();
    if (!dialog.Execute() || !OKToOverwrite(dialog.FileName))
        return false;
    QString error;
    if (!WriteUtf16File(dialog.FileName, lines.join(QStringLiteral("\r\n")), &error)) {
        FailedToSave(dialog.FileName, error);
        return false;
    }
    ShowOrSayWhere(dialog.FileName);
    return true;
}

bool SaveSourceText(QTextEdit* richEdit, const QString& fileName)
{
    if (!richEdit)
        return false;
    TCVFileDialog dialog(TCVFileDialog::TKind::Save);
    dialog.Filter = QStringLiteral("Text files (*.txt);;RTF files (*.rtf);;All files (*)");
    dialog.DefaultExt = QStringLiteral("rtf");
    dialog.InitialDir = fileName.isEmpty() ? GetLastOpenedFolder() : QFileInfo(fileName).absolutePath();
    dialog.FileName = QFileInfo(fileName).completeBaseName() + QStringLiteral(".rtf");
    if (!dialog.Execute() || !OKToOverwrite(dialog.FileName))
        return false;
    // An ".rtf" name gets the rich text as RTF; others the plain text as it stands.
    const bool rich = dialog.FileName.endsWith(QStringLiteral(".rtf"), Qt::CaseInsensitive);
    QString error;
    const auto writeRtf = [&] {
        TSaveFile file(dialog.FileName);
        const QByteArray rtf = RtfOfTextDocument(*richEdit->document());
        if (file.open(QIODevice::WriteOnly) && file.write(rtf) == rtf.size() && file.commit())
            return true;
        error = QStringLiteral("Cannot write file \"%1\": %2").arg(dialog.FileName, file.errorString());
        return false;
    };
    const bool written = rich ? writeRtf() : WriteUtf16File(dialog.FileName, richEdit->toPlainText(), &error);
    if (!written) {
        FailedToSave(dialog.FileName, error);
        return false;
    }
    ShowOrSayWhere(dialog.FileName);
    return true;
}

// ---------------------------------------------------------------------------
// Printing text

bool PrintSourceText(QWidget* window, QTextEdit* richEdit)
{
    if (!richEdit)
        return false;
    return PrintStringsWithPreview(window, richEdit->toHtml(), true, true);
}

bool PrintStringsWithPreview(QWidget* window, const QString& text, bool isRich, bool withPreview)
{
    QTextDocument document;
    const TTextSettings settings = GetTextSettings();
    QFont font(settings.FontName().left(101));
    font.setPointSize(std::max<int>(8, settings.FontSize()));
    document.setDefaultFont(font);
    if (isRich)
        document.setHtml(text);
    else
        document.setPlainText(text);

    QPrinter printer(QPrinter::HighResolution);
    if (withPreview) {
        QPrintPreviewDialog preview(&printer, window);
        QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                         [&document](QPrinter* p) { document.print(p); });
        return RunModalDialog(preview) == QDialog::Accepted;
    }
    QPrintDialog dialog(&printer, window);
    if (RunModalDialog(dialog) != QDialog::Accepted)
        return false;
    document.print(&printer);
    return true;
}

} // namespace cv
