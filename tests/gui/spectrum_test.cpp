// The plot base and the spectrum window. The plot keeps its layer while
// only the overlay changes, renders at any size and pixel ratio, and
// exports PNG and SVG files that read back (the SVG through QSvgRenderer)
// with the curve and the axis labels in them. The spectrum window shows
// what the engine computes, logs exactly the engine's lines, snaps and
// locks its cursor with the status texts, turns the red/blue marks on,
// abandons a long LTAS when the selection moves, makes labels, edits bands
// with the exact question, and keeps its settings in a file.
#include <memory>
#include <mutex>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QStatusBar>
#include <QFile>
#include <QLabel>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <numbers>

#include <sys/resource.h>

#include "engine/jobs/jobrunner.h"
#include "gui/correlation/tcorrelationwindow.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/spectrum/tspectrumwindow.h"
#include "gui/widgets/taxislimitform.h"
#include "gui/widgets/tplotpanel.h"
#include "support/scriptedprompter.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

// Counts pixels of a colour (approximately) inside a rectangle.
int count_pixels(const QImage& img, const QRect& r, auto pred) {
    int n = 0;
    for (int y = std::max(0, r.top()); y <= std::min(img.height() - 1, r.bottom()); ++y)
        for (int x = std::max(0, r.left()); x <= std::min(img.width() - 1, r.right()); ++x)
            if (pred(img.pixelColor(x, y))) ++n;
    return n;
}
bool dark(const QColor& c) { return c.red() < 100 && c.green() < 100 && c.blue() < 100; }
bool reddish(const QColor& c) { return c.red() > 180 && c.green() < 90 && c.blue() < 90; }

// A sine channel (and a second, louder one) at 16 kHz.
void sine_channels(tdocument& doc, double seconds = 2.0, double fs = 16000) {
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = fs;
        ch.filename = c ? "/data/b.wav" : "/data/a.wav";
        ch.set_name(c ? "b" : "a");
        tsinglearr x(static_cast<std::size_t>(seconds * fs));
        for (std::size_t i = 0; i < x.size(); ++i)
            x[i] = static_cast<float>((0.25 + 0.25 * c) * std::sin(2 * std::numbers::pi * 1000 * i / fs) +
                                      0.001 * std::sin(2 * std::numbers::pi * 3100 * i / fs));
        ch.set_samples(std::move(x));
        ch.set_fsd(1);
    }
    doc.theglobal.channels_changed();
}

struct tspectrumfixture : twindowfixture<tspectrumwindow> {
    tspectrumfixture() {
        sine_channels(w.document());
        open("spectrum");
        // A short LTAS is computed at once however slow the machine is just
        // now (the default budget is a few milliseconds, which a loaded
        // machine or a sanitizer build spends before one channel is done);
        // ShortLtasPastTheBudgetGoesToTheJobLine sets its own budgets.
        win->set_immediate_budget(1e6);
    }
    tdatalog& log() { return w.context().measurements.datalog; }
};

}  // namespace

