#include "extract/extraction_run.h"

#include "app/main_window.h"
#include "controls/dir_list.h"
#include "controls/file_list.h"
#include "controls/list_view.h"
#include "controls/vb_label.h"
#include "extract/paths.h"
#include "extract/private_copies.h"
#include "extract/run_in_window.h"
#include "extract/short_path.h"
#include "extract/tool_call.h"
#include "platform/drive_map.h"
#include "platform/file_system.h"
#include "platform/launcher.h"
#include "platform/path_text.h"
#include "platform/prompt.h"
#include "platform/screen.h"
#include "platform/tool_link.h"
#include "platform/working_folder.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHash>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace fm {

namespace {

constexpr int kPathColumn = 3;
// A message box wraps its text at half the screen's width, at most 500 pixels; its margins take
// some of that.
constexpr int kBoxWrapMost = 500;
constexpr int kBoxMargins = 60;
// How many existing files and collisions a question or message names.
constexpr int kExistingShown = 5;
constexpr int kCollisionsShown = 10;

// The busy cursor over every window of the program while the run lasts; lifted while a message
// box asks for the user.
class BusyCursor {
public:
    BusyCursor() { set(true); }
    ~BusyCursor() { set(false); }
    void set(bool on) {
        if (on && !on_)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else if (!on && on_)
            QApplication::restoreOverrideCursor();
        on_ = on;
    }

private:
    bool on_ = false;
};

// What a path named before the run: nothing, or this file or folder (a replaced file is a new
// one, because the tool writes beside it and renames).
struct FileId {
    bool exists = false;
    bool folder = false;
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId&) const = default;
};

FileId identify(const std::string& posix) {
    struct stat st {};
    if (::lstat(posix.c_str(), &st) != 0)
        return {};
    return {true, S_ISDIR(st.st_mode), st.st_dev, st.st_ino};
}

// Up to `most` lines, then how many more.
QString firstLines(const QStringList& lines, qsizetype most) {
    QStringList shown = lines.mid(0, most);
    if (lines.size() > most)
        shown << QStringLiteral("... and %1 more.").arg(lines.size() - most);
    return shown.join(u'\n');
}

QString reasonText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString endReason(const LaunchEnd& end) {
    // The tool, linked, writes each problem in plain words on a line of its own.
    if (!end.firstErrorLine.empty())
        return DisplayText(PathToText(end.firstErrorLine));
    if (end.signaled)
        return QStringLiteral("the extraction tool was stopped (signal %1, %2)")
            .arg(end.code)
            .arg(QString::fromLocal8Bit(strsignal(end.code)));
    return QStringLiteral("the extraction tool failed (exit status %1)").arg(end.code);
}

class ExtractionRun {
public:
    ExtractionRun(frmFendlemark& w, int count)
        : w_(w), p_(w.platform()), count_(count), keep_(w.StgExtrPreservePath == 1),
          programFolder_(TextToPath(p_.programFolder)) {}

    void run();

private:
    enum class Rule { SameFolder, SetFolder, OwnFolder };
    // One cabinet of the run and one launch.
    struct Job {
        QString cabinet;       // drive form
        bool allFiles = false; // "*.*"; otherwise exactly `rows`
        std::vector<int> rows; // the rows it writes (all of the cabinet's listed rows for *.*)
        QString destination;   // drive form
        std::string posixDestination;
        bool makeFolder = false;
        FolderId folderId; // the destination as checked or made: the folder handed to the tool
        bool failed = false;
        std::vector<std::string> outputs; // per row: the POSIX file it is written to, "" for none
        std::vector<FileId> before;       // per row: what was there before the run
        std::set<std::string> newFolders; // the stored folders the rows need that were not there
        std::optional<size_t> launch;     // its place among the run's launches
    };

