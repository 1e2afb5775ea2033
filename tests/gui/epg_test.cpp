// The EPG and contact evolution windows over a recording with its ".epg"
// file made here: the title and average palate follow the selection and,
// while sound plays, the play cursor; the contact evolution bands show the
// hand-known contacts; dragging on it sets the selection; "Make channels!"
// makes index channels that match hand-computed values and overwrites them
// when made again; palate pictures (BMP, PNG) with their grid file, and bad
// pictures and grid files leave the window as it was with a message; the
// centre of gravity leaves the sync marks out.
#include <memory>
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <QTimer>
#include <QProgressDialog>
#include <QPushButton>
#include <functional>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "engine/core/tchannel.h"
#include "engine/dsp/numformat.h"
#include "engine/formats/twavfile.h"
#include "gui/epg/tcontactevolutionwindow.h"
#include "gui/epg/tepgwindow.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/view/channelstrip.h"
#include "gui/view/signalpanel.h"
#include "gui/view/waveformview.h"
#include "gui/widgets/tplotpanel.h"
#include "support/scriptedprompter.h"
#include "tonechannels.h"
#include "support/tempdirtest.h"
#include "windowfixture.h"

using namespace tessal;
using tessal::testing::settle;
using tessal::testing::tscriptedprompter;

namespace {

// Two seconds at 8 kHz; 200 frames: an alveolar closure (rows 5..7 full,
// the side columns 0, 1, 6, 7 of every row) in frames 30..59, the tip of
// row 4 (columns 2..5) from 45 on, a velar closure (rows 0..2 full, side
// columns of rows 3..6) in frames 100..139.
std::array<std::uint8_t, 8> rows_of(int i) {
    std::array<std::uint8_t, 8> rows{};
    if (30 <= i && i < 60) {
        for (int r = 5; r < 8; ++r) rows[r] = r < 7 ? 0xFF : 0x7E;
        for (int r = 0; r < 7; ++r) rows[r] |= 0xC3;
        rows[7] |= 0x42;
    }
    if (45 <= i && i < 60) rows[4] |= 0x3C;
    if (100 <= i && i < 140) {
        for (int r = 0; r < 3; ++r) rows[r] = 0xFF;
        for (int r = 3; r < 7; ++r) rows[r] = 0xC3;
    }
    return rows;
}

class EpgWindows : public tessal::testing::ttempdirtest {
protected:
    void SetUp() override {
        ttempdirtest::SetUp();
        w = std::make_unique<TMainWindow>(prompter);
        w->first_activation({});
        const std::string wav = path("r.wav");
        TWavFile f;
        f.Setsampfreq(8000);
        f.Setnbits(16);
        f.Setnchans(1);
        std::vector<tsinglearr> chans(1, tsinglearr(16000, 0.1f));
        f.save_file(wav, chans, false, false);
        std::ofstream e(path("r.epg"), std::ios::binary);
        for (int i = 0; i < 200; ++i) {
            const auto r = rows_of(i);
            e.write(reinterpret_cast<const char*>(r.data()), 8);
        }
        e.close();
        ASSERT_TRUE(w->files().add_file(wav));
        epg = dynamic_cast<tepgwindow*>(w->windows().window("epg"));
        evo = dynamic_cast<tcontactevolutionwindow*>(w->windows().window("contactevolution"));
        ASSERT_NE(epg, nullptr);
        ASSERT_NE(evo, nullptr);
        w->windows().show("epg");
        settle();
    }
    void TearDown() override {
        w.reset();
        ttempdirtest::TearDown();
    }
    tdocument& doc() { return w->document(); }

    std::unique_ptr<tscriptedprompter> prompter_owner = std::make_unique<tscriptedprompter>();
    tscriptedprompter* prompter = prompter_owner.get();
    std::unique_ptr<TMainWindow> w;
    tepgwindow* epg = nullptr;
    tcontactevolutionwindow* evo = nullptr;
};

}  // namespace

