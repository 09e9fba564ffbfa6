#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "crashreport/dialogs/reproduce_dialog.h"
#include "dialogs_testutil.h"

namespace cv {
namespace {

class ReproduceDialogTest : public cvtest::DialogTest {};

TEST_F(ReproduceDialogTest, TheLabelIsMeasuredAndTheBoxTakesTheRest)
{
    EXPECT_EQ(TReproduceDialog::TemplateOuterSize(), QSize(480, 271));
    TReproduceDialog dialog(*options, measurer);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Request"));
    EXPECT_EQ(dialog.Label()->text(), QStringLiteral("Please describe the steps to reproduce the error:"));
    EXPECT_EQ(dialog.Label()->geometry(), QRect(10, 10, 453, 13));
    EXPECT_EQ(dialog.Edit()->geometry(), QRect(10, 27, 453, 179));
    EXPECT_EQ(dialog.OKButton()->geometry(), QRect(388, 212, 75, 23));
    EXPECT_EQ(dialog.OuterSize(), QSize(480, 278));
    // Centred on the work area the handler remembered.
    EXPECT_EQ(dialog.OuterGeometry().topLeft(), QPoint((1280 - 480) / 2, (1024 - 278) / 2));
}

TEST_F(ReproduceDialogTest, OkEscAndTheCloseBoxStoreTheTrimmedText)
{
    options->SetReproduceText("before\r\nnow");
    {
        TReproduceDialog dialog(*options, measurer);
        EXPECT_EQ(dialog.Edit()->toPlainText(), QStringLiteral("before\nnow"));
        dialog.Edit()->setPlainText(QStringLiteral("  1. open\n2. save  \n"));
        dialog.OKButton()->click();
        EXPECT_EQ(options->ReproduceText(), "1. open\r\n2. save");
    }
    {
        TReproduceDialog dialog(*options, measurer);
        cvtest::ShowAndPaint(dialog);
        dialog.Edit()->setPlainText(QStringLiteral(" \n\t "));
        dialog.close();
        EXPECT_EQ(options->ReproduceText(), "");
    }
    TReproduceDialog dialog(*options, measurer);
    dialog.Edit()->setPlainText(QStringLiteral("x"));
    dialog.reject();
    EXPECT_EQ(options->ReproduceText(), "x");
}

} // namespace
} // namespace cv
