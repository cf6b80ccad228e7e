#include "cabinet/cabinet_enumeration.h"

#include "app/main_window.h"
#include "cabinet/contents_list.h"
#include "cabinet/contents_rows.h"
#include "controls/dir_list.h"
#include "controls/file_list.h"
#include "controls/vb_check_box.h"
#include "extract/paths.h"
#include "platform/drive_map.h"
#include "platform/path_text.h"
#include "platform/prompt.h"

#include "platform/tool_link.h"

#include <QCoreApplication>
#include <QSet>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace fm {

QString StrFromAnsiPtr(const CabinetFileRecord& record, int codePage) {
    QString text(static_cast<qsizetype>(record.name.size()), Qt::Uninitialized);
    text.resize(static_cast<qsizetype>(StoredNameToUtf16(
        record.name, record.nameIsUtf8, reinterpret_cast<char16_t*>(text.data()), codePage)));
    return text;
}

QDate DosDateToDate(quint16 dosDate, quint16 dosTime) {
    CalendarDate d = DosDateTimeToDate(dosDate, dosTime);
    return QDate(d.year, d.month, d.day);
}

void CabinetCallback(ListView& list, const CabinetFileRecord& record, const QString& cabinetPath,
                     quint32 index, int codePage) {
    CabEntry entry;
    entry.Name = StrFromAnsiPtr(record, codePage);
    entry.Size = record.size;
    entry.Modified = DosDateToDate(record.dosDate, record.dosTime);
    entry.CabinetPath = cabinetPath;
    entry.Index = index;
    AddCabEntry(list, entry);
}

bool IsCabinetFileName(const QString& name) {
    return name.endsWith(QStringLiteral(".cab"), Qt::CaseInsensitive) ||
           name.endsWith(QStringLiteral(".msu"), Qt::CaseInsensitive);
}

QStringList frmFendlemark::CabinetsIn(const QString& file) const {
    return containerCabinets_.value(file, QStringList{file});
}

QString frmFendlemark::CabinetFile(const QString& cabinet) const {
    const auto it = InnerCabinets.constFind(cabinet);
    return it == InnerCabinets.constEnd() ? cabinet : it->file;
}

void frmFendlemark::LinkSource(const QString& cabinet, ToolLink& link) const {
    const auto it = InnerCabinets.constFind(cabinet);
    link.sourceOffset = it == InnerCabinets.constEnd() ? 0 : it->source.offset;
    link.sourceStream = it == InnerCabinets.constEnd() ? std::string() : it->source.stream;
}

void frmFendlemark::ShowContainers() {
    // Whether an installer holds a cabinet is searched once per version of the file.
    struct Seen {
        off_t size;
        std::int64_t modified;
        bool holds;
    };
    static std::unordered_map<std::string, Seen> seen;
    File1->setFilter(
        !LookInside ? std::function<bool(const std::string&)>() : [](const std::string& path) {
            if (IsCabinetFileName(QString::fromStdString(path)))
                return true;
            struct stat st {};
            if (::stat(path.c_str(), &st) != 0)
                return false;
            const std::int64_t modified =
                std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
            const auto it = seen.find(path);
            if (it != seen.end() && it->second.size == st.st_size &&
                it->second.modified == modified)
                return it->second.holds;
            const bool holds = !FindCabinets(path, 1).empty();
            seen[path] = {st.st_size, modified, holds};
            return holds;
        });
    File1->setPattern(LookInside ? QStringLiteral("*.cab;*.msu;*.exe;*.msi")
                                 : QStringLiteral("*.cab"));
}

namespace {

// The part a header names beside a selected one, unless it is selected too.
AbsentPart absentPart(const std::optional<std::string>& posixFolder, const std::string& stored,
                      const QSet<QString>& selected) {
    if (stored.empty())
        return {};
    const std::string path = posixFolder ? FindCabinetPart(*posixFolder, stored) : std::string();
    if (path.empty())
        return {QString::fromStdString(Windows1252ToUtf8(stored)), true};
    const QString name = PathToText(std::string_view(path).substr(path.rfind('/') + 1));
    return selected.contains(name) ? AbsentPart{} : AbsentPart{name, false};
}

} // namespace

