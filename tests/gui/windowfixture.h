// For the GUI tests: a main window whose questions a scripted prompter
// answers, one of its tool windows opened on a document the test has
// filled, channels of one sine or of counting samples, text typed into a
// field, an axis's limits set through its dialog, and the red of a drawn
// picture.
#pragma once

#include <cmath>
#include <cstddef>
#include <functional>
#include <memory>
#include <numbers>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColor>
#include <QImage>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSize>
#include <QString>
#include <QTest>
#include <QTimer>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "gui/commands/commandregistry.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/widgets/taxislimitform.h"
#include "gui/widgets/taxiswidget.h"
#include "support/scriptedprompter.h"
#include "tonechannels.h"

namespace tessal::testing {

// The main window, activated as at start-up with no files unless the test
// says otherwise.
struct tscriptedmain {
    std::unique_ptr<tscriptedprompter> prompter_owner = std::make_unique<tscriptedprompter>();
    tscriptedprompter* prompter = prompter_owner.get();
    TMainWindow w{prompter};
    explicit tscriptedmain(bool activate = true) {
        if (activate) w.first_activation({});
    }
    tdocument& doc() { return w.document(); }
};

// Whether the main window's command `id` is enabled, once the commands have
// been brought up to date.
inline bool enabled(TMainWindow& w, const char* id) {
    w.commands().refresh();
    return w.commands().action(id)->isEnabled();
}

// The main window and its tool window of type W, which open() shows (at
// the given size, if any) once the test's constructor has filled the
// document. The size is set again once the window has opened, as a user
// would drag it: where a window first opens depends on the screen, and
// what a strip computes (one row a pixel) must not.
template <class W>
struct twindowfixture : tscriptedmain {
    W* win = nullptr;
    void open(const QString& id, QSize size = {}) {
        win = dynamic_cast<W*>(w.windows().window(id));
        if (win && size.isValid()) win->resize(size);
        w.windows().show(id);
        settle();
        if (win && size.isValid() && win->size() != size) {
            win->resize(size);
            settle();
        }
    }
};

// n samples at fs of amp · sin(2π f t).
inline void sine_channel(tchannel& ch, double fs, std::size_t n, double amp, double f) {
    ch.sampfreq = fs;
    tsinglearr s(n);
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<float>(amp * std::sin(2 * std::numbers::pi * f * double(i) / fs));
    ch.set_samples(std::move(s));
}

// n channels (n even) at 1 kHz in stereo pairs 0-1, 2-3, ..., selected in
// stereo; sample k of channel c holds 1000 * c + k, one second of them.
inline void counting_channels(tdocument& doc, int n) {
    doc.set_totnchans(n);
    for (int c = 0; c < n; ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = ch.orgsampfreq = 1000;
        ch.set_fsd(8000);
        tsinglearr s(1000);
        for (int k = 0; k < 1000; ++k) s[k] = static_cast<float>(1000 * c + k);
        ch.set_samples(std::move(s));
    }
    for (int c = 0; c < n; ++c) doc.channel(c).stereochanno = c ^ 1;
    doc.selectmode = selstereo;
}

// Types `text` into a line edit as the user does: focus, the old text
// selected, the keys, then Return (which finishes the edit).
inline void type_into(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

// Double-clicks an axis widget and answers its limits dialog with lo, hi
// and (where the dialog offers it) the logarithmic box, then OK; whether
// a dialog opened.
inline bool set_limits_by_dialog(TAxisWidget* axis, const QString& lo, const QString& hi, bool log) {
    bool opened = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<TAxisLimitForm*>(QApplication::activeModalWidget());
        if (!d) return;
        opened = true;
        d->Edit2->setText(lo);
        d->Edit1->setText(hi);
        if (!d->logarithmiccheck->isHidden()) d->logarithmiccheck->setChecked(log);
        QTest::mouseClick(d->Button1, Qt::LeftButton);
    });
    QTest::mouseDClick(axis, Qt::LeftButton, {}, QPoint(axis->width() / 2, axis->height() / 2));
    settle();
    return opened;
}

// Pure red pixels in row y of a widget's picture.
inline int red_in_row(const QImage& img, int y) {
    int n = 0;
    for (int x = 0; x < img.width(); ++x) n += img.pixelColor(x, y) == QColor(255, 0, 0);
    return n;
}

// Presses "Cancel" with the mouse in the progress dialog a waiting command
// shows, as soon as one is visible and `ready()` agrees, checking its label
// (unless empty); looks every `period_ms` while it exists. Make it before
// the command, in the test's scope.
class tprogresscanceller {
public:
    explicit tprogresscanceller(const QString& label, std::function<bool()> ready = {}, int period_ms = 10) {
        QObject::connect(&poll_, &QTimer::timeout, [this, label, ready] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<QProgressDialog*>(w); d && d->isVisible() && (!ready || ready())) {
                    for (auto* b : d->findChildren<QPushButton*>()) {
                        poll_.stop();
                        if (!label.isEmpty()) {
                            EXPECT_EQ(d->labelText(), label);
                        }
                        QTest::mouseClick(b, Qt::LeftButton);
                        clicked_ = true;
                        return;
                    }
                }
        });
        poll_.start(period_ms);
    }
    bool clicked() const { return clicked_; }

private:
    QTimer poll_;
    bool clicked_ = false;
};

}  // namespace tessal::testing
