// tinfoline: the information line of one channel (`textpaint`): the info and
// measurement texts, the analysis-window brackets over the time range an
// analysis window reads, and the coding tag at the right. The line is drawn
// into a picture that a paint only copies while what it shows stays the
// same (a selection dragged elsewhere repaints every line).
#pragma once

#include <QFont>
#include <QImage>
#include <QWidget>

class QPainter;
#include <functional>
#include <vector>

#include "engine/core/colors.h"
#include "gui/widgets/layoutcheck.h"

namespace tessal {

class tdocument;

// A time range an analysis window reads from a channel, drawn as a bracket.
struct tanalysisbracket {
    double from = 0;
    double to = 0;
    TColor color = 0;
};

// The tag at the right: bits, coding letter, "dith " and "EPG " prefixes.
QString coding_tag(int nbits, int format, bool usedither, bool epg);

class tinfoline : public QWidget, public tpaintedtext {
    Q_OBJECT

public:
    tinfoline(tdocument& doc, int chno, QWidget* parent);
    void set_channo(int chno) { chno_ = chno; }
    // The analysis windows that read this channel, asked at every paint.
    std::function<std::vector<tanalysisbracket>(int chno)> brackets;
    std::function<void(int chno)> on_doubleclick;
    // The info and measurement texts as the line would show them now, the
    // pixels they take whole and the pixels left for them before the
    // coding tag (the layout check finds a cut line with it).
    tfit painted_text_fit() const override;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    // Everything the picture shows.
    struct tlinekey {
        QString info, meas, tag;
        bool visible = true;
        bool infocolor = false;
        std::vector<int> brackets;  // left pixel, right pixel, colour per bracket
        QSize size;
        qreal dpr = 0;
        QRgb window = 0;
        QFont font;
        bool operator==(const tlinekey&) const = default;
    };
    tlinekey line_key() const;
    tfit fit_of(const tlinekey& k) const;
    void paint_line(QPainter& p, const tlinekey& k);

    tdocument& doc_;
    int chno_;
    QImage picture_;
    tlinekey shown_;
};

}  // namespace tessal
