// The signal panel of the main window: the channel strips stacked above the
// shared time axis. The time axis sits 2 pixels above the panel bottom,
// starts at the width of the channel axes and ends 2 pixels before the
// right edge.
#pragma once

#include <QWidget>

namespace tessal {

class tdocument;
class TAxisWidget;

class tsignalpanel : public QWidget {
    Q_OBJECT

public:
    tsignalpanel(tdocument& doc, QWidget* parent = nullptr);
    void resize_channels();
    TAxisWidget* timeaxis() const { return xaxis_; }

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    tdocument& doc_;
    TAxisWidget* xaxis_;
};

}  // namespace tessal
