#include "gui/view/viewmodule.h"

#include "gui/view/keyboardshortcutswindow.h"
#include "gui/view/signalpanel.h"

namespace tessal {

tviewmodule::tviewmodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    panel_ = new tsignalpanel(ctx.doc, ctx.view, ctx.window);
    ctx.life.zoomhistory = &ctx.view.zoom;
    tviewrequests& r = ctx.viewrequests;
    panel_->on_mouse_request = [&r](int c, const tmouseresult& m) {
        for (auto& f : r.mouse) f(c, m);
    };
    panel_->on_key_request = [&r](tkeyrequest k) {
        for (auto& f : r.key) f(k);
    };
    panel_->on_notes = [&r](int c) {
        for (auto& f : r.notes) f(c);
    };
    panel_->on_measurements = [&r](int c) {
        for (auto& f : r.infodoubleclick) f(c);
    };
    for (tcommand& c : panel_->view_commands()) ctx.commands.add(std::move(c));
    ctx.commands.add({.id = "keyboardaction", .caption = "Keyboard shortcuts",
                      .handler = [&ctx] { ctx.windows.show("keyboardshortcuts"); },
                      .group = "view.windows", .order = 20});
    ctx.windows.add("keyboardshortcuts", {.caption = "Keyboard shortcuts"},
                            [](QWidget* owner) { return new tkeyboardshortcutswindow(owner); });
    ctx.doc.theglobal.add_listener(this);
}

tviewmodule::~tviewmodule() {
    ctx.doc.theglobal.remove_listener(this);
    ctx.life.zoomhistory = nullptr;
    // The panel's axis widgets point into the document: it goes first.
    delete panel_;
}

void tviewmodule::channels_changed() { panel_->resize_channels(); }

void tviewmodule::invalidate_paintboxes(bool) {
    panel_->update();
    // The toggles follow the view state, which the keys change as well.
    ctx.commands.refresh();
}

}  // namespace tessal