    void plan();
    void chooseRule();
    bool check();
    void checkCabinet(Job& job);
    bool ask(int existing, const QStringList& existingShown, int folders,
             const QStringList& foldersShown);
    bool makeFolders();
    void launchAll();
    void waitAndReport();
    void fail(const Job& job, const QString& reason);
    // Why a destination's drive cannot take files ("" when it can): its volume is no longer
    // mounted, though the map still names it. Whatever is left at the mount point is a folder of
    // the system disk, and a drive's root is never the program's to make.
    QString driveProblem(const QString& destination, const std::string& posix);
    void message(const QString& text);
    // Removes the folders this run made and left empty (the stored folders of a cabinet not
    // extracted in full too), but those into which a cabinet with files of its own was extracted
    // in full: what its tool did there is its own affair.
    void removeEmptyFolders(const std::vector<JobResult>& results = {});

    frmFendlemark& w_;
    const Platform& p_;
    const int count_;
    const bool keep_;
    const std::string programFolder_;
    BusyCursor cursor_;
    Rule rule_ = Rule::OwnFolder;
    QString fallback_; // why the set folder gave way to the folder beside each cabinet
    bool skip_ = false;
    std::vector<Job> jobs_;
    std::vector<RunJob> launches_;
    std::vector<std::string> madeFolders_; // removed again when the run leaves them empty
    std::optional<DriveMap> mounted_;      // the mount table as the run found it, once read
    QVector<QPair<QString, QString>> failures_;
};

void ExtractionRun::run() {
    const std::string saved = CurrentWorkingFolder();
    SetCurrentWorkingFolder(programFolder_);
    plan();
    chooseRule();
    const bool go = check() && makeFolders();
    if (go)
        launchAll();
    SetCurrentWorkingFolder(saved);
    if (go)
        waitAndReport();
}

void ExtractionRun::plan() {
    ListView& list = *w_.lvwFiles;
    const int rows = list.rowCount();
    const bool allFiles = count_ == 0 || count_ == rows;
    QHash<QString, size_t> jobOf;
    const auto jobFor = [&](const QString& cabinet) -> Job& {
        auto it = jobOf.constFind(cabinet);
        if (it == jobOf.constEnd()) {
            it = jobOf.insert(cabinet, jobs_.size());
            jobs_.push_back({});
            jobs_.back().cabinet = cabinet;
            jobs_.back().allFiles = allFiles;
        }
        return jobs_[*it];
    };
    const std::vector<bool> rowFlags = list.selectionFlags();
    QHash<QString, bool> chosen; // cabinets with chosen rows
    for (int row = 1; row <= rows && !allFiles; ++row)
        if (rowFlags[static_cast<size_t>(row - 1)])
            chosen.insert(list.subItem(row, kPathColumn), true);
    // The cabinets in the order of the cabinet list, so the tools take turns as they always did.
    const std::vector<bool> cabinetFlags = w_.File1->selectionFlags();
    for (int i = 0; i < w_.File1->listCount(); ++i) {
        if (!cabinetFlags[static_cast<size_t>(i)])
            continue;
        for (const QString& cabinet : w_.CabinetsIn(JoinPath(w_.Dir1->path(), w_.File1->list(i))))
            if (allFiles || chosen.contains(cabinet))
                jobFor(cabinet);
    }
    for (int row = 1; row <= rows; ++row) {
        const QString cabinet = list.subItem(row, kPathColumn);
        if (allFiles ? jobOf.contains(cabinet) : rowFlags[static_cast<size_t>(row - 1)])
            jobFor(cabinet).rows.push_back(row);
    }
}

void ExtractionRun::chooseRule() {
    // A folder the dialog refused: the dialog has put the folder beside each cabinet in its
    // place, and the run asks first.
    fallback_ = w_.SetFolderRefusal;
    w_.SetFolderRefusal.clear();
    if (!fallback_.isEmpty()) {
        rule_ = Rule::OwnFolder;
    } else if (w_.StgExtrObName == QLatin1String("obSameFolder")) {
        rule_ = Rule::SameFolder;
    } else if (w_.StgExtrObName == QLatin1String("obSetFolder")) {
        rule_ = Rule::SetFolder;
        if (const QString why = SetFolderProblem(w_.StgExtrSetFolder, *p_.drives); !why.isEmpty()) {
            fallback_ = QStringLiteral("The set folder '") + MessageText(w_.StgExtrSetFolder) +
                        QStringLiteral("' cannot be used: ") + why + u'.';
            rule_ = Rule::OwnFolder;
        }
    }
}

