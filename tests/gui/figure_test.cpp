// Figures the windows export (gui/figure): the spectrogram's tone lies on
// its frequency axis where the axis's own proportion puts 1 kHz; every plot
// window writes PNG, SVG and PDF with its title, tick labels kept as text
// and no raster but the strip picture; the PDF renders with pdftoppm (when
// installed); a write that fails leaves the old file as it was.
//
// TESSAL_TEST_FIGURES=DIR keeps the exports there to look at, and
// TESSAL_TEST_FIGURES_WAV=FILE makes them of that recording instead of the
// test's tone (an EPG file of made-up frames goes beside its copy).
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <sys/resource.h>

#include "engine/core/tchannel.h"
#include "engine/formats/twavfile.h"
#include "gui/epg/tcontactevolutionwindow.h"
#include "gui/epg/tepgwindow.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/spectrogram/tcorrelogramwindow.h"
#include "gui/spectrogram/tspectrogramwindow.h"
#include "gui/spectrum/tspectrumwindow.h"
#include "gui/widgets/figureexport.h"
#include "gui/widgets/tplotpanel.h"
#include "support/scriptedprompter.h"
#include "support/tempdirtest.h"
#include "tonechannels.h"

using namespace tessal;
using tessal::testing::settle;
using tessal::testing::tscriptedprompter;

namespace {

class Figures : public tessal::testing::ttempdirtest {
protected:
    void SetUp() override {
        ttempdirtest::SetUp();
        w = std::make_unique<TMainWindow>(prompter);
        w->first_activation({});
        wav = path("speech.wav");
        double seconds = 1.0;
        if (const char* given = std::getenv("TESSAL_TEST_FIGURES_WAV")) {
            std::filesystem::copy_file(given, wav);
            tone = false;
        } else {
            // 1 kHz at 16 kHz, RMS -13 dB.
            TWavFile f;
            f.Setsampfreq(16000);
            f.Setnbits(16);
            f.Setnchans(1);
            std::vector<tsinglearr> chans(1, tsinglearr(16000));
            for (int i = 0; i < 16000; ++i)
                chans[0][i] = static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * 1000 * i / 16000.0));
            f.save_file(wav, chans, false, false);
        }
        {
            // The length from the header (16-bit mono: rate at byte 24).
            std::ifstream in(wav, std::ios::binary);
            unsigned char h[28] = {};
            in.read(reinterpret_cast<char*>(h), 28);
            const double rate = h[24] | h[25] << 8 | h[26] << 16 | h[27] << 24;
            seconds = static_cast<double>(std::filesystem::file_size(wav) - 44) / (2 * rate);
        }
        // Electropalatograph frames beside it, 100 a second: an alveolar
        // closure in the second quarter, a velar one in the fourth.
        std::ofstream e(path("speech.epg"), std::ios::binary);
        const int frames = static_cast<int>(seconds * 100);
        for (int i = 0; i < frames; ++i) {
            std::uint8_t rows[8] = {};
            if (i >= frames / 4 && i < frames / 2)
                for (int r = 5; r < 8; ++r) rows[r] = 0xFF;
            if (i >= frames / 4)
                for (int r = 0; r < 8; ++r) rows[r] |= 0xC3;
            if (i >= 3 * frames / 4)
                for (int r = 0; r < 3; ++r) rows[r] = 0xFF;
            e.write(reinterpret_cast<const char*>(rows), 8);
        }
        e.close();
        ASSERT_TRUE(w->files().add_file(wav));
        if (const char* keep = std::getenv("TESSAL_TEST_FIGURES")) out = QString::fromLocal8Bit(keep);
        else out = QString::fromStdString(path("figures"));
        QDir().mkpath(out);
    }
    void TearDown() override {
        w.reset();
        ttempdirtest::TearDown();
    }
    tdocument& doc() { return w->document(); }
    template <class W>
    W* open(const char* key, QSize size) {
        auto* win = dynamic_cast<W*>(w->windows().window(key));
        if (win) win->resize(size);
        w->windows().show(key);
        settle();
        return win;
    }
    QString file(const QString& name) const { return out + "/" + name; }

    std::unique_ptr<tscriptedprompter> prompter_owner = std::make_unique<tscriptedprompter>();
    tscriptedprompter* prompter = prompter_owner.get();
    std::unique_ptr<TMainWindow> w;
    std::string wav;
    bool tone = true;
    QString out;
};

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

