// Every number field of Settings, Label properties and Channel information
// has a sensible range: a value outside it is refused with a sentence that
// names the field and the range, and changes nothing; the counts the
// program clamps (significant digits, decimals) are still clamped.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include "gui/editing/tchannelinfodialog.h"
#include "gui/labels/tlabelpropertiesdialog.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/settings/tsettingsdialog.h"
#include "support/scriptedprompter.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

struct tnumberwindow {
    tscriptedprompter prompter;
    TMainWindow w{&prompter};
    tnumberwindow() {
        w.first_activation({});
        tdocument& doc = w.document();
        doc.set_totnchans(1);
        tchannel& ch = doc.channel(0);
        ch.sampfreq = 16000;
        ch.set_samples(tsinglearr(16000, 0.1f));
        ch.set_fsd(1);
        ch.set_name("mic");
        ch.add_label(0.2, 0.3, "vowel", "manual");
        doc.theglobal.channels_changed();
        doc.set_modified(false);
    }
};

}  // namespace

TEST(NumberFields, SettingsRefuseValuesOutOfRangeAndSayWhy) {
    tnumberwindow f;
    auto* d = qobject_cast<tsettingsdialog*>(f.w.windows().window("settings"));
    ASSERT_NE(d, nullptr);
    d->load();
    auto* rate = d->findChild<QLineEdit*>("samprate");
    auto* margin = d->findChild<QLineEdit*>("margin");
    auto* digits = d->findChild<QLineEdit*>("digits");
    auto* problem = d->findChild<QLabel*>("problem");
    ASSERT_TRUE(rate && margin && digits && problem);
    EXPECT_TRUE(d->okbutton()->isEnabled());
    EXPECT_EQ(problem->text(), "");

    rate->setText("1e300");
    EXPECT_FALSE(d->okbutton()->isEnabled());
    EXPECT_EQ(problem->text(), "Default sample rate must be a number from 1 to 10000000 Hz.");
    rate->setText("48000");
    margin->setText("1e308");
    EXPECT_FALSE(d->okbutton()->isEnabled());
    EXPECT_EQ(problem->text(), "Warning margin for overload labels must be a number from 0 to 100 dB.");
    d->okbutton()->click();  // disabled: nothing happens
    EXPECT_EQ(f.w.document().prefs.DefaultSampFreq, 44100);

    margin->setText("0.5");
    digits->setText("999");  // clamped to 20, as the sample beside it shows
    EXPECT_TRUE(d->okbutton()->isEnabled());
    EXPECT_EQ(problem->text(), "");
    d->okbutton()->click();
    EXPECT_EQ(f.w.document().prefs.nSignificantDigits, 20);
    EXPECT_EQ(f.w.document().prefs.DefaultSampFreq, 48000);
    EXPECT_EQ(f.w.document().prefs.OverloadMargin, 0.5);
}

TEST(NumberFields, LabelPropertiesRefuseADurationOf1e300) {
    tnumberwindow f;
    auto* d = qobject_cast<tlabelpropertiesdialog*>(f.w.windows().window("labelproperties"));
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(d->load(0, 0));
    d->show();
    d->findChild<QLineEdit*>("duration")->setText("1e300");
    d->findChild<QPushButton*>("save")->click();
    ASSERT_EQ(f.prompter.asked.size(), 1u);
    EXPECT_EQ(f.prompter.asked[0].text, "Duration must be a number from 0 to 10000000 s.");
    EXPECT_TRUE(d->isVisible());  // still open for a better number
    EXPECT_EQ(d->edited().duration, 0.3);
    EXPECT_EQ(f.w.document().channel(0).labels[0].duration, 0.3);
    EXPECT_FALSE(f.w.document().modified());

    d->findChild<QLineEdit*>("time")->setText("-2e9");
    d->findChild<QLineEdit*>("duration")->setText("0.5");
    d->findChild<QPushButton*>("save")->click();
    ASSERT_EQ(f.prompter.asked.size(), 2u);
    EXPECT_EQ(f.prompter.asked[1].text, "Starting time must be a number from -10000000 to 10000000 s.");
    d->findChild<QLineEdit*>("time")->setText("0.25");
    d->findChild<QPushButton*>("save")->click();
    EXPECT_EQ(f.prompter.asked.size(), 2u);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(d->edited().duration, 0.5);
}

TEST(NumberFields, ChannelInformationRefusesASamplingRateOf0001) {
    tnumberwindow f;
    f.w.commands().action("channelinfoaction")->trigger();
    auto* d = qobject_cast<tchannelinfodialog*>(f.w.windows().window("channelinfo"));
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(d->isVisible());
    d->field("name")->setText("glottis");
    d->field("sampfreq")->setText("0.001");
    d->findChild<QPushButton*>("apply")->click();
    ASSERT_EQ(f.prompter.asked.size(), 1u);
    EXPECT_EQ(f.prompter.asked[0].text,
              "'0.001' cannot be used.\rSampling rate must be a number from 1 to 10000000 Hz.");
    const tchannel& ch = f.w.document().channel(0);
    EXPECT_EQ(ch.sampfreq, 16000);
    EXPECT_EQ(ch.name(), "mic");

    for (const char* field : {"timeshift", "dbreference", "fsd"}) {
        d->field("sampfreq")->setText("16000");
        d->field(field)->setText("1e300");
        d->findChild<QPushButton*>("apply")->click();
        EXPECT_NE(f.prompter.asked.back().text.find("must be a number from"), std::string::npos)
            << field;
        EXPECT_EQ(ch.name(), "mic") << field;
        d->choose(0);
    }
    // A rate the channel already has passes even outside the range, so a
    // slow channel can still be renamed.
    f.w.document().channel(0).sampfreq = 0.5;
    d->choose(0);
    d->field("name")->setText("breathing");
    const std::size_t asked = f.prompter.asked.size();
    d->findChild<QPushButton*>("apply")->click();
    EXPECT_EQ(f.prompter.asked.size(), asked);
    EXPECT_EQ(ch.name(), "breathing");
    EXPECT_EQ(ch.sampfreq, 0.5);
    d->close();
}
