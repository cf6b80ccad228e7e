#pragma once

// The contents list's row store: a cabinet listing repeats its cabinet path on every row and its
// few dates many times, and its size and date texts follow from two numbers. So a row keeps its
// name (in shared blocks of UTF-16), an index into the list of cabinet paths, the size and the
// date as yyyymmdd, and its other texts are made when the view or a caller asks:
// sub-item 1 the size in decimal, 2 the user's short date, 3 the cabinet path, 4 the size in ten
// digits, 5 the date as yyyymmdd. The keys compare as numbers, which is their text order.

#include "controls/list_view.h"

#include <QDate>
#include <QHash>
#include <QStringList>
#include <memory>
#include <vector>

namespace fm {

class ContentsRows final : public ListRows {
public:
    void add(QStringView name, quint32 size, const QDate& modified, const QString& cabinetPath);
    // The same with the date as its key (yyyymmdd, 0 for none) and the cabinet as its number.
    void add(QStringView name, quint32 size, quint32 dateKey, quint32 cabinet);
    // The number of a cabinet path, given to it when first met.
    quint32 cabinetIndex(const QString& path);

    std::size_t size() const override { return rows_.size(); }
    QString cell(std::size_t row, int column) const override;
    int compare(std::size_t a, std::size_t b, int column) const override;
    // Rows given as texts take their size from sub-item 4 and their date from sub-item 5.
    void append(const QString& text, const std::array<QString, kSubItems>& subItems) override;
    void clear() override;
    void remove(const std::vector<char>& drop) override { EraseFlagged(rows_, drop); }

    // The row's name without a copy; valid while the rows exist.
    QStringView name(std::size_t row) const {
        const Row& r = rows_[row];
        if (r.nameLength == kLong)
            return longNames_[static_cast<qsizetype>(r.nameAt)];
        return QStringView(blocks_[r.nameAt >> kBlockBits].get() + (r.nameAt & (kBlock - 1)),
                           r.nameLength);
    }

private:
    struct Row {
        quint32 nameAt;     // into the name blocks (or longNames_, when nameLength is kLong)
        quint16 nameLength; // in UTF-16 units
        quint32 cabinet;    // into cabinets_
        quint32 size;
        quint32 date; // yyyymmdd, 0 for no date
    };
    static constexpr quint16 kLong = 0xFFFF;
    static constexpr int kBlockBits = 20;
    static constexpr std::size_t kBlock = std::size_t(1) << kBlockBits;

    std::vector<Row> rows_;
    std::vector<std::unique_ptr<char16_t[]>> blocks_;
    std::size_t used_ = 0; // units used in the last block
    QStringList longNames_;
    QStringList cabinets_;
    QHash<QString, quint32> cabinetIndexes_;
};

} // namespace fm
