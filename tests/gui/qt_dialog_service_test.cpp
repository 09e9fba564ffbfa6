#include "gui/qt_dialog_service.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

#include "suite/dialog_routines.h"

using cv::TDialogAnswer;
using cv::TDialogButtons;
using cv::TDialogKind;

namespace {

// Waits (on zero timers, so the modal loop keeps running) for the next
// message box to be shown, then lets `act` press one of its buttons. What the
// box looked like is kept for the test.
struct BoxSeen {
    QString title, text, objectName;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QString defaultButton;
};

void whenBoxShown(std::function<QAbstractButton*(QMessageBox*)> act, BoxSeen* seen = nullptr, int triesLeft = 200)
{
    QTimer::singleShot(0, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) {
            if (triesLeft > 0)
                whenBoxShown(act, seen, triesLeft - 1);
            return;
        }
        if (seen) {
            seen->title = box->windowTitle();
            seen->text = box->text();
            seen->objectName = box->objectName();
            seen->icon = box->icon();
            seen->buttons.clear();
            for (QAbstractButton* b : box->buttons())
                seen->buttons << b->text().remove(u'&');
            seen->defaultButton = box->defaultButton() ? box->defaultButton()->text().remove(u'&') : QString();
        }
        if (QAbstractButton* b = act(box))
            b->click();
    });
}

QAbstractButton* byRole(QMessageBox* box, QMessageBox::StandardButton which) { return box->button(which); }

} // namespace

TEST(QtDialogService, ShowsTheRequestAndReturnsTheButtonPressed)
{
    cv::TQtDialogService service;
    cv::TDialogRequest r;
    r.routine = QStringLiteral("DoYouWantToSave");
    r.kind = TDialogKind::Question;
    r.caption = QStringLiteral("Corvantis Tools");
    r.text = QStringLiteral("Save it?");
    r.buttons = TDialogButtons::YesNoCancel;
    r.defaultAnswer = TDialogAnswer::No;

    BoxSeen seen;
    whenBoxShown([](QMessageBox* box) { return static_cast<QAbstractButton*>(box->defaultButton()); }, &seen);
    EXPECT_EQ(service.Show(r), TDialogAnswer::No) << "the default button gives the default answer";
    EXPECT_EQ(seen.title, QStringLiteral("Corvantis Tools"));
    EXPECT_EQ(seen.text, QStringLiteral("Save it?"));
    EXPECT_EQ(seen.objectName, QStringLiteral("DoYouWantToSave"));
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons.size(), 3);

    whenBoxShown([](QMessageBox* box) { return byRole(box, QMessageBox::Yes); });
    EXPECT_EQ(service.Show(r), TDialogAnswer::Yes);
    whenBoxShown([](QMessageBox* box) { return byRole(box, QMessageBox::Cancel); });
    EXPECT_EQ(service.Show(r), TDialogAnswer::Cancel);
    whenBoxShown([](QMessageBox* box) {
        box->reject(); // Escape or the close box
        return nullptr;
    });
    EXPECT_EQ(service.Show(r), TDialogAnswer::Cancel) << "escaping a question is Cancel";

    r.buttons = TDialogButtons::YesNo;
    whenBoxShown([](QMessageBox* box) {
        box->reject();
        return nullptr;
    });
    EXPECT_EQ(service.Show(r), TDialogAnswer::No) << "escaping a yes/no question is No";
}

TEST(QtDialogService, AQuestionForManyItemsOffersToAllAnswers)
{
    cv::TQtDialogService service;
    cv::TDialogRequest r;
    r.kind = TDialogKind::Question;
    r.text = QStringLiteral("Merge a with A?");
    r.buttons = TDialogButtons::YesNoToAllCancel;
    r.defaultAnswer = TDialogAnswer::Cancel;
    BoxSeen seen;
    whenBoxShown([](QMessageBox* box) { return byRole(box, QMessageBox::YesToAll); }, &seen);
    EXPECT_EQ(service.Show(r), TDialogAnswer::YesToAll);
    EXPECT_EQ(seen.buttons.size(), 5);
    whenBoxShown([](QMessageBox* box) { return byRole(box, QMessageBox::NoToAll); });
    EXPECT_EQ(service.Show(r), TDialogAnswer::NoToAll);
    whenBoxShown([](QMessageBox* box) { return byRole(box, QMessageBox::No); });
    EXPECT_EQ(service.Show(r), TDialogAnswer::No);
    whenBoxShown([](QMessageBox* box) {
        box->reject();
        return nullptr;
    });
    EXPECT_EQ(service.Show(r), TDialogAnswer::Cancel);
}

