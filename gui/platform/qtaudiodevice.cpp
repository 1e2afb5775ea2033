#include "gui/platform/qtaudiodevice.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QAudioSource>
#include <QMediaDevices>
#include <QProcess>
#include <QProcessEnvironment>
#include <algorithm>
#include <cstring>

#include "gui/commands/commandguard.h"

namespace tessal {

std::string audio_error_text(int code) {
    switch (code) {
    case audio_nodevice: return "The sound device does not exist.";
    case audio_badformat: return "The sound device does not support this sample format.";
    case audio_openfailed: return "The sound device could not be opened.";
    case audio_notopen: return "The sound device is not open.";
    case audio_ioerror: return "The sound device stopped with an input or output error.";
    default: return "Sound device error " + std::to_string(code) + ".";
    }
}

namespace {

QAudioFormat qt_format(const taudioformat& f) {
    QAudioFormat q;
    q.setSampleRate(f.rate);
    q.setChannelCount(f.channels);
    q.setSampleFormat(f.bits == 16 ? QAudioFormat::Int16 : QAudioFormat::Int32);
    return q;
}

std::vector<std::string> names_of(const QList<QAudioDevice>& list) {
    std::vector<std::string> r;
    for (const QAudioDevice& d : list) r.push_back(d.description().toStdString());
    return r;
}

// Device -1 is the system default; -1 comes back when there is none at all.
int pick(const QList<QAudioDevice>& list, const QAudioDevice& def, int id, QAudioDevice& out) {
    if (id < 0) {
        if (def.isNull()) return -1;
        out = def;
        return 0;
    }
    if (id >= list.size()) return audio_nodevice;
    out = list[id];
    return 0;
}

std::string failure_text(QAudio::Error e) {
    switch (e) {
    case QAudio::OpenError: return audio_error_text(audio_openfailed);
    case QAudio::IOError: return audio_error_text(audio_ioerror);
    case QAudio::FatalError: return "The sound device failed.";
    default: return "";
    }
}

// Runs a listener call from a device signal: a failure there is shown, as
// no command boundary is around to catch it. False when it failed.
template <typename F>
bool notify_listener(taudiolistener* l, F f) {
    if (!l) return false;
    try {
        f();
        return true;
    } catch (const std::exception& e) {
        show_error(e.what());
        return false;
    }
}

// The sound server's monitor sources (name, description) as `pactl list
// sources` gives them; none when there is no such program or server.
std::vector<std::pair<QString, QString>> monitor_sources() {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C");
    p.setProcessEnvironment(env);
    p.start("pactl", {"list", "sources"});
    if (!p.waitForStarted(2000)) return {};
    if (!p.waitForFinished(3000)) {
        p.kill();
        p.waitForFinished(1000);
        return {};
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return {};
    std::vector<std::pair<QString, QString>> out;
    QString name, description;
    bool monitor = false;
    auto flush = [&] {
        if (monitor && !name.isEmpty()) out.emplace_back(name, description.isEmpty() ? name : description);
        name.clear();
        description.clear();
        monitor = false;
    };
    for (QString line : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
        line = line.trimmed();
        if (line.startsWith("Source #"))
            flush();
        else if (line.startsWith("Name: "))
            name = line.mid(6).trimmed();
        else if (line.startsWith("Description: "))
            description = line.mid(13).trimmed();
        else if (line.startsWith("Monitor of Sink: "))
            monitor = line.mid(17).trimmed() != "n/a";
    }
    flush();
    return out;
}

}  // namespace

// ---- output ----

tqtaudiooutput::tqtaudiooutput() {
    ftimer.setInterval(10);
    QObject::connect(&ftimer, &QTimer::timeout, this, [this] { pump(); });
}

tqtaudiooutput::~tqtaudiooutput() {
    ftimer.stop();
    if (fsink) fsink->stop();
}

std::vector<std::string> tqtaudiooutput::device_names() {
    return names_of(QMediaDevices::audioOutputs());
}

int tqtaudiooutput::open(int deviceid, const taudioformat& fmt, taudiolistener* listener) {
    if (fsink) return audio_openfailed;
    QAudioDevice dev;
    int r = pick(QMediaDevices::audioOutputs(), QMediaDevices::defaultAudioOutput(), deviceid, dev);
    if (r != 0) return r;
    QAudioFormat q = qt_format(fmt);
    if (fmt.bits != 16 || !dev.isFormatSupported(q)) return audio_badformat;
    fsink = std::make_unique<QAudioSink>(dev, q);
    QObject::connect(fsink.get(), &QAudioSink::stateChanged, this, [this] { state_changed(); });
    flistener = listener;
    fbytespersec = fmt.rate * fmt.channels * 2;
    fqueue.clear();
    fqueuedend = fwritten = 0;
    fpaused = false;
    fstarted = false;
    if (flistener) flistener->device_opened();
    return 0;
}

int tqtaudiooutput::write(const void* data, std::size_t bytes, int user) {
    if (!fsink) return audio_notopen;
    fqueuedend += static_cast<long long>(bytes);
    fqueue.push_back({static_cast<const char*>(data), bytes, 0, fqueuedend, user});
    return 0;
}

int tqtaudiooutput::pause() {
    if (!fsink) return audio_notopen;
    fpaused = true;
    if (fstarted) fsink->suspend();
    return 0;
}

int tqtaudiooutput::restart() {
    if (!fsink) return audio_notopen;
    fpaused = false;
    if (!fstarted) {
        fio = fsink->start();
        if (!fio) return audio_openfailed;
        fstarted = true;
    } else {
        fsink->resume();
    }
    pump();
    ftimer.start();
    return 0;
}

void tqtaudiooutput::pump() {
    if (!fsink || !fio || fpaused) return;
    // Hand the sink what it takes, oldest buffer first.
    for (tqueued& b : fqueue) {
        if (b.written == b.bytes) continue;
        qint64 free = fsink->bytesFree();
        if (free <= 0) break;
        qint64 n = std::min<qint64>(free, static_cast<qint64>(b.bytes - b.written));
        qint64 w = fio->write(b.data + b.written, n);
        if (w <= 0) break;
        b.written += static_cast<std::size_t>(w);
        fwritten += w;
        if (b.written < b.bytes) break;
    }
    // Buffers the sink has played are done.
    long long played = fsink->processedUSecs() * fbytespersec / 1000000;
    played -= played % 2;
    bool idle = fsink->state() == QAudio::IdleState;
    while (!fqueue.empty()) {
        tqueued& b = fqueue.front();
        if (b.written < b.bytes) break;
        if (b.endpos > played && !idle) break;
        tqueued done = b;
        fqueue.pop_front();
        QAudioSink* before = fsink.get();
        if (!notify_listener(flistener, [&] { flistener->buffer_done(done.user, done.bytes); })) return;
        if (fsink.get() != before || !fsink) return;  // closed by the listener
    }
}

void tqtaudiooutput::state_changed() {
    if (!fsink) return;
    QAudio::Error e = fsink->error();
    if (fsink->state() == QAudio::StoppedState && e != QAudio::NoError && e != QAudio::UnderrunError) {
        ftimer.stop();
        notify_listener(flistener, [&] { flistener->device_failed(failure_text(e)); });
    }
}

int tqtaudiooutput::reset() {
    if (!fsink) return audio_notopen;
    fqueue.clear();
    return 0;
}

int tqtaudiooutput::close() {
    if (!fsink) return audio_notopen;
    ftimer.stop();
    fsink->disconnect(this);
    fsink->stop();
    // The sink may be in the middle of emitting a signal: delete it later.
    fsink.release()->deleteLater();
    fio = nullptr;
    fqueue.clear();
    if (flistener) flistener->device_closed();
    return 0;
}

// ---- input ----

tqtaudioinput::tqtaudioinput() = default;

tqtaudioinput::~tqtaudioinput() {
    if (fsource) fsource->stop();
    if (fmonitor) stop_monitor_process();
}

void tqtaudioinput::stop_monitor_process() {
    // Disconnected first: the program's end is no failure of the device.
    fmonitor->disconnect(this);
    if (fmonitor->state() != QProcess::NotRunning) {
        fmonitor->kill();
        fmonitor->waitForFinished(1000);
    }
}

QObject* tqtaudioinput::handle() const {
    if (fsource) return fsource.get();
    return fmonitor.get();
}

std::vector<std::string> tqtaudioinput::device_names() {
    std::vector<std::string> names = names_of(QMediaDevices::audioInputs());
    fmonitors.clear();
    for (const auto& [name, description] : monitor_sources()) {
        fmonitors.push_back({name, description});
        names.push_back(description.toStdString());
    }
    return names;
}

int tqtaudioinput::open(int deviceid, const taudioformat& fmt, taudiolistener* listener) {
    if (fsource || fmonitor) return audio_openfailed;
    const int nqt = static_cast<int>(QMediaDevices::audioInputs().size());
    if (deviceid >= nqt) {
        // A monitor: recorded by the server's own program, raw samples on
        // its standard output in the format asked for.
        if (fmonitors.empty()) device_names();
        const int m = deviceid - nqt;
        if (m >= static_cast<int>(fmonitors.size())) return audio_nodevice;
        if (fmt.bits != 16 && fmt.bits != 24) return audio_badformat;
        fmonitorargs = {"--raw", "--device=" + fmonitors[static_cast<std::size_t>(m)].name,
                        "--rate=" + QString::number(fmt.rate),
                        "--channels=" + QString::number(fmt.channels),
                        fmt.bits == 16 ? "--format=s16le" : "--format=s32le", "--latency-msec=50"};
        fmonitor = std::make_unique<QProcess>();
        fmonitor->setProcessChannelMode(QProcess::SeparateChannels);
        flistener = listener;
        fbits = fmt.bits;
        fqueue.clear();
        if (flistener) flistener->device_opened();
        return 0;
    }
    QAudioDevice dev;
    int r = pick(QMediaDevices::audioInputs(), QMediaDevices::defaultAudioInput(), deviceid, dev);
    if (r != 0) return r;
    QAudioFormat q = qt_format(fmt);
    if ((fmt.bits != 16 && fmt.bits != 24) || !dev.isFormatSupported(q)) return audio_badformat;
    fsource = std::make_unique<QAudioSource>(dev, q);
    // About 50 ms in the device: deliveries stay smooth without long waits.
    fsource->setBufferSize(fmt.rate * fmt.channels * (fmt.bits == 16 ? 2 : 4) / 10);
    QObject::connect(fsource.get(), &QAudioSource::stateChanged, this, [this] { state_changed(); });
    flistener = listener;
    fbits = fmt.bits;
    fqueue.clear();
    if (flistener) flistener->device_opened();
    return 0;
}

int tqtaudioinput::add_buffer(void* data, std::size_t capacity, int user) {
    if (!handle()) return audio_notopen;
    fqueue.push_back({static_cast<char*>(data), capacity, 0, user});
    return 0;
}

int tqtaudioinput::start() {
    if (fmonitor) {
        QProcess* p = fmonitor.get();
        QObject::connect(p, &QProcess::readyReadStandardOutput, this, [this] { read_available(); });
        QObject::connect(p, &QProcess::finished, this, [this] {
            if (fin_reset || !fmonitor) return;
            notify_listener(flistener, [&] { flistener->device_failed(audio_error_text(audio_ioerror)); });
        });
        p->start("parec", fmonitorargs);
        if (!p->waitForStarted(3000)) return audio_openfailed;
        return 0;
    }
    if (!fsource) return audio_notopen;
    fio = fsource->start();
    if (!fio) return audio_openfailed;
    QObject::connect(fio, &QIODevice::readyRead, this, [this] { read_available(); });
    return 0;
}

void tqtaudioinput::take(const char* bytes, std::size_t n) {
    // 24-bit: each 32-bit sample gives its top three bytes.
    std::size_t insize = fbits == 24 ? 4 : 2;
    std::size_t outsize = fbits == 24 ? 3 : 2;
    for (std::size_t at = 0; at + insize <= n; at += insize) {
        if (fqueue.empty()) return;  // no buffer queued: the component stopped
        tqueued& b = fqueue.front();
        std::memcpy(b.data + b.filled, bytes + at + (insize - outsize), outsize);
        b.filled += outsize;
        if (b.filled + outsize > b.capacity) {
            tqueued done = b;
            fqueue.pop_front();
            QObject* before = handle();
            if (!notify_listener(flistener, [&] { flistener->buffer_done(done.user, done.filled); })) return;
            if (handle() != before || !handle()) return;
        }
    }
}

void tqtaudioinput::read_available() {
    QByteArray data;
    if (fmonitor) {
        data = fmonitor->readAllStandardOutput();
        // A sample split between two reads waits for its other bytes.
        data.prepend(fmonitorrest);
        const qsizetype whole = data.size() - data.size() % (fbits == 24 ? 4 : 2);
        fmonitorrest = data.mid(whole);
        data.truncate(whole);
    } else {
        if (!fio) return;
        data = fio->readAll();
    }
    if (!data.isEmpty()) take(data.constData(), static_cast<std::size_t>(data.size()));
}

void tqtaudioinput::state_changed() {
    if (!fsource || fin_reset) return;
    QAudio::Error e = fsource->error();
    if (fsource->state() == QAudio::StoppedState && e != QAudio::NoError)
        notify_listener(flistener, [&] { flistener->device_failed(failure_text(e)); });
}

int tqtaudioinput::reset() {
    if (fmonitor) {
        read_available();
        if (!fmonitor) return 0;
        fin_reset = true;
        stop_monitor_process();
        fin_reset = false;
        fmonitorrest.clear();
        std::deque<tqueued> q;
        q.swap(fqueue);
        for (const tqueued& b : q)
            if (flistener) flistener->buffer_done(b.user, b.filled);
        return 0;
    }
    if (!fsource) return audio_notopen;
    read_available();
    if (!fsource) return 0;
    fin_reset = true;
    fsource->stop();
    fin_reset = false;
    fio = nullptr;
    std::deque<tqueued> q;
    q.swap(fqueue);
    // Every buffer comes back with what it holds, so nothing captured is lost.
    for (const tqueued& b : q)
        if (flistener) flistener->buffer_done(b.user, b.filled);
    return 0;
}

int tqtaudioinput::close() {
    if (fmonitor) {
        stop_monitor_process();
        fmonitor.reset();
        fqueue.clear();
        if (flistener) flistener->device_closed();
        return 0;
    }
    if (!fsource) return audio_notopen;
    fsource->disconnect(this);
    if (fio) fio->disconnect(this);
    fsource->stop();
    fsource.release()->deleteLater();
    fio = nullptr;
    fqueue.clear();
    if (flistener) flistener->device_closed();
    return 0;
}

}  // namespace tessal
