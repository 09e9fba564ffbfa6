#include "ui/wordlist/dialogs/three_way_sort_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "model/base_list.h"
#include "suite/resource_strings.h"
#include "suite/wdef.h"
#include "ui/wordlist/dialogs/dialog_controls.h"

namespace cv {

namespace {

// The list's sort key of a grid column, back to the column (-1 when none gives it).
int ColumnOfSortKey(const TCVBaseDataClass& list, int32_t key)
{
    if (key < 0)
        return -1;
    for (int c = 1; c < list.ColumnCount(); ++c)
        if (list.HeaderColumnToSortNeeded(c) == key)
            return c;
    return -1;
}

} // namespace

// Three-way sort

TFormThreeWaySort::TFormThreeWaySort(QWidget* parent) : TCVDialog(parent, QStringLiteral("FormThreeWaySort"), 0)
{
    setWindowTitle(QStringLiteral("Mutual Information Sort"));
    Label1 = Label(this, QStringLiteral("Main sort:"), "Label1");
    LabelSort2 = Label(this, QStringLiteral("Secondary sort:"), "LabelSort2");
    ElLabelSort3 = Label(this, QStringLiteral("Third sort"), "ElLabelSort3");
    const auto combo = [this](const char* name) {
        auto* c = new QComboBox(this);
        c->setObjectName(QString::fromLatin1(name));
        return c;
    };
    const auto direction = [this](const char* name) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    ComboBox1 = combo("ComboBox1");
    ComboBox2 = combo("ComboBox2");
    ComboBox3 = combo("ComboBox3");
    AdvGlowButtonUpDown1 = direction("AdvGlowButtonUpDown1");
    AdvGlowButtonUpDown2 = direction("AdvGlowButtonUpDown2");
    AdvGlowButtonUpDown3 = direction("AdvGlowButtonUpDown3");
    for (QToolButton* b : {AdvGlowButtonUpDown1, AdvGlowButtonUpDown2, AdvGlowButtonUpDown3})
        SetDirection(b, 1);
    ButtonOK = Button(this, QStringLiteral("OK"), kImageOK, "ButtonOK");
    ButtonHelp = Button(this, QStringLiteral("Help"), kImageHelp, "ButtonHelp");
    ButtonSwap = Button(this, QStringLiteral("Swap"), kImageSwap, "ButtonSwap");

    auto* grid = new QGridLayout;
    const QLabel* labels[] = {Label1, LabelSort2, ElLabelSort3};
    for (int level = 0; level < 3; ++level) {
        grid->addWidget(const_cast<QLabel*>(labels[level]), level, 0);
        grid->addWidget(Combo(level), level, 1);
        grid->addWidget(DirectionButton(level), level, 2);
        connect(DirectionButton(level), &QToolButton::clicked, this, [this, level] { DirectionClick(level); });
    }
    auto* buttons = OkHelpButtonRow(ButtonOK, ButtonHelp);
    buttons->insertWidget(1, ButtonSwap);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    connect(ButtonOK, &QPushButton::clicked, this, [this] { ButtonOKClick(); });
    connect(ButtonSwap, &QPushButton::clicked, this, [this] { ButtonSwapClick(); });
    connect(ButtonHelp, &QPushButton::clicked, this, [this] { ShowHelpTopic(helpnum); });
}

QComboBox* TFormThreeWaySort::Combo(int level) const
{
    return std::array{ComboBox1, ComboBox2, ComboBox3}[size_t(std::clamp(level, 0, 2))];
}

QToolButton* TFormThreeWaySort::DirectionButton(int level) const
{
    return std::array{AdvGlowButtonUpDown1, AdvGlowButtonUpDown2, AdvGlowButtonUpDown3}[size_t(std::clamp(level, 0, 2))];
}

int TFormThreeWaySort::Tag(const QToolButton* button) { return button->property("tag").toInt(); }
int TFormThreeWaySort::Image(const QToolButton* button) { return button->property("imageIndex").toInt(); }

void TFormThreeWaySort::SetDirection(QToolButton* button, int directionTag)
{
    const bool ascending = (directionTag & 1) != 0;
    button->setProperty("tag", directionTag);
    button->setProperty("imageIndex", ascending ? kImageAscending : kImageDescending);
    button->setArrowType(ascending ? Qt::UpArrow : Qt::DownArrow);
    button->setToolTip(ascending ? QStringLiteral("ascending") : QStringLiteral("descending"));
}

void TFormThreeWaySort::SetTo(const TCVBaseDataClass& list, int maxSortLevel, int helpNumber)
{
    Lst = &list;
    MaxSort = std::clamp(maxSortLevel, 0, 2);
    helpnum = helpNumber;
    SetHelpContextNumber(helpNumber);
    for (int level = 0; level < 3; ++level) {
        QComboBox* c = Combo(level);
        c->clear();
        for (int column = 1; column < list.ColumnCount(); ++column)
            c->addItem(list.Heading(column), column);
    }
    switch (list.ListType()) {
    case kListDetailedConsistency: setWindowTitle(CVDetailedConsistency); break;
    case kListIndexRelationships: setWindowTitle(CVRelationships); break;
    case kListChargrams: setWindowTitle(CVChargramList); break;
    default: break;
    }
    for (int level = 0; level < 3; ++level) {
        const TSortLevel sort = list.SortLevel(level);
        SetDirection(DirectionButton(level), sort.ascending ? 1 : 0);
        const int column = ColumnOfSortKey(list, sort.key);
        Combo(level)->setCurrentIndex(column >= 1 ? column - 1 : -1);
    }
    const bool second = MaxSort >= 1;
    const bool third = MaxSort >= 2;
    for (QWidget* w : {static_cast<QWidget*>(ComboBox2), static_cast<QWidget*>(LabelSort2),
                       static_cast<QWidget*>(AdvGlowButtonUpDown2)})
        w->setVisible(second);
    for (QWidget* w : {static_cast<QWidget*>(ComboBox3), static_cast<QWidget*>(ElLabelSort3),
                       static_cast<QWidget*>(AdvGlowButtonUpDown3)})
        w->setVisible(third);
    ButtonSwap->setVisible(second);
}

void TFormThreeWaySort::SetPressedColumn(int column)
{
    if (column >= 1 && column - 1 < ComboBox1->count())
        ComboBox1->setCurrentIndex(column - 1);
}

void TFormThreeWaySort::ButtonSwapClick()
{
    const int first = ComboBox1->currentIndex();
    ComboBox1->setCurrentIndex(ComboBox2->currentIndex());
    ComboBox2->setCurrentIndex(first);
}

void TFormThreeWaySort::DirectionClick(int level)
{
    QToolButton* b = DirectionButton(level);
    SetDirection(b, Tag(b) + 1);
}

void TFormThreeWaySort::ButtonOKClick()
{
    for (int level = 0; level < 3; ++level) {
        const QComboBox* c = Combo(level);
        sort_column_choices[size_t(level)] =
            level <= MaxSort && c->currentIndex() >= 0 ? c->currentData().toInt() : -1;
    }
    SetModalResult(kModalOK);
}

} // namespace cv
