#include "controls/list_view.h"

#include "controls/user_click.h"

#include <QHeaderView>
#include <algorithm>
#include <functional>
#include <numeric>

namespace fm {

class ListViewModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Rows can be dragged out (ListView::setDragOut).
    bool draggable = false;
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return QAbstractTableModel::flags(index) |
               (draggable ? Qt::ItemIsDragEnabled : Qt::NoItemFlags);
    }

    struct Column {
        QString key;
        QString caption;
        Qt::Alignment alignment;
        bool hidden = false;
    };
    struct Row {
        QString text;
        std::array<QString, ListView::kSubItems> sub;
        quint32 tag = 0;
        bool selected = false;
    };

    using QAbstractTableModel::QAbstractTableModel;

    std::vector<Column> columns;
    // The view's columns: the indexes of the columns that are not hidden. Hidden columns hold data
    // for the program only, so neither the view nor a screen reader ever sees them.
    std::vector<int> shown;
    std::function<QString(const QString&, const std::array<QString, ListView::kSubItems>&)> toolTip;
    std::vector<Row> rows; // display order; the view knows the first `exposed_`
    int sortKey = 0;
    Qt::SortOrder order = Qt::AscendingOrder;
    bool active = false;

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : exposed_;
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(shown.size());
    }

    int logical(int viewColumn) const { return shown[static_cast<size_t>(viewColumn)]; }

    const QString& cell(const Row& r, int column) const {
        return column == 0 ? r.text : r.sub[static_cast<size_t>(column - 1)];
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= exposed_ ||
            index.column() >= static_cast<int>(shown.size()))
            return {};
        const int column = logical(index.column());
        const Row& r = rows[static_cast<size_t>(index.row())];
        if (role == Qt::DisplayRole)
            return cell(r, column);
        if (role == Qt::ToolTipRole)
            return toolTip ? toolTip(r.text, r.sub) : cell(r, column);
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(columns[static_cast<size_t>(column)].alignment |
                                       Qt::AlignVCenter);
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || section < 0 ||
            section >= static_cast<int>(shown.size()))
            return {};
        const Column& c = columns[static_cast<size_t>(logical(section))];
        if (role == Qt::DisplayRole)
            return c.caption;
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(c.alignment | Qt::AlignVCenter);
        return {};
    }

    // Returns the view column, -1 for a hidden column.
    int addColumn(Column column) {
        columns.push_back(std::move(column));
        if (columns.back().hidden)
            return -1;
        const int at = static_cast<int>(shown.size());
        beginInsertColumns({}, at, at);
        shown.push_back(static_cast<int>(columns.size()) - 1);
        endInsertColumns();
        return at;
    }

    void append(Row row) {
        rows.push_back(std::move(row));
        if (active)
            sortPending_ = true;
        if (!flushQueued_) {
            flushQueued_ = true;
            QMetaObject::invokeMethod(this, &ListViewModel::flush, Qt::QueuedConnection);
        }
    }

    void clearRows() {
        beginResetModel();
        rows.clear();
        exposed_ = 0;
        sortPending_ = false;
        endResetModel();
    }

    void removeRows(const std::vector<bool>& doomed) {
        flush();
        // From the end, one run of neighbours at a time, so the view keeps its current row and
        // selection on the rows that stay.
        for (size_t end = std::min(doomed.size(), rows.size()); end > 0;) {
            if (!doomed[end - 1]) {
                --end;
                continue;
            }
            size_t begin = end - 1;
            while (begin > 0 && doomed[begin - 1])
                --begin;
            beginRemoveRows({}, static_cast<int>(begin), static_cast<int>(end) - 1);
            rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(begin),
                       rows.begin() + static_cast<std::ptrdiff_t>(end));
            exposed_ = static_cast<int>(rows.size());
            endRemoveRows();
            end = begin;
        }
    }

    // Hands pending rows to the view and applies a pending sort.
    void flush() {
        flushQueued_ = false;
        int total = static_cast<int>(rows.size());
        if (exposed_ < total) {
            beginInsertRows({}, exposed_, total - 1);
            exposed_ = total;
            endInsertRows();
        }
        if (sortPending_)
            sortNow();
    }

    void requestSort() {
        sortPending_ = active;
        flush();
    }

signals:
    void reordered();

