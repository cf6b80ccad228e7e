#include "extract/extraction_run.h"

#include "app/main_window.h"
#include "controls/dir_list.h"
#include "controls/file_list.h"
#include "controls/list_view.h"
#include "extract/paths.h"
#include "extract/run_in_window.h"
#include "extract/short_path.h"
#include "platform/file_system.h"
#include "platform/launcher.h"
#include "platform/path_text.h"
#include "platform/prompt.h"
#include "platform/working_folder.h"

#include <QApplication>
#include <QHash>
#include <QSet>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace fm {

namespace {

constexpr int kPathColumn = 3;
// A failure report names at most this many cabinets.
constexpr int kFailuresShown = 20;

// The busy cursor over every window of the program while the run lasts; lifted while a message
// box asks for the user.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() {
        if (on_)
            QApplication::restoreOverrideCursor();
    }
    void lift() {
        if (on_)
            QApplication::restoreOverrideCursor();
        on_ = false;
    }

private:
    bool on_ = true;
};

QString reasonText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString endText(const LaunchEnd& end) {
    if (!end.firstErrorLine.empty())
        return DisplayText(PathToText(end.firstErrorLine));
    if (end.signaled)
        return QStringLiteral("ended by signal %1 (%2)")
            .arg(end.code)
            .arg(QString::fromLocal8Bit(strsignal(end.code)));
    return QStringLiteral("exit status %1").arg(end.code);
}

class ExtractionRun {
public:
    ExtractionRun(frmFendlemark& w, int count)
        : w_(w), p_(w.platform()), count_(count),
          option_(w.StgExtrPreservePath == 1 ? QStringLiteral(" -p X ") : QStringLiteral(" X ")),
          programFolder_(TextToPath(p_.programFolder)) {}

    void run();

private:
    bool allFiles();
    bool singleRow();
    bool severalRows();
    bool launch(const QString& cabinetPath, const QString& cabinetName,
                const QString& fileArguments);
    QString destinationOf(const QString& cabinetName) const;
    bool prepare(const QString& destination);
    QString passedName(int row);
    void fail(const QString& message);
    void waitAndReport();

    frmFendlemark& w_;
    const Platform& p_;
    const int count_;
    const QString option_;
    const std::string programFolder_;
    BusyCursor cursor_;
    int tool_ = 2;
    std::vector<RunJob> jobs_;
    std::vector<QString> cabinetOf_;       // per job
    std::vector<std::string> madeFolders_; // made by this run, removed again if left empty
    // Per cabinet path: how many of its rows have each last name part (upper case).
    std::optional<QHash<QString, QHash<QString, int>>> lastParts_;
};

void ExtractionRun::run() {
    const std::string saved = CurrentWorkingFolder();
    SetCurrentWorkingFolder(programFolder_);

    const int rows = w_.lvwFiles->rowCount();
    bool ok;
    if (count_ == 0 || count_ == rows)
        ok = allFiles();
    else if (count_ == 1)
        ok = singleRow();
    else
        ok = severalRows();

    SetCurrentWorkingFolder(saved);
    if (ok)
        waitAndReport();
}

bool ExtractionRun::allFiles() {
    const std::vector<bool> chosen = w_.File1->selectionFlags();
    for (int i = 0; i < w_.File1->listCount(); ++i) {
        if (!chosen[static_cast<size_t>(i)])
            continue;
        const QString name = w_.File1->list(i);
        if (!launch(JoinPath(w_.Dir1->path(), name), name, QStringLiteral(" *.*")))
            return false;
    }
    return true;
}

bool ExtractionRun::singleRow() {
    // The one selected row, wherever the list's current row is; the current row only when
    // nothing is selected.
    const std::vector<bool> flags = w_.lvwFiles->selectionFlags();
    int row = 0;
    for (size_t i = 0; i < flags.size() && row == 0; ++i)
        if (flags[i])
            row = static_cast<int>(i) + 1;
    if (row == 0)
        row = w_.lvwFiles->currentRow();
    if (row == 0)
        return true;
    const QString cabinetPath = w_.lvwFiles->subItem(row, kPathColumn);
    return launch(cabinetPath, SplitPath(cabinetPath).second, u' ' + QuoteForTool(passedName(row)));
}

bool ExtractionRun::severalRows() {
    // The chosen rows of each cabinet, in list order. A row belongs to the cabinet whose file name
    // is the last part of its Path column (the whole name, so b.cab's rows never go to a.cab).
    const std::vector<bool> flags = w_.lvwFiles->selectionFlags();
    QHash<QString, std::vector<int>> rowsOf;
    for (size_t i = 0; i < flags.size(); ++i) {
        if (!flags[i])
            continue;
        const int row = static_cast<int>(i) + 1;
        const QString path = w_.lvwFiles->subItem(row, kPathColumn);
        if (path.contains(u'\\'))
            rowsOf[SplitPath(path).second].push_back(row);
    }

    const std::vector<bool> chosen = w_.File1->selectionFlags();
    for (int c = 0; c < w_.File1->listCount(); ++c) {
        if (!chosen[static_cast<size_t>(c)])
            continue;
        const QString name = w_.File1->list(c);
        const std::vector<int> rows = rowsOf.value(name);
        size_t next = 0;
        while (next < rows.size()) {
            QString list;
            for (; next < rows.size(); ++next) {
                // A name with a folder part, or passed whole, gets a space of its own before it.
                const QString passed = passedName(rows[next]);
                const bool spaced =
                    passed.contains(u'\\') || w_.lvwFiles->text(rows[next]).contains(u'\\');
                const QString quoted = spaced ? u' ' + QuoteForTool(passed) : QuoteForTool(passed);
                const QString candidate = list + u' ' + quoted;
                if (candidate.size() <= kFileArgumentsMax) {
                    list = candidate;
                } else if (list.isEmpty()) {
                    // Too long for any list: it goes alone.
                    list = candidate;
                    ++next;
                    break;
                } else {
                    break;
                }
            }
            if (!launch(JoinPath(w_.Dir1->path(), name), name, list))
                return false;
        }
    }
    return true;
}

