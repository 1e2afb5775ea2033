#include "gui/mainwindow/screenshot.h"

#include <QApplication>
#include <QInputDialog>
#include <QScreen>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <cstdio>
#include <memory>

#include "gui/labels/labelsmodule.h"
#include "engine/process/procregistry.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/processing/processingmodule.h"
#include "gui/processing/processingwindow.h"
#include "gui/processing/stepformdialog.h"
#include "gui/widgets/layoutcheck.h"
#include "gui/windows/windowset.h"

namespace tessal {

namespace {

void settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

}  // namespace

std::function<void()>& drawn_hook() {
    static std::function<void()> hook;
    return hook;
}

bool render_window_png(QWidget* w, const QString& path, const QString& openmenu, QWidget* popup) {
    w->show();
    settle();
    QPixmap body = w->grab();
    if (drawn_hook()) drawn_hook()();
    const qreal dpr = body.devicePixelRatio();

    QPixmap menupix;
    QPoint menupos;
    if (auto* mw = qobject_cast<QMainWindow*>(w); mw && !openmenu.isEmpty()) {
        for (QAction* a : mw->menuBar()->actions()) {
            if (a->menu() && QString(a->text()).remove('&') == openmenu) {
                QMenu* m = a->menu();
                emit m->aboutToShow();
                m->ensurePolished();
                m->adjustSize();
                menupix = m->grab();
                menupos = mw->menuBar()->actionGeometry(a).bottomLeft() +
                          mw->menuBar()->geometry().topLeft();
                break;
            }
        }
        if (menupix.isNull()) {
            std::fprintf(stderr, "tessal: no menu \"%s\"\n", qPrintable(openmenu));
            return false;
        }
    }

    const int titleh = windowtitleheight;
    QPixmap out(QSize(w->width(), w->height() + titleh) * dpr);
    out.setDevicePixelRatio(dpr);
    out.fill(QColor(0xE8, 0xE8, 0xE8));
    QPainter p(&out);
    p.fillRect(QRect(0, 0, w->width(), titleh), QColor(0x3C, 0x5A, 0x82));
    p.setPen(Qt::white);
    QFont f = QApplication::font();
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(10, 0, w->width() - 20, titleh), Qt::AlignVCenter | Qt::AlignLeft,
               w->windowTitle());
    p.drawPixmap(0, titleh, body);
    if (!menupix.isNull()) {
        p.drawPixmap(menupos + QPoint(0, titleh), menupix);
        p.setPen(QColor(0x80, 0x80, 0x80));
        p.drawRect(QRect(menupos + QPoint(0, titleh), menupix.size() / dpr).adjusted(0, 0, -1, -1));
    }
    if (popup && popup->isVisible()) {
        QPoint at = popup->mapToGlobal(QPoint(0, 0)) - w->mapToGlobal(QPoint(0, 0));
        QPixmap pp = popup->grab();
        p.drawPixmap(at + QPoint(0, titleh), pp);
        p.setPen(QColor(0x80, 0x80, 0x80));
        p.drawRect(QRect(at + QPoint(0, titleh), pp.size() / dpr).adjusted(0, 0, -1, -1));
    }
    p.end();
    if (!out.save(path, "PNG")) {
        std::fprintf(stderr, "tessal: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool render_desktop_png(const QString& path, const QList<QWidget*>& windows) {
    settle();
    const QScreen* s = QGuiApplication::primaryScreen();
    if (!s) return false;
    const QRect screen = s->availableGeometry();
    QPixmap out(screen.size() * s->devicePixelRatio());
    out.setDevicePixelRatio(s->devicePixelRatio());
    out.fill(QColor(0x5A, 0x6E, 0x64));
    QPainter p(&out);
    QFont f = QApplication::font();
    f.setBold(true);
    p.setFont(f);
    for (QWidget* w : windows) {
        if (!w->isVisible()) continue;
        const QPoint at = w->geometry().topLeft() - screen.topLeft();
        const QPixmap body = w->grab();
        const QRect title(at.x(), at.y() - windowtitleheight, w->width(), windowtitleheight);
        p.fillRect(title, QColor(0x3C, 0x5A, 0x82));
        p.setPen(Qt::white);
        p.drawText(title.adjusted(10, 0, -10, 0), Qt::AlignVCenter | Qt::AlignLeft, w->windowTitle());
        p.drawPixmap(at, body);
        p.setPen(QColor(0x20, 0x20, 0x20));
        p.drawRect(QRect(title.topLeft(), QSize(w->width(), w->height() + windowtitleheight)).adjusted(0, 0, -1, -1));
    }
    p.end();
    if (!out.save(path, "PNG")) {
        std::fprintf(stderr, "tessal: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QStringList check_all_windows(TMainWindow& main) {
    const QScreen* s = main.screen() ? main.screen() : QGuiApplication::primaryScreen();
    const QRect screen = s ? s->availableGeometry() : QRect();
    main.show();
    settle();
    QStringList findings = check_layout(&main, screen);
    twindowset& set = main.windows();
    for (const QString& key : set.keys()) {
        const twindowinfo& info = set.info(key);
        if (!info.screenshot || info.caption.isEmpty()) continue;
        set.show(key);
        settle();
        QWidget* w = set.window(key);
        findings << check_layout(w, screen);
        w->hide();
        settle();
    }
    // Each step's settings dialog, as "Edit..." opens it; the steps added
    // for it go again.
    if (tprocessingwindow* pw = main.processing().window()) {
        tprocessdocument& proc = pw->process();
        const std::size_t before = proc.steps.size();
        const bool modified = proc.modified();
        for (int i = 0; i < static_cast<int>(procinfo().size()); ++i) {
            if (!proc.add_step(i)) continue;
            const int at = static_cast<int>(proc.steps.size()) - 1;
            std::unique_ptr<tstepformdialog> d(pw->make_step_dialog(at));
            if (!d) continue;
            d->show();
            settle();
            findings << check_layout(d.get(), screen);
        }
        proc.steps.resize(before);
        proc.set_modified(modified);
        pw->refresh();
    }
    std::unique_ptr<QInputDialog> label(make_label_text_dialog(&main));
    label->show();
    settle();
    findings << check_layout(label.get(), screen);
    return findings;
}

}  // namespace tessal
