#include "helptext.h"

#include <set>
#include <sstream>

namespace tessal::cli {

namespace {

const char* const file_note =
    "FILE is any file the program opens: Tessal files (.tessal), WAVE (.wav), SMP (.smp), "
    "Orlet (.orlet), or a file a codec entry converts.";

std::vector<thelpcommand> make_table() {
    return {
        {"info",
         {"info FILE..."},
         "coding, rate, channels and per-channel figures of each file",
         "Prints what each file holds as the program reads it: the coding, sampling rate, "
         "length and number of channels, then per channel its name, unit, full-scale "
         "deflection, peak and RMS.",
         {}},
        {"dump",
         {"dump FILE [--channel N] [--from S] [--to S]"},
         "the channel's samples in physical units, one per line",
         "Prints the samples of one channel as the document holds them, in the channel's "
         "physical unit, one value per line.",
         {{"--channel N", "the channel, counting from 0 (default 0)"},
          {"--from S", "first second to print (default the start)"},
          {"--to S", "last second to print (default the end)"}}},
        {"convert",
         {"convert IN... -o OUT [--format ID] [--channels LIST] [--from S --to S] [--yes]"},
         "opens IN (adding further inputs) and saves OUT",
         "Opens the first input as the document, adds the channels of the others, and saves "
         "the document through the same save step as the program's Save as. Without --format "
         "a \".wav\" output keeps the coding of the channels (16-bit PCM for channels that "
         "carry none). A question the program would ask is answered yes with --yes and "
         "refused (exit 2) without it.",
         {{"-o OUT", "the file to write; it appears, or replaces the one there, only when "
                     "complete; a link keeps pointing at it; an input is refused as OUT"},
          {"--format ID",
           "one of tessal32f smp16i wav8i wav8a wav8u wav16i wav24i wav32i wav16f wav32f "
           "(default from the extension of OUT)"},
          {"--channels LIST", "the channels to keep, comma-separated, counting from 0"},
          {"--from S --to S", "keep only this span, in seconds"},
          {"--yes", "answer every question yes"}}},
        {"measure",
         {"measure FILE [--channel N | --all] [--from S --to S] [--items LIST]"},
         "the heading and values Log measurements would log for a selection",
         "Runs the measurement pass over a selection of the file (the whole file unless "
         "--from and --to say otherwise) and prints the heading and values that \"Log "
         "measurements\" writes.",
         {{"--channel N", "measure only channel N (default all channels)"},
          {"--all", "measure every channel"},
          {"--from S --to S", "the selection, in seconds"},
          {"--items LIST", "comma-separated item numbers 0..31 or keys such as RMSLevelRefA "
                           "(default the items shown by default)"}}},
        {"spectrum",
         {"spectrum FILE [--channel N] [--at T | --ltas [--from S --to S]] [--window NAME] "
          "[--bandwidth HZ] [--relative 1|fsd|reference] [--fcp LO HI TLO THI] "
          "[--bands LO-HI,...] [--figure OUT.png|svg|pdf [--size WxH] [--dpi N] [--lpc-envelope]]"},
         "the lines Log spectrum would log for a frame or an LTAS",
         "Prints the lines \"Log spectrum\" would log for the frame at T (default 0 s) or the "
         "long-term average spectrum of a span (default the whole file); with --fcp or "
         "--bands it then prints the heading and line of \"Log meas.\". With --figure it also "
         "draws the spectrum as the window's figure, level against frequency up to half the "
         "sampling rate (with --lpc-envelope, the LPC envelope over it).",
         {{"--channel N", "the channel (default 0)"},
          {"--at T", "the time of the frame, in seconds"},
          {"--ltas", "the long-term average spectrum instead of one frame"},
          {"--from S --to S", "the span of the LTAS, in seconds"},
          {"--window NAME", "rectangular, Bartlett, Hamming, Hanning or Blackman"},
          {"--bandwidth HZ", "the analysis bandwidth"},
          {"--relative 1|fsd|reference", "the level reference: 1, the full scale, or the "
                                         "channel's dB reference"},
          {"--fcp LO HI TLO THI", "the FCP measure between LO and HI Hz with its two "
                                  "thresholds"},
          {"--bands LO-HI,...", "band levels of these bands, in Hz"},
          {"--figure OUT.png|OUT.svg|OUT.pdf", "also write the figure the window exports: title "
                                               "(file, channel, span), axes with units"},
          {"--size WxH", "the figure's size in pixels of 1/96 inch, 50 to 20000 (default 800x500)"},
          {"--dpi N", "the figure's resolution, 36 to 1200 (default 96: PNG pixels = figure pixels)"},
          {"--lpc-envelope", "draw the window's LPC envelope of the same frame or span over the "
                             "spectrum in the figure"}}},
        {"spectrogram",
         {"spectrogram FILE [--channel N] [--from S --to S] [--width PX --height PX] "
          "[--bandwidth HZ] [--window NAME] [--fmax HZ] [--colour MODE] [--tilt DB] "
          "[--relative 1|fsd|reference] [--range LO,HI] [--dpi N] [--bare] "
          "(-o OUT.png|OUT.svg|OUT.pdf | --matrix OUT.tsv)"},
         "the spectrogram of a channel as a figure, or its levels",
         "Renders the strip the spectrogram window shows for the channel over the span (the "
         "whole file by default) as the figure the window exports (title, time and frequency "
         "axes, colour scale) in PNG, SVG or PDF, with --bare as the strip's pixels alone, "
         "or writes the levels its pixels show as "
         "lines of time, frequency and dB: tilted, relative to the reference and within the "
         "level range, so the weakest colour reads LO.",
         {{"--channel N", "the channel (default 0)"},
          {"--from S --to S", "the span, in seconds"},
          {"--width PX --height PX", "the size of the strip (default 800 by 256)"},
          {"--bandwidth HZ", "the analysis bandwidth"},
          {"--window NAME", "rectangular, Bartlett, Hamming, Hanning or Blackman"},
          {"--fmax HZ", "the top of the frequency axis (default 10000)"},
          {"--colour MODE", "grey, inverted-grey, colour, inverted-colour or channel"},
          {"--tilt DB", "the tilt in dB per octave (default 6)"},
          {"--relative 1|fsd|reference", "the level reference"},
          {"--range LO,HI", "the level range in dB the colours span (default -100,1)"},
          {"-o OUT.png|OUT.svg|OUT.pdf", "write the figure"},
          {"--bare", "write only the strip, one pixel a column and row, as PNG"},
          {"--dpi N", "the figure's resolution (default 96: PNG pixels = figure pixels)"},
          {"--matrix OUT.tsv", "write the levels: time, frequency and dB per line (- for "
                               "standard output)"}}},
        {"correlation",
         {"correlation FILE [--channel N] --at T [--window MS] [--lags MS] [--cursor MS "
          "[--snap curve|peak]] [--figure OUT.png|svg|pdf [--size WxH] [--dpi N]]"},
         "the autocorrelation at a time, r per lag, or its \"Log cursor\" line",
         "Prints the autocorrelation the correlation window draws at the time cursor T: a "
         "heading \"Lag [ms]\\tr\" and one line per lag. With --cursor it prints instead the "
         "heading and line \"Log cursor\" adds to the data log for the period cursor at that "
         "lag: T, 1/T, the note and the correlation there, or at the nearest peak with "
         "--snap peak. With --figure it also draws the curve as the window's figure.",
         {{"--channel N", "the channel (default 0)"},
          {"--at T", "the time cursor, in seconds"},
          {"--window MS", "the length of the analysis window, 0.01 to 1000 ms (default 50)"},
          {"--lags MS", "the largest lag (default 40 ms; at most 44100 lags)"},
          {"--cursor MS", "the period cursor: print its \"Log cursor\" line"},
          {"--snap curve|peak", "read the correlation off the curve at the cursor (default) "
                                "or move the cursor to the nearest peak"},
          {"--figure OUT.png|OUT.svg|OUT.pdf", "also write the figure the window exports: title "
                                               "(file, channel, span), axes with units"},
          {"--size WxH", "the figure's size in pixels of 1/96 inch, 50 to 20000 (default 800x500)"},
          {"--dpi N", "the figure's resolution, 36 to 1200 (default 96: PNG pixels = figure pixels)"}}},
        {"f0",
         {"f0 FILE [--channel N] [--algorithm N] [--min HZ --max HZ] [--step S] [--from S --to S] "
          "[--pitchtier OUT]"},
         "the F0 contour of a channel, frame by frame, and as a Praat PitchTier",
         "Runs the F0 step over the channel (the span given, the whole channel by default) and "
         "prints one line per time step: the time in seconds and the F0 in Hz, 0 where the "
         "frame is unvoiced. Autocorrelation with path tracking (algorithm 4, the default) "
         "prints its own frames, centred on the span; the other algorithms' contours are read "
         "at the middle of each step. With --pitchtier the voiced frames are also written as a "
         "Praat PitchTier text file.",
         {{"--channel N", "the channel (default 0)"},
          {"--algorithm N", "0 peak picking, 1 zero crossings, 2 multiple peak picking, 3 multiple "
                            "peak picking (old), 4 autocorrelation with path tracking (default)"},
          {"--min HZ --max HZ", "the F0 range (default 50 to 400 Hz)"},
          {"--step S", "the time step (default 0.01 s)"},
          {"--from S --to S", "the span, in seconds"},
          {"--pitchtier OUT", "also write the voiced frames as a PitchTier text file (- for "
                              "standard output)"}}},
        {"formants",
         {"formants FILE [--channel N] [--max-formant HZ] [--n N] [--step S] [--from S --to S]"},
         "the formant frequencies and bandwidths of a channel, frame by frame",
         "Estimates formants by linear prediction (Burg's method) and prints a heading and one "
         "line per frame: the time in seconds, then each formant's frequency and bandwidth in "
         "Hz, \"--\" where the frame has none for it. The channel is resampled to twice the "
         "maximum formant and pre-emphasised from 50 Hz; each frame is a Gaussian window twice "
         "0.025 s long with twice as many poles as formants, and the formants are followed "
         "from frame to frame along the cheapest path (dynamic programming), so F1, F2, ... "
         "keep to their tracks.",
         {{"--channel N", "the channel (default 0)"},
          {"--max-formant HZ", "the formant ceiling, 500 to 50000 Hz (default 5500; 5000 for "
                               "most adult male voices)"},
          {"--n N", "the number of formants, 1 to 10 (default 5)"},
          {"--step S", "the time step (default 0.01 s)"},
          {"--from S --to S", "the span, in seconds"}}},
        {"histogram",
         {"histogram FILE [--channel N] [--from S --to S] [--lo V --hi V] [--bins N] "
          "[--method nearest|two-nearest|pairs] [--kernel NAME] [--kernel-width N] "
          "[--percentiles P,...] [--stats] [--figure OUT.png|svg|pdf [--size WxH] [--dpi N]]"},
         "the value histogram or kernel density of a channel, or its statistics",
         "Prints the histogram the \"Histograms/KDE\" window shows for the channel over the "
         "span (the whole file by default): a heading \"x [unit]\\tt [s]\" and per bin its value "
         "and the seconds the signal spends there, smoothed by the kernel when one is chosen. "
         "With --stats it prints instead the heading and line \"Log stats\" adds to the data "
         "log: span, bin and kernel width, average, mode, median and the percentiles, read "
         "from the bins. With --figure it also draws the bins as the window's figure, with "
         "the window's statistics box (its percentiles those of --percentiles).",
         {{"--channel N", "the channel (default 0)"},
          {"--from S --to S", "the span, in seconds"},
          {"--lo V --hi V", "the value range the bins cover (default the channel's value axis)"},
          {"--bins N", "the number of bins, 2 to 100000 (default 1000)"},
          {"--method M", "how samples add to bins: nearest, two-nearest or pairs (default pairs)"},
          {"--kernel NAME", "none, rectangle, triangle, parabolic or hanning (default none)"},
          {"--kernel-width N", "the kernel width in bins, 2 to 10000 (default 10)"},
          {"--percentiles P,...", "the percentiles --stats and the figure list, of 1,5,10,25,50,75,90,95,99 "
                                  "(default 25,75)"},
          {"--stats", "print the \"Log stats\" heading and line instead of the bins"},
          {"--figure OUT.png|OUT.svg|OUT.pdf", "also write the figure the window exports: title "
                                               "(file, channel, span), axes with units"},
          {"--size WxH", "the figure's size in pixels of 1/96 inch, 50 to 20000 (default 800x500)"},
          {"--dpi N", "the figure's resolution, 36 to 1200 (default 96: PNG pixels = figure pixels)"}}},
        {"xyplot",
         {"xyplot FILE --x CH --y CH [--from S --to S] [--summary]"},
         "one channel against another, sample by sample",
         "Prints the pairs the xy-plot window draws for the two channels over the span as the "
         "selection (the entire file by default): a heading \"t [s]\\tx [unit]\\ty [unit]\" and "
         "per sample index its time and the two values. The channels need one sampling rate. "
         "With --summary it prints instead one line after its heading: the number of pairs, "
         "the span, each channel's smallest and largest value and Pearson's r of the two.",
         {{"--x CH", "the channel on the horizontal axis"},
          {"--y CH", "the channel on the vertical axis"},
          {"--from S --to S", "the span, in seconds"},
          {"--summary", "print the summary line instead of the pairs"}}},
        {"correlogram",
         {"correlogram FILE (--trace T.ctr | --auto-trace) [--channel N] [--window MS | --factor X] "
          "[--vertical frequency|time] [--skip N] [--no-keep-rate] [--thresholds LO,HI] "
          "[--f0 C] [--correlation C] [--width C] [--fsd V] -o OUT [--yes] "
          "[--figure OUT.png|svg|pdf [--size WxH] [--dpi N]]"},
         "F0 or T0, peak correlation and candidate width along a trace, as new channels",
         "Does what the correlogram window's \"Extract F0/T0\" does with the trace of a trace "
         "file (\".ctr\", as the window saves it) on the channel: within the trace's band it "
         "finds the lag of the highest correlation and writes F0 in Hz (T0 in s with "
         "--vertical time), that correlation, and the candidate width in % of the period "
         "into channels named after the channel (\" F0\", \" T0\", \" Correlation\", "
         "\" Candidate Width\"), 32-bit float, -1 where the trace has no band or the "
         "analysis is unvoiced. The document is saved to OUT.",
         {{"--trace T.ctr", "the trace file"},
          {"--auto-trace", "instead of a trace file, the trace the window's \"Trace from F0\" makes over "
                           "the whole channel: the autocorrelation F0 tracker's contour (F0 from 50 Hz "
                           "to the --fsd top on a frequency axis; 50 to 1000 Hz on a time axis up to "
                           "20 ms), a band of +-25 % around each voiced frame's F0, no band where it "
                           "is unvoiced"},
          {"--channel N", "the channel to analyse (default 0)"},
          {"--window MS", "the fixed analysis window, in ms (default 10)"},
          {"--factor X", "a window of X times the lag instead (\"Corr delay x\")"},
          {"--vertical frequency|time", "F0 in Hz (default) or T0 in s"},
          {"--skip N", "analyse every N-th sample, repeating the result between (default 441)"},
          {"--no-keep-rate", "one output sample per N input samples instead of one per sample"},
          {"--thresholds LO,HI", "voiced from a correlation above HI until one below LO "
                                 "(default: always voiced)"},
          {"--f0 C", "where F0/T0 goes: a channel number (written over), new (default) or none"},
          {"--correlation C", "where the correlation goes (default new)"},
          {"--width C", "where the candidate width goes (default none)"},
          {"--fsd V", "the full scale of the F0/T0 channel: the top of the window's vertical "
                      "axis (default 1000 Hz, 20 with --vertical time)"},
          {"-o OUT", "the file to write"},
          {"--yes", "answer every question yes"},
          {"--figure OUT.png|OUT.svg|OUT.pdf", "also write the channel's correlogram over the file "
                                               "with the trace, as the window exports it"},
          {"--size WxH", "the figure's size in pixels of 1/96 inch, 50 to 20000 (default 800x500)"},
          {"--dpi N", "the figure's resolution, 36 to 1200 (default 96: PNG pixels = figure pixels)"}}},
        {"epg",
         {"epg FILE [--channel N] [--from S --to S] [--methods LIST]"},
         "the average palate and contact indices of EPG frames",
         "Prints the average palate of the channel's electropalatograph frames over the span "
         "(default all frames), front row first, its centre of gravity (the \"COG row R, "
         "column C\" the EPG window shows; the sync marks are no electrodes and do not count), "
         "and then per frame the contact indices of "
         "LIST, tab-separated, as the EPG window computes them. The file needs its EPG data "
         "(the \".epg\" file beside a recording).",
         {{"--channel N", "the channel that carries the EPG frames (default 0)"},
          {"--from S --to S", "the span, in seconds"},
          {"--methods LIST", "comma-separated index numbers 0..10 or names (default all eleven)"}}},
        {"export",
         {"export FILE... -o OUT.txt [--channels N,N...] [--separator "
          "tab|semicolon|comma|space] [--template PATTERN] [--decimal period|comma] "
          "[--from S --to S [--start-zero]] [--downsample K] [--no-time]"},
         "writes the channels as a text table, one row per sample",
         "Writes the table \"Export to text\" writes, over the whole file or a span. The "
         "table is written to a temporary file first, so a failed export leaves no half file "
         "and never harms an existing one.",
         {{"-o OUT.txt", "the text file to write (- for standard output)"},
          {"--channels N,N...", "the channels to write (default all)"},
          {"--separator tab|semicolon|comma|space", "the column separator (default tab)"},
          {"--template PATTERN", "the number format, with the digit placeholders 0 and #, "
                                 "a period and an exponent E+00 (default 0.00E+00)"},
          {"--decimal period|comma",
           "the decimal separator of every number (not comma with --separator comma)"},
          {"--from S --to S", "the span, in seconds"},
          {"--start-zero", "times count from the start of the span"},
          {"--downsample K", "write every K-th sample"},
          {"--no-time", "leave out the time column"}}},
        {"labels",
         {"labels FILE... --textgrid OUT.TextGrid",
          "labels FILE... --import IN.TextGrid -o OUT [--channel N] [--yes]"},
         "labels to and from Praat TextGrids",
         "With --textgrid, writes the labels of every channel as a Praat TextGrid: one "
         "interval tier per channel with labels, point labels in a point tier. With --import, "
         "adds the labels of every tier of a long- or short-format TextGrid (UTF-8 or UTF-16) "
         "to a channel, keeping the labels it has, and saves the document.",
         {{"--textgrid OUT.TextGrid", "write the labels as a TextGrid (- for standard output)"},
          {"--import IN.TextGrid", "read the labels of this TextGrid"},
          {"-o OUT", "where the document with the imported labels is saved"},
          {"--channel N", "the channel that receives them (default 0)"},
          {"--yes", "answer every question yes"}}},
        {"steps",
         {"steps"},
         "the step types a process can hold",
         "Prints the step types a process can hold, one line each: index, procid, name and "
         "help text, tab-separated, in the order of the processing window's list.",
         {}},
        {"run",
         {"run PROCESS IN... -o OUT [--format ID] [--yes] [--profile]",
          "run PROCESS --each FILE... --out-dir DIR [--format ID] [-j N] [--shard K/N] [--yes]"},
         "runs a process file on a document, or on every file of a corpus",
         "Opens the first input as the document, adds the others, runs the process file as "
         "\"Run!\" does and saves the document as convert does. A failing step prints its "
         "message, exits 1 and writes nothing; so does a delete step naming a channel that "
         "does not exist.\n\n"
         "With --each the process runs on every file on its own, as many at a time as there "
         "are cores, and the result is saved as DIR/<name> with the input's extension (or that "
         "of --format). One line per file says \"ok\" or the error; the command exits 1 if any "
         "file failed, without stopping the others. \"--each -\" reads the files from standard "
         "input, one a line. Two files whose results would have the same name (a/take.wav and "
         "b/take.wav) are refused before anything runs. With --shard K/N only the K-th of N "
         "shares of the sorted file list runs (file i of the sorted list, from 0, is in share "
         "i mod N + 1), so the N tasks of an array job cover a corpus exactly once.",
         {{"-o OUT", "the file to write"},
          {"--format ID", "the format of the output, as for convert"},
          {"--profile", "print the time each step took"},
          {"--each FILE...", "run on each file on its own"},
          {"--out-dir DIR", "where --each writes its results"},
          {"-j N", "how many files --each runs at a time (default the number of cores)"},
          {"--shard K/N", "run only the K-th of N shares of the sorted files (array jobs)"},
          {"--yes", "answer every question yes"}}},
        {"invfilter",
         {"invfilter FILE --channel N --filter F.for [--type mic|flow] [--hp HZ] "
          "[--distance CM] [--no-convert] [--flip] -o OUT [--yes]",
          "invfilter FILE --channel N --auto [--order N] [--from S --to S] [--hp HZ] "
          "[--distance CM] [--no-convert] [--flip] -o OUT [--save-filter F.for] [--yes]"},
         "inverse filters a whole channel into glottal flow and its derivative",
         "Does what the inverse filter window's \"Make channels\" does over the entire file "
         "with the formants and zeros of a filter file: the inverse-filtered flow and its "
         "derivative go to two new channels, the \"Inverse filter\" label is added, and the "
         "document is saved to OUT. With --auto the filter is estimated instead, as the "
         "window's \"Estimate filter\" does, by iterative adaptive inverse filtering (IAIF) "
         "over the span (default the whole channel) of a microphone signal; the channels are "
         "made over the same span, the estimated formants are listed on standard error and "
         "--save-filter writes them as a filter file.",
         {{"--channel N", "the channel to filter"},
          {"--filter F.for", "the filter file the inverse filter window saved"},
          {"--auto", "estimate the filter from the signal (IAIF)"},
          {"--order N", "the order of the vocal-tract model (default fs/1000 + 2)"},
          {"--from S --to S", "with --auto, the span to estimate from and to filter"},
          {"--save-filter F.for", "with --auto, write the estimated filter there"},
          {"--type mic|flow", "the channel is a microphone signal (default) or an airflow signal"},
          {"--hp HZ", "the corner of the high-pass filter run forward and backward (default 20)"},
          {"--distance CM", "the microphone distance for the pressure-to-flow scale (default 30)"},
          {"--no-convert", "keep the pressure scale instead of converting to flow"},
          {"--flip", "flip the waveform"},
          {"-o OUT", "the file to write"},
          {"--yes", "answer every question yes"}}},
        {"glottal",
         {"glottal FILE --channel N --at T --period T1 T2 [--closed C1 C2]",
          "glottal FILE --channel N --auto [--from S --to S] [--derivative] [--hp HZ]"},
         "glottal-flow parameters of one cycle, as the T-naq window logs them",
         "Loads the segment at time T, marks the period between the times T1 and T2 (seconds "
         "in the file; each end snaps, as in the window, onto the deepest minimum of the flow "
         "derivative within half the span of it, the MDR peak) and the closed phase between "
         "C1 and C2, and prints the heading and the row that \"Log data\" writes: T0, F0, "
         "ptp, MDR, AQ, NAQ, H1/H2, TC, CQ, OQ and SQ. A period that does not hold exactly one "
         "cycle is refused with exit status 1. Without a closed phase inside the period TC, "
         "CQ, OQ and SQ stay empty, and so does SQ when the flow peak does not lie between "
         "the previous opening and the closure. With --auto every cycle of the span (default "
         "the whole channel) is found without marking, bounded by the negative peaks of the "
         "flow derivative picked period by period, and measured alike, one row per cycle "
         "under one heading; the closed phase is where the flow stays within a tenth of its "
         "peak-to-peak value above the cycle's minimum. The numbers of cycles found and "
         "measured go to standard error.",
         {{"--channel N", "the flow channel"},
          {"--auto", "find and measure every cycle"},
          {"--from S --to S", "with --auto, the span"},
          {"--derivative", "with --auto, the channel holds the flow derivative"},
          {"--hp HZ", "with --derivative, the high-pass before integrating (default 20)"},
          {"--at T", "the start of the segment, in seconds"},
          {"--period T1 T2", "the period, in seconds"},
          {"--closed C1 C2", "the closed phase, in seconds"}}},
        {"calibrate",
         {"calibrate FILE (--channel N | --all) --mode level|rms|two|integral --value V "
          "[--value2 V2] [--reference R] [--unit U] [--weighting lin|A|C] --from S --to S "
          "[--green S,S --purple S,S] [--companion] [--no-labels] [--yes] -o OUT"},
         "calibrates channels to physical units, as \"Calibrate!\" does",
         "Calibrates one channel or all channels to physical units as the calibration window's "
         "\"Calibrate!\" does, calibration labels included (a recalibration replaces the "
         "earlier label), and saves OUT. A channel that cannot be calibrated is named on "
         "standard error; when none could be, nothing is written and the exit status is 1.",
         {{"--channel N", "the channel to calibrate"},
          {"--all", "calibrate every channel"},
          {"--mode level|rms|two|integral",
           "the selection reads a known level in dB, a known RMS, two known amplitudes between "
           "the green and purple marks, or a known integral"},
          {"--value V", "the known value (dB in level mode)"},
          {"--value2 V2", "the second amplitude in two-amplitude mode"},
          {"--reference R", "the dB reference, such as 2e-5 for Pa"},
          {"--unit U", "the unit the channel is calibrated to"},
          {"--weighting lin|A|C", "how a level is read (default lin)"},
          {"--from S --to S", "the selection, in seconds (in two-amplitude mode only where the labels "
                              "go, by default from the first mark to the last)"},
          {"--green S,S", "the green marks (default 10 % and 30 % of the channel)"},
          {"--purple S,S", "the purple marks (default 60 % and 80 % of the channel)"},
          {"--companion", "calibrate the channel's companion channel too"},
          {"--no-labels", "add no calibration labels"},
          {"--yes", "answer every question yes"},
          {"-o OUT", "the file to write"}}},
        {"psub",
         {"psub FILE [--channel N] [--from S --to S] [--threshold V] [--min-duration S] "
          "[--max-duration S] [--min-score PCT] [--peak-percentile PCT] "
          "[--variability-percentile PCT]"},
         "subglottal-pressure peaks and their statistics",
         "Finds the subglottal-pressure peaks of the channel over the span (default the whole "
         "channel) as the p-sub measurement window does and prints what \"Log peaks\" and "
         "\"Log statistics\" write: the peaks' heading and one line per peak, then the "
         "statistics' heading and line.",
         {{"--channel N", "the oral pressure channel (default 0)"},
          {"--from S --to S", "the span, in seconds"},
          {"--threshold V", "the detection threshold, in the channel's unit"},
          {"--min-duration S", "the shortest peak"},
          {"--max-duration S", "the longest peak"},
          {"--min-score PCT", "the lowest score a peak may have"},
          {"--peak-percentile PCT", "the percentile taken as the peak's height"},
          {"--variability-percentile PCT", "the percentile of the variability measure"}}},
        {"recover",
         {"recover --list [--folder DIR]", "recover JOURNAL|SPOOL -o OUT [--labels] [--format ID] [--yes]"},
         "lists or replays the journals of unsaved changes a crash left",
         "While a document has unsaved changes, the program keeps a journal of them in the "
         "per-user data folder, and a recording writes what it captures to a spool file beside "
         "the journal as it goes. With --list, prints the journals a crashed run left, with the "
         "file each belongs to, how many changes it holds, the recording that was running and "
         "whether it can be replayed, and the spools whose journal is gone. With a journal, "
         "opens its original file, replays the changes, puts back the recording from the "
         "journal's spool and saves the result as convert does; what was lost at a damaged end "
         "is said on standard error, and when no channel could be recovered nothing is written "
         "and the exit status is 1. A journal whose original file has changed since is not "
         "replayed: with --labels, the labels its channels ended with are put on the file as it is "
         "now (when the journal changed channels only in place), and the recording that was running "
         "is added as new channels; its spool alone gives a document of the recording.",
         {{"--list", "list the journals"},
          {"--folder DIR", "look for journals in DIR instead of the data folder"},
          {"-o OUT", "the file to write"},
          {"--labels", "for a journal whose file changed: its labels onto the file as it is now"},
          {"--format ID", "the format of the output, as for convert"},
          {"--yes", "answer every question yes"}}},
    };
}

const char* const exit_text =
    "exit status:\n"
    "  0  success\n"
    "  1  an input cannot be read, a named channel does not exist, the work failed, or\n"
    "     standard output could not be written\n"
    "  2  a usage error, an output that is one of the inputs, or a question that was not\n"
    "     answered yes\n";

// The usage lines of a command, each wrapped to 78 columns with its
// continuation lines indented further.
std::string join_synopsis(const thelpcommand& c, const char* indent) {
    std::string s;
    const std::string first = indent, more = std::string(indent) + std::string(11, ' ');
    for (const auto& form : c.synopsis) {
        std::istringstream words("tessal-cli " + form);
        std::string w, line;
        while (words >> w) {
            const std::string& lead = s.empty() || !line.empty() || s.back() == '\n' ? first : more;
            if (!line.empty() && line.size() + 1 + w.size() > 78) {
                s += line + "\n";
                line = more + w;
                continue;
            }
            line += line.empty() ? lead + w : " " + w;
        }
        s += line + "\n";
    }
    return s;
}

// Wraps `text` to `width` columns with every line indented by `indent`.
std::string wrap(const std::string& text, std::size_t indent, std::size_t width = 78) {
    std::string out, line, para;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find("\n\n", start);
        para = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::istringstream words(para);
        std::string w;
        line.clear();
        while (words >> w) {
            if (!line.empty() && indent + line.size() + 1 + w.size() > width) {
                out += std::string(indent, ' ') + line + "\n";
                line.clear();
            }
            line += (line.empty() ? "" : " ") + w;
        }
        if (!line.empty()) out += std::string(indent, ' ') + line + "\n";
        if (end == std::string::npos) break;
        out += "\n";
        start = end + 2;
    }
    return out;
}

// Text for roff: backslashes doubled as \e, hyphens of options as \-, and a
// line never starting with a control character.
std::string roff(const std::string& s) {
    std::string out;
    for (char ch : s) {
        if (ch == '\\') out += "\\e";
        else if (ch == '-') out += "\\-";
        else out += ch;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

std::string roff_paragraphs(const std::string& text) {
    std::string out;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find("\n\n", start);
        out += roff(text.substr(start, end == std::string::npos ? std::string::npos : end - start)) + "\n";
        if (end == std::string::npos) break;
        out += ".PP\n";
        start = end + 2;
    }
    return out;
}

}  // namespace

const std::vector<thelpcommand>& help_commands() {
    static const std::vector<thelpcommand> table = make_table();
    return table;
}

const thelpcommand* find_help(const std::string& name) {
    for (const auto& c : help_commands())
        if (c.name == name) return &c;
    return nullptr;
}

std::string usage_text() {
    std::string s = "usage: tessal-cli COMMAND [ARGS...]\n\ncommands:\n";
    for (const auto& c : help_commands()) {
        s += join_synopsis(c, "  ");
        s += wrap(c.summary, 6);
    }
    s += "  tessal-cli help [COMMAND]\n      this text, or the page of one command\n";
    s += "  tessal-cli --version\n      the version\n\n";
    s += exit_text;
    return s;
}

std::string command_help(const thelpcommand& c) {
    std::string s = "usage:\n" + join_synopsis(c, "  ") + "\n" + wrap(c.description, 2);
    if (!c.options.empty()) {
        s += "\noptions:\n";
        for (const auto& o : c.options) {
            s += "  " + o.option + "\n";
            s += wrap(o.text, 6);
        }
    }
    s += "\n" + wrap(file_note, 2) + "\n" + exit_text;
    return s;
}

std::string man_page(const std::string& version) {
    std::string s;
    s += ".TH TESSAL-CLI 1 \"\" \"tessal " + version + "\" \"User Commands\"\n";
    s += ".SH NAME\ntessal\\-cli \\- voice and speech signal analysis without windows\n";
    s += ".SH SYNOPSIS\n.B tessal\\-cli\n.I command\n.RI [ arguments ...]\n.br\n"
         ".B tessal\\-cli help\n.RI [ command ]\n.br\n.B tessal\\-cli \\-\\-version\n";
    s += ".SH DESCRIPTION\n"
         "tessal\\-cli runs the analyses, processes and conversions of\n.BR tessal (1)\n"
         "on files without opening a window, so that they can be run over a corpus.\n"
         "Each command prints what the window would show or log.\n"
         ".PP\n" + roff(file_note) + "\n";
    s += ".SH COMMANDS\n";
    for (const auto& c : help_commands()) {
        s += ".SS " + roff(c.name) + "\n";
        for (std::size_t i = 0; i < c.synopsis.size(); ++i) {
            if (i) s += ".br\n";
            s += ".B tessal\\-cli\n" + roff(c.synopsis[i]) + "\n";
        }
        s += ".PP\n" + roff_paragraphs(c.description);
        for (const auto& o : c.options) s += ".TP\n.B " + roff(o.option) + "\n" + roff(o.text) + "\n";
    }
    s += ".SH EXIT STATUS\n.TP\n.B 0\nsuccess\n.TP\n.B 1\n"
         "an input cannot be read, a named channel does not exist, the work failed, or standard "
         "output could not be written\n"
         ".TP\n.B 2\na usage error, an output that is one of the inputs, or a question that was "
         "not answered yes\n";
    s += ".SH EXAMPLES\n"
         "Figures of every recording of a corpus:\n.PP\n.nf\n.RS\n"
         "tessal\\-cli info corpus/*.wav\n.RE\n.fi\n.PP\n"
         "Run a process made in the processing window on every file, four at a time,\n"
         "and list the files that failed:\n.PP\n.nf\n.RS\n"
         "find corpus \\-name \\(aq*.wav\\(aq | tessal\\-cli run f0.tessalproc \\-\\-each \\- \\e\n"
         "    \\-\\-out\\-dir results \\-\\-format tessal32f \\-j 4 > results/status.txt\n"
         "grep \\-v \\(aq: ok$\\(aq results/status.txt\n.RE\n.fi\n.PP\n"
         "Measurements of the first second of every file, one table:\n.PP\n.nf\n.RS\n"
         "for f in corpus/*.wav; do\n"
         "    tessal\\-cli measure \"$f\" \\-\\-channel 0 \\-\\-from 0 \\-\\-to 1\n"
         "done > measurements.txt\n.RE\n.fi\n.PP\n"
         "Labels to Praat:\n.PP\n.nf\n.RS\n"
         "tessal\\-cli labels session.tessal \\-\\-textgrid session.TextGrid\n.RE\n.fi\n";
    s += ".SH SEE ALSO\n.BR tessal (1),\n.BR praat (1),\n.BR sox (1)\n";
    return s;
}

std::string bash_completion() {
    std::string names;
    for (const auto& c : help_commands()) names += c.name + " ";
    names += "help";
    std::string s =
        "# bash completion for tessal-cli\n"
        "_tessal_cli() {\n"
        "    local cur=\"${COMP_WORDS[COMP_CWORD]}\"\n"
        "    if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
        "        COMPREPLY=($(compgen -W \"" + names + " --version\" -- \"$cur\"))\n"
        "        return\n"
        "    fi\n"
        "    local opts=\"\"\n"
        "    case \"${COMP_WORDS[1]}\" in\n";
    for (const auto& c : help_commands()) {
        std::set<std::string> seen;
        std::string opts;
        for (const auto& o : c.options) {
            std::istringstream words(o.option);
            std::string w;
            while (words >> w)
                if (w.size() > 1 && w[0] == '-' && seen.insert(w).second) opts += w + " ";
        }
        if (!opts.empty()) opts.pop_back();
        s += "        " + c.name + ") opts=\"" + opts + "\" ;;\n";
    }
    s += "        help) COMPREPLY=($(compgen -W \"" + names.substr(0, names.size() - 5) +
         "\" -- \"$cur\")); return ;;\n"
         "    esac\n"
         "    if [[ \"$cur\" == -* ]]; then\n"
         "        COMPREPLY=($(compgen -W \"$opts\" -- \"$cur\"))\n"
         "    else\n"
         "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
         "    fi\n"
         "}\n"
         "complete -o filenames -F _tessal_cli tessal-cli\n";
    return s;
}

}  // namespace tessal::cli