QString ExtractionRun::passedName(int row) {
    const QString text = w_.lvwFiles->text(row);
    const QString last = SplitPath(text).second;
    if (!lastParts_) {
        lastParts_.emplace();
        for (int r = 1; r <= w_.lvwFiles->rowCount(); ++r)
            ++(*lastParts_)[w_.lvwFiles->subItem(r, kPathColumn)]
                           [SplitPath(w_.lvwFiles->text(r)).second.toUpper()];
    }
    // The tool matches a plain name against the last part of every stored name, and a name with
    // a backslash against whole names: a namesake in the same cabinet needs the whole name.
    const bool namesake =
        lastParts_->value(w_.lvwFiles->subItem(row, kPathColumn)).value(last.toUpper()) > 1;
    if (!namesake)
        return last;
    return text.contains(u'\\') ? text : u'\\' + text;
}

QString ExtractionRun::destinationOf(const QString& cabinetName) const {
    if (w_.StgExtrObName == QLatin1String("obSameFolder"))
        return w_.Dir1->path();
    if (w_.StgExtrObName == QLatin1String("obSetFolder"))
        return w_.StgExtrSetFolder;
    // "obSamePlus", and whatever a hand-edited settings file holds.
    const QString base = cabinetName.left(std::max<qsizetype>(cabinetName.size() - 4, 0));
    return JoinPath(w_.Dir1->path(), base + QStringLiteral(" Extracted"));
}

bool ExtractionRun::prepare(const QString& destination) {
    const auto posix = PosixPathOf(*p_.drives, destination, programFolder_);
    if (posix && PathExists(*posix))
        return true;
    if (posix && MakeFolder(*posix) == 0) {
        madeFolders_.push_back(*posix);
        return true;
    }
    fail(QStringLiteral("Unable to create directory '") + DisplayText(destination) +
         QStringLiteral("'."));
    return false;
}

bool ExtractionRun::launch(const QString& cabinetPath, const QString& cabinetName,
                           const QString& fileArguments) {
    const QString destination = destinationOf(cabinetName);
    if (!prepare(destination))
        return false;
    const QString cabinet = ShortPathName(*p_.drives, cabinetPath, programFolder_);
    const QString folder = ShortPathName(*p_.drives, destination, programFolder_);
    tool_ = tool_ == 1 ? 2 : 1;

    const QString file = QStringLiteral("Cabarc%1.exe").arg(tool_);
    const QString parameters =
        option_ + PathArgument(cabinet) + fileArguments + u' ' + PathArgument(folder) + u'\\';
    std::error_code error;
    const auto posix = PosixPathOf(*p_.drives, cabinetPath, programFolder_);
    const auto bytes = posix ? std::filesystem::file_size(*posix, error) : 0;
    jobs_.push_back({programFolder_, TextToPath(file), TextToPath(parameters),
                     error ? 0 : static_cast<std::uint64_t>(bytes)});
    cabinetOf_.push_back(cabinetPath);
    return true;
}

void ExtractionRun::fail(const QString& message) {
    cursor_.lift();
    p_.prompt->ok(&w_, message);
}

void ExtractionRun::waitAndReport() {
    const WindowRunResult r = RunInWindow(w_, std::move(jobs_));
    for (const std::string& folder : madeFolders_)
        ::rmdir(folder.c_str()); // only when the run left it empty
    if (r.exitAsked)
        return;

    // A cabinet counts as extracted when every launch it got succeeded.
    QStringList failures;
    QSet<QString> cabinets, failed;
    for (size_t i = 0; i < r.results.size(); ++i) {
        const QString& cabinet = cabinetOf_[i];
        cabinets.insert(cabinet);
        const JobResult& job = r.results[i];
        if (job.succeeded() || failed.contains(cabinet))
            continue;
        failed.insert(cabinet);
        if (job.state == JobResult::State::Ended)
            failures << DisplayText(cabinet) + QStringLiteral(": ") + endText(job.end);
        else if (job.state == JobResult::State::NotStarted)
            failures << DisplayText(cabinet) + QStringLiteral(": could not be started: ") +
                            reasonText(job.startError) + u'.';
    }

    QString report;
    if (r.cancelled)
        report = QStringLiteral("Extraction cancelled: %1 of %2 cabinets extracted.")
                     .arg(cabinets.size() - failed.size())
                     .arg(cabinets.size());
    if (!failures.isEmpty()) {
        const qsizetype total = failures.size();
        if (total > kFailuresShown) {
            failures = failures.mid(0, kFailuresShown);
            failures << QStringLiteral("... and %1 more.").arg(total - kFailuresShown);
        }
        if (!report.isEmpty())
            report += QStringLiteral("\n\n");
        report += QStringLiteral("These cabinets were not extracted completely:\n\n") +
                  failures.join(u'\n');
    }
    if (report.isEmpty())
        w_.ShowExtracted(count_);
    else
        fail(report);
    w_.RefreshLists();
}

} // namespace

void frmFendlemark::CheckExtractCabs() {
    if (GoExtract && !activeRun_)
        ExtractCabs(SelCount);
}

void frmFendlemark::ExtractCabs(int count) {
    ExtractionRun(*this, count).run();
}

} // namespace fm