TEST(PlotPanel, LayerIsCachedOverlayIsNotAndExportsReadBack) {
    TPlotPanel panel;
    int layers = 0, overlays = 0;
    panel.yaxis()->axis().set_hilovalues(20, -80);
    panel.yaxis()->axis().SetAxisText("[dB]");
    panel.xaxis()->axis().set_hilovalues(1000, 0);
    panel.xaxis()->axis().SetAxisText("[Hz]");
    panel.paint_layer = [&](QPainter& p, const QSize& s) {
        ++layers;
        p.setPen(QPen(Qt::black, 2));
        p.drawLine(0, s.height() / 2, s.width(), s.height() / 2);
    };
    panel.paint_overlay = [&](QPainter& p, const QSize& s) {
        ++overlays;
        p.setPen(Qt::red);
        p.drawLine(s.width() / 3, 0, s.width() / 3, s.height());
    };
    panel.resize(400, 300);
    panel.show();
    settle();
    panel.canvas()->repaint();
    const int built = panel.layer_builds();
    EXPECT_GE(built, 1);
    // Cursor moves: overlay only.
    for (int i = 0; i < 5; ++i) {
        panel.update_overlay();
        panel.canvas()->repaint();
    }
    EXPECT_EQ(panel.layer_builds(), built);
    EXPECT_GT(overlays, 5);
    panel.mark_dirty();
    panel.canvas()->repaint();
    EXPECT_EQ(panel.layer_builds(), built + 1);

    // Any size and pixel ratio: the axes are laid out for the picture.
    const QImage img = panel.render_image(QSize(800, 500), 2.0);
    EXPECT_EQ(img.size(), QSize(1600, 1000));
    const QImage one = panel.render_image(QSize(800, 500));
    const int yw = panel.yaxis()->width();
    // The curve at half the plot height, the cursor at a third of its width.
    const int plotw = 800 - yw, ploth = 500 - panel.xaxis()->height();
    EXPECT_GT(count_pixels(one, QRect(yw, ploth / 2 - 1, plotw, 3), dark), plotw / 2);
    EXPECT_GT(count_pixels(one, QRect(yw + plotw / 3 - 1, 0, 3, ploth), reddish), ploth / 2);
    // Labels of the axes are there (dark pixels left of and under the plot).
    EXPECT_GT(count_pixels(one, QRect(0, 0, yw - 6, ploth), dark), 20);
    EXPECT_GT(count_pixels(one, QRect(yw, ploth + 6, plotw, 20), dark), 20);
    // The live panel's axes were put back.
    EXPECT_EQ(panel.xaxis()->axis().GetWidth(), panel.xaxis()->width());

    QTemporaryDir dir;
    const QString png = dir.filePath("plot.png"), svg = dir.filePath("plot.svg");
    QString error;
    ASSERT_TRUE(panel.export_file(png, QSize(1200, 700), &error)) << error.toStdString();
    QImage back(png);
    EXPECT_EQ(back.size(), QSize(1200, 700));
    ASSERT_TRUE(panel.export_file(svg, QSize(900, 600), &error)) << error.toStdString();
    QSvgRenderer renderer(svg);
    ASSERT_TRUE(renderer.isValid());
    EXPECT_EQ(renderer.viewBox(), QRect(0, 0, 900, 600));
    QImage drawn(900, 600, QImage::Format_RGB32);
    drawn.fill(Qt::white);
    {
        QPainter p(&drawn);
        renderer.render(&p);
    }
    // The figure's plot area lies where its layout says (title above,
    // axes left and under).
    const QRect pr = layout_figure(panel.figure(), QSize(900, 600)).plot;
    EXPECT_GT(count_pixels(drawn, QRect(pr.left(), pr.top() + pr.height() / 2 - 1, pr.width(), 3), dark),
              pr.width() / 2);
    EXPECT_GT(count_pixels(drawn, QRect(0, pr.top(), pr.left() - 6, pr.height()), dark), 20);
    QFile f(svg);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.contains("[Hz]")) << "axis text kept as text";
    // Refusals leave no file.
    EXPECT_FALSE(panel.export_file(dir.filePath("plot.bmp"), QSize(400, 300), &error));
    EXPECT_EQ(error, "A figure is written as .png, .svg or .pdf");
    EXPECT_FALSE(panel.export_file(dir.filePath("tiny.png"), QSize(10, 300), &error));
    EXPECT_FALSE(QFile::exists(dir.filePath("plot.bmp")));
    EXPECT_FALSE(QFile::exists(dir.filePath("tiny.png")));

    // A full disk (the file-size limit of the system, SIGXFSZ ignored) keeps
    // the picture that was there and leaves no other file.
    {
        QFile old(png);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly | QIODevice::Truncate));
        old.write("old picture");
    }
    const QStringList before = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
    rlimit lim{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &lim), 0);
    const rlimit saved = lim;
    auto handler = std::signal(SIGXFSZ, SIG_IGN);
    lim.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lim), 0);
    const bool pngok = panel.export_file(png, QSize(1200, 700), &error);
    const QString pngerror = error;
    const bool svgok = panel.export_file(svg, QSize(2000, 2000), &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(pngok);
    EXPECT_TRUE(pngerror.contains("File too large")) << pngerror.toStdString();
    EXPECT_FALSE(svgok);
    {
        QFile old(png);
        ASSERT_TRUE(old.open(QIODevice::ReadOnly));
        EXPECT_EQ(old.readAll(), QByteArray("old picture"));
    }
    EXPECT_TRUE(QSvgRenderer(svg).isValid());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files, QDir::Name), before);
}

TEST(PlotPanel, ChannelLockCheckListAndStatusPanels) {
    tdocument doc;
    sine_channels(doc);
    TChannelLock lock;
    doc.set_thischanno(1);
    EXPECT_EQ(lock.channel(doc), 1);
    lock.set_locked(true, doc);
    doc.set_thischanno(0);
    EXPECT_EQ(lock.channel(doc), 1);  // stays where it was locked
    doc.set_totnchans(1);
    EXPECT_EQ(lock.channel(doc), 0);  // that channel is gone
    lock.set_locked(false, doc);
    doc.set_totnchans(0);
    EXPECT_EQ(lock.channel(doc), -1);

    sine_channels(doc);
    TChannelCheckList list;
    std::vector<std::pair<int, bool>> heard;
    QObject::connect(&list, &TChannelCheckList::checks_changed,
                     [&](int c, bool on) { heard.emplace_back(c, on); });
    list.rebuild(doc, [](int i) { return i == 1; });
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.item(0)->text(), "0: a");
    EXPECT_FALSE(list.is_checked(0));
    EXPECT_TRUE(list.is_checked(1));
    EXPECT_TRUE(heard.empty());  // rebuilding tells nobody
    list.set_checked(0, true);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0], std::make_pair(0, true));

    TStatusPanels status({160, 160, 50});
    status.set_text(1, "L=-3.00 dB");
    status.set_text(7, "nowhere");
    EXPECT_EQ(status.text(1), "L=-3.00 dB");
    EXPECT_EQ(status.text(7), "");
}

TEST(SpectrumWindow, ShowsAndLogsWhatTheEngineComputes) {
    tspectrumfixture f;
    ASSERT_NE(f.win, nullptr);
    tdocument& doc = f.doc();
    // Nothing ticked: the current channel is shown.
    EXPECT_TRUE(doc.channel(0).showspectrum);
    doc.theglobal.set_timecursor(1.0);
    const tspectrum* s = f.win->spectrum_of(0);
    ASSERT_NE(s, nullptr);
    tspectrumworkspace ws;
    tspectrum direct;
    ws.frame(sample_view(doc.channel(0)), tspectrumsettings{}, 1.0, direct);
    EXPECT_EQ(s->mag, direct.mag);
    // Log spectrum: the engine's heading and lines, one per bin.
    f.log().clear();
    f.win->logspectrumactionExecute();
    const tspectrumlog expect = spectrum_log(direct, 0, doc.prefs);
    ASSERT_EQ(f.log().lines().size(), expect.lines.size() + 1);
    EXPECT_EQ(f.log().lines()[0], expect.heading);
    EXPECT_EQ(f.log().lines()[1], expect.lines[0]);
    EXPECT_EQ(f.log().lines().back(), expect.lines.back());
    EXPECT_TRUE(f.w.windows().window("datalog")->isVisible());

    // The window length read-out follows window and bandwidth; a bandwidth
    // that does not parse keeps the old one.
    auto* bw = f.win->findChild<QLineEdit*>("bandwidthedit");
    ASSERT_NE(bw, nullptr);
    const QString readout = [&] {
        for (QLabel* l : f.win->findChildren<QLabel*>())
            if (l->text().startsWith("Window length: ")) return l->text();
        return QString();
    }();
    EXPECT_EQ(readout, "Window length: 80 ms");
    // Every window at 40 Hz: factor / 40 Hz (25, 50, 50, 50 and 100 ms).
    tspectrumstate st = f.win->state();
    const char* lengths[] = {"25", "50", "50", "50", "100"};
    for (int i = 0; i < 5; ++i) {
        st.fft.fftwin = static_cast<TFFTWindow>(i);
        st.fft.bw = 40;
        f.win->set_state(st);
        bool found = false;
        for (QLabel* l : f.win->findChildren<QLabel*>())
            found = found || l->text() == QString("Window length: %1 ms").arg(lengths[i]);
        EXPECT_TRUE(found) << lengths[i];
    }
    st.fft.bw = 50;
    f.win->set_state(st);
    bw->setText("fifty");
    emit bw->editingFinished();
    EXPECT_EQ(f.win->state().fft.bw, 50);
    EXPECT_EQ(bw->text(), "50");
}

