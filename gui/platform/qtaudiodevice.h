// The audio devices on Qt Multimedia: QAudioSink for output, QAudioSource
// for input, device names from QMediaDevices. Both report to their
// listener on the UI thread, from a timer (output) or the source's
// readyRead (input). An output buffer counts as done once the sink has
// played past its end (processedUSecs), so the component's ring holds
// everything not yet heard. 24-bit input is captured as 32-bit integers
// and packed to the top three bytes: Qt has no 24-bit sample format.
//
// Qt lists no monitor of an output as an input. Where the sound server is
// PulseAudio (or PipeWire's PulseAudio service) the monitors follow Qt's
// inputs in the list, named by the server ("Monitor of ..."), and record
// through its parec program with the same buffers and deliveries.
#pragma once

#include <QObject>
#include <QStringList>
#include <QPointer>
#include <QByteArray>
#include <QIODevice>
#include <QTimer>
#include <deque>
#include <memory>
#include <vector>

#include "engine/audio/audiodevice.h"

class QAudioSink;
class QAudioSource;
class QProcess;

namespace tessal {

// The device layer's error numbers.
enum taudioerror : int {
    audio_nodevice = 1,
    audio_badformat = 2,
    audio_openfailed = 3,
    audio_notopen = 4,
    audio_ioerror = 5,
};
std::string audio_error_text(int code);

class tqtaudiooutput : public QObject, public taudiooutput {
public:
    tqtaudiooutput();
    ~tqtaudiooutput() override;
    std::vector<std::string> device_names() override;
    int open(int deviceid, const taudioformat& fmt, taudiolistener* listener) override;
    int write(const void* data, std::size_t bytes, int user) override;
    int pause() override;
    int restart() override;
    int reset() override;
    int close() override;
    std::string error_text(int code) override { return audio_error_text(code); }

private:
    struct tqueued {
        const char* data;
        std::size_t bytes;
        std::size_t written;
        long long endpos;  // stream byte position after this buffer
        int user;
    };
    void pump();
    void state_changed();

    std::unique_ptr<QAudioSink> fsink;
    QPointer<QIODevice> fio;  // owned by the sink or source
    taudiolistener* flistener = nullptr;
    std::deque<tqueued> fqueue;
    long long fqueuedend = 0;  // bytes queued over the stream's life
    long long fwritten = 0;    // bytes handed to the sink
    int fbytespersec = 0;
    bool fpaused = false;
    bool fstarted = false;
    QTimer ftimer;
};

class tqtaudioinput : public QObject, public taudioinput {
public:
    tqtaudioinput();
    ~tqtaudioinput() override;
    std::vector<std::string> device_names() override;
    int open(int deviceid, const taudioformat& fmt, taudiolistener* listener) override;
    int add_buffer(void* data, std::size_t capacity, int user) override;
    int start() override;
    int reset() override;
    int close() override;
    std::string error_text(int code) override { return audio_error_text(code); }

private:
    struct tqueued {
        char* data;
        std::size_t capacity;
        std::size_t filled;
        int user;
    };
    struct tmonitor {
        QString name, description;
    };
    void read_available();
    void take(const char* bytes, std::size_t n);
    void state_changed();
    // What records now: the Qt source or the monitor's process.
    QObject* handle() const;
    // Ends the monitor's recording program without hearing of its end.
    void stop_monitor_process();

    std::unique_ptr<QAudioSource> fsource;
    std::unique_ptr<QProcess> fmonitor;
    QStringList fmonitorargs;
    std::vector<tmonitor> fmonitors;  // as last listed
    QByteArray fmonitorrest;          // the bytes of a sample not yet whole
    QPointer<QIODevice> fio;  // owned by the sink or source
    taudiolistener* flistener = nullptr;
    std::deque<tqueued> fqueue;
    int fbits = 16;
    bool fin_reset = false;
};

}  // namespace tessal
