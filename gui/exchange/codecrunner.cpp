#include "gui/exchange/codecrunner.h"

#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#include "engine/settings/codecs.h"

#ifdef Q_OS_UNIX
#include <signal.h>
#include <unistd.h>
#endif

namespace tessal {

tcodecresult run_codec(const tcodecentry& codec, const std::string& in, const std::string& out,
                       int timeout_ms) {
    tcodecresult r;
    const std::string head = "The codec \"" + codec.Name + "\" (" + codec.Exename + ") ";
    QStringList args;
    for (const std::string& a : codec_arguments(codec.Parameters, in, out))
        args << QString::fromStdString(a);
    QProcess p;
    p.setProgram(QString::fromStdString(codec.Exename));
    p.setArguments(args);
#ifdef Q_OS_UNIX
    // The program leads a process group of its own, so stopping it stops
    // whatever it started too (a script's decoder, a pipeline).
    p.setChildProcessModifier([] { ::setpgid(0, 0); });
#endif
    p.start();
    if (!p.waitForStarted(10000)) {
        r.message = head + "could not be started:\r" + p.errorString().toStdString();
        return r;
    }
    if (!p.waitForFinished(timeout_ms)) {
#ifdef Q_OS_UNIX
        if (p.processId() > 0) ::kill(-static_cast<pid_t>(p.processId()), SIGKILL);
#endif
        p.kill();
        p.waitForFinished(5000);
        r.message = head + "did not finish within " + std::to_string(timeout_ms / 1000) +
                    " s and was stopped.";
        return r;
    }
    const std::string err = QString::fromLocal8Bit(p.readAllStandardError()).trimmed().toStdString();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        r.message = head + "failed" +
                    (p.exitStatus() == QProcess::NormalExit
                         ? " with exit code " + std::to_string(p.exitCode())
                         : std::string(" (it crashed)")) +
                    (err.empty() ? "." : ":\r" + err);
        return r;
    }
    if (!QFileInfo::exists(QString::fromStdString(out))) {
        r.message = head + "wrote no file " + out + (err.empty() ? "." : ":\r" + err);
        return r;
    }
    r.ok = true;
    return r;
}

}  // namespace tessal
