#include "gui/exchange/exchangemodule.h"

#include "gui/exchange/texporttextdialog.h"

namespace tessal {

texchangemodule::texchangemodule(tappcontext& ctx) : tfeaturemodule(ctx) {
    tappcontext& c = ctx;
    ctx.windows.add_factory(twindowid::exporttext,
                            [&c](QWidget* owner) { return new texporttextdialog(c, owner); });
}

texchangemodule::~texchangemodule() = default;

}  // namespace tessal