private:
    void sortNow() {
        sortPending_ = false;
        const int key = sortKey;
        std::vector<int> perm(rows.size());
        std::iota(perm.begin(), perm.end(), 0);
        auto less = [&](int a, int b) {
            return cell(rows[static_cast<size_t>(a)], key)
                       .compare(cell(rows[static_cast<size_t>(b)], key), Qt::CaseInsensitive) < 0;
        };
        if (order == Qt::AscendingOrder)
            std::stable_sort(perm.begin(), perm.end(), less);
        else
            std::stable_sort(perm.begin(), perm.end(), [&](int a, int b) { return less(b, a); });
        if (std::is_sorted(perm.begin(), perm.end()))
            return;

        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        std::vector<int> newPos(perm.size());
        std::vector<Row> sortedRows;
        sortedRows.reserve(rows.size());
        for (size_t i = 0; i < perm.size(); ++i) {
            newPos[static_cast<size_t>(perm[i])] = static_cast<int>(i);
            sortedRows.push_back(std::move(rows[static_cast<size_t>(perm[i])]));
        }
        rows = std::move(sortedRows);
        const QModelIndexList from = persistentIndexList();
        QModelIndexList to;
        to.reserve(from.size());
        for (const QModelIndex& i : from)
            to << index(newPos[static_cast<size_t>(i.row())], i.column());
        changePersistentIndexList(from, to);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
        emit reordered();
    }

    int exposed_ = 0;
    bool sortPending_ = false;
    bool flushQueued_ = false;
};

ListView::ListView(QWidget* parent)
    : QTreeView(parent), model_(new ListViewModel(this)), userClick_(new UserClick(this)) {
    setModel(model_);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setItemsExpandable(false);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideRight);
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setSortIndicatorShown(false);

    connect(header(), &QHeaderView::sectionClicked, this, [this](int section) {
        lastClickedSection_ = section;
        const int index = model_->logical(section) + 1;
        emit columnClick(index, columnKey(index));
    });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ListView::takeSelectionFromView);
    connect(userClick_, &UserClick::click, this, &ListView::click);
    // While the rows are reordered the view's selection is in flux; the flags on the rows hold the
    // truth and are put back on the view afterwards.
    connect(model_, &QAbstractItemModel::layoutAboutToBeChanged, this, [this] { syncing_ = true; });
    connect(model_, &ListViewModel::reordered, this, &ListView::syncSelectionToView);
}

ListView::~ListView() = default;

void ListView::addColumn(const QString& key, const QString& caption, int widthPixels,
                         Qt::Alignment alignment) {
    const int at = model_->addColumn({key, caption, alignment, widthPixels <= 0});
    if (at >= 0)
        setColumnWidth(at, widthPixels);
}

void ListView::setToolTipMaker(
    std::function<QString(const QString&, const std::array<QString, kSubItems>&)> maker) {
    model_->toolTip = std::move(maker);
}

int ListView::columnCount() const {
    return static_cast<int>(model_->columns.size());
}

int ListView::columnIndex(const QString& key) const {
    for (size_t i = 0; i < model_->columns.size(); ++i)
        if (model_->columns[i].key == key)
            return static_cast<int>(i) + 1;
    return 0;
}

QString ListView::columnKey(int index) const {
    if (index < 1 || index > columnCount())
        return {};
    return model_->columns[static_cast<size_t>(index - 1)].key;
}

int ListView::columnWidth(int index) const {
    if (index < 1 || index > columnCount())
        return 0;
    const auto& shown = model_->shown;
    auto at = std::find(shown.begin(), shown.end(), index - 1);
    return at == shown.end() ? 0 : QTreeView::columnWidth(static_cast<int>(at - shown.begin()));
}

int ListView::rowCount() const {
    return static_cast<int>(model_->rows.size());
}

void ListView::addRow(const QString& text, const std::array<QString, kSubItems>& subItems,
                      quint32 tag) {
    model_->append({text, subItems, tag, false});
}

void ListView::removeRows(const std::vector<bool>& doomed) {
    syncing_ = true;
    model_->removeRows(doomed);
    syncing_ = false;
}

void ListView::clearRows() {
    syncing_ = true;
    model_->clearRows();
    syncing_ = false;
}

QString ListView::text(int row) const {
    model_->flush();
    if (row < 1 || row > rowCount())
        return {};
    return model_->rows[static_cast<size_t>(row - 1)].text;
}

