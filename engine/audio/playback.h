// The main window's playback: which channel (or stereo pair) and range to
// play, filling TMPCPlay's buffers with 16-bit samples, looping, the play
// cursor after the buffers' latency and the status text. The window gives
// the selection and the visible range, repaints on `changed` and shows
// `status`; the device's buffer returns drive everything else.
#pragma once

#include <functional>
#include <string>

#include "engine/audio/pcmconvert.h"
#include "engine/audio/tmpcplay.h"

namespace tessal {

class tdocument;

class tplayback {
public:
    tplayback(tdocument& doc, taudiooutput& device);

    // Start playing channel `chno` (its selection sello..selhi seconds, or
    // the visible range vislo..vishi when the selection is empty; the whole
    // channel when `entire`), or stop when already playing.
    void start(int chno, bool entire, double sello, double selhi, double vislo, double vishi);
    void stop();

    TMPCPlay MPCPlay1;
    bool loop = false;
    // Formats the play position for the status text.
    std::function<std::string(double)> format_seconds;
    // Called when playing starts or stops and after every buffer.
    std::function<void()> changed;

    bool playing() const { return fplaying; }
    int playchanno = -1;
    int playstereochanno = -1;
    long long playstart = 0;
    long long playend = 0;
    long long playcount = 0;
    // Play cursor of the left and right channel, seconds.
    double playcursor = 0;
    double playcursor_right = 0;
    const std::string& status() const { return fstatus; }

private:
    void stash(TWaveChunk& arr, int& used, bool& last);
    void closed();
    void set_playing(bool v);

    tdocument& fdoc;
    tditherrandom frnd;
    bool fplaying = false;
    std::string fstatus;
};

}  // namespace tessal
