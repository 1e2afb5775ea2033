// tinfoline: the information line of one channel (`textpaint`): the info and
// measurement texts, the analysis-window brackets over the time range an
// analysis window reads, and the coding tag at the right.
#pragma once

#include <QWidget>

class QPainter;
#include <functional>
#include <vector>

#include "engine/core/colors.h"

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

class tinfoline : public QWidget {
    Q_OBJECT

public:
    tinfoline(tdocument& doc, int chno, QWidget* parent);
    void set_channo(int chno) { chno_ = chno; }
    // The analysis windows that read this channel, asked at every paint.
    std::function<std::vector<tanalysisbracket>(int chno)> brackets;
    std::function<void(int chno)> on_doubleclick;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    void paint_line(QPainter& p);

    tdocument& doc_;
    int chno_;
};

}  // namespace tessal
