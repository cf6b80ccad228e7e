#include "extract/open_rows.h"

#include "app/main_window.h"
#include "app/nested_views.h"
#include "controls/list_view.h"
#include "extract/paths.h"
#include "extract/private_copies.h"
#include "extract/run_in_window.h"
#include "extract/tool_call.h"
#include "platform/desktop_open.h"
#include "platform/drive_map.h"
#include "platform/path_text.h"
#include "platform/prompt.h"
#include "platform/tool_link.h"

#include <QLocale>
#include <QMap>
#include <cstring>
#include <sys/stat.h>

namespace fm {

namespace {

constexpr int kPathColumn = 3;

bool isCabinetName(const QString& name) {
    return name.endsWith(QStringLiteral(".cab"), Qt::CaseInsensitive);
}

} // namespace

std::vector<int> SelectedRows(const frmFendlemark& w) {
    std::vector<int> rows;
    const std::vector<bool> flags = w.lvwFiles->selectionFlags();
    for (size_t i = 0; i < flags.size(); ++i)
        if (flags[i])
            rows.push_back(static_cast<int>(i) + 1);
    return rows;
}

QStringList ExtractRowsTo(frmFendlemark& w, const std::vector<int>& rows, const std::string& folder,
                          bool keepFolders, bool* stopped) {
    const Platform& p = w.platform();
    ListView& list = *w.lvwFiles;
    QMap<QString, std::vector<int>> byCabinet;
    QStringList order;
    for (int row : rows) {
        const QString cabinet = list.subItem(row, kPathColumn);
        if (!byCabinet.contains(cabinet))
            order << cabinet;
        byCabinet[cabinet].push_back(row);
    }
    const auto drive = p.drives->toDrive(folder);
    const QString destination = PathToText(drive ? *drive : folder);
    ToolLink link;
    link.driveMounts = ToolLink::mountsOf(*p.drives);
    link.codePage = w.NameCodePage;
    std::vector<RunJob> jobs;
    for (const QString& cabinet : order) {
        link.records.clear();
        RunJob job{TextToPath(p.programFolder), "Cabarc1.exe", {}, {}, 0, {}, {}};
        for (int row : byCabinet[cabinet]) {
            link.records.push_back({list.tag(row), list.text(row).toStdString()});
            job.weight += list.subItem(row, 1).toULongLong();
        }
        w.LinkSource(cabinet, link);
        job.parameters =
            TextToPath(ToolParameters({ToolCall::Command::Extract, w.CabinetFile(cabinet),
                                       destination, false, keepFolders, false}));
        job.attachment = WriteToolLink(link);
        jobs.push_back(std::move(job));
    }
    const WindowRunResult run = RunInWindow(w, std::move(jobs));
    *stopped = run.cancelled || run.exitAsked;
    QStringList problems;
    for (qsizetype i = 0; i < order.size(); ++i) {
        const JobResult& result = run.results[size_t(i)];
        const QString name = MessageText(SplitPath(order[i]).second) + QStringLiteral(": ");
        if (result.state == JobResult::State::NotStarted)
            problems << name + QStringLiteral("the extraction tool could not be started: ") +
                            QString::fromLocal8Bit(std::strerror(result.startError));
        else if (result.state == JobResult::State::Ended && result.end.failed())
            problems << name + (result.end.firstErrorLine.empty()
                                    ? QStringLiteral("the extraction tool failed")
                                    : MessageText(PathToText(result.end.firstErrorLine)));
    }
    return problems;
}

void OpenRows(frmFendlemark& w, const std::vector<int>& rows) {
    if (rows.empty())
        return;
    const Platform& p = w.platform();
    std::uint64_t bytes = 0;
    for (int row : rows)
        bytes += w.lvwFiles->subItem(row, 1).toULongLong();
    if (rows.size() > size_t{kOpenMostFiles} || bytes > kCopiesMostBytes) {
        const QLocale locale;
        p.prompt->ok(&w, QStringLiteral("Too much to open at once: %1, %2. Open takes at most %3 "
                                        "files and %4.\n\nUse Extract instead.")
                             .arg(rows.size() == 1 ? QStringLiteral("1 file")
                                                   : QStringLiteral("%1 files").arg(rows.size()))
                             .arg(locale.formattedDataSize(static_cast<qint64>(bytes)))
                             .arg(kOpenMostFiles)
                             .arg(locale.formattedDataSize(kCopiesMostBytes)));
        return;
    }
    if (rows.size() > size_t{kOpenWithoutAsking} &&
        !p.prompt->noYes(&w, QStringLiteral("Open all %1 selected files? Each opens in its own "
                                            "application.")
                                 .arg(rows.size())))
        return;
    auto* copies = w.findChild<PrivateCopies*>();
    QStringList problems;
    std::string nested; // the first row that is a cabinet, viewed in this window at the end
    QString nestedFrom; // and the cabinet it came from
    for (int row : rows) {
        const QString name = w.lvwFiles->text(row);
        const QString title = u'\'' + MessageText(name) + QStringLiteral("': ");
        std::string why = "the private folder is not available";
        const std::string folder = copies ? copies->newFolder(&why) : std::string();
        if (folder.empty()) {
            problems << title + PathToText(why);
            continue;
        }
        const std::string out = OutputPath(name.toStdString(), false);
        if (out.empty()) {
            problems << title + QStringLiteral("its name leaves nothing to open");
            continue;
        }
        bool stopped = false;
        const QStringList failed = ExtractRowsTo(w, {row}, folder, false, &stopped);
        if (stopped)
            return; // cancelled: what was opened stays, nothing more is
        if (!failed.isEmpty()) {
            problems << title + failed.join(QStringLiteral("; "));
            continue;
        }
        const std::string file = folder + '/' + out;
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0) {
            problems << title + QStringLiteral("the extracted file cannot be found");
            continue;
        }
        ::chmod(file.c_str(), st.st_mode & ~mode_t{0222}); // a copy: changes to it would be lost
        if (isCabinetName(name)) {
            if (const auto from = p.drives->toPosix(
                    TextToPath(w.CabinetFile(w.lvwFiles->subItem(row, kPathColumn)))))
                copies->remember(folder, *from);
            if (nested.empty()) {
                nested = file;
                nestedFrom = w.lvwFiles->subItem(row, kPathColumn);
            }
            continue;
        }
        if (const QString failed = OpenInDesktop(file); !failed.isEmpty())
            problems << title + failed;
    }
    if (!nested.empty())
        ViewPrivateCopy(w, nested, nestedFrom);
    if (!problems.isEmpty())
        p.prompt->ok(&w,
                     (rows.size() == 1 ? QStringLiteral("The file could not be opened:\n\n")
                                       : QStringLiteral("Some files could not be opened:\n\n")) +
                         problems.join(u'\n'));
}

} // namespace fm