void ExtractionRun::fail(const Job& job, const QString& reason) {
    failures_.push_back({job.cabinet, reason});
}

QString ExtractionRun::driveProblem(const QString& destination, const std::string& posix) {
    const std::string text = TextToPath(destination);
    const Drive* drive =
        DriveMap::hasDriveDesignation(text) ? p_.drives->find(text[0]) : p_.drives->driveOf(posix);
    if (!drive || drive->mountPath == "/")
        return {};
    bool gone = !PathExists(drive->mountPath);
    if (!gone && p_.readDrives) {
        if (!mounted_)
            mounted_ = p_.readDrives();
        const auto& now = mounted_->drives();
        gone = std::none_of(now.begin(), now.end(),
                            [&](const Drive& d) { return d.mountPath == drive->mountPath; });
    }
    if (!gone)
        return {};
    return QStringLiteral("drive %1: is not available (its volume is no longer mounted)")
        .arg(QChar::fromLatin1(drive->letter).toUpper());
}

void ExtractionRun::checkCabinet(Job& job) {
    // A cabinet inside an installer goes where the rules put the installer's own files.
    const QString file = w_.CabinetFile(job.cabinet);
    const auto cabinet = p_.drives->toPosix(TextToPath(file));
    struct stat st {};
    if (!cabinet || ::stat(cabinet->c_str(), &st) != 0) {
        job.failed = true;
        return fail(job, !cabinet || errno == ENOENT ? QStringLiteral("it no longer exists")
                                                     : reasonText(errno));
    }
    const QString folder = w_.Dir1->path();
    if (rule_ == Rule::SameFolder) {
        job.destination = folder;
    } else if (rule_ == Rule::SetFolder) {
        job.destination = w_.StgExtrSetFolder;
    } else {
        const QString name = SplitPath(file).second;
        job.destination = JoinPath(folder, name.left(std::max<qsizetype>(name.size() - 4, 0)) +
                                               QStringLiteral(" Extracted"));
    }
    auto destination = PosixPathOf(*p_.drives, job.destination, programFolder_);
    if (!destination) {
        job.failed = true;
        return fail(job, QStringLiteral("the folder cannot be found: '") +
                             MessageText(job.destination) + u'\'');
    }
    // A cabinet opened out of another one lies among the private copies, which go when the
    // program ends: its files go where the rule puts them beside the real file it came from.
    if (const auto* copies = w_.findChild<PrivateCopies*>()) {
        const auto real = copies->realPlace(*destination);
        const auto shown = real ? p_.drives->toDrive(*real) : std::nullopt;
        if (!shown) {
            job.failed = true;
            return fail(job, QStringLiteral("the folder holds the program's private copies, "
                                            "which are removed when it ends: '") +
                                 MessageText(job.destination) + u'\'');
        }
        if (*real != *destination) {
            destination = real;
            job.destination = PathToText(*shown);
        }
    }
    if (const QString why = driveProblem(job.destination, *destination); !why.isEmpty()) {
        job.failed = true;
        return fail(job, why);
    }
    job.posixDestination = *destination;
    // The folder beside the cabinet is the program's to make: what already has its name must be
    // that folder itself, never a link leading elsewhere. A folder the user named may be a link.
    const bool own = rule_ == Rule::OwnFolder;
    const int found = own ? ::lstat(destination->c_str(), &st) : ::stat(destination->c_str(), &st);
    if (found != 0 && errno == ENOENT) {
        job.makeFolder = true;
    } else if (found != 0) {
        job.failed = true;
        fail(job, QStringLiteral("the folder cannot be used (") + reasonText(errno) +
                      QStringLiteral("): '") + MessageText(job.destination) + u'\'');
    } else if (S_ISDIR(st.st_mode)) {
        job.folderId = {st.st_dev, st.st_ino};
    } else {
        job.failed = true;
        fail(job,
             (S_ISLNK(st.st_mode) ? QStringLiteral("the destination is a link, not a folder: '")
                                  : QStringLiteral("the destination is not a folder: '")) +
                 MessageText(job.destination) + u'\'');
    }
}

