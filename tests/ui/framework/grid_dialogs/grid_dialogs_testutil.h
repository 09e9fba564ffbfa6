#pragma once
// A small list shown in a grid, private settings with the user's folder in a
// temporary place, and scripted message, file and modal dialogs.

#include <gtest/gtest.h>

#include <QDialog>
#include <QPrintDialog>
#include <QPrinter>

#include <cmath>
#include <deque>
#include <functional>
#include <memory>

#include "gui/cv_grid.h"
#include "gui/file_dialogs.h"
#include "model/base_list.h"
#include "suite/cvbuf.h"
#include "suite/dialogs.h"
#include "suite/wdef.h"
#include "support/process_state.h"
#include "support/test_support.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/framework/grid_dialogs/grid_printing.h"
#include "ui/framework/grid_dialogs/print_preview.h"

namespace griddialogs_test {

class WordEntry final : public cv::TCVBaseListObject {
public:
    using TCVBaseListObject::TCVBaseListObject;
    QStringView MainWordAsPointer() const override { return word; }
    QString word;
    double freq = 0;
    double ratio = 0;
};

// Columns: 0 row number, 1 word, 2 frequency (a count), 3 ratio (two decimals).
class WordTable final : public cv::TCVBaseDataClass {
public:
    explicit WordTable(uint8_t listType = cv::kListWordList)
        : TCVBaseDataClass(nullptr, [](TCVBaseDataClass& l) { return std::make_unique<WordEntry>(&l); }, listType,
                           0, 1)
    {
        SetGridHeadings({QStringLiteral("N"), QStringLiteral("Word"), QStringLiteral("Freq."), QStringLiteral("Ratio")});
    }
    void AddRow(const QString& word, double freq, double ratio)
    {
        auto e = std::make_unique<WordEntry>(this);
        e->word = word;
        e->freq = freq;
        e->ratio = ratio;
        Add(std::move(e));
    }
    const WordEntry& At(int i) const { return static_cast<const WordEntry&>((*this)[i]); }
    void DrawgridDataRec(int row, int column, int displayKind, cv::TDrawgridDataRec& rec) const override
    {
        if (column == 2 && row >= 0 && row < Count()) {
            rec = {};
            NumberCell(rec, At(row).freq, true);
            return;
        }
        TCVBaseDataClass::DrawgridDataRec(row, column, displayKind, rec);
    }
    double NumericalData(int row, int column) const override
    {
        if (row >= 0 && row < Count() && column == 2)
            return At(row).freq;
        if (row >= 0 && row < Count() && column == 3)
            return At(row).ratio;
        return TCVBaseDataClass::NumericalData(row, column);
    }
};

// Runs scripted steps in place of modal loops: each step gets the dialog
// and returns its result; a dialog without a step is cancelled.
class ModalScript {
public:
    ModalScript()
        : m_guard([this](QDialog& d) {
              ++m_runs;
              if (m_steps.empty())
                  return int(QDialog::Rejected);
              auto step = std::move(m_steps.front());
              m_steps.pop_front();
              return step(d);
          })
    {
    }
    void Then(std::function<int(QDialog&)> step) { m_steps.push_back(std::move(step)); }
    int Runs() const { return m_runs; }
    bool Empty() const { return m_steps.empty(); }

private:
    std::deque<std::function<int(QDialog&)>> m_steps;
    int m_runs = 0;
    cv::TModalRunnerGuard m_guard;
};

class GridDialogsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cvtest::StartFromDefaults();
        cv::SetUserReadWriteFolder(userDir.path());
        cv::SetDefaultFolder(userDir.path());
    }
    // A grid showing a table of five words.
    cv::TCV_Grid& ShowTable()
    {
        table = std::make_unique<WordTable>();
        table->AddRow(QStringLiteral("the"), 50, 0.5);
        table->AddRow(QStringLiteral("Cat"), 20, 0.25);
        table->AddRow(QStringLiteral("sat"), 15, 0.125);
        table->AddRow(QStringLiteral("ON"), 10, 0);
        table->AddRow(QStringLiteral("mat"), 5, 2.5);
        grid = std::make_unique<cv::TCV_Grid>();
        grid->resize(600, 400);
        grid->MatchGridToListType(cv::kListWordList, 7, table.get());
        return *grid;
    }
    void TearDown() override
    {
        grid.reset();
        table.reset();
    }

    cvtest::TempDir userDir;
    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard dialogGuard{&dialogs};
    cv::TScriptedFileDialogs files;
    cv::TFileDialogServiceGuard fileGuard{&files};
    std::unique_ptr<WordTable> table;
    std::unique_ptr<cv::TCV_Grid> grid;
};

inline bool Undefined(double v) { return std::isnan(v); }

// The window's print handler on a grid, and a print preview form through
// it, tied together as the window ties them.
inline void MakePreviewOn(cv::TCV_Grid& grid, std::unique_ptr<cv::TPrintPreviewHandler>& handler,
                          std::unique_ptr<cv::TCVFormPrintPreview>& form)
{
    handler = std::make_unique<cv::TPrintPreviewHandler>();
    handler->SetTheGrid(&grid);
    form = std::make_unique<cv::TCVFormPrintPreview>();
    form->AssignStuff(handler.get(), &handler->Organiser(), nullptr);
    handler->SetPreviewForm(form.get());
    form->SetPreviewGrid(&grid);
}

// A step for the print dialog: print into a PDF file.
inline std::function<int(QDialog&)> PrintIntoPdf(const QString& fileName)
{
    return [fileName](QDialog& d) {
        auto& dialog = dynamic_cast<QPrintDialog&>(d);
        dialog.printer()->setOutputFormat(QPrinter::PdfFormat);
        dialog.printer()->setOutputFileName(fileName);
        return int(QDialog::Accepted);
    };
}

} // namespace griddialogs_test
