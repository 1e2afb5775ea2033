// twaveformview: the waveform area of one channel (`sigpaint`). It keeps the
// waveform layer (`bmp`) at device resolution and rebuilds it only when the
// channel's `bmpdirty` is set; every paint copies it (`tempbmp`) and draws
// the overlays: selection, labels, the channel frame and the channel marks.
// A layer drawn in raw mode from many samples (a zoomed-in view of a long
// channel) has its columns computed on a job line: until they arrive the
// view shows its last layer stretched to the new time span, and a newer
// rebuild supersedes an older one, whose columns are never drawn.
// Mouse events go to the engine's view handlers; what they ask for beyond
// the document (play, label properties) goes to the owner's callbacks.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

#include "engine/jobs/jobline.h"
#include "engine/view/viewmouse.h"
#include "engine/view/waveformcolumns.h"

namespace tessal {

class tdocument;
struct tviewstate;
struct tlayerinput;

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
    // Raw layers from at least this many samples are computed off the
    // window's thread.
    static constexpr long long job_samples = 1 << 18;
    // A layer's columns are being computed; layer() is the last one finished.
    bool layer_pending() const { return pending_; }

    // Called after a mouse handler, with what it asked for.
    std::function<void(const tmouseresult&)> on_result;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    // What a layer shows: the time span and the size it was drawn for.
    struct tlayerkey {
        double lo = 0, hi = 0;
        int width = 0, height = 0;
        qreal dpr = 0;
        bool operator==(const tlayerkey&) const = default;
    };
    tlayerkey current_key() const;
    tlayerinput layer_input() const;
    void rebuild_layer();
    void take_columns(const tlayerkey& key, const std::vector<twavecolumn>& cols);
    void stretch_last_layer();
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
    tlayerkey shown_;    // what bmp_ shows
    tlayerkey pendingkey_;
    bool pending_ = false;
    // Last: goes first, cancelling its job before the members it fills.
    tjobline line_;
};

}  // namespace tessal