bool ExtractionRun::check() {
    struct Writer {
        size_t job;
        int row;
    };
    std::unordered_map<std::string, Writer> writers;
    QStringList collisions, existingShown, foldersShown;
    int collided = 0, existing = 0, folders = 0;
    ListView& list = *w_.lvwFiles;
    const auto rowName = [&](size_t job, int row) {
        return u'\'' + MessageText(list.text(row)) + QStringLiteral("' in ") +
               MessageText(SplitPath(jobs_[job].cabinet).second);
    };
    for (size_t j = 0; j < jobs_.size(); ++j) {
        Job& job = jobs_[j];
        checkCabinet(job);
        if (job.failed)
            continue;
        std::string base = job.posixDestination;
        if (base.empty() || base.back() != '/')
            base += '/';
        for (int row : job.rows) {
            const std::string out = OutputPath(list.text(row).toStdString(), keep_);
            job.outputs.push_back(out.empty() ? out : base + out);
            job.before.push_back(out.empty() || job.makeFolder ? FileId{}
                                                               : identify(job.outputs.back()));
            if (out.empty())
                continue; // the tool names such a record in its report
            for (size_t cut = out.find('/'); cut != std::string::npos; cut = out.find('/', cut + 1))
                if (const std::string sub = base + out.substr(0, cut);
                    !job.newFolders.count(sub) && (job.makeFolder || !PathExists(sub)))
                    job.newFolders.insert(sub);
            const auto [at, first] = writers.try_emplace(job.outputs.back(), Writer{j, row});
            if (!first && ++collided <= kCollisionsShown)
                collisions << rowName(at->second.job, at->second.row) + QStringLiteral(" and ") +
                                  rowName(j, row) + QStringLiteral(" both go to '") +
                                  MessageText(QString::fromStdString(out)) + u'\'';
            // A folder where a file goes is never written over, nor counted among the files.
            const FileId& there = job.before.back();
            int& count = there.folder ? folders : existing;
            if (there.exists && ++count <= kExistingShown)
                (there.folder ? foldersShown : existingShown) << MessageText(
                    JoinPath(job.destination, QString::fromStdString(out).replace(u'/', u'\\')));
        }
    }
    if (collided > 0) {
        if (collided > kCollisionsShown)
            collisions << QStringLiteral("... and %1 more.").arg(collided - kCollisionsShown);
        message(QStringLiteral("Nothing was extracted: files would be written over one another."
                               "\n\n") +
                collisions.join(u'\n') +
                (keep_ ? QStringLiteral("\n\nChoose fewer files.")
                       : QStringLiteral("\n\nTick \"Preserve Path\" or choose fewer files.")));
        return false;
    }
    return ask(existing, existingShown, folders, foldersShown);
}

