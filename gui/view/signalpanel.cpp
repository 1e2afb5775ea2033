#include "gui/view/signalpanel.h"

#include <QAction>
#include <QKeyEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWheelEvent>
#include <algorithm>

#include "engine/core/tdocument.h"
#include "engine/view/viewlayout.h"
#include "engine/view/viewrange.h"
#include "engine/view/viewscroll.h"
#include "engine/document/editcommands.h"
#include "gui/view/channelstrip.h"
#include "gui/commands/commandguard.h"
#include "gui/view/showbox.h"
#include "gui/view/waveformview.h"
#include "gui/widgets/taxiswidget.h"

namespace tessal {

tsignalpanel::tsignalpanel(tdocument& doc, tviewstate& view, QWidget* parent)
    : QWidget(parent),
      doc_(doc),
      xaxis_(new TAxisWidget(&doc.xaxis, this)),
      area_(new QScrollArea(this)),
      channels_(new QWidget),
      hbar_(new QScrollBar(Qt::Horizontal, this)),
      view_(view) {
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
    setFocusPolicy(Qt::StrongFocus);
    // The strips scroll vertically only, and only when the layout says so;
    // keys stay with the panel and wheel turns come to it (eventFilter).
    area_->setObjectName("channelarea");
    area_->setFrameShape(QFrame::NoFrame);
    area_->setFocusPolicy(Qt::NoFocus);
    area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area_->setWidgetResizable(false);
    area_->setPalette(p);
    area_->viewport()->setPalette(p);
    area_->verticalScrollBar()->setObjectName("channelscroll");
    channels_->setPalette(p);
    channels_->setAutoFillBackground(true);
    area_->setWidget(channels_);
    area_->viewport()->installEventFilter(this);
    hbar_->setObjectName("timescroll");
    hbar_->setFocusPolicy(Qt::NoFocus);
    connect(hbar_, &QScrollBar::valueChanged, this, [this](int v) { scroll_time_to(doc_, v); });
    doc_.theglobal.add_listener(this);
    // A new time range redraws every waveform layer, tells the other time
    // views and moves the scroll bar.
    xaxistoken_ = doc_.xaxis.OnScaleChanged.subscribe([this](TAxis&) {
        doc_.theglobal.invalidate_paintboxes(true);
        sync_timescrollbar();
    });
}

tsignalpanel::~tsignalpanel() {
    doc_.theglobal.remove_listener(this);
    doc_.xaxis.OnScaleChanged.unsubscribe(xaxistoken_);
    for (auto& s : strips_)
        if (s->channel() && axistokens_.count(s->channel()))
            s->channel()->axis.OnScaleChanged.unsubscribe(axistokens_[s->channel()]);
}

void tsignalpanel::resizeEvent(QResizeEvent*) { resize_channels(); }

void tsignalpanel::connect_strip(tchannelstrip& s) {
    tchannel* ch = s.channel();
    for (QWidget* w : {static_cast<QWidget*>(s.info), static_cast<QWidget*>(s.show),
                       static_cast<QWidget*>(s.axis), static_cast<QWidget*>(s.wave)})
        w->installEventFilter(this);
    // The channel's own scale: its four boxes repaint with a new layer; a
    // cache that skips values outside the range is rebuilt at once.
    if (!axistokens_.count(ch))
        axistokens_[ch] = ch->axis.OnScaleChanged.subscribe([this, ch](TAxis&) {
            ch->bmpdirty = true;
            if (ch->skipjumps()) {
                ch->sigcachedirty = true;
                ch->fix_sigcache();
            }
            // Strips are in channel order: a file's thousands of channels
            // each setting their scale must not search every strip.
            const int c = ch->channo();
            if (c >= 0 && c < static_cast<int>(strips_.size()) && strips_[c]->channel() == ch) {
                strips_[c]->update_all();
                return;
            }
            for (auto& st : strips_)
                if (st->channel() == ch) st->update_all();
        });
    s.wave->on_result = [this, &s](const tmouseresult& r) {
        setFocus();
        mouse_result(s.wave->channo(), r);
    };
    s.show->on_notes = [this](int c) {
        if (on_notes) on_notes(c);
    };
    s.show->on_visibility = [this](int c) { toggle_visibility(c); };
    s.info->brackets = [this](int c) {
        return brackets ? brackets(c) : std::vector<tanalysisbracket>{};
    };
    s.info->on_doubleclick = [this](int c) {
        if (on_measurements) on_measurements(c);
    };
}

void tsignalpanel::sync_strips() {
    // Strips whose channel object is gone are abandoned first: nothing may
    // touch their axis widgets any more.
    std::vector<std::unique_ptr<tchannelstrip>> old;
    old.swap(strips_);
    auto alive = [this](tchannel* c) {
        for (int i = 0; i < doc_.totnchans(); ++i)
            if (&doc_.channel(i) == c) return true;
        return false;
    };
    for (auto& s : old)
        if (!alive(s->channel())) {
            axistokens_.erase(s->channel());
            s->abandon();
        }
    for (int i = 0; i < doc_.totnchans(); ++i) {
        tchannel* c = &doc_.channel(i);
        auto it = std::find_if(old.begin(), old.end(),
                               [c](const auto& s) { return s && s->channel() == c; });
        if (it != old.end()) {
            strips_.push_back(std::move(*it));
            if (strips_.back()->wave->channo() != i) strips_.back()->rebind(i);
        } else {
            strips_.push_back(std::make_unique<tchannelstrip>(doc_, view_, i, channels_));
            c->bmpdirty = true;
        }
        connect_strip(*strips_.back());
    }
    old.clear();
}

void tsignalpanel::resize_channels() {
    sync_strips();
    const int left = channel_column_width(doc_);
    const int h = doc_.theglobal.axisheight();
    const int t = doc_.theglobal.textpaintheight();
    const int sbh = hbar_->sizeHint().height();
    const int xtop = std::max(0, height() - 2 - sbh - h);
    std::vector<bool> visible;
    for (int i = 0; i < doc_.totnchans(); ++i) visible.push_back(doc_.channel(i).visible());
    tviewlayout l = layout_channels(visible, t, xtop, h, view_.hidehiddeninfo, min_wave_height);
    // Room for one strip; more channels than fit scroll.
    setMinimumHeight(2 + t + min_wave_height + h + sbh + 2);
    const int vsw = l.scrolls ? area_->verticalScrollBar()->sizeHint().width() : 0;
    area_->setVerticalScrollBarPolicy(l.scrolls ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    area_->setGeometry(0, 0, width(), xtop);
    channels_->resize(std::max(1, width() - vsw), std::max(xtop, l.contentheight));
    const int xw = std::max(1, width() - 2 - vsw - left);
    xaxis_->setGeometry(left, xtop, xw, h);
    hbar_->setGeometry(left, xtop + h, xw, sbh);
    for (int i = 0; i < static_cast<int>(strips_.size()); ++i) {
        strips_[i]->place(l.strips[i], left, xw, t);
        doc_.channel(i).bmpdirty = true;
    }
    invalidate_paintboxes_now(true);
}

void tsignalpanel::sync_timescrollbar() {
    const ttimescrollbar b = time_scrollbar(doc_);
    const QSignalBlocker block(hbar_);
    hbar_->setRange(0, b.maximum);
    hbar_->setPageStep(b.pagestep);
    hbar_->setSingleStep(b.singlestep);
    hbar_->setValue(b.value);
}

void tsignalpanel::invalidate_paintboxes_now(bool redrawbmp) {
    for (int i = 0; i < static_cast<int>(strips_.size()) && i < doc_.totnchans(); ++i) {
        tchannel& c = doc_.channel(i);
        if (redrawbmp) c.bmpdirty = true;
        strips_[i]->wave->setToolTip(QString::fromStdString(c.get_infotext(", ")));
        strips_[i]->update_all();
    }
    xaxis_->update();
    sync_timescrollbar();
}

void tsignalpanel::invalidate_paintboxes(bool makebmps) { invalidate_paintboxes_now(makebmps); }

void tsignalpanel::axisfont_changed() { resize_channels(); }

void tsignalpanel::fix_xaxis(bool zoomout) { tessal::fix_xaxis(doc_, zoomout); }

// ------------------------------------------------------------------ keys

bool tsignalpanel::handle_key(int key, Qt::KeyboardModifiers mods) {
    tviewkey k = tviewkey::other;
    switch (key) {
        case Qt::Key_Escape: k = tviewkey::esc; break;
        case Qt::Key_Space: k = tviewkey::space; break;
        case Qt::Key_PageUp: k = tviewkey::pageup; break;
        case Qt::Key_PageDown: k = tviewkey::pagedown; break;
        case Qt::Key_Home: k = tviewkey::home; break;
        case Qt::Key_End: k = tviewkey::end; break;
        case Qt::Key_Left: k = tviewkey::left; break;
        case Qt::Key_Right: k = tviewkey::right; break;
        case Qt::Key_Up: k = tviewkey::up; break;
        case Qt::Key_Down: k = tviewkey::down; break;
        case Qt::Key_F4: k = tviewkey::f4; break;
        case Qt::Key_F8: k = tviewkey::f8; break;
        default: return false;
    }
    tkeymods m;
    m.shift = mods & Qt::ShiftModifier;
    m.ctrl = mods & Qt::ControlModifier;
    m.alt = mods & Qt::AltModifier;
    const int before = doc_.thischanno();
    const int mode = doc_.selectmode;
    tkeyresult r = view_key(doc_, view_, k, m);
    if (!r.handled) return false;
    if (r.request != tkeyrequest::none && on_key_request) on_key_request(r.request);
    if (mode != doc_.selectmode) set_selectmode(doc_.selectmode);
    if (before != doc_.thischanno()) {
        doc_.theglobal.document_state_changed();
        const int c = doc_.thischanno();
        if (c < static_cast<int>(strips_.size())) area_->ensureWidgetVisible(strips_[c]->wave, 0, 0);
    }
    if (r.repaint) doc_.theglobal.invalidate_paintboxes(false);
    return true;
}

void tsignalpanel::keyPressEvent(QKeyEvent* e) {
    bool handled = true;
    run_guarded(&doc_, [&] { handled = handle_key(e->key(), e->modifiers()); }, false);
    if (!handled) QWidget::keyPressEvent(e);
}

// ----------------------------------------------------------------- wheel

void tsignalpanel::handle_wheel(QWheelEvent* e) {
    const QPoint d = e->angleDelta();
    const Qt::KeyboardModifiers mods = e->modifiers();
    if (mods & Qt::ControlModifier) {
        // About the time under the pointer: waveform areas and the time axis
        // share their pixel columns.
        const int x = xaxis_->mapFromGlobal(e->globalPosition().toPoint()).x();
        wheel_zoom(doc_, d.y() / wheel_notch, doc_.xaxis.pixel_to_value(x));
    } else if (mods & Qt::ShiftModifier) {
        // The channels, when there are more than fit.
        QScrollBar* v = area_->verticalScrollBar();
        v->setValue(v->value() - d.y() * v->singleStep() * 3 / static_cast<int>(wheel_notch));
    } else {
        // Turning towards the user (or tilting right) goes later in time.
        wheel_scroll(doc_, -(d.y() != 0 ? d.y() : d.x()) / wheel_notch);
    }
    e->accept();
}

void tsignalpanel::wheelEvent(QWheelEvent* e) { handle_wheel(e); }

bool tsignalpanel::eventFilter(QObject* watched, QEvent* e) {
    // Wheel turns over the strips (each strip widget and the space between
    // them, the scroll area's viewport) move the time axis, not the strips.
    if (e->type() == QEvent::Wheel) {
        handle_wheel(static_cast<QWheelEvent*>(e));
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

// ----------------------------------------------------------------- mouse

void tsignalpanel::mouse_result(int chno, const tmouseresult& r) {
    if (r.currentchanged) doc_.theglobal.document_state_changed();
    if (r.request != tmouserequest::none && on_mouse_request) on_mouse_request(chno, r);
    if (r.rebuild)
        doc_.theglobal.invalidate_paintboxes(true);
    else if (r.repaint)
        invalidate_paintboxes_now(false);
}

// -------------------------------------------------------------- commands

void tsignalpanel::toggle_visibility(int chno) {
    if (chno < 0 || chno >= doc_.totnchans()) return;
    tchannel& c = doc_.channel(chno);
    c.set_visible(!c.visible());
    resize_channels();
}

void tsignalpanel::show_only_selected() {
    if (doc_.totnchans() == 0) return;
    const int cur = doc_.thischanno();
    const int partner = doc_.selectmode == selstereo ? doc_.channel(cur).stereochanno : -1;
    for (int i = 0; i < doc_.totnchans(); ++i)
        doc_.channel(i).set_visible(i == cur || i == partner);
    resize_channels();
}

void tsignalpanel::set_selectmode(int mode) {
    doc_.selectmode = mode;
    doc_.theglobal.fix_things();
    doc_.theglobal.invalidate_paintboxes(false);
}

std::vector<tcommand> tsignalpanel::view_commands() {
    auto has = [this] { return doc_.totnchans() > 0; };
    auto redraw = [this] { doc_.theglobal.invalidate_paintboxes(true); };
    auto mode = [this](int m) {
        return tcommand{.handler = [this, m] { set_selectmode(m); },
                        .enabled = [this, m] { return can_set_selectmode(doc_, m); },
                        .checkable = true,
                        .checked = [this, m] { return doc_.selectmode == m; },
                        .radio = "selectmode",
                        .group = "channels.mode"};
    };
    auto named = [](tcommand c, const char* id, const char* caption) {
        c.id = id;
        c.caption = caption;
        return c;
    };
    return {
        {.id = "zoomaction", .caption = "Zoom", .shortcut = "Ctrl+Z",
         .handler = [this] { view_.zoom.zoom_to_selection(doc_); },
         .enabled = [this] { return doc_.totnchans() > 0 && doc_.theglobal.has_selection(); },
         .shortcut_rule = [this] { return QString(doc_.prefs.CtrlZUndoes ? "Ctrl+Alt+Z" : "Ctrl+Z"); },
         .group = "view.zoom"},
        {.id = "zoombackaction", .caption = "Zoom back", .shortcut = "Ctrl+B",
         .handler = [this] { view_.zoom.zoom_back(doc_); }, .enabled = has, .group = "view.zoom",
         .toolorder = 20},
        {.id = "stretchaction", .caption = "Stretch", .shortcut = "Ctrl+Y",
         .handler = [this] { stretch(doc_); }, .enabled = has, .group = "view.zoom", .toolorder = 21},
        {.id = "stretchfsdaction", .caption = "Stretch to FSD",
         .handler = [this] { stretch_to_fsd(doc_); }, .enabled = has, .group = "view.zoom"},

        {.id = "showgridaction", .caption = "Show grid", .shortcut = "Ctrl+G",
         .handler = [this, redraw] { view_.showgrid = !view_.showgrid; redraw(); },
         .checkable = true, .checked = [this] { return view_.showgrid; }, .group = "view.show"},
        {.id = "showfsdaction", .caption = "Show FSD",
         .handler = [this, redraw] { view_.showfsd = !view_.showfsd; redraw(); },
         .checkable = true, .checked = [this] { return view_.showfsd; }, .group = "view.show"},
        {.id = "showsamplesaction", .caption = "Show samples",
         .handler = [this, redraw] { view_.showsamples = !view_.showsamples; redraw(); },
         .checkable = true, .checked = [this] { return view_.showsamples; }, .group = "view.show"},
        {.id = "hideinfoaction", .caption = "Hide all information for hidden channels",
         .shortcut = "Ctrl+H",
         .handler = [this] { view_.hidehiddeninfo = !view_.hidehiddeninfo; resize_channels(); },
         .checkable = true, .checked = [this] { return view_.hidehiddeninfo; },
         .group = "view.show"},
        {.id = "showmarksaction", .caption = "Show red and blue marks",
         .handler =
             [this] {
                 show_red_blue_marks(doc_, view_, !(view_.showcursors[1] && view_.showcursors[2]));
                 doc_.theglobal.invalidate_paintboxes(false);
             },
         .checkable = true, .checked = [this] { return view_.showcursors[1] && view_.showcursors[2]; },
         .group = "view.show"},

        {.id = "showselectedaction", .caption = "Show only seleced channel(s) ", .shortcut = "F2",
         .handler = [this] { show_only_selected(); }, .enabled = has, .group = "view.channels"},
        {.id = "showallaction", .caption = "Show all channels", .shortcut = "F3",
         .handler =
             [this] {
                 for (int i = 0; i < doc_.totnchans(); ++i) doc_.channel(i).set_visible(true);
                 resize_channels();
             },
         .enabled = has, .group = "view.channels"},
        {.id = "hidecrosshairsaction", .caption = "Hide crosshairs", .shortcut = "Esc",
         .handler =
             [this] {
                 doc_.theglobal.hide_crosshairs();
                 // Esc also stops playback in the view's key map.
                 if (on_key_request) on_key_request(tkeyrequest::stop);
             },
         .group = "view.channels"},

        named(mode(selmono), "editmonoaction", "Edit mono"),
        named(mode(selstereo), "editstereoaction", "Edit stereo"),
        named(mode(selall), "editallaction", "Edit all"),
        named(mode(selvisible), "editvisibleaction", "Edit visible"),
    };
}

}  // namespace tessal
