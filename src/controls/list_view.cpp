#include "controls/list_view.h"

#include "controls/focus_frame.h"
#include "controls/user_click.h"

#include <QHeaderView>
#include <algorithm>
#include <functional>
#include <numeric>

namespace fm {

int ListRows::compare(std::size_t a, std::size_t b, int column) const {
    return CompareIgnoringCase(cell(a, column), cell(b, column));
}

QString TextRows::cell(std::size_t row, int column) const {
    return rows_[row][static_cast<size_t>(column)];
}

void TextRows::append(const QString& text, const std::array<QString, kSubItems>& subItems) {
    rows_.push_back({text, subItems[0], subItems[1], subItems[2], subItems[3], subItems[4]});
}

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

    using QAbstractTableModel::QAbstractTableModel;

    std::vector<Column> columns;
    // The view's columns: the indexes of the columns that are not hidden. Hidden columns hold data
    // for the program only, so neither the view nor a screen reader ever sees them.
    std::vector<int> shown;
    std::function<QString(const QString&, const std::array<QString, ListView::kSubItems>&)> toolTip;
    std::unique_ptr<ListRows> store = std::make_unique<TextRows>();
    // Display order as store indexes; empty while it is the order of adding.
    std::vector<quint32> order;
    // Per store index; tags only once some row has one.
    std::vector<char> selected;
    std::vector<quint32> tags;
    int sortKey = 0;
    Qt::SortOrder order_ = Qt::AscendingOrder;
    bool active = false;

    std::size_t size() const { return selected.size(); }
    // The store index of a display row (0-based).
    std::size_t at(std::size_t row) const { return order.empty() ? row : order[row]; }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : exposed_;
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(shown.size());
    }

    int logical(int viewColumn) const { return shown[static_cast<size_t>(viewColumn)]; }

    std::array<QString, ListView::kSubItems> subItems(std::size_t storeRow) const {
        std::array<QString, ListView::kSubItems> sub;
        for (int k = 0; k < ListView::kSubItems; ++k)
            sub[static_cast<size_t>(k)] = store->cell(storeRow, k + 1);
        return sub;
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= exposed_ ||
            index.column() >= static_cast<int>(shown.size()))
            return {};
        const int column = logical(index.column());
        const std::size_t r = at(static_cast<size_t>(index.row()));
        if (role == Qt::DisplayRole)
            return store->cell(r, column);
        if (role == Qt::ToolTipRole)
            return toolTip ? toolTip(store->cell(r, 0), subItems(r)) : store->cell(r, column);
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

    // Takes on the rows the store holds beyond those known here.
    void append(quint32 tag) {
        const std::size_t n = store->size();
        while (selected.size() < n) {
            if (!order.empty())
                order.push_back(static_cast<quint32>(selected.size()));
            selected.push_back(0);
        }
        if (tag != 0) {
            tags.resize(n);
            tags[n - 1] = tag;
        }
        if (active)
            sortPending_ = true;
        if (!flushQueued_) {
            flushQueued_ = true;
            QMetaObject::invokeMethod(this, &ListViewModel::flush, Qt::QueuedConnection);
        }
    }

    quint32 tagOf(std::size_t storeRow) const {
        return storeRow < tags.size() ? tags[storeRow] : 0;
    }

    void clearRows() {
        beginResetModel();
        store->clear();
        for (auto* v : {&order, &tags})
            std::vector<quint32>().swap(*v);
        std::vector<char>().swap(selected);
        exposed_ = 0;
        sortPending_ = false;
        endResetModel();
    }

    // Drops display rows; the rest keep their order, flags and tags.
    void removeRows(const std::vector<bool>& doomed) {
        flush();
        const std::size_t n = size();
        std::vector<char> drop(n, 0);
        bool any = false;
        for (std::size_t r = 0; r < std::min(doomed.size(), n); ++r)
            if (doomed[r]) {
                drop[at(r)] = 1;
                any = true;
            }
        if (!any)
            return;
        std::vector<quint32> renumber(n);
        quint32 kept = 0;
        for (std::size_t i = 0; i < n; ++i)
            renumber[i] = drop[i] ? 0 : kept++;
        beginResetModel();
        store->remove(drop);
        std::vector<quint32> newOrder;
        for (quint32 i : order)
            if (!drop[i])
                newOrder.push_back(renumber[i]);
        order = std::move(newOrder);
        EraseFlagged(selected, drop);
        EraseFlagged(tags, drop);
        exposed_ = static_cast<int>(kept);
        endResetModel();
    }

    // Hands pending rows to the view and applies a pending sort.
    void flush() {
        flushQueued_ = false;
        int total = static_cast<int>(size());
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
        std::vector<quint32> perm = order;
        if (perm.empty()) {
            perm.resize(size());
            std::iota(perm.begin(), perm.end(), 0u);
        }
        const ListRows& rows = *store;
        if (order_ == Qt::AscendingOrder)
            std::stable_sort(perm.begin(), perm.end(),
                             [&](quint32 a, quint32 b) { return rows.compare(a, b, key) < 0; });
        else
            std::stable_sort(perm.begin(), perm.end(),
                             [&](quint32 a, quint32 b) { return rows.compare(b, a, key) < 0; });
        bool same = true;
        for (size_t i = 0; i < perm.size() && same; ++i)
            same = perm[i] == at(i);
        if (same)
            return;

        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        const QModelIndexList from = persistentIndexList();
        QModelIndexList to;
        if (!from.isEmpty()) {
            std::vector<int> newPos(perm.size()); // by store index
            for (size_t i = 0; i < perm.size(); ++i)
                newPos[perm[i]] = static_cast<int>(i);
            to.reserve(from.size());
            for (const QModelIndex& i : from)
                to << index(newPos[at(static_cast<size_t>(i.row()))], i.column());
        }
        order = std::move(perm);
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
    ShowFocusFrame(*this);
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
    return static_cast<int>(model_->size());
}