TEST(QtDialogService, HelpCallsTheHandlerAndKeepsTheQuestionOpen)
{
    QList<int> helpAsked;
    cv::TQtDialogService service(nullptr, [&](int context) { helpAsked << context; });
    cv::TDialogRequest r;
    r.kind = TDialogKind::Warning;
    r.caption = QStringLiteral("WordList");
    r.text = QStringLiteral("The maximum number of texts is 500.");
    r.buttons = TDialogButtons::OKCancel;
    r.defaultAnswer = TDialogAnswer::Cancel;
    r.helpContext = 2920;

    whenBoxShown([&](QMessageBox* box) {
        whenBoxShown([](QMessageBox* again) { return byRole(again, QMessageBox::Ok); });
        return byRole(box, QMessageBox::Help);
    });
    EXPECT_EQ(service.Show(r), TDialogAnswer::OK);
    EXPECT_EQ(helpAsked, QList<int>{2920});

    r.helpContext = 0;
    BoxSeen seen;
    whenBoxShown([](QMessageBox* box) { return byRole(box, QMessageBox::Ok); }, &seen);
    service.Show(r);
    EXPECT_FALSE(seen.buttons.contains(QStringLiteral("Help"))) << "no help context, no Help button";
}

TEST(QtDialogService, NamedRoutinesShowThroughIt)
{
    cv::TQtDialogService service;
    cv::TDialogServiceGuard guard(&service);
    BoxSeen seen;
    whenBoxShown([](QMessageBox* box) { return byRole(box, QMessageBox::Ok); }, &seen);
    cv::FailedToRead(QStringLiteral("/corpus/damaged.lst"));
    EXPECT_EQ(seen.objectName, QStringLiteral("FailedToRead"));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_TRUE(seen.text.contains(QStringLiteral("damaged.lst")));

    whenBoxShown([](QMessageBox* box) { return byRole(box, QMessageBox::Yes); });
    EXPECT_TRUE(cv::CreateFolderYesNo(QStringLiteral("/tmp/new folder")));
}

namespace {

// A short message makes a narrow box: its title must still fit beside the
// title bar's buttons, not be cut to "Cor... ols".
TEST(QtDialogService, AShortMessageKeepsItsTitleWhole)
{
    cv::TQtDialogService service;
    cv::TDialogRequest r;
    r.routine = QStringLiteral("FailedToFind");
    r.kind = TDialogKind::Error;
    r.caption = QStringLiteral("Corvantis Tools");
    r.text = QStringLiteral("Cannot find \"\".");
    r.buttons = TDialogButtons::OK;
    int width = 0;
    whenBoxShown([&width](QMessageBox* box) {
        width = box->width();
        return box->button(QMessageBox::Ok);
    });
    service.Show(r);
    const int title = QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(r.caption);
    // The title bar's icon and three buttons take about as much again.
    EXPECT_GE(width, title + 120);
}

} // namespace

// A box that closes itself (a crash report's, where nobody may be at the
// screen) answers with its default once its time is up, and one pressed
// before then gives the button pressed.
TEST(QtDialogService, ABoxThatClosesItselfAnswersWithItsDefault)
{
    cv::TQtDialogService service(nullptr);
    cv::TDialogRequest request;
    request.kind = TDialogKind::Question;
    request.text = QStringLiteral("Send the report?");
    request.buttons = TDialogButtons::YesNo;
    request.defaultAnswer = TDialogAnswer::No;
    request.autoCloseSecs = 1;
    EXPECT_EQ(service.Show(request), TDialogAnswer::No);

    whenBoxShown([](QMessageBox* box) { return byRole(box, QMessageBox::Yes); });
    EXPECT_EQ(service.Show(request), TDialogAnswer::Yes);
}
