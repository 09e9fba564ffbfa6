#pragma once
// The three-way sort dialog of the word-list tool.

#include <QString>

#include <array>

#include "ui/framework/dialog_base/dialog_support.h"

class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace cv {

class TCVBaseDataClass;

// Up to three sort columns of a list, each ascending or descending.
class TFormThreeWaySort final : public TCVDialog {
    Q_OBJECT
public:
    explicit TFormThreeWaySort(QWidget* parent = nullptr);

    QLabel* Label1;
    QLabel* LabelSort2;
    QComboBox* ComboBox1;
    QComboBox* ComboBox2;
    QPushButton* ButtonHelp;
    QPushButton* ButtonOK;
    QPushButton* ButtonSwap;
    QComboBox* ComboBox3;
    QLabel* ElLabelSort3;
    QToolButton* AdvGlowButtonUpDown1;
    QToolButton* AdvGlowButtonUpDown2;
    QToolButton* AdvGlowButtonUpDown3;
    const TCVBaseDataClass* Lst = nullptr;
    int MaxSort = 2;
    int32_t helpnum = 0;
    std::array<int32_t, 3> sort_column_choices{-1, -1, -1};

    void SetTo(const TCVBaseDataClass& list, int maxSortLevel, int helpNumber);
    void SetPressedColumn(int column);
    void ButtonSwapClick();
    void DirectionClick(int level);
    void ButtonOKClick();

    QComboBox* Combo(int level) const;
    QToolButton* DirectionButton(int level) const;
    // A direction button's tag (odd: ascending) and image.
    static int Tag(const QToolButton* button);
    static int Image(const QToolButton* button);
    static bool Ascending(const QToolButton* button) { return (Tag(button) & 1) != 0; }

private:
    void SetDirection(QToolButton* button, int directionTag);
};

} // namespace cv
