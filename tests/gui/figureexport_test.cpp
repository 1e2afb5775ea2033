// The export dialog driven as a user does (size, resolution, format) with
// the file question answered through its seam; the title line every figure
// carries; the shared plot drawing checked against analytic signals; the
// contact-share colours against Qt's own HSV conversion; and the main
// window's painted information line in the layout check.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "engine/analysis/correlation.h"
#include "engine/analysis/spectrum.h"
#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/tools/epg.h"
#include "gui/figure/figuretitle.h"
#include "gui/figure/plotdrawing.h"
#include "gui/view/infoline.h"
#include "gui/widgets/figureexport.h"
#include "gui/widgets/layoutcheck.h"
#include "gui/widgets/tplotpanel.h"
#include "support/tempdirtest.h"

using namespace tessal;

namespace {

QByteArray read_all(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList svg_texts(const QByteArray& svg) {
    QStringList texts;
    static const QRegularExpression re("<text[^>]*>([^<]*)</text>");
    for (auto it = re.globalMatch(QString::fromUtf8(svg)); it.hasNext();) texts << it.next().captured(1).trimmed();
    return texts;
}

class ExportDialog : public tessal::testing::ttempdirtest {
protected:
    void SetUp() override {
        ttempdirtest::SetUp();
        saved = ask_figure_file;
        panel.resize(500, 300);
        TAxis& x = panel.xaxis()->axis();
        x.SetAxisText("[s]");
        x.set_hilovalues(2, 0);
        TAxis& y = panel.yaxis()->axis();
        y.SetAxisText("[dB]");
        y.set_hilovalues(0, -60);
        panel.paint_layer = [](QPainter& p, const QSize& s) { p.fillRect(QRect(10, 10, s.width() / 2, 5), Qt::red); };
        panel.figure_title = [] { return figure_title_of("/data/speech.wav", 1, "mic", 1.2, 1.85); };
    }
    void TearDown() override {
        ask_figure_file = saved;
        ttempdirtest::TearDown();
    }
    // Runs the dialog: sets width, height and resolution, reads what the
    // dialog says the PNG will measure, and answers the file question with
    // `name` (no extension) and the filter of `format`.
    QString run(int w, int h, int dpi, const QString& name, const QString& format) {
        QString promised;
        bool asked = false;
        ask_figure_file = [&](QWidget*, const QString& filters, QString& filter) {
            asked = true;
            for (const QString& f : filters.split(";;"))
                if (f.startsWith(format)) filter = f;
            return QString::fromStdString(path(name.toStdString()));
        };
        QTimer::singleShot(0, [&] {
            auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dlg) return;
            dlg->findChild<QSpinBox*>("figurewidth")->setValue(w);
            dlg->findChild<QSpinBox*>("figureheight")->setValue(h);
            dlg->findChild<QSpinBox*>("figuredpi")->setValue(dpi);
            promised = dlg->findChild<QLabel*>("figureinfo")->text();
            dlg->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        panel.export_dialog();
        EXPECT_TRUE(asked);
        return promised;
    }
    tfigurefileask saved;
    TPlotPanel panel;
};

}  // namespace

// PNG: the pixel size the dialog promises is the one written, and it is
// the figure size scaled by dpi / 96 (600 x 400 at 144 dpi: 900 x 600).
// The extension follows the chosen filter.
TEST_F(ExportDialog, WritesThePngSizeItPromises) {
    const QString promised = run(600, 400, 144, "fig", "PNG");
    EXPECT_TRUE(promised.startsWith("PNG 900 x 600 pixels")) << promised.toStdString();
    const QImage img(QString::fromStdString(path("fig.png")));
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.size(), QSize(900, 600));
    // The resolution is stored with the picture.
    EXPECT_NEAR(img.dotsPerMeterX() * 0.0254, 144, 0.5);
}

// SVG: the title, the tick labels and the axis texts are text elements,
// not outlines; the file's extension comes from the filter.
TEST_F(ExportDialog, SvgKeepsTitleAndTickLabelsAsText) {
    run(640, 360, 96, "fig", "SVG");
    const QStringList texts = svg_texts(read_all(QString::fromStdString(path("fig.svg"))));
    EXPECT_TRUE(texts.contains("speech.wav - channel 1 \"mic\" - 1.200-1.850 s") ||
                texts.contains("speech.wav - channel 1 &quot;mic&quot; - 1.200-1.850 s"))
        << texts.join('|').toStdString();
    EXPECT_TRUE(texts.contains("Time [s]"));
    EXPECT_TRUE(texts.contains("Level [dB]"));
    // At least the two ends of each axis are labelled.
    EXPECT_TRUE(texts.contains("0")) << texts.join('|').toStdString();
    EXPECT_TRUE(texts.contains("-60")) << texts.join('|').toStdString();
}

// PDF: a PDF file that pdftoppm renders at the size the dialog's
// resolution gives (skipped without pdftoppm).
TEST_F(ExportDialog, PdfRendersAtTheChosenResolution) {
    run(480, 320, 120, "fig", "PDF");
    const QString pdf = QString::fromStdString(path("fig.pdf"));
    EXPECT_TRUE(read_all(pdf).startsWith("%PDF-"));
    const QString pdftoppm = QStandardPaths::findExecutable("pdftoppm");
    if (pdftoppm.isEmpty()) GTEST_SKIP() << "pdftoppm is not installed";
    QProcess p;
    const QString out = QString::fromStdString(path("rendered"));
    p.start(pdftoppm, {"-png", "-r", "120", "-singlefile", pdf, out});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QImage img(out + ".png");
    ASSERT_FALSE(img.isNull());
    EXPECT_LE(std::abs(img.width() - 600), 1);
    EXPECT_LE(std::abs(img.height() - 400), 1);
}

// Cancelling the file question writes nothing.
TEST_F(ExportDialog, CancelledFileQuestionWritesNothing) {
    ask_figure_file = [](QWidget*, const QString&, QString&) { return QString(); };
    QTimer::singleShot(0, [] {
        if (auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dlg->accept();
    });
    panel.export_dialog();
    EXPECT_TRUE(listing().empty());
}

// ------------------------------------------------------------ the title

TEST(FigureTitle, NamesFileChannelAndSpan) {
    EXPECT_EQ(figure_title_of("/home/a/speech.wav", 1, "mic", 1.2, 1.85),
              "speech.wav - channel 1 \"mic\" - 1.200-1.850 s");
    EXPECT_EQ(figure_title_of("speech.wav", 0, "", 0, 0.5), "speech.wav - channel 0 - 0.000-0.500 s");
    // A frame at one time; no file (a new document).
    EXPECT_EQ(figure_title_of("", 2, "EGG", 0.25, 0.25), "channel 2 \"EGG\" - at 0.250 s");
    // No channel: the worded channel part as given; a backwards span or
    // one that is not a number is left out.
    EXPECT_EQ(figure_title_of("a/b.wav", -1, "channels 0 \"x\" and 1 \"y\"", 1, 0),
              "b.wav - channels 0 \"x\" and 1 \"y\"");
    EXPECT_EQ(figure_title_of("b.wav", -1, "", NAN, 1), "b.wav");
    EXPECT_EQ(figure_title_of("", -1, "", 0, -1), "");
    // The name a file reader makes up repeats the file: left out; a name
    // of another channel number is kept.
    EXPECT_EQ(figure_title_of("/x/speech.wav", 0, "speech.wav Ch 0", 0, 1), "speech.wav - channel 0 - 0.000-1.000 s");
    EXPECT_EQ(figure_title_of("/x/speech.wav", 1, "speech.wav Ch 0", 0, 1),
              "speech.wav - channel 1 \"speech.wav Ch 0\" - 0.000-1.000 s");
}

// ----------------------------------------------------- the plots' drawing

namespace {

// The topmost pixel of a dark (curve) colour in column x of the plot area.
int top_dark(const QImage& img, const QRect& plot, int x) {
    for (int y = plot.top() + 1; y < plot.bottom(); ++y)
        if (qGray(img.pixel(x, y)) < 60) return y;
    return -1;
}

// The plot column whose curve reaches highest.
int highest_column(const QImage& img, const QRect& plot) {
    int best = -1, besty = plot.bottom();
    for (int x = plot.left() + 2; x < plot.right() - 1; ++x) {
        const int y = top_dark(img, plot, x);
        if (y >= 0 && y < besty) {
            besty = y;
            best = x;
        }
    }
    return best;
}

std::vector<float> sine(double f, double fs, int n) {
    std::vector<float> s(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) s[static_cast<std::size_t>(i)] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * f * i / fs));
    return s;
}

}  // namespace

