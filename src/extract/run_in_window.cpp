#include "extract/run_in_window.h"

#include "app/main_window.h"
#include "controls/vb_label.h"
#include "extract/extraction_run.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSemaphore>
#include <QShortcut>
#include <QThreadPool>
#include <memory>

namespace fm {

namespace {

// How often the status line follows the run: often enough to look alive, seldom enough that a
// run of thousands of small cabinets does not spend its time painting.
constexpr int kStatusIntervalMs = 100;

// Qt paints a large image in pieces on the threads of its global pool and waits for every piece.
// A pool thread it cannot make, because the run's tools have used up the user's process limit,
// leaves that wait, and the window, hanging for good. So before the first run the pool's threads
// are made, and they are kept from then on.
void KeepPaintingThreads() {
    static bool kept = false;
    if (kept)
        return;
    kept = true;
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->setExpiryTimeout(-1);
    // Each task holds its thread until all have one, so every thread is started (or reused, with
    // the new expiry) now.
    const int threads = pool->maxThreadCount();
    auto started = std::make_shared<QSemaphore>();
    auto go = std::make_shared<QSemaphore>();
    for (int i = 0; i < threads; ++i)
        pool->start([started, go] {
            started->release();
            go->acquire();
        });
    started->tryAcquire(threads, 2000); // a thread that cannot be made is not waited for
    go->release(threads);
}

// Esc cancels; paths dropped on the window are refused while the run lasts.
class RunKeys : public QObject {
public:
    RunKeys(frmFendlemark& w, RunQueue& q) : w_(w), q_(q) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget->window() != &w_)
            return false;
        switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape)
                return false;
            q_.cancel();
            return true;
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            event->ignore();
            return true;
        default:
            return false;
        }
    }

private:
    frmFendlemark& w_;
    RunQueue& q_;
};

// Shuts off every way into the window's handlers but the way out, and puts it all back.
class RunMode {
public:
    explicit RunMode(frmFendlemark& w) : w_(w), focus_(QApplication::focusWidget()) {
        for (QObject* child : w.centralWidget()->children())
            if (auto* widget = qobject_cast<QWidget*>(child);
                widget && widget != w.cmdExtract && widget != w.cmdClose)
                shut(widget);
        for (QAction* a : w.findChildren<QAction*>())
            if (a != w.mExit && a != w.mFile->menuAction()) {
                actions_.push_back({a, a->isEnabled()});
                a->setEnabled(false);
            }
        for (QShortcut* s : w.findChildren<QShortcut*>()) {
            shortcuts_.push_back({s, s->isEnabled()});
            s->setEnabled(false);
        }
        // The progress needs more room than the selection summary; the label beside it has
        // nothing to offer meanwhile.
        labelText_ = w.lblFiles->text();
        labelColor_ = w.lblFiles->foreColor();
        labelGeometry_ = w.lblFiles->geometry();
        unselectShown_ = w.lblUnSelAll->isVisible();
        w.lblUnSelAll->setVisible(false);
        QRect wide = labelGeometry_;
        wide.setRight(w.cmdExtract->x() - 1);
        w.lblFiles->setGeometry(wide);
        w.lblFiles->setForeColor(kColorButtonText);
        w.cmdExtract->setText(QStringLiteral("Cancel"));
        w.cmdExtract->setFocus();
        QApplication::setOverrideCursor(Qt::BusyCursor);
    }

    ~RunMode() {
        QApplication::restoreOverrideCursor();
        w_.cmdExtract->setText(QStringLiteral("Extract"));
        w_.lblFiles->setGeometry(labelGeometry_);
        w_.lblFiles->setText(labelText_);
        w_.lblFiles->setForeColor(labelColor_);
        w_.lblUnSelAll->setVisible(unselectShown_);
        for (auto& [widget, enabled] : widgets_)
            if (widget)
                widget->setEnabled(enabled);
        for (auto& [action, enabled] : actions_)
            if (action)
                action->setEnabled(enabled);
        for (auto& [shortcut, enabled] : shortcuts_)
            if (shortcut)
                shortcut->setEnabled(enabled);
        if (focus_ && focus_->isEnabled())
            focus_->setFocus();
    }

private:
    void shut(QWidget* widget) {
        widgets_.push_back({widget, widget->isEnabled()});
        widget->setEnabled(false);
    }

    frmFendlemark& w_;
    QPointer<QWidget> focus_;
    std::vector<std::pair<QPointer<QWidget>, bool>> widgets_;
    std::vector<std::pair<QPointer<QAction>, bool>> actions_;
    std::vector<std::pair<QPointer<QShortcut>, bool>> shortcuts_;
    QString labelText_;
    quint32 labelColor_;
    QRect labelGeometry_;
    bool unselectShown_ = false;
};

} // namespace

QString ProgressText(size_t done, size_t total, std::optional<int> percent, const QString& doing) {
    // Digits grouped by commas whatever the desktop's language: the rest of the text is English.
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    QString text = QStringLiteral("%1: %2 of %3 cabinets…")
                       .arg(doing, english.toString(static_cast<qulonglong>(done)),
                            english.toString(static_cast<qulonglong>(total)));
    if (percent)
        text += QStringLiteral(" (%1%)").arg(*percent);
    return text;
}

WindowRunResult RunInWindow(frmFendlemark& w, std::vector<RunJob> jobs, const QString& doing) {
    KeepPaintingThreads();
    const Platform& p = w.platform();
    RunQueue queue(*p.launcher, p.processes, QString::fromLatin1(kToolProcessName));
    WindowRunResult result;
    {
        // An extract-to dialog that started the run would keep the window out of reach.
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != &w)
            modal->hide();
        RunMode mode(w);
        RunKeys keys(w, queue);
        qApp->installEventFilter(&keys);
        w.activeRun_ = &queue;
        w.exitAsked_ = false;

        const auto show = [&] {
            w.lblFiles->setText(
                ProgressText(queue.done(), queue.total(), queue.dominantPercent(), doing));
        };
        QTimer status;
        QObject::connect(&status, &QTimer::timeout, show);
        QEventLoop loop;
        QObject::connect(&queue, &RunQueue::finished, &loop, &QEventLoop::quit);
        queue.start(std::move(jobs));
        show();
        status.start(kStatusIntervalMs);
        if (!queue.isFinished())
            loop.exec();

        qApp->removeEventFilter(&keys);
        w.activeRun_ = nullptr;
        result.exitAsked = w.exitAsked_;
    }
    result.results = queue.results();
    result.cancelled = queue.isCancelled();
    if (result.exitAsked)
        QTimer::singleShot(0, &w, &QWidget::close);
    return result;
}

} // namespace fm
