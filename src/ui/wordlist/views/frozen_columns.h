#pragma once
// Leading columns of a table that stay in place when it is scrolled to the
// right (the statistics page keeps its row numbers and file names in view).
// A second view of the same model and selection lies over the table's
// left edge, showing those columns only; it follows the table's rows,
// column widths and hidden columns, and passes clicks on to the table.

#include <QObject>

class QTableView;

namespace cv {

class TFrozenColumns final : public QObject {
public:
    // Freezes the first `columns` columns of the view (the object belongs to the view).
    TFrozenColumns(QTableView* view, int columns);

    QTableView* FrozenView() const { return m_frozen; }
    int Columns() const { return m_columns; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowFrozenColumnsOnly();
    void UpdateGeometry();

    QTableView* m_view;
    QTableView* m_frozen;
    int m_columns;
};

} // namespace cv