TEST(SpectrumWindow, CursorSnapsLocksAndLogs) {
    tspectrumfixture f;
    tdocument& doc = f.doc();
    doc.theglobal.set_timecursor(1.0);
    f.win->plot()->canvas()->repaint();
    tspectrumstate st = f.win->state();
    st.fsnapmode = 2;  // peaks
    f.win->set_state(st);
    TAxis& fa = f.win->plot()->xaxis()->axis();
    f.win->cursor_at(fa.value_to_pixel(1030), 10);
    EXPECT_NEAR(doc.theglobal.freqcursor(), 1000, 1.0);
    // 0.25 amplitude: RMS -15.05 dB, Blackman mean -7.54 dB.
    EXPECT_NEAR(f.win->level_cursor(), -15.05 - 7.54, 0.1);
    EXPECT_TRUE(f.win->status()->text(0).startsWith("f=1000 Hz (B5 "));
    EXPECT_EQ(f.win->status()->text(1), QString("L=%1 dB").arg(f.win->level_cursor(), 0, 'f', 2));
    EXPECT_EQ(f.win->status()->text(2), "Snap to peaks of channel 0");
    // The snap channel follows the current channel unless locked.
    doc.set_thischanno(1);
    f.win->cursor_at(fa.value_to_pixel(1030), 10);
    EXPECT_NEAR(f.win->level_cursor(), -9.03 - 7.54, 0.1);
    EXPECT_EQ(f.win->status()->text(2), "Snap to peaks of channel 1");
    f.win->action("locksnapaction")->trigger();
    doc.set_thischanno(0);
    f.win->cursor_at(fa.value_to_pixel(1030), 10);
    EXPECT_EQ(f.win->snap_channel(), 1);
    EXPECT_EQ(f.win->status()->text(2), "Snap locked to peaks of channel 1");
    EXPECT_EQ(f.win->action("locksnapaction")->toolTip(), "Locked snapping to channel 1");
    // Relative to FSD (2): the curve drops 6.02 dB without recomputing.
    doc.channel(1).set_fsd(2);
    st = f.win->state();
    st.relative = 1;
    st.locksnap = true;
    f.win->set_state(st);
    f.win->cursor_at(fa.value_to_pixel(1030), 10);
    EXPECT_NEAR(f.win->level_cursor(), -9.03 - 7.54 - 6.02, 0.1);

    f.log().clear();
    ASSERT_TRUE(f.win->action("logcursoraction")->isEnabled());
    f.win->logcursoractionExecute();
    ASSERT_EQ(f.log().lines().size(), 2u);
    EXPECT_EQ(f.log().lines()[0], "t [s]\tf [Hz]\tNote\tLevel [dB]");
    EXPECT_TRUE(f.log().lines()[1].starts_with("1.000\t1000\tB5 "));
}

TEST(SpectrumWindow, LtasModesMarksLabelsAndMeasurements) {
    tspectrumfixture f;
    tdocument& doc = f.doc();
    doc.channel(1).showspectrum = true;
    doc.theglobal.set_selection(0.5, 1.5);
    tspectrumstate st = f.win->state();
    st.fltasmode = 2;
    f.win->set_state(st);
    EXPECT_TRUE(f.w.context().view.showcursors[1]);
    EXPECT_TRUE(f.w.context().view.showcursors[2]);
    st.fltasmode = 1;
    st.showfcp = true;
    st.showbands = true;
    f.win->set_state(st);
    f.win->wait_for_ltas();
    const tspectrum* s = f.win->spectrum_of(0);
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->ltas);
    EXPECT_EQ(s->t1, 0.5);
    EXPECT_EQ(s->t2, 1.5);
    ASSERT_TRUE(f.win->action("logmeasaction")->isEnabled());
    f.log().clear();
    f.win->logmeasactionExecute();
    ASSERT_EQ(f.log().lines().size(), 2u);
    std::vector<tspectrummeas> m(2);
    for (int c = 0; c < 2; ++c) {
        m[c].chno = c;
        m[c].filename = doc.channel(c).filename;
        const tspectrum* sc = f.win->spectrum_of(c);
        m[c].trend = compute_fcp(*sc, st.fcp);
        m[c].bands = st.freqbands;
        for (const tfreqband& b : st.freqbands) m[c].banddata.push_back(band_level(*sc, b.lo, b.hi));
    }
    const tspectrumlog expect = measurement_log(m, true, true, 0.5, 1.5, doc.prefs);
    EXPECT_EQ(f.log().lines()[0], expect.heading);
    EXPECT_EQ(f.log().lines()[1], expect.lines[0]);
    EXPECT_NE(expect.heading.find("FCP [dB]"), std::string::npos);
    // Make label: one "Spectrum" label per ticked channel over the selection.
    f.win->makelabelExecute();
    for (int c = 0; c < 2; ++c) {
        ASSERT_EQ(doc.channel(c).labels.size(), 1u);
        const tsiglabel& l = doc.channel(c).labels[0];
        EXPECT_EQ(l.text, "Spectrum");
        EXPECT_EQ(l.labeltype, "spectrum");
        EXPECT_EQ(l.time, 0.5);
        EXPECT_EQ(l.duration, 1.0);
        ASSERT_GE(l.entities.no.size(), 4u);
        EXPECT_EQ(l.entities.no[0].entityname, "FCP");
        EXPECT_EQ(l.entities.no[3].entityname, "0-2000 Hz");
    }
}

