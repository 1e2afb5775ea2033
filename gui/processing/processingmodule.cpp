#include "gui/processing/processingmodule.h"

#include "gui/commands/commandguard.h"
#include "gui/processing/processingwindow.h"
#include "gui/processing/processrun.h"

#include <stdexcept>

namespace tessal {

tprocessingmodule::tprocessingmodule(tappcontext& ctx)
    : tfeaturemodule(ctx), run_(new tprocessrun(ctx.window)) {
    ctx.windows.add(processingwindowkey, {.caption = "Processing - Tessal", .layout = "ProcessingWindow"},
                    [this](QWidget* owner) -> QWidget* { return make_window(owner); });
    // The F0 and filter-design windows of the steps are not built yet:
    // placeholders (the filter design has no caption of its own).
    ctx.windows.add("f0", {.caption = "F0"}, nullptr);
    ctx.windows.add("filterdesign", {}, nullptr);

    auto first = [this] { return window(); };
    ctx.commands.add({.id = "editprocessaction", .caption = "Edit process",
                      .handler = [&ctx] { ctx.windows.show(processingwindowkey); },
                      .group = "process", .order = 10});
    ctx.commands.add({.id = "runprocessaction", .caption = "&Run process",
                      .handler = [first] {
                          if (first()) first()->run();
                      },
                      .caption_rule = [first] {
                          return QString::fromStdString(
                              first() ? first()->process().run_caption() : "&Run process");
                      },
                      .hint_rule = [first] {
                          return QString::fromStdString(
                              first() ? first()->process().run_hint() : "Run current process");
                      },
                      .group = "process", .order = 20});
    ctx.commands.add({.id = "openprocessaction", .caption = "Open process...",
                      .handler = [&ctx, first] {
                          ctx.windows.show(processingwindowkey);
                          first()->open_dialog();
                      },
                      .group = "process", .order = 30});
    ctx.commands.add({.id = "addprocessaction", .caption = "Add another process",
                      .handler = [this] { add_window(); }, .group = "process", .order = 40});

    ctx.filehooks.open_process = [&ctx, first](const QString& path) {
        if (!first()) return;
        ctx.windows.show(processingwindowkey);
        run_guarded(nullptr, [&] {
            if (first()->confirm_discard()) first()->open_file(path);
        }, false);
    };
    // At Exit every modified process is named in the one question; Yes
    // offers to save each of them.
    ctx.life.hooks.process_modified = [this] {
        for (tprocessingwindow* w : windows())
            if (w->process().modified()) return true;
        return false;
    };
    ctx.life.hooks.process_name = [this] {
        std::string names;
        for (tprocessingwindow* w : windows())
            if (w->process().modified())
                names += (names.empty() ? "" : "\r") +
                         (w->process().name().empty() ? std::string("<untitled>")
                                                      : w->process().name());
        return names;
    };
    ctx.life.hooks.save_process = [this] {
        for (tprocessingwindow* w : windows())
            if (w->process().modified()) w->save_dialog();
    };
}

tprocessingmodule::~tprocessingmodule() {
    ctx.filehooks.open_process = nullptr;
    ctx.life.hooks.process_modified = nullptr;
    ctx.life.hooks.process_name = nullptr;
    ctx.life.hooks.save_process = nullptr;
}

tprocessingwindow* tprocessingmodule::make_window(QWidget* owner) {
    auto* w = new tprocessingwindow(ctx, *run_, owner);
    w->onnameset = [this](const QString& path) {
        if (ctx.filehooks.recent_process_used)
            ctx.filehooks.recent_process_used(path.toStdString());
    };
    w->onnamechanged = [this] {
        if (ctx.commands.built()) ctx.commands.refresh();
    };
    return w;
}

tprocessingwindow* tprocessingmodule::window() const {
    try {
        return qobject_cast<tprocessingwindow*>(ctx.windows.window("processing"));
    } catch (const std::out_of_range&) {
        return nullptr;  // the windows are not made yet, or gone
    }
}

std::vector<tprocessingwindow*> tprocessingmodule::windows() const {
    std::vector<tprocessingwindow*> all;
    if (tprocessingwindow* w = window()) all.push_back(w);
    for (const auto& w : extra_)
        if (w) all.push_back(w.data());
    return all;
}

tprocessingwindow* tprocessingmodule::add_window() {
    auto* w = qobject_cast<tprocessingwindow*>(ctx.windows.add_processing_window());
    if (!w) return nullptr;
    w->setAttribute(Qt::WA_DeleteOnClose);
    extra_.push_back(w);
    return w;
}

}  // namespace tessal
