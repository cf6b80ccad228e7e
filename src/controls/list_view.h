#pragma once

// The report list view: column headers (key, caption, width, alignment; width 0 hides a column),
// rows of a text and five sub-items, a selection flag per row, a current row, and a sort state
// (key column, order, active). Hidden columns exist for the program only: the view, and so a
// screen reader, never shows them. Rows are addressed 1-based in their current display order. While
// the sort is active, rows added later are placed in sort order too.
//
// Built for millions of rows: the texts live in a row store (ListRows) that makes them when asked,
// the list keeps the display order as indexes into the store, a selection flag and a 32-bit tag
// per row, and appends reach the view in batches.

#include <QTreeView>
#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace fm {

class UserClick;
class ListViewModel;

// The texts of a list's rows, in the order they were added (row indexes here are 0-based and never
// change while the rows exist). Column 0 is a row's text, 1..5 its sub-items.
class ListRows {
public:
    static constexpr int kSubItems = 5;
    virtual ~ListRows() = default;
    virtual std::size_t size() const = 0;
    virtual QString cell(std::size_t row, int column) const = 0;
    // Orders two rows by their texts in `column`, letter case ignored: negative, 0 or positive.
    virtual int compare(std::size_t a, std::size_t b, int column) const;
    virtual void append(const QString& text, const std::array<QString, kSubItems>& subItems) = 0;
    virtual void clear() = 0;
    // Drops the rows whose flag is set; the others keep their order.
    virtual void remove(const std::vector<char>& drop) = 0;
};

// Erases the elements of `v` whose flag in `drop` is set.
template <typename T> void EraseFlagged(std::vector<T>& v, const std::vector<char>& drop) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < v.size(); ++i)
        if (i >= drop.size() || !drop[i])
            v[out++] = std::move(v[i]);
    v.resize(out);
}

// Every text kept as given.
class TextRows final : public ListRows {
public:
    std::size_t size() const override { return rows_.size(); }
    QString cell(std::size_t row, int column) const override;
    void append(const QString& text, const std::array<QString, kSubItems>& subItems) override;
    void clear() override { rows_.clear(); }
    void remove(const std::vector<char>& drop) override { EraseFlagged(rows_, drop); }

private:
    std::vector<std::array<QString, kSubItems + 1>> rows_;
};

// QString::compare with Qt::CaseInsensitive, quicker where both texts are ASCII (sorting a
// million names calls it some twenty million times).
inline int CompareIgnoringCase(QStringView a, QStringView b) {
    // Equal units are equal however they fold, so the common prefix is skipped as it is. ASCII
    // letters fold to lower case as Qt folds them; from the first other unequal character on, Qt
    // compares the rest (the equal prefix cannot change its answer).
    const char16_t* p = a.utf16();
    const char16_t* q = b.utf16();
    const qsizetype n = std::min(a.size(), b.size());
    qsizetype i = 0;
    while (true) {
        i = std::mismatch(p + i, p + n, q + i).first - p;
        if (i == n)
            return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
        char16_t x = p[i], y = q[i];
        if (x >= 0x80 || y >= 0x80) {
            if (i > 0 && QChar::isHighSurrogate(p[i - 1]))
                --i; // keep a surrogate pair whole
            return a.mid(i).compare(b.mid(i), Qt::CaseInsensitive);
        }
        x = x >= 'A' && x <= 'Z' ? x + 32 : x;
        y = y >= 'A' && y <= 'Z' ? y + 32 : y;
        if (x != y)
            return x < y ? -1 : 1;
        ++i;
    }
}

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
    // Appends a row (while the sort is active it takes its place in sort order); `tag` is the
    // program's own number for the row.
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

    // The row store (TextRows until another is set). A program that keeps many rows of one shape
    // sets a store of its own, appends to it directly and then calls addStoredRow.
    ListRows& rows();
    // Replaces the store; the list is cleared.
    void setRows(std::unique_ptr<ListRows> rows);
    // Takes on the row the store has just gained at its end.
    void addStoredRow(quint32 tag = 0);

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