TEST_F(EpgWindows, PalateFollowsTheSelectionAndThePlayCursor) {
    doc().theglobal.set_selection(0.35, 0.55);
    settle();
    epg->finish_jobs();
    EXPECT_EQ(epg->windowTitle(), "0: r.wav Ch 0 - EPG frame 35 - 55 of 199");
    EXPECT_TRUE(epg->action("makechannelsaction")->isEnabled());
    const tepgmatrix& p = epg->averagepalate();
    EXPECT_DOUBLE_EQ(p[6][3], 1.0);
    EXPECT_DOUBLE_EQ(p[4][3], 11.0 / 21);  // frames 45..55 of 35..55
    EXPECT_DOUBLE_EQ(p[0][0], 1.0);
    EXPECT_DOUBLE_EQ(p[0][3], 0.0);
    EXPECT_DOUBLE_EQ(p[7][0], 0.0);
    // A selection past the end clamps to the last frame.
    doc().theglobal.set_selection(3, 4);
    EXPECT_EQ(epg->windowTitle(), "0: r.wav Ch 0 - EPG frame 199 - 199 of 199");

    // While sound plays the palate is the frame under the play cursor.
    tviewstate& v = w->context().view;
    v.playing = true;
    v.showcursors[0] = true;
    doc().channel(0).cursors[0] = 1.104;
    doc().theglobal.invalidate_paintboxes(false);
    EXPECT_EQ(epg->range().startindex, 110);
    EXPECT_EQ(epg->range().endindex, 110);
    epg->finish_jobs();
    EXPECT_DOUBLE_EQ(epg->averagepalate()[1][4], 1.0);
    v.playing = false;
    v.showcursors[0] = false;

    // Locked, the window keeps its channel when another becomes current.
    doc().set_totnchans(2);
    epg->action("lockaction")->trigger();
    doc().set_thischanno(1);
    doc().theglobal.fix_things();
    EXPECT_EQ(epg->channel(), 0);
    epg->action("lockaction")->trigger();
    doc().theglobal.fix_things();
    EXPECT_EQ(epg->channel(), 1);
    EXPECT_EQ(epg->windowTitle(), "No EPG available");
    EXPECT_FALSE(epg->action("makechannelsaction")->isEnabled());
    doc().set_totnchans(0);
    EXPECT_EQ(epg->windowTitle(), "EPG");
}

TEST_F(EpgWindows, ContactEvolutionBandsAndSelectionDragging) {
    epg->action("rowogramaction")->trigger();
    settle();
    ASSERT_TRUE(evo->isVisible());
    TAxis& x = evo->plot()->xaxis()->axis();
    EXPECT_EQ(x.GetLoValue(), doc().xaxis.GetLoValue());
    EXPECT_EQ(x.GetHiValue(), doc().xaxis.GetHiValue());
    // The main window zooms: the plot follows.
    doc().xaxis.set_hilovalues(1.5, 0.0);
    EXPECT_DOUBLE_EQ(x.GetHiValue(), 1.5);
    EXPECT_DOUBLE_EQ(x.GetLoValue(), 0.0);
    settle();

    QWidget* canvas = evo->plot()->canvas();
    const QImage img = canvas->grab().toImage();
    const int H = canvas->height();
    auto band = [&](double t, int r) {
        const int px = x.value_to_pixel(t);
        const int y = (contact_band(r, H).y0 + contact_band(r, H).y1) / 2;
        return QColor(img.pixel(px * img.width() / canvas->width(), y * img.height() / H));
    };
    EXPECT_EQ(band(0.45, 6), QColor(0, 0, 0));        // full row
    EXPECT_EQ(band(0.45, 0), QColor(128, 128, 128));  // 4 of 8 (no selection drawn)
    EXPECT_EQ(band(0.45, 7), QColor(0, 0, 0));        // all six of the front row
    EXPECT_EQ(band(1.2, 2), QColor(0, 0, 0));
    EXPECT_EQ(band(1.2, 7), QColor(255, 255, 255));
    EXPECT_EQ(band(0.1, 3), QColor(255, 255, 255));

    // "Color" in the EPG window recolours the bands: a full row is red
    // (hue 0), half saturated, at 1 - 3.5/21 of full value.
    epg->action("coloraction")->trigger();
    settle();
    const QImage coloured = canvas->grab().toImage();
    const int px = x.value_to_pixel(0.45) * coloured.width() / canvas->width();
    const QColor full(coloured.pixel(px, (contact_band(6, H).y0 + 2) * coloured.height() / H));
    EXPECT_NEAR(full.red(), 255 * (1 - 3.5 / 21), 1);
    EXPECT_NEAR(full.green(), 255 * (1 - 3.5 / 21) * 0.5, 1);
    EXPECT_EQ(full.green(), full.blue());

    evo->press_at(x.value_to_pixel(0.3));
    evo->drag_to(x.value_to_pixel(0.6), false);
    EXPECT_NEAR(doc().theglobal.sel1cursor(), 0.3, 0.01);
    EXPECT_NEAR(doc().theglobal.sel2cursor(), 0.6, 0.01);
    EXPECT_EQ(epg->range().startindex, static_cast<int>(std::lround(doc().theglobal.sel1cursor() * 100)));
    evo->drag_to(x.value_to_pixel(0.7), true);
    EXPECT_EQ(doc().theglobal.sel1cursor(), doc().theglobal.sel2cursor());
    EXPECT_NEAR(doc().theglobal.sel1cursor(), 0.7, 0.01);
}

