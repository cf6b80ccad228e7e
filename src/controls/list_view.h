#pragma once

// The report list view: column headers (key, caption, width, alignment; width 0 hides a column),
// rows of a text and five sub-items, a selection flag per row, a current row, and a sort state
// (key column, order, active). Hidden columns exist for the program only: the view, and so a
// screen reader, never shows them. Rows are addressed 1-based in their current display order. While
// the sort is active, rows added later are placed in sort order too.
//
// Built for tens of thousands of rows: the rows live in one vector behind a model; appends are
// handed to the view in batches and the selection is kept as flags on the rows themselves.

#include <QTreeView>
#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace fm {

class UserClick;
class ListViewModel;

class ListView : public QTreeView {
    Q_OBJECT
public:
    static constexpr int kSubItems = 5;

    explicit ListView(QWidget* parent = nullptr);
    ~ListView() override;

    // Columns, 1-based like the rows.
    void addColumn(const QString& key, const QString& caption, int widthPixels,
                   Qt::Alignment alignment = Qt::AlignLeft);
    int columnCount() const;
    // The index of the column with this key, 0 when there is none.
    int columnIndex(const QString& key) const;
    QString columnKey(int index) const;
    int columnWidth(int index) const;
    // The tooltip of every cell of a row, made from the row's text and sub-items (without one, a
    // cell's tooltip is its text).
    void setToolTipMaker(
        std::function<QString(const QString&, const std::array<QString, kSubItems>&)> maker);

    // Rows.
    int rowCount() const;
    // Appends a row (while the sort is active it takes its place in sort order). The tag is the
    // program's own number for the row, never shown; it stays with the row wherever it is sorted.
    void addRow(const QString& text, const std::array<QString, kSubItems>& subItems,
                quint32 tag = 0);
    void clearRows();
    // Removes the rows whose flag is set (flags in display order, as selectionFlags gives them);
    // the others keep their order, selection and tags.
    void removeRows(const std::vector<bool>& doomed);
    QString text(int row) const;
    // Sub-item 1..5.
    QString subItem(int row, int sub) const;
    quint32 tag(int row) const;

    // Selection.
    bool selected(int row) const;
    void setSelected(int row, bool on);
    std::vector<bool> selectionFlags() const;
    void setSelectionFlags(const std::vector<bool>& flags);
    int selectedCount() const;
    // The current row (the one holding the focus), 0 when there is none.
    int currentRow() const;
    void setCurrentRow(int row);

    // Sort state: key 0 sorts by the row text, 1..5 by that sub-item. Text is compared without
    // regard to case; equal keys keep their previous relative order.
    int sortKey() const;
    Qt::SortOrder sortOrder() const;
    bool sorted() const;
    // Sets all three at once and reorders the rows when the sort is active.
    void setSortState(int key, Qt::SortOrder order, bool active);

    // Dragging selected rows out calls `start` (which makes and runs the drag); without one the
    // rows cannot be dragged.
    void setDragOut(std::function<void()> start);

signals:
    // A column header was clicked: its 1-based index and key.
    void columnClick(int index, const QString& key);
    // The user changed the selection.
    void click();

protected:
    void startDrag(Qt::DropActions supportedActions) override;

private:
    void syncSelectionToView();
    void takeSelectionFromView(const QItemSelection& selected, const QItemSelection& deselected);

    ListViewModel* model_;
    UserClick* userClick_;
    bool syncing_ = false;
    int lastClickedSection_ = -1;
    std::function<void()> dragOut_;
};

} // namespace fm
