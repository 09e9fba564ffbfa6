#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "grid_dialogs_testutil.h"
#include "suite/cv_globals.h"
#include "suite/my_types.h"
#include "ui/framework/grid_dialogs/wizard_base.h"

using namespace cv;
using griddialogs_test::GridDialogsTest;
using griddialogs_test::WordTable;

namespace {

class WizardBaseTest : public GridDialogsTest {
protected:
    void SetUp() override
    {
        GridDialogsTest::SetUp();
        Global_DeadKeyListLoaded = false;
        Global_KeyboardLayoutActivated = false;
        DeadKeyList().Clear();
    }
    void TearDown() override
    {
        DeadKeyList().Clear();
        Global_DeadKeyListLoaded = false;
        GridDialogsTest::TearDown();
    }
    static void Type(QWidget* w, const QString& text)
    {
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(w, &press);
        }
    }
};

} // namespace

TEST_F(WizardBaseTest, AnActiveWizardIsTheToolsChildWindowUntilItCloses)
{
    TFormCVWizard wizard;
    EXPECT_NE(wizard.WindowHandle(), 0u);
    EXPECT_FALSE(wizard.Shown());
    wizard.FormActivate();
    EXPECT_TRUE(wizard.Shown());
    EXPECT_TRUE(wizard.isVisible());
    EXPECT_EQ(GetActiveChildToolWindow(current_tool_var), wizard.WindowHandle());
    wizard.accept(); // closed by its buttons
    EXPECT_EQ(GetActiveChildToolWindow(current_tool_var), 0u);
    // Another window registered meanwhile is left alone.
    wizard.FormActivate();
    SetActiveChildToolWindow(current_tool_var, 12345);
    wizard.close();
    EXPECT_EQ(GetActiveChildToolWindow(current_tool_var), 12345u);
}

TEST_F(WizardBaseTest, TheActiveSetColumnIsChosenAmongTheListsSetColumns)
{
    WordTable list;
    const int first = list.AddSetColumn(QStringLiteral("Set"));
    const int second = list.AddSetColumn(QStringLiteral("Topic"));
    TFormSetColActiveColChooser chooser;
    chooser.SetTheAlternatives(&list);
    const auto buttons = chooser.Choices->buttons();
    ASSERT_EQ(buttons.size(), 2);
    EXPECT_EQ(chooser.Choices->button(first)->text(), QStringLiteral("5 (Set)"));
    EXPECT_EQ(chooser.Choices->button(second)->text(), QStringLiteral("6 (Topic)"));
    EXPECT_TRUE(chooser.Choices->button(first)->isChecked());
    chooser.Choices->button(second)->setChecked(true);
    EXPECT_TRUE(chooser.OKClick());
    EXPECT_EQ(list.ActiveSetColumn(), second);
    // Set up again for a list without set columns: nothing to choose.
    WordTable plain;
    chooser.SetTheAlternatives(&plain);
    EXPECT_TRUE(chooser.Choices->buttons().isEmpty());
    EXPECT_FALSE(chooser.OKClick());
}

TEST_F(WizardBaseTest, TheDeadKeyListIsReadAndRefusedWithTheLineAtFault)
{
    TDeadKeyList list;
    QString error;
    const QString good = userDir.write(QStringLiteral("keys.dat"), QString::fromUtf8("# acute\n\u00B4e\u00E9\n\n\u00B4a\u00E1\n^o\u00F4\n").toUtf8());
    ASSERT_TRUE(list.LoadFromFile(good, &error)) << error.toStdString();
    EXPECT_EQ(list.Count(), 3);
    EXPECT_TRUE(list.IsDeadKey(QChar(0x00B4)));
    EXPECT_FALSE(list.IsDeadKey(u'e'));
    EXPECT_EQ(list.Composed(QChar(0x00B4), u'a'), QChar(0x00E1));
    EXPECT_TRUE(list.Composed(QChar(0x00B4), u'x').isNull());
    const QString bad = userDir.write(QStringLiteral("bad.dat"), QByteArray("^o\xc3\xb4\nxyzw\n"));
    EXPECT_FALSE(list.LoadFromFile(bad, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("bad.dat")));
    EXPECT_TRUE(error.contains(QStringLiteral("line 2")));
    EXPECT_EQ(list.Count(), 3); // unchanged
    EXPECT_FALSE(list.LoadFromFile(userDir.file(QStringLiteral("none.dat")), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("none.dat")));
}

TEST_F(WizardBaseTest, ControlSetUpTypesTheDeadKeysOnceTheSettingsWantThem)
{
    userDir.write(QStringLiteral("customised deadkeys.dat"), QString::fromUtf8("\u00B4e\u00E9\n").toUtf8());
    QWidget form;
    auto* edit = new QLineEdit(&form);
    // Not wanted: nothing read.
    ControlSetUpForForm(form);
    EXPECT_FALSE(Global_DeadKeyListLoaded);
    SetDeadKeyListCustomised(true);
    ControlSetUpForForm(form);
    EXPECT_TRUE(Global_DeadKeyListLoaded);
    EXPECT_EQ(DeadKeyList().Count(), 1);
    Type(edit, QString::fromUtf8("\u00B4e"));
    EXPECT_EQ(edit->text(), QString::fromUtf8("\u00E9"));
    edit->clear();
    Type(edit, QString::fromUtf8("\u00B4x"));
    EXPECT_EQ(edit->text(), QString::fromUtf8("\u00B4x"));
    // Read once per run: a changed file is not read again.
    userDir.write(QStringLiteral("customised deadkeys.dat"), QByteArray("^o\xc3\xb4\n"));
    ControlSetUpForForm(form);
    EXPECT_EQ(DeadKeyList().Composed(u'^', u'o'), QChar());
}

TEST_F(WizardBaseTest, ControlSetUpGivesTheDialogOptionToFileNameEdits)
{
    SetOpenAndSaveDialogOption(1);
    SetKeyboardChoice(QStringLiteral("00000409"));
    QWidget form;
    auto* panel = new QWidget(&form);
    auto* label = new QLabel(QStringLiteral("File"), panel);
    label->setAutoFillBackground(true);
    auto* edit = new QLineEdit(panel);
    edit->setProperty("fileNameEdit", true);
    auto* other = new QLineEdit(&form);
    ControlSetUpForForm(form);
    EXPECT_FALSE(label->autoFillBackground());
    EXPECT_EQ(edit->property("openAndSaveDialogOption").toInt(), 1);
    EXPECT_FALSE(other->property("openAndSaveDialogOption").isValid());
    // The keyboard layout stays the desktop's: never marked activated.
    EXPECT_FALSE(Global_KeyboardLayoutActivated);
    EXPECT_EQ(GetKeyboardChoice(), QStringLiteral("00000409"));
}
