// Codecs: the template cut into arguments before the names go in, so a
// program gets names with blanks, quotes and ";" exactly (a small script
// records its arguments); failing, hanging and missing programs give a
// message that says so, with the program's error output.
#include <memory>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>

#include "engine/settings/codecs.h"
#include "gui/exchange/codecrunner.h"
#include "gui/exchange/tcodecsdialog.h"
#include "gui/mainwindow/mainwindow.h"
#include "support/scriptedprompter.h"
#include <QLineEdit>

using namespace tessal;

namespace {

std::string script(const QTemporaryDir& dir, const char* name, const std::string& body) {
    const std::string path = dir.filePath(name).toStdString();
    std::ofstream(path) << "#!/bin/sh\n" << body;
    QFile::setPermissions(QString::fromStdString(path),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

std::string slurp(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace

TEST(Codecs, TemplateArgumentsAndLookup) {
    EXPECT_EQ(codec_arguments("-d %i -o %o", "a b.flac", "o;x.wav"),
              (std::vector<std::string>{"-d", "a b.flac", "-o", "o;x.wav"}));
    EXPECT_EQ(codec_arguments("  \"-x y\"  --in=%i ''  ", "f", "g"),
              (std::vector<std::string>{"-x y", "--in=f", ""}));
    // A name starting with "-" cannot be taken for an option.
    EXPECT_EQ(codec_arguments("-d %i -o %o --to=%o", "-rf.flac", "-"),
              (std::vector<std::string>{"-d", "./-rf.flac", "-o", "./-", "--to=./-"}));
    EXPECT_EQ(codec_extension("mp3"), ".mp3");
    EXPECT_EQ(codec_extension(".mp3"), ".mp3");
    const auto d = default_codecs();
    EXPECT_EQ(find_codec(d, "/x/Y.FLAC"), 0);
    EXPECT_EQ(d[find_codec(d, "a.mp3")].Exename, "sox");
    EXPECT_EQ(find_codec(d, "a.wav"), -1);
    EXPECT_EQ(find_codec(d, "flac"), -1);
    EXPECT_EQ(new_codec().Parameters, "-d %i %o");
}

TEST(Codecs, ProgramGetsExactArgumentsAndFailuresSaySo) {
    QTemporaryDir dir;
    const std::string rec = dir.filePath("args.txt").toStdString();
    const std::string prog = script(dir, "codec.sh",
                                    "for a in \"$@\"; do printf '[%s]\\n' \"$a\" >> '" + rec +
                                        "'; done\nprintf x > \"$3\"\n");
    const std::string in = dir.filePath("it's a \"song\"; rm -rf x.mp3").toStdString();
    const std::string out = dir.filePath("out put.wav").toStdString();
    const tcodecentry c{"test", ".mp3", prog, "-d %i %o"};
    const tcodecresult r = run_codec(c, in, out);
    EXPECT_TRUE(r.ok) << r.message;
    EXPECT_EQ(slurp(rec), "[-d]\n[" + in + "]\n[" + out + "]\n");

    const tcodecentry bad{"bad", ".mp3", script(dir, "bad.sh", "echo 'cannot decode' >&2\nexit 3\n"),
                          "%i %o"};
    tcodecresult f = run_codec(bad, in, out);
    EXPECT_FALSE(f.ok);
    EXPECT_EQ(f.message, "The codec \"bad\" (" + bad.Exename +
                             ") failed with exit code 3:\rcannot decode");

    const tcodecentry hang{"hang", ".mp3", script(dir, "hang.sh", "exec sleep 30\n"), "%i %o"};
    f = run_codec(hang, in, out, 300);
    EXPECT_FALSE(f.ok);
    EXPECT_NE(f.message.find("did not finish"), std::string::npos);

    const tcodecentry none{"none", ".mp3", dir.filePath("missing").toStdString(), "%i %o"};
    f = run_codec(none, in, out);
    EXPECT_FALSE(f.ok);
    EXPECT_NE(f.message.find("could not be started"), std::string::npos);

    const tcodecentry silent{"silent", ".mp3", script(dir, "silent.sh", "exit 0\n"), "%i %o"};
    f = run_codec(silent, in, dir.filePath("never.wav").toStdString());
    EXPECT_FALSE(f.ok);
    EXPECT_NE(f.message.find("wrote no file"), std::string::npos);
}

TEST(CodecsDialog, AddEditSaveAndCancel) {
    auto prompter_owner = std::make_unique<tessal::testing::tscriptedprompter>();
    auto* prompter = prompter_owner.get();
    TMainWindow w{prompter};
    w.first_activation({});
    tcodeclist& codecs = w.context().codecs;
    EXPECT_EQ(codecs.list, default_codecs());  // a fresh settings folder
    int saves = 0;
    codecs.saved = [&] { ++saves; };
    w.windows().show("codecs");
    auto* d = dynamic_cast<tcodecsdialog*>(w.windows().window("codecs"));
    ASSERT_NE(d, nullptr);
    d->addExecute();
    EXPECT_EQ(d->edited().back(), new_codec());
    auto* ext = d->findChild<QLineEdit*>("extensionedit");
    ext->setText("aiff");
    emit ext->textEdited("aiff");
    d->select(0);
    d->deleteExecute();
    d->saveExecute();
    EXPECT_EQ(saves, 1);
    ASSERT_EQ(codecs.list.size(), default_codecs().size());
    EXPECT_EQ(codecs.list.back().Extension, ".aiff");  // stored with its "."
    EXPECT_EQ(codecs.list.front(), default_codecs()[1]);

    w.windows().show("codecs");
    d->addExecute();
    d->reject();
    EXPECT_EQ(codecs.list.size(), default_codecs().size());
}

// Open and Add in the program: a FLAC file made by sox opens through the
// ready entries (flac when installed, else sox) with the samples sox put
// in; a codec that fails leaves the document as it was and says why.
TEST(CodecsOpen, FlacOpensThroughTheReadyEntriesAndAFailingCodecChangesNothing) {
    if (QStandardPaths::findExecutable("sox").isEmpty()) GTEST_SKIP() << "sox is not installed";
    auto prompter_owner = std::make_unique<tessal::testing::tscriptedprompter>();
    auto* prompter = prompter_owner.get();
    TMainWindow w{prompter};
    w.first_activation({});
    QTemporaryDir dir;
    const QString flac = dir.filePath("two tones.flac");
    // 1 s of a 16-bit stereo pair: 250 Hz at half scale, and silence.
    ASSERT_EQ(QProcess::execute("sox", {"-D", "-n", "-r", "8000", "-c", "2", "-b", "16", flac, "synth",
                                        "1", "sine", "250", "sine", "0", "vol", "0.5"}),
              0);
    tdocument& doc = w.document();
    ASSERT_TRUE(w.context().files.open_document(flac.toStdString()));
    EXPECT_TRUE(prompter->asked.empty()) << prompter->asked.front().text;
    ASSERT_EQ(doc.totnchans(), 2);
    EXPECT_EQ(doc.channel(0).name(), "two tones.flac Ch 0");
    EXPECT_EQ(doc.channel(0).sampfreq, 8000);
    ASSERT_EQ(doc.channel(0).sample_count(), 8000);
    double peak = 0;
    for (float v : doc.channel(0).samples_array()) peak = std::max(peak, std::abs(static_cast<double>(v)));
    EXPECT_NEAR(peak, 0.5, 0.01);
    // sox's sine starts at phase 0: sample 2 of 250 Hz at 8 kHz.
    EXPECT_NEAR(doc.channel(0).sample(2), 0.5 * std::sin(2 * M_PI * 250 * 2 / 8000.0), 2e-3);

    // Add through a codec that fails: the message names it, nothing changes.
    w.context().codecs.list = {{"broken", ".flac", script(dir, "broken.sh", "echo 'bad frame' >&2\nexit 2\n"),
                                "%i %o"}};
    EXPECT_FALSE(w.context().files.add_file(flac.toStdString()));
    EXPECT_EQ(doc.totnchans(), 2);
    ASSERT_FALSE(prompter->asked.empty());
    EXPECT_EQ(prompter->asked.back().caption, "Could not open file");
    EXPECT_NE(prompter->asked.back().text.find("bad frame"), std::string::npos);
}

namespace {

// Whether process `pid` still runs (a zombie waiting for its parent does not).
bool running(long pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const std::size_t paren = all.rfind(')');
    return paren != std::string::npos && paren + 2 < all.size() && all[paren + 2] != 'Z';
}

}  // namespace

// A codec that hangs is stopped with everything it started: a script whose
// decoder hangs leaves no decoder behind.
TEST(Codecs, AHangingCodecIsStoppedWithItsChildren) {
    QTemporaryDir dir;
    const std::string pidfile = dir.filePath("child.pid").toStdString();
    const tcodecentry hang{"hang", ".mp3",
                           script(dir, "hang.sh", "sleep 60 &\necho $! > '" + pidfile + "'\nwait\n"),
                           "%i %o"};
    const tcodecresult f = run_codec(hang, dir.filePath("a.mp3").toStdString(),
                                     dir.filePath("a.wav").toStdString(), 500);
    EXPECT_FALSE(f.ok);
    EXPECT_NE(f.message.find("did not finish"), std::string::npos);
    long child = 0;
    std::ifstream(pidfile) >> child;
    ASSERT_GT(child, 0);
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {  // the kill is delivered at once; its bookkeeping may lag
        gone = !running(child);
        if (!gone) QThread::msleep(20);
    }
    EXPECT_TRUE(gone) << "the codec's child " << child << " still runs";
    if (!gone) QProcess::execute("kill", {QString::number(child)});
}