// The PNG, SVG and PDF of a figure, with the checks every figure passes:
// the title and the texts `want` in the SVG as text, `images` embedded
// pictures, a PDF pdftoppm renders at the PNG's size (both at 150 dpi).
void check_formats(const std::function<bool(const QString&, QString*)>& exporter, const QString& base,
                   const QStringList& want, int images) {
    for (const char* ext : {"png", "svg", "pdf"}) {
        QString error;
        ASSERT_TRUE(exporter(base + "." + ext, &error)) << ext << ": " << error.toStdString();
    }
    const QImage png(base + ".png");
    ASSERT_FALSE(png.isNull());
    const QByteArray svg = read_all(base + ".svg");
    const QStringList texts = svg_texts(svg);
    for (const QString& t : want) EXPECT_TRUE(texts.contains(t)) << base.toStdString() << " lacks " << t.toStdString()
                                                                 << " in " << texts.join('|').toStdString();
    EXPECT_EQ(svg.count("<image"), images) << base.toStdString();
    const QByteArray pdf = read_all(base + ".pdf");
    EXPECT_TRUE(pdf.startsWith("%PDF-")) << base.toStdString();
    EXPECT_TRUE(pdf.trimmed().endsWith("%%EOF")) << base.toStdString();
    const QString pdftoppm = QStandardPaths::findExecutable("pdftoppm");
    if (pdftoppm.isEmpty()) return;
    QProcess p;
    p.start(pdftoppm, {"-png", "-r", "150", "-singlefile", base + ".pdf", base + "-pdf"});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QImage rendered(base + "-pdf.png");
    ASSERT_FALSE(rendered.isNull()) << base.toStdString();
    EXPECT_LE(std::abs(rendered.width() - png.width()), 1);
    EXPECT_LE(std::abs(rendered.height() - png.height()), 1);
}

}  // namespace

// The tone's ridge in the exported spectrogram: in the middle column of the
// plot area the darkest pixel (grey scale, loud is dark) lies where the
// axis's proportion puts 1 kHz: top + (hi - 1000) / (hi - lo) (height - 1).
TEST_F(Figures, SpectrogramToneLiesOnItsFrequencyAxis) {
    if (!tone) GTEST_SKIP() << "a recording was given";
    auto* sg = open<tspectrogramwindow>("spectrogram", {900, 600});
    ASSERT_NE(sg, nullptr);
    sg->wait_for_workers();
    settle();
    const tfigure f = sg->figure(0);
    EXPECT_EQ(f.x.text, "Time [s]");
    EXPECT_EQ(f.y.text, "Frequency [Hz]");
    ASSERT_TRUE(f.scale);
    EXPECT_EQ(f.scale->text, "Level [dB]");
    EXPECT_NE(f.title.find("channel 0 \"speech.wav Ch 0\" - 0.000-1.000 s"), std::string::npos) << f.title;
    const QSize size(800, 500);
    const QImage img = figure_image(f, size);
    const QRect pr = layout_figure(f, size).plot;
    const double lo = f.y.lo, hi = f.y.hi;
    ASSERT_LT(lo, 1000);
    ASSERT_GT(hi, 1000);
    const double want = pr.top() + (hi - 1000) / (hi - lo) * (pr.height() - 1);
    for (int x : {pr.left() + pr.width() / 3, pr.left() + pr.width() / 2}) {
        int best = -1, darkest = 256;
        for (int y = pr.top() + 2; y < pr.bottom() - 2; ++y) {
            const int g = qGray(img.pixel(x, y));
            if (g < darkest) {
                darkest = g;
                best = y;
            }
        }
        EXPECT_NEAR(best, want, 3) << "column " << x;
    }
    // The colour bar runs from white (the bottom of the level range) to
    // black (its top) in the grey mode.
    const QRect bar = layout_figure(f, size).scalebar;
    ASSERT_FALSE(bar.isEmpty());
    EXPECT_GT(qGray(img.pixel(bar.center().x(), bar.bottom() - 1)), 240);
    EXPECT_LT(qGray(img.pixel(bar.center().x(), bar.top() + 1)), 15);
}