TEST_F(EpgWindows, MakeChannelsTwiceOverwritesTheSameChannels) {
    EXPECT_TRUE(epg->method_checked(0));  // the COG is ticked at first, alone
    EXPECT_FALSE(epg->method_checked(8));
    epg->set_method_checked(8, true);  // "Back 3 rows" beside the COG
    epg->action("lockaction")->trigger();
    epg->action("makechannelsaction")->trigger();
    ASSERT_EQ(doc().totnchans(), 3);
    EXPECT_EQ(doc().thischanno(), 2);
    EXPECT_TRUE(doc().modified());
    const tchannel& cog = doc().channel(1);
    EXPECT_EQ(cog.name(), "Center of gravity (COG)");
    EXPECT_EQ(doc().channel(2).name(), "Back 3 rows");
    ASSERT_EQ(cog.sample_count(), 200);
    // Frame 110: rows 0..2 (24 electrodes) and four side ones in rows 3..6.
    EXPECT_FLOAT_EQ(cog.sample(110), static_cast<float>((8 * (0.5 + 1.5 + 2.5) + 4 * (3.5 + 4.5 + 5.5 + 6.5)) / 40));
    EXPECT_FLOAT_EQ(doc().channel(2).sample(110), 1.0f);
    // Frame 50: rows 0..4 side columns (4 each), row 4 full from 45, rows
    // 5..6 full, six of row 7: back 3 rows = 12 of 24.
    EXPECT_FLOAT_EQ(doc().channel(2).sample(50), 0.5f);
    EXPECT_EQ(cog.sample(10), 0);
    EXPECT_EQ(epg->channel(), 0);  // locked

    epg->set_method_checked(8, false);
    epg->action("makechannelsaction")->trigger();
    EXPECT_EQ(doc().totnchans(), 3);
    EXPECT_EQ(doc().thischanno(), 1);
    EXPECT_TRUE(prompter->asked.empty());
}

