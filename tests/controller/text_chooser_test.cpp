#include "controller/text_chooser.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "model/chosen_files.h"
#include "suite/cvbuf.h"
#include "suite/my_types.h"
#include "support/process_state.h"
#include "support/test_support.h"

namespace {

class TextChooserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cvtest::StartFromDefaults();
        QDir().mkpath(dir.file(QStringLiteral("corpus/sub")));
        QDir().mkpath(dir.file(QStringLiteral("temp")));
        a = dir.write(QStringLiteral("corpus/a.txt"), "one text");
        b = dir.write(QStringLiteral("corpus/b.txt"), "another text");
        c = dir.write(QStringLiteral("corpus/sub/c.txt"), "a third text");
        dir.write(QStringLiteral("corpus/notes.dat"), "not a text");
    }
    QString Temp() const { return dir.file(QStringLiteral("temp")); }
    static QStringList Names(const QStringList& paths)
    {
        QStringList names;
        for (const QString& p : paths)
            names << QDir::fromNativeSeparators(p).section(u'/', -1);
        return names;
    }

    cvtest::TempDir dir;
    QString a, b, c;
};

TEST_F(TextChooserTest, AFolderGivesTheTextsItsMaskTakes)
{
    cv::TTextChooser chooser(cv::kToolWordList, Temp());
    EXPECT_TRUE(chooser.Texts().isEmpty());
    EXPECT_EQ(chooser.AddFolder(dir.file(QStringLiteral("corpus")), QStringLiteral("*.txt"), false), 2);
    EXPECT_EQ(Names(chooser.Texts()), (QStringList{"a.txt", "b.txt"}));
    // With its subfolders; texts chosen already are not chosen twice.
    EXPECT_EQ(chooser.AddFolder(dir.file(QStringLiteral("corpus")), QStringLiteral("*.txt"), true), 1);
    EXPECT_EQ(Names(chooser.Texts()), (QStringList{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(chooser.CountLabel->text(), QStringLiteral("3 texts chosen"));
    // A mask that takes nothing says so.
    EXPECT_EQ(chooser.AddFolder(dir.file(QStringLiteral("corpus")), QStringLiteral("*.doc"), true), 0);
    EXPECT_TRUE(chooser.ProblemLabel->text().contains(QStringLiteral("*.doc")));
}

TEST_F(TextChooserTest, TheListCanBeEditedAndTheChoiceIsHandedToTheTool)
{
    cv::TTextChooser chooser(cv::kToolWordList, Temp());
    chooser.AddFiles({a, b, c});
    chooser.TextList->item(1)->setSelected(true);
    chooser.RemoveSelected();
    EXPECT_EQ(Names(chooser.Texts()), (QStringList{"a.txt", "c.txt"}));
    int told = 0;
    chooser.OnChosen = [&] { ++told; };
    chooser.OkClick();
    EXPECT_EQ(told, 1);
    // The tool reads the hand-over file as it reads any.
    cv::TCVFileDetails read(true, {});
    ASSERT_TRUE(read.ReadChosenFromFile(cv::TSharedChosenFilesClass::HandOverFilename(Temp(), cv::kToolWordList)));
    ASSERT_EQ(read.FileCount(), 2);
    EXPECT_EQ(Names({read.FullFilename(0), read.FullFilename(1)}), (QStringList{"a.txt", "c.txt"}));
    // Opened again, the chooser starts from that choice.
    cv::TTextChooser again(cv::kToolWordList, Temp());
    EXPECT_EQ(Names(again.Texts()), (QStringList{"a.txt", "c.txt"}));
    // Emptied, nothing is handed over and the user is told why.
    again.ClearAll();
    int toldAgain = 0;
    again.OnChosen = [&] { ++toldAgain; };
    again.OkClick();
    EXPECT_EQ(toldAgain, 0);
    EXPECT_TRUE(again.ProblemLabel->isVisibleTo(&again));
}

TEST_F(TextChooserTest, NamesThatCannotBeChosenAreTold)
{
    cv::TTextChooser chooser(cv::kToolWordList, Temp());
    EXPECT_EQ(chooser.AddFiles({dir.file(QStringLiteral("corpus/missing.txt")), a}), 1);
    EXPECT_TRUE(chooser.ProblemLabel->text().contains(QStringLiteral("missing.txt")));
}

} // namespace

TEST_F(TextChooserTest, TheDialogsOpenWhereTheTextsAreNotWhereTheControllerStarted)
{
    cv::SetLastOpenedFolder({});
    cv::TTextChooser chooser(cv::kToolWordList, Temp());
    EXPECT_EQ(chooser.DialogStartFolder(), QDir::homePath());
    chooser.AddFiles({c});
    EXPECT_EQ(chooser.DialogStartFolder(), QFileInfo(c).absolutePath());
    // The folder last opened wins while it is there.
    cv::SetLastOpenedFolder(dir.file(QStringLiteral("corpus")));
    EXPECT_EQ(chooser.DialogStartFolder(), dir.file(QStringLiteral("corpus")));
    cv::SetLastOpenedFolder(dir.file(QStringLiteral("gone")));
    EXPECT_EQ(chooser.DialogStartFolder(), QFileInfo(c).absolutePath());
}

TEST_F(TextChooserTest, EnterAfterAFolderWasAddedTakesTheChoice)
{
    cv::TTextChooser chooser(cv::kToolWordList, Temp());
    chooser.show();
    int chosen = 0;
    chooser.OnChosen = [&chosen] { ++chosen; };
    chooser.AddFolder(dir.file(QStringLiteral("corpus")), QStringLiteral("*.txt"), true);
    // The folder dialog has just given the focus back to its button. A
    // dialog that Enter opened again is closed at once, and counted.
    int dialogsOpened = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&dialogsOpened] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            ++dialogsOpened;
            modal->close();
        }
    });
    closer.start(50);
    chooser.AddFolderButton->setFocus();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(chooser.AddFolderButton, &enter);
    closer.stop();
    EXPECT_EQ(dialogsOpened, 0);
    EXPECT_EQ(chosen, 1);
    EXPECT_FALSE(chooser.isVisible());
    cv::TCVFileDetails read(true, {});
    ASSERT_TRUE(read.ReadChosenFromFile(cv::TSharedChosenFilesClass::HandOverFilename(Temp(), cv::kToolWordList)));
    EXPECT_EQ(read.FileCount(), 3);
}