// Every window's figure in the three formats.
TEST_F(Figures, EveryPlotWindowExportsPngSvgPdf) {
    auto* sg = open<tspectrogramwindow>("spectrogram", {900, 600});
    ASSERT_NE(sg, nullptr);
    sg->wait_for_workers();
    settle();
    check_formats([sg](const QString& p, QString* e) { return sg->export_file(p, QSize(900, 420), e, 150); },
                  file("spectrogram"), {"Time [s]", "Frequency [Hz]", "Level [dB]", "0", "-100"}, 1);

    auto* cg = open<tcorrelogramwindow>("correlogram", {900, 600});
    ASSERT_NE(cg, nullptr);
    cg->wait_for_workers();
    settle();
    check_formats([cg](const QString& p, QString* e) { return cg->export_file(p, QSize(900, 420), e, 150); },
                  file("correlogram"), {"Time [s]", "Correlation r", "0", "1"}, 1);

    doc().theglobal.set_timecursor(doc().first_time() + 0.3 * (doc().last_time() - doc().first_time()));
    auto* sp = open<tspectrumwindow>("spectrum", {900, 600});
    ASSERT_NE(sp, nullptr);
    settle();
    // Curves are vectors: no picture at all.
    check_formats([sp](const QString& p, QString* e) { return sp->plot()->export_file(p, QSize(800, 500), e, 150); },
                  file("spectrum"), {"Frequency [Hz]", "0"}, 0);

    doc().theglobal.set_selection(doc().first_time() + 0.3 * (doc().last_time() - doc().first_time()),
                                  doc().first_time() + 0.45 * (doc().last_time() - doc().first_time()));
    auto* epg = open<tepgwindow>("epg", {760, 520});
    ASSERT_NE(epg, nullptr);
    epg->finish_jobs();
    settle();
    ASSERT_TRUE(epg->epgis());
    check_formats([epg](const QString& p, QString* e) { return epg->export_file(p, QSize(480, 520), e, 150); },
                  file("palatogram"), {"Contact [%]", "0", "100"}, 0);
}

// The two EPG pictures through their windows' own export: the palate
// (no value axes; its contact scale) and the contact evolution (time axis,
// the row bands' axis and their share scale), each with the title line
// naming the file, the EPG channel and the span.
TEST_F(Figures, EpgPicturesExportTitleLabelsAndScale) {
    const double t0 = doc().first_time(), T = doc().last_time() - t0;
    doc().theglobal.set_selection(t0 + 0.3 * T, t0 + 0.45 * T);
    auto* epg = open<tepgwindow>("epg", {760, 520});
    ASSERT_NE(epg, nullptr);
    epg->finish_jobs();
    settle();
    ASSERT_TRUE(epg->epgis());
    auto titled = [](const QString& base) {
        const QStringList texts = svg_texts(read_all(base + ".svg"));
        for (const QString& t : texts)
            if (t.contains("speech.wav") && t.contains("channel 0") && t.endsWith(" s")) return true;
        ADD_FAILURE() << base.toStdString() << ": no title in " << texts.join('|').toStdString();
        return false;
    };
    check_formats([epg](const QString& p, QString* e) { return epg->export_file(p, QSize(480, 520), e, 150); },
                  file("palatogram"), {"Contact [%]", "0", "50", "100"}, 0);
    titled(file("palatogram"));

    auto* ce = open<tcontactevolutionwindow>("contactevolution", {900, 300});
    ASSERT_NE(ce, nullptr);
    settle();
    check_formats([ce](const QString& p, QString* e) { return ce->plot()->export_file(p, QSize(900, 360), e, 150); },
                  file("contactevolution"),
                  {"Time [s]", "Electrode row (bands from the back)", "Row contact [%]", "0", "100"}, 1);
    titled(file("contactevolution"));
}

// A write that fails half way (the system's file-size limit, SIGXFSZ
// ignored) leaves the figure that was there, byte for byte, and no other
// file; a name without a figure extension is refused before anything is
// written.
TEST_F(Figures, FailedWriteKeepsTheOldFile) {
    auto* sg = open<tspectrogramwindow>("spectrogram", {900, 600});
    ASSERT_NE(sg, nullptr);
    sg->wait_for_workers();
    const QString dir = QString::fromStdString(path("fail"));
    QDir().mkpath(dir);
    for (const char* ext : {"png", "svg", "pdf"}) {
        const QString name = dir + "/old." + ext;
        {
            QFile old(name);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("old figure");
        }
        rlimit lim{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &lim), 0);
        const rlimit saved = lim;
        auto handler = std::signal(SIGXFSZ, SIG_IGN);
        lim.rlim_cur = 2048;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lim), 0);
        QString error;
        const bool ok = sg->export_file(name, QSize(1200, 600), &error, 200);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, handler);
        EXPECT_FALSE(ok) << ext;
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(read_all(name), QByteArray("old figure")) << ext;
    }
    EXPECT_EQ(QDir(dir).entryList(QDir::Files).size(), 3);
    QString error;
    EXPECT_FALSE(sg->export_file(dir + "/x.bmp", QSize(400, 300), &error));
    EXPECT_EQ(error, "A figure is written as .png, .svg or .pdf");
    EXPECT_FALSE(QFile::exists(dir + "/x.bmp"));
}
