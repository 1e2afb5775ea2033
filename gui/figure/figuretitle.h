// The title line of an exported figure: which file, which channel and which
// stretch of time the plot shows. Every window's export and tessal-cli's
// figures name their data through this one function, so a figure from the
// window and one from a batch run read the same.
#pragma once

#include <string>

namespace tessal {

// "speech.wav - channel 1 \"mic\" - 1.200-1.850 s". The file is shown
// without its folders; an empty file, an empty channel name or the name a
// file reader gives by default ("speech.wav Ch 1") leaves that part out; with a negative channel number `channame` stands as it is for
// the channel part (an xy-plot's two channels); a span with t2 == t1 reads
// "at 1.200 s", and a span that is not finite or runs backwards is left out.
std::string figure_title_of(const std::string& file, int channo, const std::string& channame, double t1,
                            double t2);

}  // namespace tessal
