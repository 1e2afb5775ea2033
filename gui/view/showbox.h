// tshowbox: the small box above a channel's amplitude axis (`showpaint`):
// the channel number, the notes button and the visibility button.
#pragma once

#include <QWidget>

class QPainter;
#include <functional>

namespace tessal {

class tdocument;

class tshowbox : public QWidget {
    Q_OBJECT

public:
    tshowbox(tdocument& doc, int chno, QWidget* parent);
    void set_channo(int chno) { chno_ = chno; }
    std::function<void(int chno)> on_notes;
    std::function<void(int chno)> on_visibility;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void paint_box(QPainter& p);

    tdocument& doc_;
    int chno_;
};

}  // namespace tessal
