// Every modal dialog of the tool can be left without changing anything:
// it has a Cancel button, and both Cancel and Esc close it with the suite's
// Cancel (2), the settings it edits left as they were.

#include "ui/framework/dialog_base/dialog_support.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>

#include <functional>
#include <memory>

#include "dialogs_testutil.h"
#include "suite/cvbuf.h"
#include "ui/framework/grid_dialogs/auto_join_dialog.h"
#include "ui/framework/grid_dialogs/clipboard_format_dialog.h"
#include "ui/framework/grid_dialogs/search_dialogs.h"
#include "ui/framework/grid_dialogs/wizard_base.h"
#include "ui/wordlist/dialogs/cluster_choices.h"
#include "ui/wordlist/dialogs/column_edit_dialog.h"
#include "ui/wordlist/dialogs/compare_wordlists_dialog.h"
#include "ui/wordlist/dialogs/file_name_replace_dialog.h"
#include "ui/wordlist/dialogs/general_input_dialog.h"
#include "ui/wordlist/dialogs/index_dialogs.h"
#include "ui/wordlist/dialogs/language_change_dialog.h"
#include "ui/wordlist/dialogs/relationship_choices.h"
#include "ui/wordlist/dialogs/three_way_sort_dialog.h"

namespace dialogs_test {
namespace {

// A dialog of the tool, made afresh, with something the user may change in it.
struct TDialogCase {
    const char* name;
    std::function<std::unique_ptr<QDialog>()> make;
};

const std::vector<TDialogCase>& Dialogs()
{
    static const std::vector<TDialogCase> cases = {
        {"cluster choices", [] { return std::make_unique<cv::TFormClusterChoices>(); }},
        {"join clusters", [] { return std::make_unique<cv::TFormJoinClusters>(); }},
        {"relationship choices", [] { return std::make_unique<cv::TFormMIChoices>(); }},
        {"index choices", [] { return std::make_unique<cv::TFormIndexChoices>(); }},
        {"index export", [] { return std::make_unique<cv::TFormIndexExport>(); }},
        {"edit data input", [] { return std::make_unique<cv::TGeneralInputDlg>(); }},
        {"language", [] { return std::make_unique<cv::TFormLangChange>(); }},
        {"compare two word lists", [] { return std::make_unique<cv::TFormCompare2Wordlists>(); }},
        {"set column", [] { return std::make_unique<cv::TFormSetColumnEdit>(); }},
        {"three-way sort", [] { return std::make_unique<cv::TFormThreeWaySort>(); }},
        {"file-name replacement", [] { return std::make_unique<cv::TFormSearchAndReplaceFilename>(); }},
        {"find requirement", [] { return std::make_unique<cv::TFormSearchRequirements>(); }},
        {"auto-join", [] { return std::make_unique<cv::TAutoJoinDlg>(); }},
        {"clipboard format", [] { return std::make_unique<cv::TFormChooseClipboardFormat>(); }},
        {"active column", [] { return std::make_unique<cv::TFormSetColActiveColChooser>(); }},
    };
    return cases;
}

QPushButton* CancelButtonOf(const QDialog& dialog)
{
    for (QPushButton* b : dialog.findChildren<QPushButton*>())
        if (b->text().remove(u'&') == QStringLiteral("Cancel") && b->isVisible())
            return b;
    return nullptr;
}

// Every settings record the dialogs read and store, as bytes.
QByteArray SettingsNow()
{
    QByteArray bytes;
    const auto add = [&bytes](auto rec) {
        const auto span = rec.Bytes();
        bytes.append(reinterpret_cast<const char*>(span.data()), qsizetype(span.size()));
    };
    add(cv::GetWordlistIndexSettings());
    add(cv::GetKeywordsSettings());
    add(cv::GetTextSettings());
    return bytes;
}

// Changes what the user can change: every spin box up by one.
void Fiddle(QDialog& dialog)
{
    for (QSpinBox* spin : dialog.findChildren<QSpinBox*>())
        spin->setValue(spin->value() + 1);
}

class LeavingDialogsTest : public DialogTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(LeavingDialogsTest, CancelAndEscLeaveWithCancelAndStoreNothing)
{
    const TDialogCase& c = Dialogs()[GetParam()];
    std::unique_ptr<QDialog> dialog = c.make();
    const QByteArray before = SettingsNow();

    dialog->show();
    QPushButton* cancel = CancelButtonOf(*dialog);
    ASSERT_NE(cancel, nullptr) << c.name << " has no Cancel button";
    EXPECT_FALSE(cancel->isDefault()) << c.name;
    Fiddle(*dialog);
    cancel->click();
    EXPECT_FALSE(dialog->isVisible()) << c.name;
    EXPECT_NE(dialog->result(), cv::kModalOK) << c.name;
    EXPECT_EQ(SettingsNow(), before) << c.name;

    dialog->show();
    Fiddle(*dialog);
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(dialog.get(), &esc);
    EXPECT_FALSE(dialog->isVisible()) << c.name;
    EXPECT_NE(dialog->result(), cv::kModalOK) << c.name;
    EXPECT_EQ(SettingsNow(), before) << c.name;
}

INSTANTIATE_TEST_SUITE_P(EveryDialog, LeavingDialogsTest, ::testing::Range(size_t(0), Dialogs().size()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             QString name = QString::fromLatin1(Dialogs()[info.param].name);
                             name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")), QStringLiteral("_"));
                             return name.toStdString();
                         });

} // namespace
} // namespace dialogs_test
