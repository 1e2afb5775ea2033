// Built against one feature's include path (the labels feature's) by the
// build.gui_feature_includes tests. The feature's own folder, the shared
// folders and the engine are found; with TESSAL_OTHER_FEATURE the file also
// includes a header of another feature, which must not be found, so that
// build fails.
#include "gui/commands/commandregistry.h"
#include "gui/context/appcontext.h"
#include "gui/labels/labelsmodule.h"
#include "gui/platform/qtprompter.h"
#include "gui/widgets/tplotpanel.h"
#include "gui/windows/windowset.h"
#ifdef TESSAL_OTHER_FEATURE
#include "gui/editing/teditingcommands.h"
#endif

int tessal_feature_includes_checked = 1;