void ListView::addRow(const QString& text, const std::array<QString, kSubItems>& subItems,
                      quint32 tag) {
    model_->store->append(text, subItems);
    model_->append(tag);
}

ListRows& ListView::rows() {
    return *model_->store;
}

void ListView::setRows(std::unique_ptr<ListRows> rows) {
    clearRows();
    model_->store = std::move(rows);
    model_->store->clear();
}

void ListView::addStoredRow(quint32 tag) {
    model_->append(tag);
}

void ListView::removeRows(const std::vector<bool>& doomed) {
    auto isDoomed = [&](int r) { return r < static_cast<int>(doomed.size()) && doomed[r]; };
    // The current row stays current at its new place, unless it goes too.
    const int current = currentRow();
    int newCurrent = 0;
    if (current > 0 && !isDoomed(current - 1))
        for (int r = 0; r < current; ++r)
            newCurrent += isDoomed(r) ? 0 : 1;
    syncing_ = true;
    model_->removeRows(doomed);
    syncing_ = false;
    syncSelectionToView();
    setCurrentRow(newCurrent);
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
    return model_->store->cell(model_->at(static_cast<size_t>(row - 1)), 0);
}

QString ListView::subItem(int row, int sub) const {
    model_->flush();
    if (row < 1 || row > rowCount() || sub < 1 || sub > kSubItems)
        return {};
    return model_->store->cell(model_->at(static_cast<size_t>(row - 1)), sub);
}

quint32 ListView::tag(int row) const {
    model_->flush();
    if (row < 1 || row > rowCount())
        return 0;
    return model_->tagOf(model_->at(static_cast<size_t>(row - 1)));
}

bool ListView::selected(int row) const {
    model_->flush();
    if (row < 1 || row > rowCount())
        return false;
    return model_->selected[model_->at(static_cast<size_t>(row - 1))] != 0;
}

void ListView::setSelected(int row, bool on) {
    model_->flush();
    if (row < 1 || row > rowCount())
        return;
    model_->selected[model_->at(static_cast<size_t>(row - 1))] = on;
    syncing_ = true;
    selectionModel()->select(model_->index(row - 1, 0),
                             (on ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                 QItemSelectionModel::Rows);
    syncing_ = false;
}

std::vector<bool> ListView::selectionFlags() const {
    model_->flush();
    std::vector<bool> flags;
    const size_t n = model_->size();
    flags.reserve(n);
    for (size_t i = 0; i < n; ++i)
        flags.push_back(model_->selected[model_->at(i)] != 0);
    return flags;
}

void ListView::setSelectionFlags(const std::vector<bool>& flags) {
    model_->flush();
    for (size_t i = 0; i < model_->size(); ++i)
        model_->selected[model_->at(i)] = i < flags.size() && flags[i];
    syncSelectionToView();
}

int ListView::selectedCount() const {
    model_->flush();
    return static_cast<int>(
        std::count(model_->selected.begin(), model_->selected.end(), static_cast<char>(1)));
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
    return model_->order_;
}
bool ListView::sorted() const {
    return model_->active;
}

void ListView::setSortState(int key, Qt::SortOrder order, bool active) {
    model_->sortKey = std::clamp(key, 0, kSubItems);
    model_->order_ = order;
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
    const size_t n = model_->size();
    auto on = [this](size_t row) { return model_->selected[model_->at(row)] != 0; };
    for (size_t i = 0; i < n;) {
        if (!on(i)) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j + 1 < n && on(j + 1))
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
                if (row < static_cast<int>(model_->size()))
                    model_->selected[model_->at(static_cast<size_t>(row))] = on;
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
