#include "cabinet/contents_rows.h"

#include <QLocale>
#include <charconv>
#include <cstring>

namespace fm {

namespace {

quint32 dateKey(const QDate& date) {
    int y = 0, m = 0, d = 0;
    date.getDate(&y, &m, &d);
    if (!date.isValid() || y < 0 || y > 9999)
        return 0;
    return static_cast<quint32>(y * 10000 + m * 100 + d);
}

// The user's short date, made once per distinct date: a listing repeats few dates many times.
QString shortDate(quint32 key) {
    static QHash<quint32, QString> cache;
    static const QLocale locale = QLocale::system();
    static const QString format = locale.dateFormat(QLocale::ShortFormat);
    auto it = cache.constFind(key);
    if (it == cache.constEnd()) {
        if (cache.size() > 4096)
            cache.clear();
        const QDate date(static_cast<int>(key / 10000), static_cast<int>(key / 100 % 100),
                         static_cast<int>(key % 100));
        it = cache.insert(key, locale.toString(date, format));
    }
    return *it;
}

QString digits(quint32 value, int width) {
    char text[10];
    for (int i = width - 1; i >= 0; --i) {
        text[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return QString::fromLatin1(text, width);
}

int threeWay(quint32 a, quint32 b) {
    return a < b ? -1 : a > b ? 1 : 0;
}

} // namespace

quint32 ContentsRows::cabinetIndex(const QString& path) {
    // Rows arrive cabinet by cabinet.
    if (!cabinets_.isEmpty() && cabinets_.constLast() == path)
        return static_cast<quint32>(cabinets_.size() - 1);
    auto it = cabinetIndexes_.constFind(path);
    if (it != cabinetIndexes_.constEnd())
        return *it;
    cabinets_.append(path);
    return *cabinetIndexes_.insert(path, static_cast<quint32>(cabinets_.size() - 1));
}

void ContentsRows::add(QStringView name, quint32 size, const QDate& modified,
                       const QString& cabinetPath) {
    add(name, size, dateKey(modified), cabinetIndex(cabinetPath));
}

void ContentsRows::add(QStringView name, quint32 size, quint32 date, quint32 cabinet) {
    Row row{0, static_cast<quint16>(name.size()), cabinet, size, date};
    if (name.size() >= kLong) {
        row.nameLength = kLong;
        row.nameAt = static_cast<quint32>(longNames_.size());
        longNames_.append(name.toString());
    } else {
        if (blocks_.empty() || used_ + static_cast<std::size_t>(name.size()) > kBlock) {
            blocks_.push_back(std::make_unique_for_overwrite<char16_t[]>(kBlock));
            used_ = 0;
        }
        std::memcpy(blocks_.back().get() + used_, name.utf16(),
                    static_cast<std::size_t>(name.size()) * sizeof(char16_t));
        row.nameAt = static_cast<quint32>(((blocks_.size() - 1) << kBlockBits) + used_);
        used_ += static_cast<std::size_t>(name.size());
    }
    rows_.push_back(row);
}

QString ContentsRows::cell(std::size_t row, int column) const {
    const Row& r = rows_[row];
    switch (column) {
    case 0:
        return name(row).toString();
    case 1:
        return QString::number(r.size);
    case 2:
        return shortDate(r.date);
    case 3:
        return cabinets_[static_cast<qsizetype>(r.cabinet)];
    case 4:
        return digits(r.size, 10);
    case 5:
        return digits(r.date, 8);
    }
    return {};
}

int ContentsRows::compare(std::size_t a, std::size_t b, int column) const {
    const Row& x = rows_[a];
    const Row& y = rows_[b];
    switch (column) {
    case 0:
        return CompareIgnoringCase(name(a), name(b));
    case 1: {
        char p[16], q[16];
        const auto pe = std::to_chars(p, p + sizeof p, x.size).ptr;
        const auto qe = std::to_chars(q, q + sizeof q, y.size).ptr;
        return std::string_view(p, static_cast<size_t>(pe - p))
            .compare(std::string_view(q, static_cast<size_t>(qe - q)));
    }
    case 3:
        return x.cabinet == y.cabinet
                   ? 0
                   : CompareIgnoringCase(cabinets_[x.cabinet], cabinets_[y.cabinet]);
    case 4:
        return threeWay(x.size, y.size);
    case 5:
        return threeWay(x.date, y.date);
    }
    return ListRows::compare(a, b, column);
}

void ContentsRows::append(const QString& text, const std::array<QString, kSubItems>& subItems) {
    const quint32 key = subItems[4].toUInt();
    add(text, subItems[3].toUInt(),
        QDate(static_cast<int>(key / 10000), static_cast<int>(key / 100 % 100),
              static_cast<int>(key % 100)),
        subItems[2]);
}

void ContentsRows::clear() {
    std::vector<Row>().swap(rows_);
    blocks_.clear();
    used_ = 0;
    longNames_.clear();
    cabinets_.clear();
    cabinetIndexes_.clear();
}

} // namespace fm