// A 1 kHz tone's spectrum peaks where the frequency axis puts 1 kHz (the
// axis runs 0..4 kHz over the plot's width); the autocorrelation of a
// 200 Hz tone's first peak after lag 0 is at 5 ms.
TEST(PlotDrawing, CurvesPeakWhereTheSignalsSay) {
    const double fs = 8000;
    const std::vector<float> s = sine(1000, fs, 8000);
    tspectrumworkspace ws;
    tspectrumsettings set;
    set.bw = 50;
    tspectrum sp;
    ws.frame(tsampleview(s.data(), static_cast<long long>(s.size()), 0, fs), set, 0.5, sp);
    const tfigure f = spectrum_figure("tone", sp, 0, 0, 4000, -100, 0, "Level [dB]");
    const QSize size(820, 420);
    const QImage img = figure_image(f, size);
    const QRect plot = layout_figure(f, size).plot;
    const double expect = plot.left() + 1000.0 / 4000 * (plot.width() - 1);
    EXPECT_NEAR(highest_column(img, plot), expect, 2.5);

    const std::vector<float> c = sine(200, fs, 8000);
    const std::vector<double> r = correlation_at(tsampleview(c.data(), static_cast<long long>(c.size()), 0, fs), 0.05, 0.5, 8);
    const tfigure g = correlation_figure("tone", r, fs, 8);
    const QImage gi = figure_image(g, size);
    const QRect gp = layout_figure(g, size).plot;
    // Past the first half period, the highest point is the 5 ms peak.
    // The line joins lags 1/fs apart, so the top row is a short run of
    // columns around the peak (with gaps where the smoothed line is lighter
    // than the dark threshold): its middle is the peak.
    int first = -1, last = -1, besty = gp.bottom();
    for (int x = gp.left() + gp.width() / 4; x < gp.right() - 1; ++x) {
        const int y = top_dark(gi, gp, x);
        if (y < 0) continue;
        if (y < besty) besty = y, first = last = x;
        else if (y == besty) last = x;
    }
    EXPECT_NEAR((first + last) / 2.0, gp.left() + 5.0 / 8 * (gp.width() - 1), 2.5);
}