TEST_F(EpgWindows, PalatePicturesAndTheirGridFile) {
    QImage pic(200, 160, QImage::Format_RGB32);
    pic.fill(QColor(220, 180, 170));
    ASSERT_TRUE(pic.save(QString::fromStdString(path("palate.bmp")), "BMP"));
    ASSERT_TRUE(pic.save(QString::fromStdString(path("palate.png")), "PNG"));
    EXPECT_FALSE(epg->save_grid());  // no picture yet
    ASSERT_EQ(prompter->asked.size(), 1u);

    ASSERT_TRUE(epg->open_picture(QString::fromStdString(path("palate.bmp"))));
    EXPECT_TRUE(epg->picture_shown());
    EXPECT_TRUE(epg->action("Photoaction")->isChecked());
    settle();
    // Dragging electrode (2, 3) on the picture moves it with the mouse.
    QWidget* c = epg->canvas();
    const QPointF from = epg->electrode_pixel(2, 3), to = from + QPointF(15, -10);
    auto send = [&](QEvent::Type t, QPointF at, Qt::MouseButton b, Qt::MouseButtons held) {
        QMouseEvent e(t, at, c->mapToGlobal(at), b, held, Qt::NoModifier);
        QApplication::sendEvent(c, &e);
    };
    send(QEvent::MouseButtonPress, from + QPointF(3, 2), Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    EXPECT_NEAR(epg->electrode_pixel(2, 3).x(), to.x(), 1e-9);
    EXPECT_NEAR(epg->electrode_pixel(2, 3).y(), to.y(), 1e-9);
    const double gx = epg->grid().x[2][3], gy = epg->grid().y[2][3];
    EXPECT_GT(gx, 0.3);
    EXPECT_LT(gy, 0.4);
    EXPECT_DOUBLE_EQ(epg->grid().x[2][2], 0.3);  // its neighbours stay
    // Far from every electrode a press moves nothing.
    send(QEvent::MouseButtonPress, QPointF(2, 2), Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    EXPECT_DOUBLE_EQ(epg->grid().x[0][0], 0.1);
    ASSERT_TRUE(epg->save_grid());
    EXPECT_TRUE(std::filesystem::exists(path("palate.tessalEPGgrid")));
    epg->grid() = default_palate_grid();
    ASSERT_TRUE(epg->open_picture(QString::fromStdString(path("palate.png"))));
    EXPECT_DOUBLE_EQ(epg->grid().x[2][3], gx);
    EXPECT_DOUBLE_EQ(epg->grid().y[2][3], gy);
    EXPECT_EQ(prompter->asked.size(), 1u);

    // Not a picture: a message, the picture and grid stay.
    std::ofstream(path("junk.bmp")) << "no picture";
    EXPECT_FALSE(epg->open_picture(QString::fromStdString(path("junk.bmp"))));
    ASSERT_EQ(prompter->asked.size(), 2u);
    EXPECT_NE(prompter->asked.back().text.find("Cannot read the palate picture"), std::string::npos);
    EXPECT_TRUE(epg->picturefilename().endsWith("palate.png"));
    // A damaged grid file: the picture opens, the grid stays, a message.
    ASSERT_TRUE(pic.save(QString::fromStdString(path("other.png")), "PNG"));
    std::ofstream(path("other.tessalEPGgrid")) << "XII1 damaged";
    EXPECT_TRUE(epg->open_picture(QString::fromStdString(path("other.png"))));
    ASSERT_EQ(prompter->asked.size(), 3u);
    EXPECT_NE(prompter->asked.back().text.find("Cannot read the palate grid file"), std::string::npos);
    EXPECT_DOUBLE_EQ(epg->grid().x[2][3], gx);
    std::ifstream in(path("other.tessalEPGgrid"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "XII1 damaged");
}

// Frames 148..152 hold rows 5 to 7 in full, the sync marks (7,0) and (7,7)
// too. Selected with the mouse, the window's COG is that of the 22
// electrodes: (8 * 5.5 + 8 * 6.5 + 6 * 7.5) / 22, the "Center of gravity
// (COG)" index of the frame and the line tessal-cli epg prints.
TEST_F(EpgWindows, CentreOfGravityLeavesTheSyncMarksOut) {
    tchannel& ch = doc().channel(0);
    std::array<std::uint8_t, 8> rows{};
    rows[5] = rows[6] = rows[7] = 0xFF;
    for (int i = 148; i <= 152; ++i) ch.epg[static_cast<std::size_t>(i)] = epg_frame(rows);
    w->resize(1000, 600);
    w->show();
    settle();
    twaveformview* wave = w->signalpanel()->strip(0).wave;
    const int y = wave->height() / 2;
    const int a = doc().xaxis.value_to_pixel(1.485), b = doc().xaxis.value_to_pixel(1.515);
    QTest::mousePress(wave, Qt::LeftButton, {}, QPoint(a, y));
    QTest::mouseMove(wave, QPoint(b, y));
    QTest::mouseRelease(wave, Qt::LeftButton, {}, QPoint(b, y));
    settle();
    epg->finish_jobs();
    ASSERT_GE(epg->range().startindex, 148);
    ASSERT_LE(epg->range().endindex, 152);
    const double row = (8 * 5.5 + 8 * 6.5 + 6 * 7.5) / 22;
    const int nd = doc().prefs.nSignificantDigits;
    const std::string expected = "COG row " + format_significant(nd, row) + ", column 4";
    EXPECT_EQ(epg->status()->text(0).toStdString(), expected);
    EXPECT_DOUBLE_EQ(make_extraction_methods()[0].extract(ch.epg[150]), row);
    const std::string report = epg_report(ch, 1.485, 1.515, {0}, nd);
    EXPECT_NE(report.find("\n" + expected + "\n"), std::string::npos) << report;
}

// A long frame range is averaged off the window's thread: a timer keeps
// ticking meanwhile and the palate keeps the last finished average; a newer
// short range supersedes it and its average, the engine's for that range,
// is what stays.
TEST_F(EpgWindows, ANewerRangeWinsAndTheEventLoopRuns) {
    tchannel& ch = doc().channel(0);
    ch.epg.resize(8000000);
    for (std::size_t i = 0; i < ch.epg.size(); ++i) ch.epg[i] = epg_frame(rows_of(static_cast<int>(i % 200)));
    ch.epgsampfreq = 4000000;
    doc().theglobal.set_selection(0.1, 0.10001);
    settle();
    epg->finish_jobs();
    const tepgmatrix before = epg->averagepalate();

    int tickswhilebusy = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { tickswhilebusy += epg->computing(); });
    timer.start(5);
    doc().theglobal.set_selection(0, 2);
    EXPECT_TRUE(epg->computing());
    for (int i = 0; i < 400 && tickswhilebusy < 3 && epg->computing(); ++i) QTest::qWait(2);
    EXPECT_GE(tickswhilebusy, 3);
    EXPECT_EQ(epg->averagepalate(), before);
    if (const char* dir = std::getenv("TESSAL_EPG_SHOT_DIR")) epg->grab().save(QString(dir) + "/epg_busy.png");

    doc().theglobal.set_selection(1.0, 1.00002);
    const tepgrange r = epg->range();
    ASSERT_EQ(r.startindex, 4000000);
    epg->finish_jobs();
    QTest::qWait(100);  // the long range's average would arrive here
    EXPECT_FALSE(epg->computing());
    EXPECT_EQ(epg->averagepalate(), average_palate(ch.epg, r.startindex, r.endindex));
    EXPECT_NE(epg->averagepalate(), average_palate(ch.epg, 0, 7999999));
    if (const char* dir = std::getenv("TESSAL_EPG_SHOT_DIR")) epg->grab().save(QString(dir) + "/epg.png");
}

// "Make channels!" on a long recording waits with a progress dialog while
// the event loop runs; its "Cancel" leaves the document as it was, and
// without cancelling the channels are the engine's indices of the frames.
TEST_F(EpgWindows, MakeChannelsOnALongRecordingCanBeCancelled) {
    tchannel& ch = doc().channel(0);
    ch.epg.resize(4000000);
    for (std::size_t i = 0; i < ch.epg.size(); ++i) ch.epg[i] = epg_frame(rows_of(static_cast<int>(i % 200)));
    ch.epgsampfreq = 2000000;
    for (int m = 0; m < 11; ++m) epg->set_method_checked(m, true);
    doc().theglobal.set_selection(0.1, 0.1);
    settle();
    epg->finish_jobs();
    const int nchans = doc().totnchans();

    int tickswhilewaiting = 0;
    bool waiting = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { tickswhilewaiting += waiting; });
    timer.start(10);
    tessal::testing::tprogresscanceller canceller("Making EPG channels", [&] { return tickswhilewaiting >= 3; });
    waiting = true;
    epg->action("makechannelsaction")->trigger();
    waiting = false;
    EXPECT_TRUE(canceller.clicked());
    EXPECT_GE(tickswhilewaiting, 3);
    QTest::qWait(100);
    EXPECT_EQ(doc().totnchans(), nchans);

    timer.stop();
    epg->action("makechannelsaction")->trigger();
    ASSERT_EQ(doc().totnchans(), nchans + 11);
    const auto methods = make_extraction_methods();
    const tsinglearr cog = doc().channel(nchans).samples_array();
    ASSERT_EQ(cog.size(), 4000000u);
    for (std::size_t i : {0u, 35u, 50u, 1234567u, 3999999u})
        EXPECT_EQ(cog[i], static_cast<float>(methods[0].extract(doc().channel(0).epg[i]))) << i;
}