bool ExtractionRun::ask(int existing, const QStringList& existingShown, int folders,
                        const QStringList& foldersShown) {
    if (existing == 0 && folders == 0 && fallback_.isEmpty())
        return true;
    QString text = fallback_.isEmpty() ? QString() : fallback_ + QStringLiteral("\n\n");
    cursor_.set(false);
    bool go = true;
    if (existing == 0 && folders == 0) {
        go = p_.prompt->yesNo(&w_, text + QStringLiteral("Extract beside each cabinet instead, "
                                                         "into a folder named after it?"));
    } else {
        if (!fallback_.isEmpty())
            text += QStringLiteral("The files go beside each cabinet instead, into a folder named "
                                   "after it.\n\n");
        if (existing > 0) {
            text += existing == 1
                        ? QStringLiteral("1 file to extract exists already:\n\n")
                        : QStringLiteral("%1 files to extract exist already:\n\n").arg(existing);
            text += existingShown.join(u'\n');
            if (existing > kExistingShown)
                text += QStringLiteral("\n...");
            text += QStringLiteral("\n\n");
        }
        // The tool never writes a file over a folder: Skip keeps the folder as it keeps a file,
        // Replace leaves that file out and the report names its cabinet.
        if (folders > 0) {
            text += folders == 1 ? QStringLiteral("1 folder stands where a file to extract goes; "
                                                  "a folder is never replaced:\n\n")
                                 : QStringLiteral("%1 folders stand where files to extract go; "
                                                  "a folder is never replaced:\n\n")
                                       .arg(folders);
            text += foldersShown.join(u'\n');
            if (folders > kExistingShown)
                text += QStringLiteral("\n...");
            text += QStringLiteral("\n\n");
        }
        text += QStringLiteral("Replace them, or skip them and keep the files there?");
        const Existing answer = p_.prompt->replaceSkipCancel(&w_, text);
        go = answer != Existing::Cancel;
        skip_ = answer == Existing::Skip;
    }
    cursor_.set(true);
    return go;
}

bool ExtractionRun::makeFolders() {
    std::unordered_map<std::string, FolderId> made;
    for (Job& job : jobs_) {
        if (job.failed || !job.makeFolder)
            continue;
        if (const auto it = made.find(job.posixDestination); it != made.end()) {
            job.folderId = it->second;
            continue;
        }
        if (MakeFolder(job.posixDestination, &job.folderId) != 0) {
            message(QStringLiteral("Unable to create directory '") + MessageText(job.destination) +
                    QStringLiteral("'."));
            removeEmptyFolders();
            return false;
        }
        madeFolders_.push_back(job.posixDestination);
        made.emplace(job.posixDestination, job.folderId);
    }
    return true;
}

void ExtractionRun::launchAll() {
    ToolLink link;
    link.driveMounts = ToolLink::mountsOf(*p_.drives);
    link.codePage = w_.NameCodePage;
    int tool = 2;
    for (Job& job : jobs_) {
        if (job.failed)
            continue;
        tool = tool == 1 ? 2 : 1;
        // All files too are the rows listed: the tool refuses a cabinet that holds others now.
        link.records.clear();
        link.allRecords = job.allFiles;
        for (int row : job.rows)
            link.records.push_back({w_.lvwFiles->tag(row), w_.lvwFiles->text(row).toStdString()});
        w_.LinkSource(job.cabinet, link);
        const QString parameters = ToolParameters(
            {ToolCall::Command::Extract, w_.CabinetFile(job.cabinet), job.destination, job.allFiles,
             keep_, skip_, kLaunchProgressDescriptor, kLaunchFolderDescriptor});
        const QString file = QStringLiteral("Cabarc%1.exe").arg(tool);
        // The cabinet's size stands for its share of the run's work.
        std::error_code error;
        const auto posix = PosixPathOf(*p_.drives, w_.CabinetFile(job.cabinet), programFolder_);
        const std::uintmax_t bytes = posix ? std::filesystem::file_size(*posix, error) : 0;
        job.launch = launches_.size();
        // The tool writes into the very folder checked above, handed over open.
        launches_.push_back({programFolder_, TextToPath(file), TextToPath(parameters),
                             WriteToolLink(link), error ? 0 : static_cast<std::uint64_t>(bytes),
                             job.posixDestination, job.folderId});
    }
}

void ExtractionRun::removeEmptyFolders(const std::vector<JobResult>& results) {
    std::set<std::string> served;
    for (const Job& job : jobs_) {
        if (job.launch && *job.launch < results.size() && results[*job.launch].succeeded()) {
            if (!job.outputs.empty())
                served.insert(job.posixDestination);
            continue;
        }
        // Deepest first: a folder's name sorts before those of the folders in it.
        for (auto folder = job.newFolders.rbegin(); folder != job.newFolders.rend(); ++folder)
            ::rmdir(folder->c_str());
    }
    for (const std::string& folder : madeFolders_)
        if (!served.count(folder))
            ::rmdir(folder.c_str()); // fails, as it should, when anything was written into it
}

