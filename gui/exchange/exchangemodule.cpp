#include "gui/exchange/exchangemodule.h"

#include "gui/exchange/tcodecsdialog.h"
#include "gui/exchange/texporttextdialog.h"

namespace tessal {

texchangemodule::texchangemodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    ctx.windows.add_factory(twindowid::exporttext,
                            [&c](QWidget* owner) { return new texporttextdialog(c, owner); });
    ctx.commands.add({.id = "codecsaction", .caption = "Manage codecs...",
                      .handler = [&c] { c.windows.show(twindowid::codecs); },
                      .group = "sound.devices", .order = 90});
    ctx.windows.add_factory(twindowid::codecs,
                            [&c](QWidget* owner) { return new tcodecsdialog(c.codecs, owner); });
}

texchangemodule::~texchangemodule() = default;

}  // namespace tessal