TEST(SpectrumWindow, LongLtasRunsAsideAndIsAbandonedWhenTheSelectionMoves) {
    tspectrumfixture f;
    tdocument& doc = f.doc();
    sine_channels(doc, 600, 8000);  // ten minutes: tens of thousands of frames
    doc.theglobal.set_selection(0, 600);
    tspectrumstate st = f.win->state();
    st.fltasmode = 1;
    f.win->set_state(st);
    f.win->plot()->canvas()->repaint();  // asks for the LTAS: a worker starts
    EXPECT_EQ(f.win->spectrum_of(0), nullptr);
    doc.theglobal.set_selection(100, 400);
    f.win->plot()->canvas()->repaint();  // the first run is cancelled
    f.win->wait_for_ltas();
    const tspectrum* s = f.win->spectrum_of(0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->t1, 100);
    EXPECT_EQ(s->t2, 400);
    // The worker read a copy; the result equals the same LTAS on this thread.
    tspectrumworkspace ws;
    tspectrum direct;
    ws.ltas(sample_view(doc.channel(0)), st.fft, 100, 400, direct);
    EXPECT_EQ(s->mag, direct.mag);
    // The abandoned span was never stored.
    doc.theglobal.set_selection(0, 600);
    EXPECT_EQ(f.win->spectrum_of(0), nullptr);
    // Left to the event loop (samples copied a chunk per turn, the result
    // handed back), the whole span arrives while the window keeps painting.
    f.win->plot()->canvas()->repaint();
    QElapsedTimer clock;
    clock.start();
    int paints = 0;
    while (!f.win->spectrum_of(0) && clock.elapsed() < 60000) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        f.win->plot()->canvas()->repaint();
        ++paints;
    }
    const tspectrum* whole = f.win->spectrum_of(0);
    ASSERT_NE(whole, nullptr);
    EXPECT_GT(paints, 3);
    ws.ltas(sample_view(doc.channel(0)), st.fft, 0, 600, direct);
    EXPECT_EQ(whole->mag, direct.mag);
}

TEST(SpectrumWindow, BandsAskAndSettingsPersist) {
    tspectrumfixture f;
    f.win->add_band(8000, 9000);
    ASSERT_EQ(f.win->state().freqbands.size(), 4u);
    EXPECT_TRUE(f.win->state().freqbands.back().checked);
    f.prompter->answers.push_back(tanswer::no);
    f.win->remove_band(1);
    ASSERT_EQ(f.prompter->asked.size(), 1u);
    EXPECT_EQ(f.prompter->asked[0].text, "Do you want to delete band 2000 - 5000 Hz");
    EXPECT_EQ(f.prompter->asked[0].caption, "Delete frequency band");
    EXPECT_EQ(f.win->state().freqbands.size(), 4u);
    f.prompter->answers.push_back(tanswer::yes);
    f.win->remove_band(1);
    ASSERT_EQ(f.win->state().freqbands.size(), 3u);
    EXPECT_EQ(f.win->state().freqbands[1].lo, 5000);

    tspectrumstate st = f.win->state();
    st.fft.bw = 125;
    st.fft.fftwin = TFFTWindow::Hanning;
    st.relative = 2;
    st.freqaxis = 0;
    st.fltasmode = 1;
    st.fsnapmode = 1;
    st.showgrid = false;
    st.showfcp = true;
    st.showlpc = true;
    st.fcp.lofcpf = 2500;
    st.freqbands[0].checked = false;
    f.win->set_state(st);
    QTemporaryDir dir;
    const QString path = dir.filePath("spectrumwindow.ini");
    f.win->save_settings_to(path);

    tspectrumfixture g;
    g.win->load_settings_from(path);
    const tspectrumstate& r = g.win->state();
    EXPECT_EQ(r.fft, st.fft);
    EXPECT_EQ(r.relative, 2);
    EXPECT_EQ(r.freqaxis, 0);
    EXPECT_EQ(r.fltasmode, 1);
    EXPECT_EQ(r.fsnapmode, 1);
    EXPECT_FALSE(r.showgrid);
    EXPECT_TRUE(r.showfcp);
    EXPECT_TRUE(r.showlpc);
    EXPECT_TRUE(g.win->action("lpcenvelopeaction")->isChecked());
    EXPECT_EQ(r.fcp.lofcpf, 2500);
    EXPECT_EQ(r.freqbands, st.freqbands);
    EXPECT_FALSE(g.win->plot()->xaxis()->axis().GetLogarithmic());
    EXPECT_TRUE(g.win->action("snaptocurveaction")->isChecked());
    // A missing file changes nothing.
    g.win->load_settings_from(dir.filePath("none.ini"));
    EXPECT_EQ(g.win->state().fft.bw, 125);
}

