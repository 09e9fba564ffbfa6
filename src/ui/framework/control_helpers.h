#pragma once
// Small helpers the windows and dialogs of the tool share: the application
// font, the layout of a tool-bar panel after the screen, the float steps of
// spin edits and the safe choice of a list's selected item.

#include <QDoubleSpinBox>

class QComboBox;
class QListWidget;
class QPlainTextEdit;
class QWidget;

namespace cv {

// The font every window starts from: "Segoe UI", 9 points (the desktop's
// nearest when that face is missing).
void SetApplicationFont();

// The height of the suite's tool-bar images at this screen (16 pixels at 96 per inch).
int GlobalImageHeight(const QWidget* onScreen = nullptr);

// Lays the panel's child controls out from left to right, a gap of one
// twelfth of an inch apart, and makes the panel 1.8 image heights high: tool
// buttons fill the panel's height at the top, combo and check boxes keep
// their height, other controls take nine tenths of it; all are centred
// vertically. Returns the x position after the last control.
int LayoutToolbarPanelControls(QWidget* panel);

// A spin edit of whole or floating-point numbers with two steps: the arrows
// and arrow keys move by the first, Page Up and Page Down by the second.
class TCVSpinEdit : public QDoubleSpinBox {
    Q_OBJECT
public:
    explicit TCVSpinEdit(QWidget* parent = nullptr);

    float IncrementFloat() const { return m_increment; }
    float IncrementFloatPage() const { return m_pageIncrement; }
    void SetIncrementFloat(float step);
    void SetIncrementFloatPage(float step) { m_pageIncrement = step; }
    // Floating-point mode: decimals are shown and typed (two); else whole numbers.
    bool FloatMode() const { return m_floatMode; }
    void SetFloatMode(bool on);


protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    float m_increment = 1.0f;
    float m_pageIncrement = 10.0f;
    bool m_floatMode = false;
};

// Every spin edit directly inside the parent takes the two float steps and floating-point mode.
void SetSpinEditsFloatSteps(QWidget* parent, float stepA, float stepB);

// Selects item `index` when it exists; otherwise the first item when there is
// one; an empty list is left as it is.
void SafeSetItemIndex(QComboBox* list, int index);
void SafeSetItemIndex(QListWidget* list, int index);
// The same for the office combo boxes, except that an empty one gets -1 (no item).
void SafeSetItemIndexTMS(QComboBox* combo, int index);

// Lines of "label<TAB>value" line up: the memo's tab stop lies past its
// widest label (a line's text before its first TAB). The tab stop set, in pixels.
int AlignTabbedColumns(QPlainTextEdit& memo);

} // namespace cv