// A histogram of a ramp is flat; of a sine it rises towards both ends (the
// arcsine law), so the columns near the ends stand higher than the middle.
TEST(PlotDrawing, HistogramColumnsFollowTheBins) {
    std::vector<double> bins(200);
    for (std::size_t i = 0; i < bins.size(); ++i) {
        const double v = -1 + 2.0 * (static_cast<double>(i) + 0.5) / bins.size();
        bins[i] = 1 / (std::numbers::pi * std::sqrt(1 - v * v));
    }
    const tfigure f = histogram_figure("sine", bins, -1, 1, "V");
    const QSize size(600, 400);
    const QImage img = figure_image(f, size);
    const QRect plot = layout_figure(f, size).plot;
    const int mid = top_dark(img, plot, plot.center().x());
    const int nearend = top_dark(img, plot, plot.left() + plot.width() / 50);
    ASSERT_GE(mid, 0);
    ASSERT_GE(nearend, 0);
    EXPECT_LT(nearend, mid - 20);
    // The middle bin, 1/pi, sits where the value axis puts it (the axis as
    // the layout fits it to the plot and the statistics text).
    const tfigureaxis fitted = layout_figure(f, size).y;
    EXPECT_GT(fitted.hi, bins.front());
    TAxis y;
    y.SetHeight(plot.height());
    y.set_hilovalues(fitted.hi, fitted.lo);
    EXPECT_NEAR(mid, plot.top() + y.value_to_pixel(1 / std::numbers::pi), 3);
}

// ----------------------------------------------------- contact colours