TEST(SpectrumWindow, ExportedSvgDrawsTheCurveAndTheAxes) {
    tspectrumfixture f;
    f.doc().theglobal.set_timecursor(1.0);
    f.doc().theglobal.set_freqcursor(1000);
    tspectrumstate st = f.win->state();
    st.showgrid = false;  // any ink in the plot is the curve's
    f.win->set_state(st);
    QTemporaryDir dir;
    const QString svg = dir.filePath("spectrum.svg");
    QString error;
    ASSERT_TRUE(f.win->plot()->export_file(svg, QSize(1000, 600), &error)) << error.toStdString();
    QSvgRenderer renderer(svg);
    ASSERT_TRUE(renderer.isValid());
    QImage drawn(1000, 600, QImage::Format_RGB32);
    drawn.fill(Qt::white);
    {
        QPainter p(&drawn);
        renderer.render(&p);
    }
    if (const char* keep = std::getenv("TESSAL_KEEP_EXPORT")) drawn.save(keep);
    // The peak of the 1 kHz line (-22.6 dB) lies on the curve drawn in the
    // channel's colour (black), and the red frequency cursor runs through it.
    TPlotPanel* plot = f.win->plot();
    const QRect pr = layout_figure(plot->figure(), QSize(1000, 600)).plot;
    const int yw = pr.left(), ph = pr.height();
    TAxis& fa = plot->xaxis()->axis();
    TAxis& la = plot->yaxis()->axis();
    const int oldw = fa.GetWidth(), oldh = la.GetHeight();
    fa.SetWidth(pr.width());
    la.SetHeight(ph);
    const int px = yw + fa.value_to_pixel(1000), py = pr.top() + la.value_to_pixel(-22.6);
    fa.SetWidth(oldw);
    la.SetHeight(oldh);
    auto ink = [](const QColor& c) { return std::abs(c.red() - c.green()) < 30 && c.red() < 200; };
    EXPECT_GT(count_pixels(drawn, QRect(px - 5, py + 2, 11, 12), ink), 2);
    // (A renderer that smooths lines spreads the 1-pixel cursor over two.)
    auto pink = [](const QColor& c) { return c.red() > 180 && c.red() - c.green() > 60; };
    EXPECT_GT(count_pixels(drawn, QRect(px - 2, pr.top(), 5, ph), pink), ph / 2);
    EXPECT_GT(count_pixels(drawn, QRect(0, pr.top(), yw - 6, ph), dark), 20);  // level labels
    EXPECT_GT(count_pixels(drawn, QRect(yw, pr.bottom() + 6, pr.width(), 20), dark), 20);  // frequency labels
}

namespace {

// Pure red pixels in column x of an image.
int red_in_column(const QImage& img, int x) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y) n += img.pixelColor(x, y) == QColor(255, 0, 0);
    return n;
}

}  // namespace

TEST(SpectrumWindow, AxisLimitsDialogReachesTheLogarithmicFrequencyAxis) {
    tspectrumfixture f;
    // From "Linear", the frequency axis's own dialog turns it logarithmic;
    // "Frequency axis" follows, and the curve is drawn again.
    for (QRadioButton* b : f.win->findChildren<QRadioButton*>())
        if (b->text() == "Linear") b->click();
    TAxis& fa = f.win->plot()->xaxis()->axis();
    ASSERT_FALSE(fa.GetLogarithmic());
    const int builds = f.win->plot()->layer_builds();
    EXPECT_TRUE(set_limits_by_dialog(f.win->plot()->xaxis(), "50", "5000", true)) << "no limits dialog";
    EXPECT_TRUE(fa.GetLogarithmic());
    EXPECT_DOUBLE_EQ(fa.GetLoValue(), 50);
    EXPECT_DOUBLE_EQ(fa.GetHiValue(), 5000);
    EXPECT_EQ(f.win->state().freqaxis, 1);
    for (QRadioButton* b : f.win->findChildren<QRadioButton*>())
        if (b->text() == "Logarithmic") {
            EXPECT_TRUE(b->isChecked());
        }
    f.win->plot()->grab();
    EXPECT_GT(f.win->plot()->layer_builds(), builds);
    // and back to linear.
    EXPECT_TRUE(set_limits_by_dialog(f.win->plot()->xaxis(), "0", "8000", false)) << "no limits dialog";
    EXPECT_FALSE(fa.GetLogarithmic());
    EXPECT_EQ(f.win->state().freqaxis, 0);
    // The level axis has its dialog too.
    EXPECT_TRUE(set_limits_by_dialog(f.win->plot()->yaxis(), "-60", "10", false)) << "no limits dialog";
    EXPECT_DOUBLE_EQ(f.win->plot()->yaxis()->axis().GetLoValue(), -60);
    EXPECT_DOUBLE_EQ(f.win->plot()->yaxis()->axis().GetHiValue(), 10);
}

