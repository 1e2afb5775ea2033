// The sound feature of the main window: the play commands (Play!, Play
// entire file!, Loop sound), the play cursor and status text, Esc and
// closing the window stopping playback, "Select playback soundcard...",
// and the two recording windows. Playback itself is the engine's
// tplayback over the Qt Multimedia output device.
#pragma once

#include <QObject>
#include <memory>

#include "engine/audio/playback.h"
#include "gui/context/appcontext.h"
#include "gui/platform/qtaudiodevice.h"

namespace tessal {

class tsoundmodule : public QObject, public tfeaturemodule {
public:
    explicit tsoundmodule(tappcontext& ctx);
    ~tsoundmodule() override;

    tplayback& playback() { return *play_; }
    // Starts playing the current channel (or `chno`), or stops.
    void play(bool entire, int chno = -1);

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void changed();

    tqtaudiooutput out_;
    std::unique_ptr<tplayback> play_;
    bool wasplaying_ = false;
};

}  // namespace tessal