void ExtractionRun::message(const QString& text) {
    cursor_.set(false);
    p_.prompt->ok(&w_, text);
}

void ExtractionRun::waitAndReport() {
    const WindowRunResult r = RunInWindow(w_, std::move(launches_));
    removeEmptyFolders(r.results);
    if (r.exitAsked)
        return;

    // A cabinet whose tool succeeded wrote every row of it but those left alone (skipped as
    // existing); of any other, only the files that changed on disk count.
    int written = 0, kept = 0, missed = 0;
    QStringList full, part, none, folders;
    bool first = true;
    for (const Job& job : jobs_) {
        if (!job.launch) {
            missed += static_cast<int>(job.rows.size());
            none << MessageText(job.cabinet);
            continue;
        }
        if (std::exchange(first, false))
            w_.LastRunFolder = PathToText(job.posixDestination);
        if (!folders.contains(MessageText(job.destination)))
            folders << MessageText(job.destination);
        const JobResult& result = r.results[*job.launch];
        const bool ok = result.succeeded();
        int jobWritten = 0, jobKept = 0;
        for (size_t i = 0; i < job.outputs.size(); ++i) {
            const bool keeps = skip_ && job.before[i].exists;
            if (ok || (!job.outputs[i].empty() && identify(job.outputs[i]) != job.before[i]))
                ++(ok && keeps ? jobKept : jobWritten);
            else
                jobKept += keeps;
        }
        const int jobMissed = static_cast<int>(job.rows.size()) - jobWritten - jobKept;
        // Under Skip, a tool that refused only what the user keeps (a folder where a file goes)
        // did all that was asked of it.
        const bool complete =
            ok || (skip_ && jobMissed == 0 && result.state == JobResult::State::Ended);
        if (complete)
            ; // nothing to report
        else if (result.state == JobResult::State::Ended && result.end.failed())
            fail(job, endReason(result.end));
        else if (result.state == JobResult::State::NotStarted && result.startError == ESTALE)
            fail(job, QStringLiteral("its folder was replaced after it was checked"));
        else if (result.state == JobResult::State::NotStarted)
            fail(job, QStringLiteral("the extraction tool could not be started: ") +
                          reasonText(result.startError));
        written += jobWritten;
        kept += jobKept;
        missed += complete ? 0 : jobMissed;
        (complete ? full : jobWritten > 0 ? part : none) << MessageText(job.cabinet);
    }

    // ShowExtracted reads 0 as "every row", which is right only when the run had nothing to do.
    const bool hadWork = std::any_of(jobs_.begin(), jobs_.end(),
                                     [](const Job& j) { return !j.outputs.empty() || j.failed; });
    w_.ShowExtracted(
        written,
        (written == 0 && hadWork) || kept > 0 || missed > 0
            ? QStringLiteral("%1 files extracted").arg(written) +
                  (kept > 0 ? QStringLiteral(", %1 kept").arg(kept) : QString()) +
                  (missed > 0 ? QStringLiteral(", %1 not extracted").arg(missed) : QString()) + u'.'
            : QString());
    w_.lblFiles->setToolTip(folders.isEmpty() ? QString()
                            : folders.size() == 1
                                ? QStringLiteral("Extracted to ") + folders.front()
                                : QStringLiteral("Extracted to:\n") +
                                      firstLines(folders, kCollisionsShown));
    QString report, details;
    if (r.cancelled) {
        report = QStringLiteral("Extraction cancelled: %1 of %2 cabinets extracted in full")
                     .arg(full.size())
                     .arg(jobs_.size());
        if (!part.isEmpty())
            report += QStringLiteral(", %1 in part").arg(part.size());
        if (!none.isEmpty())
            report += QStringLiteral(", %1 not at all").arg(none.size());
        report += u'.';
        const auto group = [&](const QString& head, const QStringList& names) {
            if (!names.isEmpty())
                details += (details.isEmpty() ? QString() : QStringLiteral("\n\n")) + head +
                           QStringLiteral(":\n") + names.join(u'\n');
        };
        group(QStringLiteral("Extracted in full"), full);
        group(QStringLiteral("Extracted in part"), part);
        group(QStringLiteral("Not extracted"), none);
    }
    if (!failures_.isEmpty()) {
        report += (report.isEmpty() ? QString() : QStringLiteral("\n\n")) +
                  FailureReport(failures_, *p_.screen);
        details +=
            (details.isEmpty() ? QString() : QStringLiteral("\n\n")) + FailureDetails(failures_);
    }
    if (!report.isEmpty()) {
        cursor_.set(false);
        p_.prompt->ok(&w_, report, details);
    }
    w_.RefreshLists();
}

} // namespace

