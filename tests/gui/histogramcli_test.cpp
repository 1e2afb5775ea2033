// The "Histograms/KDE" window and tessal-cli histogram give the same
// numbers: the same file, span, value range, bins, method and kernel give
// the window's bins value for value, and "Log stats" the same line the
// command prints with --stats; the window's exported figure and the
// command's --figure list the same statistics box.
#include <memory>
#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/document/documentfiles.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/plots/thistwindow.h"
#include "gui/widgets/tplotpanel.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

// tessal-cli with `args`, in a private home; its standard output.
QString run_cli(const QTemporaryDir& dir, const QStringList& args) {
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", dir.path());
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.insert("XDG_DATA_HOME", dir.filePath("data"));
    env.insert("XDG_RUNTIME_DIR", dir.filePath("run"));
    cli.setProcessEnvironment(env);
    cli.start(TESSAL_CLI, args);
    EXPECT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    return QString::fromUtf8(cli.readAllStandardOutput());
}

}  // namespace

TEST(HistogramCommand, GivesTheWindowsBinsAndStatsLine) {
    tscriptedmain m;
    TMainWindow& w = m.w;
    tdocument& doc = w.document();
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) {
        tchannel& ch = doc.channel(c);
        ch.set_name(c ? "press" : "flow");
        ch.format = tFormat::ieeefloat;
        ch.nbits = 32;
        sine_channel(ch, 8000, 16000, 0.3 + 0.3 * c, 97);
        ch.orgsampfreq = 8000;
    }
    doc.theglobal.channels_changed();
    doc.theglobal.set_selection(0.25, 1.75);
    QTemporaryDir dir;
    const std::string input = dir.filePath("h.tessal").toStdString();
    ASSERT_TRUE(w.files().save_file(input, 32, 0, 0, {}, tFormat::ieeefloat));

    auto* win = dynamic_cast<thistwindow*>(w.windows().window("histograms"));
    ASSERT_NE(win, nullptr);
    w.windows().show("histograms");
    settle();
    thiststate s = win->state();
    s.nbins = 300;
    s.method = tbinning::two_nearest;
    s.kernel = tkernel::triangle;
    s.winwidth = 7;
    win->set_state(s);
    win->update_bins();
    for (int i = 0; i < 12000 && win->computing(); ++i) QTest::qWait(5);
    QApplication::processEvents();
    ASSERT_FALSE(win->computing());
    ASSERT_NE(win->panel_of(1), nullptr);
    const std::vector<double> bins = win->bins_of(1);
    ASSERT_EQ(bins.size(), 300u);
    const TAxis& x = win->panel_of(1)->xaxis()->axis();
    const QStringList common = {"histogram", QString::fromStdString(input), "--channel", "1", "--from", "0.25",
                                "--to", "1.75", "--lo", QString::number(x.GetLoValue(), 'g', 17), "--hi",
                                QString::number(x.GetHiValue(), 'g', 17), "--bins", "300", "--method",
                                "two-nearest", "--kernel", "triangle", "--kernel-width", "7"};

    const QStringList lines = run_cli(dir, common).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 301);
    for (int i = 0; i < 300; ++i) {
        const QStringList cols = lines[i + 1].split('\t');
        ASSERT_EQ(cols.size(), 2);
        const double want = bins[static_cast<std::size_t>(i)];
        EXPECT_NEAR(cols[1].toDouble(), want, 1e-9 * std::abs(want) + 1e-15) << i;
    }

    win->logstatsExecute();
    const auto& log = w.context().measurements.datalog.lines();
    ASSERT_GE(log.size(), 2u);
    const QStringList stats = run_cli(dir, common + QStringList{"--stats"}).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(stats.size(), 2);
    // The window logs every ticked channel; the command the one it was given.
    EXPECT_TRUE(QString::fromStdString(log[log.size() - 2]).startsWith(stats[0]));
    EXPECT_NE(QString::fromStdString(log.back()).indexOf(stats[1]), -1)
        << log.back() << "\n" << stats[1].toStdString();

    // The window's exported figure and the command's list the same
    // statistics box, line for line.
    auto box_lines = [](const QString& path) {
        QFile f(path);
        QStringList lines;
        if (!f.open(QIODevice::ReadOnly)) return lines;
        static const QRegularExpression text("<text[^>]*>([^<]*)</text>");
        for (auto it = text.globalMatch(QString::fromUtf8(f.readAll())); it.hasNext();) {
            const QString t = it.next().captured(1).trimmed();
            if (t.contains('=') || t == "press") lines << t;
        }
        return lines;
    };
    QString error;
    ASSERT_TRUE(win->panel_of(1)->export_file(dir.filePath("window.svg"), QSize(800, 500), &error))
        << error.toStdString();
    run_cli(dir, common + QStringList{"--figure", dir.filePath("cli.svg")});
    const QStringList fromwindow = box_lines(dir.filePath("window.svg"));
    EXPECT_EQ(fromwindow.size(), 8) << fromwindow.join('|').toStdString();
    EXPECT_EQ(fromwindow, box_lines(dir.filePath("cli.svg")));
}
