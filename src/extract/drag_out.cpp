#include "extract/drag_out.h"

#include "app/main_window.h"
#include "controls/list_view.h"
#include "extract/open_rows.h"
#include "extract/private_copies.h"
#include "platform/path_text.h"
#include "platform/prompt.h"
#include "platform/tool_link.h"

#include <QDrag>
#include <QLocale>
#include <QMimeData>
#include <QUrl>
#include <filesystem>
#include <map>
#include <set>

namespace fm {

namespace {

constexpr auto kAnyWrite = std::filesystem::perms::owner_write |
                           std::filesystem::perms::group_write |
                           std::filesystem::perms::others_write;

} // namespace

void DragRowsOut(frmFendlemark& w) {
    const Platform& p = w.platform();
    const std::vector<int> rows = SelectedRows(w);
    if (rows.empty())
        return;
    ListView& list = *w.lvwFiles;
    std::uint64_t bytes = 0;
    for (int row : rows)
        bytes += list.subItem(row, 1).toULongLong();
    if (rows.size() > size_t{kDragMostFiles} || bytes > kCopiesMostBytes) {
        const QLocale locale;
        p.prompt->ok(&w, QStringLiteral("%1 files (%2) are too many to drag out: a drag takes "
                                        "at most %3 files and %4.\n\nUse Extract instead.")
                             .arg(rows.size())
                             .arg(locale.formattedDataSize(static_cast<qint64>(bytes)))
                             .arg(kDragMostFiles)
                             .arg(locale.formattedDataSize(kCopiesMostBytes)));
        return;
    }
    const bool keep = w.StgExtrPreservePath == 1;
    // Two rows that would be one file: the drop would carry only one of them.
    std::map<std::string, int> outputs;
    std::set<std::string> tops;
    for (int row : rows) {
        const std::string out = OutputPath(list.text(row).toStdString(), keep);
        if (out.empty())
            continue; // the tool names such a record among the problems
        const auto [at, fresh] = outputs.try_emplace(out, row);
        if (!fresh) {
            p.prompt->ok(&w,
                         QStringLiteral("These files cannot be dragged together: '%1' and "
                                        "'%2' would both be '%3'.\n\n%4")
                             .arg(DisplayText(list.text(at->second)), DisplayText(list.text(row)),
                                  DisplayText(QString::fromStdString(out)),
                                  keep ? QStringLiteral("Drag them one at a time.")
                                       : QStringLiteral("Tick \"Preserve Path\" or drag "
                                                        "them one at a time.")));
            return;
        }
        tops.insert(out.substr(0, out.find('/')));
    }
    auto* copies = w.findChild<PrivateCopies*>();
    std::string why = "the private folder is not available";
    const std::string folder = copies ? copies->newFolder(&why) : std::string();
    if (folder.empty()) {
        p.prompt->ok(&w, QStringLiteral("The files cannot be dragged: ") + PathToText(why) + u'.');
        return;
    }
    bool stopped = false;
    const QStringList problems = ExtractRowsTo(w, rows, folder, keep, &stopped);
    if (stopped || !problems.isEmpty()) {
        // Nothing is dragged: the copies made of the other rows go at once.
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        if (!stopped)
            p.prompt->ok(&w,
                         QStringLiteral("The files cannot be dragged:\n\n") + problems.join(u'\n'));
        return;
    }
    // Copies, as Open's are: changes to them would be lost.
    std::error_code error;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder, error))
        if (e.is_regular_file(error))
            std::filesystem::permissions(e.path(), kAnyWrite, std::filesystem::perm_options::remove,
                                         error);
    QList<QUrl> urls;
    for (const std::string& top : tops)
        urls << QUrl::fromLocalFile(PathToText(folder + '/' + top));
    auto* data = new QMimeData;
    data->setUrls(urls);
    auto* drag = new QDrag(&list);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

} // namespace fm
