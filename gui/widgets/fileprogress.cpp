#include "gui/widgets/fileprogress.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <filesystem>


namespace tessal {

namespace {

constexpr qint64 show_after_ms = 500;
constexpr qint64 events_every_ms = 40;
// No call for this long: the command has ended without saying so.
constexpr qint64 idle_ms = 400;

}  // namespace

std::function<void(QWidget*)>& tfileprogress::shown_hook() {
    static std::function<void(QWidget*)> hook;
    return hook;
}

tfileprogress::tfileprogress(QMainWindow* window) : QObject(window), window_(window) {
    idle_ = new QTimer(this);
    idle_->setInterval(200);
    connect(idle_, &QTimer::timeout, this, [this] {
        if (lastcall_.isValid() && lastcall_.elapsed() > idle_ms) hide_bar();
    });
}

tfileprogress::~tfileprogress() {
    if (filtering_) qApp->removeEventFilter(this);
    hide_bar();
}

bool tfileprogress::showing() const { return bar_ && bar_->isVisible(); }

bool tfileprogress::report(const std::string& path, double fraction) {
    // A new command: another file, a fraction that went back, or a pause.
    if (path != path_ || fraction < last_ || !lastcall_.isValid() || lastcall_.elapsed() > idle_ms) {
        hide_bar();
        path_ = path;
        cancelled_ = false;
        started_.start();
        lastevents_.start();
    }
    last_ = fraction;
    lastcall_.start();
    if (fraction >= 1.0) {
        hide_bar();
        lastcall_.invalidate();
        return true;
    }
    if (!showing() && started_.elapsed() >= show_after_ms) show_bar(path, fraction);
    if (showing()) {
        progress_->setValue(static_cast<int>(fraction * 1000));
        if (lastevents_.elapsed() >= events_every_ms) {
            lastevents_.start();
            filtering_ = true;
            qApp->installEventFilter(this);
            QApplication::processEvents(QEventLoop::AllEvents, 20);
            qApp->removeEventFilter(this);
            filtering_ = false;
        }
    }
    if (cancelled_) {
        hide_bar();
        lastcall_.invalidate();
        return false;
    }
    return true;
}

void tfileprogress::show_bar(const std::string& path, double fraction) {
    if (!bar_) {
        bar_ = new QWidget;
        auto* row = new QHBoxLayout(bar_);
        row->setContentsMargins(6, 0, 0, 0);
        label_ = new QLabel(bar_);
        progress_ = new QProgressBar(bar_);
        progress_->setRange(0, 1000);
        progress_->setTextVisible(true);
        progress_->setMinimumWidth(220);
        cancel_ = new QPushButton("Cancel", bar_);
        cancel_->setObjectName("fileprogresscancel");
        connect(cancel_, &QPushButton::clicked, this, [this] { cancelled_ = true; });
        row->addWidget(label_);
        row->addWidget(progress_);
        row->addWidget(cancel_);
        window_->statusBar()->addPermanentWidget(bar_, 1);
    }
    label_->setText(QString::fromStdString(std::filesystem::path(path).filename().string()));
    progress_->setValue(static_cast<int>(fraction * 1000));
    bar_->show();
    // Started from the command line before the window appeared: show it,
    // so the reading is seen (never on the offscreen platform).
    if (!window_->isVisible() && QGuiApplication::platformName() != "offscreen") window_->show();
    idle_->start();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    if (shown_hook()) shown_hook()(window_);
}

void tfileprogress::hide_bar() {
    if (idle_) idle_->stop();
    if (bar_) {
        window_->statusBar()->removeWidget(bar_);
        bar_->deleteLater();
        bar_ = nullptr;
    }
}

bool tfileprogress::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::Drop:
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            // Cancel (and its bar) take their input; nothing else does.
            auto* w = qobject_cast<QWidget*>(watched);
            const bool ours = w && bar_ && (w == bar_ || bar_->isAncestorOf(w));
            return !ours;
        }
        case QEvent::Close:
            if (watched == window_) {
                event->ignore();
                return true;
            }
            return false;
        default: return false;
    }
}

}  // namespace tessal