TEST(AnalysisWindows, EscHidesTheCrosshairsOfSpectrumAndCorrelation) {
    tspectrumfixture f;
    auto* corr = dynamic_cast<tcorrelationwindow*>(f.w.windows().window("correlation"));
    ASSERT_NE(corr, nullptr);
    f.w.windows().show("correlation");
    settle();
    // A click in the spectrum at 200 Hz: its crosshair, and the correlation
    // window's at the period, 5 ms.
    TAxis& fa = f.win->plot()->xaxis()->axis();
    QWidget* sc = f.win->plot()->canvas();
    const int xs = fa.value_to_pixel(200);
    QTest::mouseClick(sc, Qt::LeftButton, {}, QPoint(xs, sc->height() / 2));
    settle();
    const double fc = f.doc().theglobal.freqcursor();
    ASSERT_NEAR(fc, 200, 20);
    const int xsc = fa.value_to_pixel(fc);
    const int xc = corr->plot()->xaxis()->axis().value_to_pixel(1000 / fc);
    QWidget* cc = corr->plot()->canvas();
    auto tenths = [](QWidget* c, int x) {
        const QImage img = c->grab().toImage();
        return red_in_column(img, x) * 10 / img.height();
    };
    EXPECT_GE(tenths(sc, xsc), 9);
    EXPECT_GE(tenths(cc, xc), 9);
    // Esc in the main window: "Hide crosshairs".
    f.w.show();
    f.w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f.w));
    QTest::keyClick(&f.w, Qt::Key_Escape);
    settle();
    EXPECT_LE(tenths(sc, xsc), 1);
    EXPECT_LE(tenths(cc, xc), 1);
    // A click shows them again.
    QTest::mouseClick(sc, Qt::LeftButton, {}, QPoint(xs, sc->height() / 2));
    settle();
    EXPECT_GE(tenths(sc, xsc), 9);
}

namespace {

// Clicks "Cancel" on the progress dialog over `win` as soon as it shows;
// whether it did.
struct tcancelclicker {
    bool clicked = false;
    QTimer timer;
    explicit tcancelclicker(QWidget* win) {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this, win] {
            auto* d = win->findChild<QProgressDialog*>();
            if (!d || !d->isVisible()) return;
            for (QPushButton* b : d->findChildren<QPushButton*>())
                if (b->text() == "Cancel") {
                    timer.stop();
                    clicked = true;
                    QTest::mouseClick(b, Qt::LeftButton);
                    return;
                }
        });
        timer.start();
    }
};

// Every worker of the program's job pool kept waiting until release(): a
// job started meanwhile stays queued and unfinished for as long as a test
// needs to watch it, however fast or slow the machine is.
class tpoolhold {
public:
    tpoolhold() {
        tjobrunner& pool = tjobrunner::shared();
        const unsigned n = pool.threads();
        for (unsigned i = 0; i < n; ++i)
            pool.post([s = s_] {
                std::unique_lock lock(s->m);
                ++s->waiting;
                s->cv.notify_all();
                s->cv.wait(lock, [&] { return s->released; });
            });
        std::unique_lock lock(s_->m);
        s_->cv.wait(lock, [&] { return s_->waiting == n; });
    }
    ~tpoolhold() { release(); }
    tpoolhold(const tpoolhold&) = delete;
    tpoolhold& operator=(const tpoolhold&) = delete;
    void release() {
        {
            std::lock_guard lock(s_->m);
            s_->released = true;
        }
        s_->cv.notify_all();
    }

private:
    struct tstate {
        std::mutex m;
        std::condition_variable cv;
        unsigned waiting = 0;
        bool released = false;
    };
    std::shared_ptr<tstate> s_ = std::make_shared<tstate>();
};

// Runs the event loop until `done(ticks)` holds (or a minute passes),
// counting the ticks of a 10 ms timer meanwhile.
template <class F>
int ticks_until(F done) {
    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start();
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done(ticks)) loop.quit();
    });
    poll.start();
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    return ticks;
}

}  // namespace

// A long LTAS runs off the window's thread: the event loop keeps turning,
// the status shows how far it got, the plot keeps the last LTAS it drew, and
// a newer request's numbers are the ones shown, whichever finishes first.
TEST(SpectrumWindow, NewerLtasRequestWinsAndTheEventLoopKeepsRunning) {
    tspectrumfixture f;
    tdocument& doc = f.doc();
    sine_channels(doc, 900, 24000);  // long enough to outlast the first looks
    doc.theglobal.set_selection(1, 2);  // short: computed at once
    tspectrumstate st = f.win->state();
    st.fltasmode = 1;
    f.win->set_state(st);
    f.win->plot()->canvas()->repaint();
    const tspectrum* first = f.win->spectrum_of(0);
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(f.win->ltas_busy());
    const std::vector<double> firstmag = first->mag;

    // The whole signal: long, on the job line.
    doc.theglobal.set_selection(0, 900);
    f.win->plot()->canvas()->repaint();
    ASSERT_TRUE(f.win->ltas_busy());
    EXPECT_EQ(f.win->spectrum_of(0), nullptr);
    // Meanwhile the plot draws the last LTAS it had.
    const tspectrum* shown = f.win->shown_spectrum(0);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->mag, firstmag);
    // Superseded by a request that is computed at once: the long one is
    // never taken, though it may still be running.
    doc.theglobal.set_selection(3, 4);
    f.win->plot()->canvas()->repaint();
    EXPECT_FALSE(f.win->ltas_busy());
    ASSERT_NE(f.win->spectrum_of(0), nullptr);
    EXPECT_EQ(f.win->spectrum_of(0)->t1, 3);
    for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 20);
    doc.theglobal.set_selection(0, 900);
    EXPECT_EQ(f.win->spectrum_of(0), nullptr);

    // Two long requests: the older superseded by the newer. The pool's
    // workers are held meanwhile, so the run cannot end before the window's
    // thread has turned and its progress timer has shown how far it got
    // (unheld, a fast machine computes it within one look of the timer).
    tpoolhold hold;
    f.win->plot()->canvas()->repaint();
    ASSERT_TRUE(f.win->ltas_busy());
    doc.theglobal.set_selection(100, 800);
    f.win->plot()->canvas()->repaint();
    ASSERT_TRUE(f.win->ltas_busy());
    bool sawprogress = false;
    const int ticks = ticks_until([&](int n) {
        if (f.w.statusBar()->currentMessage().contains(" %")) sawprogress = true;
        return sawprogress && n > 5;
    });
    EXPECT_TRUE(f.win->ltas_busy());
    EXPECT_GT(ticks, 5);  // the window's thread kept turning
    EXPECT_TRUE(sawprogress);
    hold.release();
    ticks_until([&](int) { return !f.win->ltas_busy(); });
    ASSERT_FALSE(f.win->ltas_busy());
    const tspectrum* s = f.win->spectrum_of(0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->t1, 100);
    EXPECT_EQ(s->t2, 800);
    tspectrumworkspace ws;
    tspectrum direct;
    ws.ltas(sample_view(doc.channel(0)), st.fft, 100, 800, direct);
    EXPECT_EQ(s->mag, direct.mag);
    doc.theglobal.set_selection(0, 900);
    EXPECT_EQ(f.win->spectrum_of(0), nullptr);  // the superseded span never arrived
}