QString SetFolderProblem(const QString& folder, const DriveMap& drives) {
    if (folder.isEmpty())
        return QStringLiteral("no folder is set");
    for (QChar c : folder)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return QStringLiteral("its name holds a control character");
    const std::string bytes = TextToPath(folder);
    if (!DriveMap::hasDriveDesignation(bytes))
        return QStringLiteral("it does not start with a drive");
    if (!drives.find(bytes[0]))
        return QStringLiteral("there is no drive %1:").arg(folder[0].toUpper());
    QString last = folder;
    while (last.endsWith(u'\\'))
        last.chop(1);
    if (SplitPath(last).second.compare(QStringLiteral("'CAB name' Extracted"),
                                       Qt::CaseInsensitive) == 0)
        return QStringLiteral("'CAB name' stands for each cabinet's own name");
    return {};
}

QString FailureReport(const QVector<QPair<QString, QString>>& failures, const Screen& screen) {
    const WorkArea area = screen.workArea();
    const int width = std::min((area.right - area.left) / 2, kBoxWrapMost) - kBoxMargins;
    const QFontMetrics metrics(QApplication::font("QMessageBox"));
    // Two lines a cabinet; the heading, the count of the rest and the button take about eight.
    const qsizetype fits = std::max(1, ((area.bottom - area.top) / metrics.lineSpacing() - 8) / 2);
    const qsizetype shown = std::min({failures.size(), qsizetype{kFailuresShown}, fits});
    const QString indent = QStringLiteral("    ");
    const int reasonWidth = width - metrics.horizontalAdvance(indent);
    QStringList lines;
    for (qsizetype i = 0; i < shown; ++i) {
        // A reason naming a folder ends in it, quoted: the words stay whole, the path gives way.
        const QString reason = MessageText(failures[i].second);
        const qsizetype path =
            reason.endsWith(u'\'') ? reason.lastIndexOf(QStringLiteral(": '")) : -1;
        const QString words = path < 0 ? QString() : reason.left(path + 2);
        lines << metrics.elidedText(MessageText(failures[i].first), Qt::ElideMiddle, width) + u':'
              << indent + (path < 0 ? metrics.elidedText(reason, Qt::ElideRight, reasonWidth)
                                    : words + metrics.elidedText(
                                                  reason.mid(path + 2), Qt::ElideMiddle,
                                                  reasonWidth - metrics.horizontalAdvance(words)));
    }
    if (failures.size() > shown)
        lines << QStringLiteral("... and %1 more.").arg(failures.size() - shown);
    return QStringLiteral("These cabinets were not extracted completely:\n\n") + lines.join(u'\n');
}

QString FailureDetails(const QVector<QPair<QString, QString>>& failures) {
    QStringList lines;
    for (const auto& [cabinet, reason] : failures)
        lines << MessageText(cabinet) + QStringLiteral(":\n    ") + MessageText(reason);
    return lines.join(u'\n');
}

void frmFendlemark::CheckExtractCabs() {
    if (GoExtract && !activeRun_)
        ExtractCabs(SelCount);
}

void frmFendlemark::ExtractCabs(int count) {
    ExtractionRun(*this, count).run();
}

} // namespace fm
