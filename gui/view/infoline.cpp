#include "gui/view/infoline.h"

#include <QPainter>
#include <algorithm>

#include "engine/core/tdocument.h"
#include "gui/commands/commandguard.h"
#include "gui/widgets/viewcolors.h"

namespace tessal {

QString coding_tag(int nbits, int format, bool usedither, bool epg) {
    static const char* const letters[] = {"i", "f", "\u00b5", "a"};
    QString t = QString::number(nbits);
    if (format >= 0 && format <= 3) t += QString::fromUtf8(letters[format]);
    if (usedither) t = "dith " + t;
    if (epg) t = "EPG " + t;
    return t;
}

tinfoline::tinfoline(tdocument& doc, int chno, QWidget* parent)
    : QWidget(parent), doc_(doc), chno_(chno) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

tinfoline::tlinekey tinfoline::line_key() const {
    const tchannel& ch = doc_.channel(chno_);
    tlinekey k;
    k.info = QString::fromStdString(ch.get_infotext(", "));
    k.meas = QString::fromStdString(ch.get_measurementtext(", "));
    k.tag = coding_tag(ch.nbits, static_cast<int>(ch.format), ch.get_usedither(), ch.epgexists);
    k.visible = ch.visible();
    k.infocolor = doc_.prefs.UseInfoColor;
    if (brackets) {
        const TAxis& xa = doc_.xaxis;
        for (const tanalysisbracket& b : brackets(chno_)) {
            k.brackets.push_back(xa.value_to_pixel(b.from));
            k.brackets.push_back(xa.value_to_pixel(b.to));
            k.brackets.push_back(static_cast<int>(b.color));
        }
    }
    k.size = size();
    k.dpr = devicePixelRatioF();
    k.window = palette().window().color().rgba();
    k.font = font();
    return k;
}

void tinfoline::paintEvent(QPaintEvent*) {
    const qreal dpr = devicePixelRatioF();
    if (chno_ < 0 || chno_ >= doc_.totnchans()) {
        QPainter p(this);
        p.fillRect(rect(), palette().window());
        return;
    }
    paint_guarded(this, tpaintstep::infoline, chno_, [&] {
        tlinekey key = line_key();
        if (picture_.isNull() || !(key == shown_)) {
            shown_ = {};
            picture_ = QImage(size() * dpr, QImage::Format_RGB32);
            picture_.setDevicePixelRatio(dpr);
            QPainter p(&picture_);
            p.setFont(font());
            p.fillRect(rect(), palette().window());
            paint_line(p, key);
            shown_ = std::move(key);
        }
    });
    QPainter w(this);
    if (shown_.size == size() && !picture_.isNull()) w.drawImage(QPoint(0, 0), picture_);
    else w.fillRect(rect(), palette().window());
}

tpaintedtext::tfit tinfoline::fit_of(const tlinekey& k) const {
    const QFontMetrics fm(k.font);
    tfit f;
    f.text = k.infocolor ? k.info + (k.info.isEmpty() || k.meas.isEmpty() ? "" : "  ") + k.meas
                         : k.info + (k.info.isEmpty() ? "" : " : ") + k.meas;
    // The info and measurement texts stand 10 pixels apart in colour.
    f.need = fm.horizontalAdvance(f.text) + (k.infocolor ? 10 : 0);
    // The texts end before the coding badge.
    const int tw = fm.horizontalAdvance(k.tag) + 4;
    f.room = k.size.width() - 2 - tw - 6 - 3;
    return f;
}

tpaintedtext::tfit tinfoline::painted_text_fit() const {
    if (chno_ < 0 || chno_ >= doc_.totnchans()) return {};
    return fit_of(line_key());
}

void tinfoline::paint_line(QPainter& p, const tlinekey& k) {
    p.setPen(Qt::black);
    p.drawLine(QPointF(0, 0.5), QPointF(width(), 0.5));
    const QFontMetrics fm(font());
    const int base = 3 + fm.ascent();
    const QString& info = k.info;
    const QString& meas = k.meas;
    const bool vis = k.visible;
    const int tw = fm.horizontalAdvance(k.tag) + 4;
    // The texts end before the coding badge: what does not fit ends in an
    // ellipsis (the whole line is the tool tip) instead of running under it.
    const tfit fit = fit_of(k);
    const int room = fit.room;
    auto fitted = [&](const QString& t, int w) { return fm.elidedText(t, Qt::ElideRight, std::max(0, w)); };
    const QString& whole = fit.text;
    if (k.infocolor) {
        const QString i = fitted(info, room);
        p.setPen(qcolor(vis ? 0xFF0000 : 0xF0CAA6));
        p.drawText(QPoint(3, base), i);
        const int mx = 3 + fm.horizontalAdvance(info) + 10;
        if (i == info && !meas.isEmpty()) {
            p.setPen(qcolor(vis ? 0x008000 : 0xC0DCC0));
            p.drawText(QPoint(mx, base), fitted(meas, room - (mx - 3)));
        }
    } else {
        p.setPen(vis ? QColor(Qt::black) : qcolor(0xC0C0C0));
        p.drawText(QPoint(3, base), fitted(whole, room));
    }
    const bool cut = fit.need > room;
    setToolTip(cut ? whole : QString());

    // Analysis brackets: a 3-pixel line over the range with end ticks.
    for (std::size_t i = 0; i + 2 < k.brackets.size(); i += 3) {
        const int a = k.brackets[i], e = k.brackets[i + 1];
        QColor c = qcolor(static_cast<TColor>(k.brackets[i + 2]));
        p.fillRect(QRect(a, height() - 3, std::max(1, e - a + 1), 3), c);
        p.fillRect(QRect(a, height() - 8, 3, 8), c);
        p.fillRect(QRect(e - 2, height() - 8, 3, 8), c);
    }

    QRect r(width() - 2 - tw, 2, tw, std::min(height() - 3, fm.height()));
    p.fillRect(r, Qt::black);
    p.setPen(Qt::white);
    p.drawText(r, Qt::AlignCenter, k.tag);
}

void tinfoline::mouseDoubleClickEvent(QMouseEvent*) {
    if (on_doubleclick) run_guarded(&doc_, [this] { on_doubleclick(chno_); });
}

}  // namespace tessal
