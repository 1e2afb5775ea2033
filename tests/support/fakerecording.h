// Recording from the fake input device through the main window's
// "Record from soundcard" window: the device the window is given, the
// settings a test picks (16 bits, the rate, the channel mode and targets)
// and a known signal to capture.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

#include "engine/audio/fakeaudiodevice.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/sound/recorddialog.h"

namespace tessal::testing {

struct tfakerecording {
    test::tfakeinput* device = nullptr;
    trecorddialog* window = nullptr;

    // Gives the window the fake device; call before the window is first shown.
    explicit tfakerecording(TMainWindow& w) {
        w.context().soundcards.makeinput = [this] {
            auto d = std::make_unique<test::tfakeinput>();
            device = d.get();
            return d;
        };
        window = dynamic_cast<trecorddialog*>(w.windows().window("record"));
        window->show();
    }
    // Mode "Mono", "Left", "Right" or "Stereo"; a target of -1 records to a
    // new channel.
    void setup(const QString& mode, int rate, int left, int right) {
        // Shown again, the window lists the document's channels as they are.
        window->hide();
        window->show();
        for (QRadioButton* r : window->findChildren<QRadioButton*>())
            if (r->text() == mode) r->click();
        for (QCheckBox* c : window->findChildren<QCheckBox*>())
            if (c->text() == "Use 24 bit if available") c->setChecked(false);
        window->findChild<QLineEdit*>("rate")->setText(QString::number(rate));
        auto boxes = window->findChildren<QComboBox*>();
        std::vector<QComboBox*> targets;
        for (QComboBox* b : boxes)
            if (b->objectName() != "recordsoundcardlist") targets.push_back(b);
        ASSERT_EQ(targets.size(), 2u);
        targets[0]->setCurrentIndex(left < 0 ? targets[0]->count() - 1 : left);
        targets[1]->setCurrentIndex(right < 0 ? targets[1]->count() - 1 : right);
        auto* list = window->findChild<QComboBox*>("recordsoundcardlist");
        list->setCurrentIndex(list->count() - 1);  // the fake microphone
    }
    // `frames` of `nchans` interleaved 16-bit samples: sines well below
    // overload, different per channel and per `seed`.
    static std::vector<std::int16_t> signal(int frames, int nchans, int seed) {
        std::vector<std::int16_t> s;
        for (int i = 0; i < frames; ++i)
            for (int c = 0; c < nchans; ++c)
                s.push_back(static_cast<std::int16_t>(
                    std::lround(12000 * std::sin(0.01 * (seed + 1) * (c + 1) * i + seed))));
        return s;
    }
};

// Channel c's samples.
inline std::vector<float> samples(const tdocument& doc, int c) {
    const tsinglearr s = doc.channel(c).samples_array();
    return {s.begin(), s.end()};
}

// The side `c` of interleaved 16-bit samples as the recorder stores them.
inline std::vector<float> side(const std::vector<std::int16_t>& s, int nchans, int c) {
    std::vector<float> v;
    for (std::size_t i = static_cast<std::size_t>(c); i < s.size(); i += static_cast<std::size_t>(nchans))
        v.push_back(static_cast<float>(s[i] / 32768.0));
    return v;
}

}  // namespace tessal::testing
