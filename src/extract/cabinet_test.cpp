#include "extract/cabinet_test.h"

#include "app/main_window.h"
#include "controls/dir_list.h"
#include "controls/file_list.h"
#include "extract/paths.h"
#include "extract/run_in_window.h"
#include "extract/tool_call.h"
#include "platform/drive_map.h"
#include "platform/path_text.h"
#include "platform/prompt.h"
#include "platform/tool_link.h"

#include <cstring>

namespace fm {

namespace {

QString cabinetsWord(qsizetype n) {
    return n == 1 ? QStringLiteral("1 cabinet") : QStringLiteral("%1 cabinets").arg(n);
}

} // namespace

QStringList SelectedCabinets(const frmFendlemark& w) {
    QStringList cabinets;
    const std::vector<bool> flags = w.File1->selectionFlags();
    for (int i = 0; i < w.File1->listCount(); ++i)
        if (flags[static_cast<size_t>(i)])
            cabinets << w.CabinetsIn(JoinPath(w.Dir1->path(), w.File1->list(i)));
    return cabinets;
}

void TestCabinets(frmFendlemark& w, const QStringList& cabinets) {
    const Platform& p = w.platform();
    if (cabinets.isEmpty()) {
        p.prompt->ok(&w, QStringLiteral("Select the cabinets to test in the list of CAB files."));
        return;
    }
    ToolLink link;
    link.driveMounts = ToolLink::mountsOf(*p.drives);
    link.codePage = w.NameCodePage;
    std::vector<RunJob> jobs;
    for (const QString& cabinet : cabinets) {
        ToolCall call;
        call.command = ToolCall::Command::Test;
        call.cabinet = w.CabinetFile(cabinet);
        w.LinkSource(cabinet, link);
        const std::string attachment = WriteToolLink(link);
        RunJob job;
        job.folder = TextToPath(p.programFolder);
        job.file = "Cabarc1.exe";
        job.parameters = TextToPath(ToolParameters(call));
        job.attachment = attachment;
        jobs.push_back(std::move(job));
    }
    const WindowRunResult run = RunInWindow(w, std::move(jobs), QStringLiteral("Testing"));
    if (run.exitAsked)
        return;
    const bool cancelled = run.cancelled;
    QStringList damaged;
    qsizetype tested = 0, bad = 0;
    for (qsizetype i = 0; i < cabinets.size(); ++i) {
        const JobResult& result = run.results[size_t(i)];
        QString reason;
        if (result.state == JobResult::State::NotStarted)
            reason = QStringLiteral("the test could not be started: ") +
                     QString::fromLocal8Bit(std::strerror(result.startError));
        else if (result.state != JobResult::State::Ended)
            continue; // stopped by Cancel
        else if (result.end.failed())
            reason =
                result.end.firstErrorLine.empty()
                    ? QStringLiteral("the test tool failed (exit status %1)").arg(result.end.code)
                    : MessageText(PathToText(result.end.firstErrorLine));
        ++tested;
        if (reason.isEmpty())
            continue;
        ++bad;
        damaged << MessageText(cabinets[i]) + QStringLiteral(":\n    ") + reason;
    }

    // Stopped part-way, the cabinets not reached and the one at work were not checked: nothing
    // is said to be intact.
    QString text;
    if (cancelled)
        text = QStringLiteral("The test was stopped before it finished: %1 of %2 tested")
                   .arg(tested)
                   .arg(cabinetsWord(cabinets.size()));
    else
        text = cabinetsWord(tested) + QStringLiteral(" tested");
    if (bad == 0) {
        text += !cancelled   ? QStringLiteral(": all files intact.")
                : tested > 0 ? QStringLiteral(", their files intact.")
                             : QStringLiteral(".");
    } else {
        text += QStringLiteral("; %1 damaged:\n\n")
                    .arg(bad == 1 ? QStringLiteral("1 is") : QStringLiteral("%1 are").arg(bad));
        text += damaged.mid(0, kDamagedShown).join(u'\n');
        if (bad > kDamagedShown)
            text += QStringLiteral("\n... and %1 more (all of them in the details).")
                        .arg(bad - kDamagedShown);
    }
    p.prompt->ok(&w, text, bad > 0 ? damaged.join(u'\n') : QString());
}

} // namespace fm
