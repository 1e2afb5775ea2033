// twaveformview: the waveform area of one channel (`sigpaint`). It keeps the
// waveform layer (`bmp`) at device resolution and rebuilds it only when the
// channel's `bmpdirty` is set; every paint copies it (`tempbmp`) and draws
// the overlays: selection, labels, the channel frame and the channel marks.
// Mouse events go to the engine's view handlers; what they ask for beyond
// the document (play, label properties) goes to the owner's callbacks.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

#include "engine/view/viewmouse.h"
#include "engine/view/waveformcolumns.h"

namespace tessal {

class tdocument;
struct tviewstate;

class twaveformview : public QWidget {
    Q_OBJECT

public:
    twaveformview(tdocument& doc, tviewstate& view, int chno, QWidget* parent);
    void set_channo(int chno) { chno_ = chno; }
    int channo() const { return chno_; }
    // The mode the last layer was drawn in (tests, status).
    tdrawmode last_mode() const { return lastmode_; }
    const QImage& layer() const { return bmp_; }
    // The cache or its geometry may have changed: the coarser levels go.
    void forget_cache() { pyramid_.clear(); }

    // Called after a mouse handler, with what it asked for.
    std::function<void(const tmouseresult&)> on_result;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    void rebuild_layer();
    void paint_overlays(QPainter& p);
    tmouseinput input(QMouseEvent* e, bool press) const;

    tdocument& doc_;
    tviewstate& view_;
    int chno_;
    QImage bmp_;
    QImage tempbmp_;
    tminmaxpyramid pyramid_;
    float pyrmin_ = 0, pyrmax_ = 0;
    tdrawmode lastmode_ = tdrawmode::raw;
};

}  // namespace tessal
