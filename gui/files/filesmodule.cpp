#include "gui/files/filesmodule.h"

#include "engine/document/saveselection.h"

namespace tessal {

tfilesmodule::tfilesmodule(tappcontext& ctx)
    : tfeaturemodule(ctx), commands_(ctx), progress_(new tfileprogress(ctx.window)) {
    tappcontext& c = ctx;
    // Long reads and saves show their progress and can be cancelled.
    ctx.files.progress = [p = progress_](const std::string& path, double fraction) {
        return p->report(path, fraction);
    };
    tfilecommands& f = commands_;
    ctx.life.hooks.save_as = [&f] { f.save_as(); };
    auto haschannels = [&c] { return c.doc.totnchans() > 0; };
    const QString docs = "file.documents";
    for (tcommand& cmd : std::vector<tcommand>{
             {.id = "newaction", .caption = "New", .shortcut = "Ctrl+N",
              .handler = [&c] { c.life.new_document(); }, .group = docs},
             {.id = "openaction", .caption = "Open...", .shortcut = "Ctrl+O",
              .handler = [&f] { f.open_dialog(false); }, .group = docs, .toolorder = 10},
             {.id = "addaction", .caption = "Ad&d...", .shortcut = "Ctrl+D",
              .handler = [&f] { f.open_dialog(true); }, .group = docs},
             {.id = "saveaction", .caption = "&Save", .shortcut = "Ctrl+S",
              .handler = [&f] { f.save(); }, .enabled = haschannels, .group = docs,
              .toolorder = 11},
             {.id = "saveasaction", .caption = "Save &as", .handler = [&f] { f.save_as(); },
              .enabled = haschannels, .group = docs},
             {.id = "saveselectionaction", .caption = "Save sele&ction as...",
              .shortcut = "Ctrl+E", .handler = [&f] { f.save_selection_as(); },
              .enabled = [&c] { return save_selection_enabled(c.doc); },
              .caption_rule =
                  [&c] {
                      return c.doc.totnchans() == 0
                                 ? QString("Save sele&ction as...")
                                 : QString::fromStdString(save_selection_caption(c.doc));
                  },
              .group = docs},
             {.id = "exportaction", .caption = "Export...",
              .handler = [&c] { c.windows.show("exporttext"); }, .enabled = haschannels,
              .group = docs},
             {.id = "exitaction", .caption = "E&xit", .handler = [&c] { c.window->close(); },
              .group = "file.exit"},
         })
        ctx.commands.add(std::move(cmd));
}

tfilesmodule::~tfilesmodule() {
    ctx.life.hooks.save_as = nullptr;
    ctx.files.progress = nullptr;
    delete progress_;
}

}  // namespace tessal
