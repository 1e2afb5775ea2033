#include "gui/sound/soundmodule.h"

#include <QEvent>
#include <QStatusBar>

#include "engine/audio/recorder.h"
#include "engine/dsp/numformat.h"
#include "gui/sound/recorddialog.h"
#include "gui/sound/soundcarddialog.h"

namespace tessal {

tsoundmodule::tsoundmodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    play_ = std::make_unique<tplayback>(ctx.doc, out_);
    play_->format_seconds = [this](double t) { return format_float_pattern(this->ctx.doc.prefs.SecondsFormat, t); };
    play_->changed = [this] { changed(); };
    ctx.soundcards.playnames = [this] { return out_.device_names(); };
    ctx.soundcards.recordnames = [] { return tqtaudioinput().device_names(); };

    tappcontext& c = ctx;
    auto has_channel = [&c] { return c.doc.totnchans() > 0; };
    for (tcommand& cmd : std::vector<tcommand>{
             {.id = "playaction", .caption = "Play!", .shortcut = "F9",
              .handler = [this] { play(false); }, .enabled = has_channel,
              .hint_rule = [] { return QString("Play selected channel"); }, .checkable = true,
              .checked = [this] { return play_->playing(); }, .group = "sound.play",
              .toolorder = 40},
             {.id = "playentirefileaction", .caption = "Play entire file!", .shortcut = "Ctrl+F9",
              .handler = [this] { play(true); }, .enabled = has_channel, .group = "sound.play",
              .toolorder = 41},
             {.id = "loopaction", .caption = "Loop sound",
              .handler = [this] { play_->loop = !play_->loop; },
              .hint_rule = [] { return QString("Makes playback repeat indefinitely"); },
              .checkable = true, .checked = [this] { return play_->loop; }, .group = "sound.play"},
             {.id = "soundcardsettingsaction", .caption = "Select playback soundcard...",
              .handler = [&c] { c.windows.show("soundcard"); }, .group = "sound.devices"},
             {.id = "recordaction", .caption = "Record...",
              .handler = [&c] { c.windows.show("record"); }, .group = "sound.devices"},
             {.id = "advancedrecordaction", .caption = "Advanced record...",
              .handler = [&c] { c.windows.show("advancedrecord"); }, .group = "sound.devices"},
         })
        ctx.commands.add(std::move(cmd));

    ctx.windows.add("soundcard", {.caption = "Soundcard settings"}, [this](QWidget* owner) {
        return new tsoundcarddialog([this] { return out_.device_names(); }, this->ctx.soundcards.playdevice,
                                    owner);
    });
    ctx.windows.add("record", {.caption = "Record from soundcard"}, [this](QWidget* owner) {
        return new trecorddialog(this->ctx, false, owner);
    });
    ctx.windows.add("advancedrecord", {.caption = "Record from soundcard", .screenshot = false}, [this](QWidget* owner) {
        return new trecorddialog(this->ctx, true, owner);
    });

    ctx.viewrequests.key.push_back([this](tkeyrequest k) {
        if (k == tkeyrequest::stop) play_->stop();
        if (k == tkeyrequest::play) play(false);
        if (k == tkeyrequest::playall) play(true);
    });
    ctx.viewrequests.mouse.push_back([this](int chno, const tmouseresult& r) {
        if (r.request == tmouserequest::playchannel || r.request == tmouserequest::playlabel) {
            if (play_->playing()) play_->stop();
            play(false, chno);
        } else if (r.request == tmouserequest::seek && play_->playing()) {
            play_->playcount = std::clamp(r.seeksample, play_->playstart, play_->playend);
        }
    });
    // Closing or replacing the document stops playback first.
    ctx.life.hooks.stop_playback = [this] { play_->stop(); };
    // While a recording writes into the document, nothing closes or
    // replaces it, adds channels or deletes them; the status bar says why.
    ctx.commands.add_lock({"newaction", "openaction", "addaction", "deletechannelaction",
                           "deletechannelsaction", "runprocessaction"},
                          [&c] { return c.view.recording ? QString(recording_busy_text) : QString(); });
    ctx.life.hooks.busy = [&c] {
        if (!c.view.recording) return std::string();
        c.window->statusBar()->showMessage(recording_busy_text);
        return std::string(recording_busy_text);
    };
    ctx.window->installEventFilter(this);
}

tsoundmodule::~tsoundmodule() {
    ctx.window->removeEventFilter(this);
    ctx.life.hooks.stop_playback = nullptr;
    ctx.life.hooks.busy = nullptr;
    play_->changed = nullptr;
    play_->stop();
    ctx.soundcards.playnames = nullptr;
    ctx.soundcards.recordnames = nullptr;
}

bool tsoundmodule::eventFilter(QObject* o, QEvent* e) {
    if (o == ctx.window && e->type() == QEvent::Close) play_->stop();
    return false;
}

void tsoundmodule::play(bool entire, int chno) {
    tdocument& doc = ctx.doc;
    if (chno < 0) chno = doc.thischanno();
    if (!play_->playing() && (chno < 0 || chno >= doc.totnchans())) return;
    play_->MPCPlay1.set_DeviceID(ctx.soundcards.playdevice);
    const tglobal& g = doc.theglobal;
    play_->start(chno, entire, g.leftselcursor(), g.rightselcursor(), doc.xaxis.GetLoValue(),
                 doc.xaxis.GetHiValue());
}

void tsoundmodule::changed() {
    tviewstate& v = ctx.view;
    bool playing = play_->playing();
    v.playing = playing;
    v.playchanno = playing ? play_->playchanno : -1;
    v.playstereochanno = playing ? play_->playstereochanno : -1;
    v.showcursors[0] = playing;
    if (playing) {
        for (int i = 0; i < ctx.doc.totnchans(); ++i) ctx.doc.channel(i).cursors[0] = play_->playcursor;
        if (play_->playstereochanno >= 0 && play_->playstereochanno < ctx.doc.totnchans())
            ctx.doc.channel(play_->playstereochanno).cursors[0] = play_->playcursor_right;
    }
    ctx.window->statusBar()->showMessage(QString::fromStdString(play_->status()));
    if (!playing && !play_->MPCPlay1.failure().empty())
        ctx.window->statusBar()->showMessage(QString::fromStdString(play_->MPCPlay1.failure()));
    if (playing != wasplaying_) {
        wasplaying_ = playing;
        ctx.commands.refresh();
        ctx.doc.theglobal.invalidate_paintboxes(!playing);
    } else {
        ctx.doc.theglobal.invalidate_paintboxes(false);
    }
}

}  // namespace tessal