QString ListView::subItem(int row, int sub) const {
    model_->flush();
    if (row < 1 || row > rowCount() || sub < 1 || sub > kSubItems)
        return {};
    return model_->rows[static_cast<size_t>(row - 1)].sub[static_cast<size_t>(sub - 1)];
}

quint32 ListView::tag(int row) const {
    model_->flush();
    if (row < 1 || row > rowCount())
        return 0;
    return model_->rows[static_cast<size_t>(row - 1)].tag;
}

bool ListView::selected(int row) const {
    model_->flush();
    if (row < 1 || row > rowCount())
        return false;
    return model_->rows[static_cast<size_t>(row - 1)].selected;
}

void ListView::setSelected(int row, bool on) {
    model_->flush();
    if (row < 1 || row > rowCount())
        return;
    model_->rows[static_cast<size_t>(row - 1)].selected = on;
    syncing_ = true;
    selectionModel()->select(model_->index(row - 1, 0),
                             (on ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                 QItemSelectionModel::Rows);
    syncing_ = false;
}

std::vector<bool> ListView::selectionFlags() const {
    model_->flush();
    std::vector<bool> flags;
    flags.reserve(model_->rows.size());
    for (const auto& r : model_->rows)
        flags.push_back(r.selected);
    return flags;
}

void ListView::setSelectionFlags(const std::vector<bool>& flags) {
    model_->flush();
    for (size_t i = 0; i < model_->rows.size(); ++i)
        model_->rows[i].selected = i < flags.size() && flags[i];
    syncSelectionToView();
}

int ListView::selectedCount() const {
    model_->flush();
    return static_cast<int>(std::count_if(model_->rows.begin(), model_->rows.end(),
                                          [](const auto& r) { return r.selected; }));
}

int ListView::currentRow() const {
    model_->flush();
    QModelIndex i = currentIndex();
    return i.isValid() ? i.row() + 1 : 0;
}

void ListView::setCurrentRow(int row) {
    model_->flush();
    syncing_ = true;
    if (row < 1 || row > rowCount())
        selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
    else
        selectionModel()->setCurrentIndex(model_->index(row - 1, 0), QItemSelectionModel::NoUpdate);
    syncing_ = false;
}

int ListView::sortKey() const {
    return model_->sortKey;
}
Qt::SortOrder ListView::sortOrder() const {
    return model_->order;
}
bool ListView::sorted() const {
    return model_->active;
}

void ListView::setSortState(int key, Qt::SortOrder order, bool active) {
    model_->sortKey = std::clamp(key, 0, kSubItems);
    model_->order = order;
    model_->active = active;
    if (active && lastClickedSection_ >= 0) {
        header()->setSortIndicatorShown(true);
        header()->setSortIndicator(lastClickedSection_, order);
    }
    model_->requestSort();
}

void ListView::syncSelectionToView() {
    QItemSelection selection;
    const int last = std::max(0, model_->columnCount() - 1);
    const auto& rows = model_->rows;
    for (size_t i = 0; i < rows.size();) {
        if (!rows[i].selected) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1].selected)
            ++j;
        selection.select(model_->index(static_cast<int>(i), 0),
                         model_->index(static_cast<int>(j), last));
        i = j + 1;
    }
    syncing_ = true;
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    syncing_ = false;
}

void ListView::takeSelectionFromView(const QItemSelection& selected,
                                     const QItemSelection& deselected) {
    if (syncing_)
        return;
    auto apply = [this](const QItemSelection& sel, bool on) {
        for (const QItemSelectionRange& r : sel)
            for (int row = r.top(); row <= r.bottom(); ++row)
                if (row < static_cast<int>(model_->rows.size()))
                    model_->rows[static_cast<size_t>(row)].selected = on;
    };
    apply(deselected, false);
    apply(selected, true);
    userClick_->selectionChanged();
}

void ListView::setDragOut(std::function<void()> start) {
    dragOut_ = std::move(start);
    model_->draggable = static_cast<bool>(dragOut_);
    setDragEnabled(static_cast<bool>(dragOut_));
    setDragDropMode(dragOut_ ? QAbstractItemView::DragOnly : QAbstractItemView::NoDragDrop);
}

void ListView::startDrag(Qt::DropActions) {
    if (dragOut_)
        dragOut_();
}

} // namespace fm

#include "list_view.moc"