// Colour mode: hue 1 - share, saturation the spread, value 1 - centre / 21,
// as Qt's own HSV conversion gives it; black mode: grey from white to black.
TEST(ContactShareColor, MatchesHsvAndGrey) {
    for (double share : {0.1, 0.25, 0.5, 0.8, 1.0})
        for (double spread : {0.3, 1.0})
            for (double centre : {0.0, 3.5, 7.0}) {
                const trgb c = contact_share_color(share, true, spread, centre);
                const QColor q = QColor::fromHsvF(static_cast<float>(std::fmod(1 - share, 1.0)),
                                                  static_cast<float>(spread), static_cast<float>(1 - centre / 21));
                EXPECT_NEAR(c.r, q.red(), 1.5) << share << " " << spread << " " << centre;
                EXPECT_NEAR(c.g, q.green(), 1.5);
                EXPECT_NEAR(c.b, q.blue(), 1.5);
            }
    EXPECT_EQ(contact_share_color(0, true), trgb{});  // no contact: white
    EXPECT_EQ(contact_share_color(0, false), (trgb{255, 255, 255}));
    EXPECT_EQ(contact_share_color(1, false), (trgb{0, 0, 0}));
    EXPECT_NEAR(contact_share_color(0.5, false).g, 127.5, 1);
}

// A row's band takes its colour from contact_share_color: in black mode the
// share alone; in colour mode a row touching only its two outermost
// electrodes (spread 1, centre 3.5) is exactly the scale's colour at its
// share, and a full row (spread 0.5) keeps the scale's hue for 100 %.
TEST(ContactShareColor, BandsUseTheScalesColours) {
    const std::uint64_t all = ~std::uint64_t{0};
    for (int r = 0; r < 8; ++r) EXPECT_EQ(contact_band_color(all, r, false), contact_share_color(1, false)) << r;
    EXPECT_EQ(contact_band_color(0, 3, true), contact_share_color(0, true));
    const std::uint64_t edges = (std::uint64_t{1} << (8 * 2 + 0)) | (std::uint64_t{1} << (8 * 2 + 7));
    EXPECT_EQ(contact_band_color(edges, 2, true), contact_share_color(2.0 / 8, true));
    EXPECT_EQ(contact_band_color(edges, 2, false), contact_share_color(2.0 / 8, false));
    for (int r = 0; r < 8; ++r) {
        const trgb band = contact_band_color(all, r, true), top = contact_share_color(1, true);
        EXPECT_EQ(QColor(band.r, band.g, band.b).hsvHue(), QColor(top.r, top.g, top.b).hsvHue()) << r;
        EXPECT_EQ(QColor(band.r, band.g, band.b).value(), QColor(top.r, top.g, top.b).value()) << r;
    }
}

// ------------------------------------------- the painted information line

// The information line paints its own text; the layout check finds it cut
// when the window is too narrow for it, and not when it is wide enough.
TEST(LayoutCheck, FindsACutInformationLine) {
    tdocument doc;
    doc.set_totnchans(1);
    tchannel& ch = doc.channel(0);
    ch.sampfreq = 16000;
    ch.set_name("a channel with a rather long name that needs room");
    ch.filename = "recordings/session-2026-12-11/speaker-04/sustained-vowels.wav";
    QWidget win;
    win.setWindowTitle("Info");
    auto* lay = new QVBoxLayout(&win);
    auto* line = new tinfoline(doc, 0, &win);
    line->setMinimumHeight(20);
    lay->addWidget(line);
    win.resize(140, 40);
    win.show();
    QApplication::processEvents();
    const tpaintedtext::tfit fit = line->painted_text_fit();
    ASSERT_FALSE(fit.text.isEmpty());
    EXPECT_GT(fit.need, fit.room);
    QStringList found = check_layout(&win, QRect());
    EXPECT_EQ(found.filter("tinfoline").size(), 1) << found.join('\n').toStdString();
    win.resize(fit.need + 200, 40);
    QApplication::processEvents();
    found = check_layout(&win, QRect());
    EXPECT_TRUE(found.filter("tinfoline").isEmpty()) << found.join('\n').toStdString();
}
