#pragma once
// The set-column dialog of the word-list tool.

#include <QColor>
#include <QString>

#include "ui/framework/dialog_base/dialog_support.h"

class QComboBox;
class QListWidget;
class QPushButton;

namespace cv {

// The category of a set column, with a colour dragged from the colour list.
class TFormSetColumnEdit final : public TCVDialog {
    Q_OBJECT
public:
    explicit TFormSetColumnEdit(QWidget* parent = nullptr);

    QPushButton* ButtonOK;
    QPushButton* ButtonHelp;
    QPushButton* ButtonCancel;
    QComboBox* ElComboBox1;
    QListWidget* ColourSharingListbox1;
    bool ColourChanged = false;

    // No colour chosen; the combo box takes the style's base background.
    void ClearColourChanged();
    QColor ComboColour() const;
    // A colour dropped on the combo box: taken only from the colour list; whether it was.
    bool ColourDropped(QObject* source, const QColor& colour);
    // The combo box's keys: Enter (and the execute key) close with OK; whether the key was used.
    bool ComboKeyDown(int key);
    // The history of categories, kept in "set_history.txt" in the user's read/write folder.
    QString TheIniName() const;

protected:
    void FormShow() override;
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadHistory();
    void SaveHistory() const;
    QColor m_colour;
};

} // namespace cv
