#include "gui/view/channelstrip.h"

#include "engine/core/tdocument.h"
#include "gui/view/infoline.h"
#include "gui/view/showbox.h"
#include "gui/view/waveformview.h"
#include "gui/widgets/taxiswidget.h"

namespace tessal {

tchannelstrip::tchannelstrip(tdocument& doc, tviewstate& view, int chno, QWidget* parent)
    : doc_(doc), channel_(&doc.channel(chno)) {
    info = new tinfoline(doc, chno, parent);
    show = new tshowbox(doc, chno, parent);
    axis = new TAxisWidget(&channel_->axis, parent);
    wave = new twaveformview(doc, view, chno, parent);
    axis->setProperty("channo", chno);  // named in a failed paint's status text
    for (QWidget* w : {static_cast<QWidget*>(info), static_cast<QWidget*>(show),
                       static_cast<QWidget*>(axis), static_cast<QWidget*>(wave)})
        w->show();
}

tchannelstrip::~tchannelstrip() {
    delete info;
    delete show;
    delete wave;
    delete axis;
}

void tchannelstrip::rebind(int chno) {
    channel_ = &doc_.channel(chno);
    info->set_channo(chno);
    show->set_channo(chno);
    wave->set_channo(chno);
    wave->forget_cache();
    axis->setProperty("channo", chno);
    axis->setAxis(&channel_->axis);
}

void tchannelstrip::abandon() {
    axis->forget_axis();
    channel_ = nullptr;
}

void tchannelstrip::place(const tstripplace& p, int left, int width, int t) {
    info->setGeometry(left, p.infotop, width, t);
    show->setGeometry(0, p.infotop, left, t);
    info->setVisible(p.infovisible);
    show->setVisible(p.infovisible);
    axis->setGeometry(0, p.wavetop, left, p.waveheight);
    wave->setGeometry(left, p.wavetop, width, p.waveheight);
    axis->setVisible(p.wavevisible);
    wave->setVisible(p.wavevisible);
}

void tchannelstrip::update_all() {
    info->update();
    show->update();
    axis->update();
    wave->update();
}

}  // namespace tessal
