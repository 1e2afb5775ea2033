// The sound feature's windows: the soundcard list and its choice, the
// recording window's controls following the channel choice, and the
// play commands' check states.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include "gui/mainwindow/mainwindow.h"
#include "gui/sound/recorddialog.h"
#include "gui/sound/soundcarddialog.h"
#include "support/scriptedprompter.h"

namespace tessal {
namespace {

using testing::tscriptedprompter;

TEST(SoundcardDialog, ListsDefaultFirstAndOkSetsTheDeviceNumber) {
    int device = 1;
    tsoundcarddialog d([] { return std::vector<std::string>{"Card A", "Card B"}; }, device, nullptr);
    EXPECT_EQ(d.windowTitle(), "Soundcard settings");
    d.show();
    auto* list = d.findChild<QComboBox*>("soundcardlist");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(0), "Windows default soundcard");
    EXPECT_EQ(list->itemText(2), "Card B");
    EXPECT_EQ(list->currentIndex(), 2);  // device 1
    list->setCurrentIndex(0);
    for (QPushButton* b : d.findChildren<QPushButton*>())
        if (b->text() == "&Cancel") b->click();
    EXPECT_EQ(device, 1);
    d.show();
    list->setCurrentIndex(1);
    for (QPushButton* b : d.findChildren<QPushButton*>())
        if (b->text() == "&Ok") b->click();
    EXPECT_EQ(device, 0);
}

TEST(RecordDialog, ControlsFollowTheChannelChoiceAndStayIdle) {
    tscriptedprompter prompter;
    TMainWindow w(&prompter);
    w.first_activation({});
    auto* d = dynamic_cast<trecorddialog*>(w.windows().window("record"));
    ASSERT_NE(d, nullptr);
    d->show();
    auto* rate = d->findChild<QLineEdit*>("rate");
    ASSERT_NE(rate, nullptr);
    EXPECT_EQ(rate->text(), "44100");
    auto* record = d->findChild<QPushButton*>("recordbutton");
    auto* pause = d->findChild<QPushButton*>("pausebutton");
    EXPECT_EQ(record->text(), "Record!");
    EXPECT_FALSE(pause->isEnabled());
    auto* leftpeak = d->findChild<QPushButton*>("leftpeak");
    auto* rightpeak = d->findChild<QPushButton*>("rightpeak");
    EXPECT_EQ(leftpeak->text(), "0.0");
    for (QRadioButton* r : d->findChildren<QRadioButton*>())
        if (r->text() == "Right") r->click();
    EXPECT_FALSE(leftpeak->isVisible());
    EXPECT_TRUE(rightpeak->isVisible());
    for (QRadioButton* r : d->findChildren<QRadioButton*>())
        if (r->text() == "Mono") r->click();
    EXPECT_TRUE(leftpeak->isVisible());
    EXPECT_FALSE(rightpeak->isVisible());
    // Nothing was recorded: the document is as it was.
    EXPECT_EQ(w.document().totnchans(), 0);
    EXPECT_FALSE(w.document().modified());
}

TEST(PlayCommands, LoopTogglesAndPlayNeedsAChannel) {
    tscriptedprompter prompter;
    TMainWindow w(&prompter);
    w.first_activation({});
    QAction* loop = w.commands().action("loopaction");
    ASSERT_NE(loop, nullptr);
    EXPECT_TRUE(loop->isCheckable());
    EXPECT_FALSE(loop->isChecked());
    loop->trigger();
    w.commands().refresh();
    EXPECT_TRUE(loop->isChecked());
    EXPECT_FALSE(w.commands().action("playaction")->isEnabled());
    EXPECT_FALSE(w.commands().action("playentirefileaction")->isEnabled());
}

}  // namespace
}  // namespace tessal
