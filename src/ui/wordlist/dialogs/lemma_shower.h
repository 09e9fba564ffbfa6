#pragma once
// The read-only list of lemma forms: lines under one or two headings,
// shown without waiting.

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>

#include <vector>

#include "ui/framework/dialog_base/dialog_support.h"

class QMenu;
class QTableView;

namespace cv {

// The lines of the lemma shower: text, and a number or a second text.
class TLemmaShowerModel final : public QAbstractTableModel {
public:
    struct TLine {
        QString text;
        int32_t number = 0;
        QString second; // shown instead of the number when not empty
    };
    explicit TLemmaShowerModel(QObject* parent = nullptr);

    void SetLines(std::vector<TLine> lines);
    const std::vector<TLine>& Lines() const { return m_lines; }
    void SetHeadings(const QStringList& headings);
    QStringList Headings() const { return m_headings; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

private:
    std::vector<TLine> m_lines;
    QStringList m_headings;
};

// A read-only list of lines under one or two headings.
class TFormLemmaShower final : public TCVDialog {
    Q_OBJECT
public:
    explicit TFormLemmaShower(QWidget* parent = nullptr);

    QMenu* AdvPopupMenu1;
    QAction* Print1;
    QAction* Copy1;
    QTableView* CVSimpleVirtualGrid1;

    // Lines with their numbers.
    void CopyStringData(const std::vector<std::pair<QString, int32_t>>& lines);
    // Lines "text<TAB>number or text".
    void CopyRows(const QStringList& rows);
    // One heading fills the width; with two, the first takes 80 parts and the second 20.
    void SetTheHeaders(const QStringList& headings);
    TLemmaShowerModel* Model() const { return m_model; }
    // The whole grid as text: headings, then one line per row, cells separated by TAB.
    QString GridText() const;
    void Copy1Click() const;
    void Print1Click();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void SizeColumns();
    TLemmaShowerModel* m_model;
};

} // namespace cv
