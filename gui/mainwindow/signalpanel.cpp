#include "mainwindow/signalpanel.h"

#include "core/tdocument.h"
#include "widgets/taxiswidget.h"

namespace tessal {

tsignalpanel::tsignalpanel(tdocument& doc, QWidget* parent)
    : QWidget(parent), doc_(doc), xaxis_(new TAxisWidget(&doc.xaxis, this)) {
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
}

void tsignalpanel::resizeEvent(QResizeEvent*) { resize_channels(); }

void tsignalpanel::resize_channels() {
    int left = doc_.totnchans() > 0 ? doc_.channel(0).axis.GetWidth() : 52;
    int h = doc_.theglobal.axisheight();
    xaxis_->setGeometry(left, height() - 2 - h, std::max(1, width() - 2 - left), h);
}

}  // namespace tessal
