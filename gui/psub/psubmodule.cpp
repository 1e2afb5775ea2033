#include "gui/psub/psubmodule.h"

#include "gui/psub/tpsubwindow.h"

namespace tessal {

tpsubmodule::tpsubmodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    ctx.commands.add({.id = "psubaction", .caption = "Subglottal pressure",
                      .handler = c.windows.opener("psub"), .group = "tools", .order = 30});
    ctx.windows.add("psub", {.caption = "p-sub measurement", .layout = "psubWindow"}, [&c](QWidget* owner) { return new tpsubwindow(c, owner); });
}

tpsubmodule::~tpsubmodule() = default;

}  // namespace tessal
