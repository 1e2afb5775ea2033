// Range arithmetic of the signal view: the time-axis limits from the
// channels, the extent "Zoom back" falls back to, and the amplitude
// "Stretch" and "Stretch to FSD" commands over the edit set.
#pragma once

#include "engine/core/tsiglabel.h"
#include "engine/view/zoomhistory.h"

namespace tessal {

class tdocument;

// Time axis limits: start - 10 s .. end + 10 s, where start is the earliest
// first sample and end the latest end over the channels (both counting 0).
// With zoomout the range becomes start..end.
void fix_xaxis(tdocument& doc, bool zoomout);
double channels_start_time(const tdocument& doc);
double channels_end_time(const tdocument& doc);

// min(0, earliest xshift) .. max(0, latest last sample), in seconds.
tzoomitem full_time_range(const tdocument& doc);

// Min and max of the selected samples of a channel (the visible range
// without a selection), 0..0 for a channel without samples. usemargin
// widens both ends so the trace keeps clear of the strip edges.
tminmaxpair selection_minmax_value(const tdocument& doc, int chno, bool usemargin);

// "Stretch" / "Stretch to FSD" on every channel of the edit set.
void stretch(tdocument& doc);
void stretch_to_fsd(tdocument& doc);

// Ctrl+Shift+Up / Down: every edit-set channel axis scaled about 0.
void amplitude_zoom(tdocument& doc, double factor);

}  // namespace tessal