// "Log spectrum", "Log meas." and "Make label" wait for a long LTAS with a
// progress dialog; "Cancel" there logs nothing, makes no label and leaves
// the window as it was.
TEST(SpectrumWindow, CommandsWaitForTheLtasAndCancelLeavesEverythingAsItWas) {
    tspectrumfixture f;
    tdocument& doc = f.doc();
    sine_channels(doc, 1200, 24000);  // long enough for the dialog to show
    doc.channel(1).showspectrum = true;
    tspectrumstate st = f.win->state();
    st.fltasmode = 1;
    st.showfcp = true;
    st.showbands = true;
    f.win->set_state(st);
    settle();
    doc.theglobal.set_selection(0, 1200);
    f.log().clear();
    const auto state_before = f.win->state().fft;
    // The pool's workers are held, so the LTAS is still to come when the
    // dialog shows, however fast the machine.
    auto hold = std::make_unique<tpoolhold>();
    for (int command = 0; command < 3; ++command) {
        tcancelclicker cancel(f.win);
        if (command == 0) f.win->logspectrumactionExecute();
        if (command == 1) f.win->logmeasactionExecute();
        if (command == 2) f.win->makelabelExecute();
        ASSERT_TRUE(cancel.clicked) << command;
        EXPECT_TRUE(f.log().lines().empty()) << command;
        for (int c = 0; c < 2; ++c) EXPECT_TRUE(doc.channel(c).labels.empty()) << command;
        EXPECT_EQ(f.win->spectrum_of(0), nullptr);
        EXPECT_TRUE(f.win->state().fft == state_before);
        EXPECT_EQ(doc.theglobal.leftselcursor(), 0);
        EXPECT_EQ(doc.theglobal.rightselcursor(), 1200);
    }
    hold.reset();
    // Not cancelled, the command waits (the event loop running) and logs
    // the engine's LTAS.
    doc.theglobal.set_selection(0, 600);
    f.win->logspectrumactionExecute();
    ASSERT_GT(f.log().lines().size(), 1u);
    tspectrumworkspace ws;
    tspectrum direct;
    ws.ltas(sample_view(doc.channel(doc.thischanno())), st.fft, 0, 600, direct);
    const tchannel& cur = doc.channel(doc.thischanno());
    const tspectrumlog expect = spectrum_log(direct, level_reference(st.relative, cur.fsd(), cur.dbreference), doc.prefs);
    EXPECT_EQ(f.log().lines()[0], expect.heading);
    EXPECT_EQ(f.log().lines()[1], expect.lines[0]);
    EXPECT_EQ(f.log().lines().back(), expect.lines.back());
}