void frmFendlemark::ListCabContents() {
    QStringList names;
    const std::vector<bool> flags = File1->selectionFlags();
    for (int i = 0; i < File1->listCount(); ++i)
        if (flags[static_cast<size_t>(i)])
            names << File1->list(i);

    Busy = true;
    if (names.size() < File1->listCount())
        ckSelAllCabs->setValue(0);
    Busy = false;

    if (Loading)
        return;

    setCursor(Qt::WaitCursor);
    // Let the emptied list repaint; user input waits until the listing is done.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const QString folder = Dir1->path();
    Unreadable.clear();
    LoneParts.clear();
    const auto posixFolder = platform_.drives->toPosix(TextToPath(folder));
    const QSet<QString> selected(names.begin(), names.end());
    QHash<QString, QString> notes;
    ContentsRows* rows = nullptr;
    bool rowsKnown = false;
    char16_t text[256]; // a stored name has at most 255 bytes, each one unit or less
    for (const QString& name : names) {
        const QString filePath = JoinPath(folder, name);
        auto posix = platform_.drives->toPosix(TextToPath(filePath));
        // A cabinet file, or each cabinet found in an installer or another file.
        std::vector<CabinetSource> sources;
        const bool container = LookInside && !IsCabinetFileName(name);
        if (posix && container)
            sources = FindCabinets(*posix);
        else if (posix)
            sources.push_back({*posix, 0, {}});
        QStringList inner;
        QString why;
        CabinetListing listing;
        if (!posix)
            why = QStringLiteral("This path cannot be shown.");
        else if (sources.empty())
            why = QStringLiteral("No cabinet was found in this file.");
        for (const CabinetSource& source : sources) {
            QString cabinetPath = filePath;
            if (container) {
                cabinetPath += QStringLiteral(" \u203a ") +
                               (source.stream.empty()
                                    ? QStringLiteral("cabinet at byte %1").arg(source.offset)
                                    : QString::fromStdString(StreamDisplayName(source.stream)));
                InnerCabinets.insert(cabinetPath, {filePath, source});
                inner << cabinetPath;
            }
            quint32 index = 0;
            quint32 cabinet = 0;
            const auto onFile = [&](const CabinetFileRecord& record) {
                if (!rowsKnown) {
                    rows = ContentsRowsOf(*lvwFiles);
                    rowsKnown = true;
                }
                if (!rows) {
                    CabinetCallback(*lvwFiles, record, cabinetPath, index++, NameCodePage);
                    return;
                }
                // What CabinetCallback adds, without an entry's strings and date in between.
                if (index == 0)
                    cabinet = rows->cabinetIndex(cabinetPath);
                const std::size_t units =
                    StoredNameToUtf16(record.name, record.nameIsUtf8, text, NameCodePage);
                const CalendarDate date = DosDateTimeToDate(record.dosDate, record.dosTime);
                rows->add(QStringView(text, static_cast<qsizetype>(units)), record.size,
                          static_cast<quint32>(date.year * 10000 + date.month * 100 + date.day),
                          cabinet);
                lvwFiles->addStoredRow(index++);
            };
            if (!source.stream.empty()) {
                // A stream is read from a copy of it in memory.
                std::string problem;
                const int fd = OpenCabinetSource(source, &problem);
                listing =
                    fd < 0
                        ? CabinetListing{0, "This cabinet cannot be read: " + problem + '.', {}, {}}
                        : IterateCabinet("/proc/self/fd/" + std::to_string(fd), onFile);
                if (fd >= 0)
                    ::close(fd);
            } else {
                listing = IterateCabinet(source.file, onFile, source.offset);
            }
            if (why.isEmpty())
                why = QString::fromStdString(listing.problem);
        }
        if (container)
            containerCabinets_.insert(filePath, inner);
        else
            containerCabinets_.remove(filePath);
        // Marked in the cabinet list, so a damaged cabinet is told apart without a message each.
        File1->setProblem(name, why);
        if (!why.isEmpty())
            Unreadable.append({name, why});
        // A part without its neighbour lists neither the files continued from it nor those
        // continued into it. (Parts inside one file are not looked up in the folder.)
        const QString note = container
                                 ? QString()
                                 : LonePartNote(absentPart(posixFolder, listing.previous, selected),
                                                absentPart(posixFolder, listing.next, selected));
        if (!note.isEmpty()) {
            LoneParts.append({name, note});
            notes.insert(name, note);
        }
    }
    File1->setNotes(notes);
    unsetCursor();
    // One message for a selection of which nothing at all could be read.
    if (!names.isEmpty() && Unreadable.size() == names.size())
        platform_.prompt->ok(this, UnreadableMessage(Unreadable));
}

} // namespace fm
