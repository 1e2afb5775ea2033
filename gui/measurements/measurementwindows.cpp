#include "gui/measurements/measurementwindows.h"

#include "gui/mainwindow/mainwindow.h"
#include "gui/measurements/tdatalogwindow.h"
#include "gui/measurements/tmeasurementcommands.h"
#include "gui/measurements/tmeasurementsdialog.h"

namespace tessal {

QWidget* make_measurement_window(twindowid id, QWidget* owner) {
    auto* main = qobject_cast<TMainWindow*>(owner);
    if (!main) return nullptr;
    tmeasurementcommands& m = main->measurements();
    switch (id) {
        case twindowid::measurements:
            return new tmeasurementsdialog(main->document(), m.measurements(), m.prompter(), owner);
        case twindowid::datalog:
            return new tdatalogwindow(window_caption(id), m.measurements().datalog, &m.prompter(),
                                      &m.clipboard(), owner);
        case twindowid::loggedmeasurements:
            return new tdatalogwindow(window_caption(id), m.measurements().loggedmeasurements,
                                      nullptr, nullptr, owner);
        default: return nullptr;
    }
}

}  // namespace tessal
