#include "gui/mainwindow/screenshot.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <cstdio>

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

    const int titleh = 28;
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

}  // namespace tessal
