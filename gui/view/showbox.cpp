#include "gui/view/showbox.h"

#include <QMouseEvent>
#include <QPainter>

#include "engine/core/tdocument.h"
#include "gui/commands/commandguard.h"
#include "gui/widgets/viewcolors.h"

namespace tessal {

tshowbox::tshowbox(tdocument& doc, int chno, QWidget* parent)
    : QWidget(parent), doc_(doc), chno_(chno) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void tshowbox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    if (chno_ < 0 || chno_ >= doc_.totnchans()) return;
    paint_guarded(this, tpaintstep::showbox, chno_, [&] { paint_box(p); });
}

void tshowbox::paint_box(QPainter& p) {
    const tchannel& ch = doc_.channel(chno_);
    const QFontMetrics fm(font());
    p.setPen(Qt::black);
    p.drawText(QPoint(2, 2 + fm.ascent()), QString::number(chno_));
    p.drawLine(QPointF(0, 0.5), QPointF(width(), 0.5));

    const int w = width(), top = std::max(2, (height() - 11) / 2);
    // Visibility: minus, or plus for a hidden channel.
    QRectF vis(w - 20 + 0.5, top + 0.5, 10, 10);
    p.setPen(qcolor(0x919191));
    p.setBrush(Qt::white);
    p.drawRect(vis);
    p.setPen(QPen(qcolor(0x724229), 1.5));
    p.drawLine(QPointF(vis.left() + 2.5, vis.center().y()), QPointF(vis.right() - 2.5, vis.center().y()));
    if (!ch.visible())
        p.drawLine(QPointF(vis.center().x(), vis.top() + 2.5), QPointF(vis.center().x(), vis.bottom() - 2.5));
    // Notes: three short lines, dark when the channel has notes.
    QRectF notes(w - 35 + 0.5, top + 0.5, 10, 10);
    p.setPen(qcolor(0x919191));
    p.setBrush(qcolor(ch.notescolor));
    p.drawRect(notes);
    p.setPen(QPen(ch.notes.empty() ? qcolor(0xE6E6E6) : QColor(Qt::black), 1));
    for (int i = 0; i < 3; ++i) {
        double y = notes.top() + 3 + 2 * i;
        p.drawLine(QPointF(notes.left() + 2.5, y), QPointF(notes.right() - 2.5, y));
    }
}

void tshowbox::mouseReleaseEvent(QMouseEvent* e) {
    if (chno_ < 0 || chno_ >= doc_.totnchans()) return;
    const int x = e->position().toPoint().x(), w = width();
    run_guarded(&doc_, [&] {
        if (x > w - 36 && x < w - 18) {
            if (on_notes) on_notes(chno_);
            update();
        } else if (x >= w - 18) {
            if (on_visibility) on_visibility(chno_);
        }
    });
}

}  // namespace tessal