// The bandwidth field takes 1 to 2000 Hz; typed past that it keeps the old
// value and says what it takes.
TEST(SpectrumWindow, BandwidthFieldRefusesWhatItCannotShow) {
    tspectrumfixture f;
    auto* bw = f.win->findChild<QLineEdit*>("bandwidthedit");
    ASSERT_NE(bw, nullptr);
    auto type = [&](const QString& text) {
        type_into(bw, text);
        settle();
    };
    for (const char* wrong : {"1e308", "0.01", "-5", "2000.5"}) {
        type(wrong);
        EXPECT_EQ(f.win->state().fft.bw, 50) << wrong;
        EXPECT_EQ(bw->text(), "50") << wrong;
        EXPECT_EQ(f.win->bandwidth_problem(), "Bandwidth must be a number from 1 to 2000 Hz.") << wrong;
    }
    type("2000");
    EXPECT_EQ(f.win->state().fft.bw, 2000);
    EXPECT_EQ(f.win->bandwidth_problem(), "");
    f.win->plot()->canvas()->repaint();
    EXPECT_NE(f.win->spectrum_of(0), nullptr);
    // A settings file with a bandwidth out of range keeps the current one.
    QTemporaryDir dir;
    const QString path = dir.filePath("SpectrumWindow.ini");
    f.win->save_settings_to(path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(file.readAll());
    file.close();
    ASSERT_TRUE(text.contains("Bandwidth=")) << text.toStdString();
    text.replace(QRegularExpression("Bandwidth=[^\r\n]*"), "Bandwidth=1e308");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
    file.close();
    type("100");
    f.win->load_settings_from(path);
    EXPECT_EQ(f.win->state().fft.bw, 100);
}

// A picture of the window while a long LTAS runs and after (for looking at
// by hand: set TESSAL_TEST_SHOTS to a folder).
TEST(SpectrumWindow, PictureWhileALongLtasRuns) {
    const QByteArray shots = qgetenv("TESSAL_TEST_SHOTS");
    if (shots.isEmpty()) GTEST_SKIP() << "set TESSAL_TEST_SHOTS to a folder to get the pictures";
    tspectrumfixture f;
    tdocument& doc = f.doc();
    sine_channels(doc, 900, 8000);
    doc.theglobal.set_selection(1, 2);
    tspectrumstate st = f.win->state();
    st.fltasmode = 1;
    st.showbands = true;
    f.win->set_state(st);
    f.win->plot()->canvas()->repaint();
    doc.theglobal.set_selection(0, 900);
    f.win->plot()->canvas()->repaint();
    for (int i = 0; i < 10; ++i) QApplication::processEvents(QEventLoop::AllEvents, 30);
    f.win->grab().save(QString::fromUtf8(shots) + "/spectrum_running.png");
    f.w.grab().save(QString::fromUtf8(shots) + "/spectrum_main_running.png");
    ticks_until([&](int) { return !f.win->ltas_busy(); });
    f.win->plot()->canvas()->repaint();
    f.win->grab().save(QString::fromUtf8(shots) + "/spectrum_done.png");
    auto* bw = f.win->findChild<QLineEdit*>("bandwidthedit");
    type_into(bw, "1e308");
    settle();
    f.win->grab().save(QString::fromUtf8(shots) + "/spectrum_bandwidth.png");
}

TEST(SpectrumWindow, TheDefaultFrequencyAxisHoldsTheBandsOfA44kHzFile) {
    // The window is made at start-up with no document; the file comes later.
    tscriptedmain m;
    sine_channels(m.doc(), 0.5, 44100);
    m.w.windows().show("spectrum");
    settle();
    auto* win = dynamic_cast<tspectrumwindow*>(m.w.windows().window("spectrum"));
    ASSERT_NE(win, nullptr);
    const TAxis& a = win->plot()->xaxis()->axis();
    EXPECT_DOUBLE_EQ(a.GetMaxHiValue(), 22050);
    EXPECT_DOUBLE_EQ(a.GetHiValue(), 20000);
    EXPECT_DOUBLE_EQ(a.GetLoValue(), 20);
    // Every default band, 5-8 kHz included, lies within the plot.
    for (const tfreqband& b : win->state().freqbands) EXPECT_LE(b.hi, a.GetHiValue());
    // A top the user chose stays when the channels change.
    win->plot()->xaxis()->axis().SetHiValue(3000);
    sine_channels(m.doc(), 0.5, 48000);
    win->hide();
    m.w.windows().show("spectrum");
    settle();
    EXPECT_DOUBLE_EQ(a.GetHiValue(), 3000);
    EXPECT_DOUBLE_EQ(a.GetMaxHiValue(), 24000);
    win->hide();
}

// A short LTAS is computed at once only within the window's time budget:
// with none it goes to the job line (the plot asks, nothing is there yet)
// and arrives with the numbers computed at once; with room it is there as
// soon as the plot asks. Its peak is the 1 kHz bin either way.
TEST(SpectrumWindow, ShortLtasPastTheBudgetGoesToTheJobLine) {
    tspectrumfixture f;
    tdocument& doc = f.doc();
    tspectrumstate st = f.win->state();
    st.fltasmode = 1;
    f.win->set_state(st);
    f.win->set_immediate_budget(0);
    doc.theglobal.set_selection(0.5, 1.5);
    f.win->plot()->canvas()->repaint();
    EXPECT_TRUE(f.win->ltas_busy());
    EXPECT_EQ(f.win->spectrum_of(0), nullptr);
    f.win->wait_for_ltas();
    const tspectrum* queued = f.win->spectrum_of(0);
    ASSERT_NE(queued, nullptr);
    const std::vector<double> queuedmag = queued->mag;
    tspectrumworkspace ws;
    tspectrum direct;
    ws.ltas(sample_view(doc.channel(0)), st.fft, 0.5, 1.5, direct);
    EXPECT_EQ(queuedmag, direct.mag);
    const auto peak = std::max_element(queuedmag.begin(), queuedmag.end()) - queuedmag.begin();
    EXPECT_NEAR(queued->bin_freq(static_cast<double>(peak)), 1000, queued->bin_freq(1));

    f.win->set_immediate_budget(1e6);
    doc.theglobal.set_selection(0.25, 1.25);
    f.win->plot()->canvas()->repaint();
    EXPECT_FALSE(f.win->ltas_busy());
    ASSERT_NE(f.win->spectrum_of(0), nullptr);
    ws.ltas(sample_view(doc.channel(0)), st.fft, 0.25, 1.25, direct);
    EXPECT_EQ(f.win->spectrum_of(0)->mag, direct.mag);
}

// The LTAS progress timer ticks while a long LTAS runs; what it reads may
// go while it is running: the run superseded by a short selection, the
// window closed and opened again, the channels taken away, the LTAS turned
// off, the window deleted with its job and hand-back still under way.
// None of it may leave the timer reading what is gone.
TEST(SpectrumWindow, ProgressTimerSurvivesWhatGoesWhileALongLtasRuns) {
    auto spin = [](int ms) {
        QElapsedTimer c;
        c.start();
        while (c.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
    };
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        auto f = std::make_unique<tspectrumfixture>();
        tdocument& doc = f->doc();
        sine_channels(doc, 600, 16000);
        tspectrumstate st = f->win->state();
        st.fltasmode = 1;
        f->win->set_state(st);
        doc.theglobal.set_selection(0, 600);
        f->win->plot()->canvas()->repaint();
        ASSERT_TRUE(f->win->ltas_busy());
        spin(150);  // the timer has shown progress
        switch (round) {
            case 0:
                doc.theglobal.set_selection(1, 1.5);
                f->win->plot()->canvas()->repaint();
                break;
            case 1:
                f->win->close();
                spin(250);
                f->w.windows().show("spectrum");
                doc.theglobal.set_selection(10, 500);
                break;
            case 2:
                doc.set_totnchans(0);
                doc.theglobal.channels_changed();
                break;
            case 3:
                st.fltasmode = 0;
                f->win->set_state(st);
                break;
            case 4:
                break;  // the whole window goes with the run under way
        }
        spin(250);
        f.reset();
        spin(50);
    }
}
