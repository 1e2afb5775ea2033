// The form a step's dialog is drawn from: values as typed, ranges refused
// with the field's own sentence, and the change hook that dialogs rely on.
#include <gtest/gtest.h>

#include "engine/process/channelsteps.h"
#include "engine/process/tprocstep.h"
#include "engine/process/tstepform.h"

using namespace tessal;

TEST(StepForm, NumbersAreReadAsTypedAndRefusedOutsideTheirRange) {
    tstepform form("Test");
    form.add_number("f", "Frequency [Hz]", 100.5, tnumberfield{"Frequency", 0.001, 1e6, "Hz"});
    form.add_number("free", "Gain", -3);
    EXPECT_EQ(form.text("f"), "100.5");
    EXPECT_DOUBLE_EQ(form.number("f"), 100.5);
    EXPECT_DOUBLE_EQ(form.number("free"), -3);

    form.set_text("f", "0");
    EXPECT_EQ(form.number_problem("f"), "Frequency must be a number from 0.001 to 1000000 Hz");
    EXPECT_THROW(form.number("f"), EProcessError);
    form.set_text("f", "1e400");
    EXPECT_FALSE(form.number_problem("f").empty());
    form.set_text("free", "nan");
    EXPECT_EQ(form.number_problem("free"), "Gain must be a number");
    form.set_text("free", "abc");
    EXPECT_THROW(form.number("free"), EProcessError);
    EXPECT_THROW(form.field("missing"), std::out_of_range);
}

TEST(StepForm, ChangeHookShowsFieldsByModeAndFillsPresets) {
    tstepform form("Test");
    form.add_radio("mode", "Input", {"Not used", "Controls duration"}, 0);
    form.add_number("dur", "Duration [s]", 1);
    form.add_combo("preset", "Preset", {"Fast", "Slow", "Custom"}, 0);
    form.add_number("size", "Window size", 5);
    form.onchange = [](tstepform& f, const std::string& key) {
        f.field("dur").visible = f.index("mode") == 0;
        if (key == "preset" && f.index("preset") == 1) f.set_number("size", 40);
        if (key == "size") f.field("preset").index = f.text("size") == "40" ? 1 : 2;
    };
    form.set_index("mode", 1);
    EXPECT_FALSE(form.field("dur").visible);
    form.set_index("preset", 1);
    EXPECT_EQ(form.text("size"), "40");
    form.set_text("size", "41");
    EXPECT_EQ(form.index("preset"), 2);
}

// The channel steps' dialogs: the form shows the step's values, a
// confirmed form sets them, and a refused value names its field and leaves
// the step as it was.
TEST(StepForm, ChannelStepDialogsCarryEveryParameter) {
    tsavechannel save;
    auto f = save.settings_form();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->caption, "Save signal to channel");
    EXPECT_EQ(f->text("channo"), "N");
    EXPECT_EQ(f->field("channo").caption, "Channel number (N=new channel)");
    EXPECT_EQ(f->field("fsdmode").items,
              (std::vector<std::string>{"Do not set", "Set to peak value", "Set to fixed value",
                                        "Set to dB above RMS"}));
    EXPECT_EQ(f->index("fsdmode"), 1);
    EXPECT_FALSE(f->field("fixedfsd").enabled);
    f->set_index("fsdmode", 3);
    EXPECT_FALSE(f->field("fixedfsd").enabled);
    EXPECT_TRUE(f->field("rmsdbfsd").enabled);
    f->set_text("channo", "n 3 s");
    f->set_checked("usechannelname", true);
    f->set_text("channelname", "level");
    f->set_text("rmsdbfsd", "12.5");
    f->set_checked("usedbreference", true);
    f->set_text("dbreference", "2e-05");
    f->set_text("stereochanno", "c");
    save.apply_form(*f);
    EXPECT_EQ(save.channo, (tintarr{-1, 3, -2}));
    EXPECT_TRUE(save.usechannelname);
    EXPECT_EQ(save.channelname, "level");
    EXPECT_EQ(save.get_procname(), "Save to channels N 3 S (level)");
    EXPECT_EQ(save.fsdmode, 3);
    EXPECT_DOUBLE_EQ(save.rmsdbfsd, 12.5);
    EXPECT_TRUE(save.usedbreference);
    EXPECT_DOUBLE_EQ(save.dbreference, 2e-5);
    EXPECT_EQ(save.stereochanno, tintarr{-3});

    // One bad value: nothing is taken, and the message says which field.
    auto g = save.settings_form();
    g->set_text("channo", "4");
    g->set_text("fixedfsd", "0");
    try {
        save.apply_form(*g);
        ADD_FAILURE() << "a zero FSD was taken";
    } catch (const EProcessError& e) {
        EXPECT_NE(std::string(e.what()).find("Fixed FSD"), std::string::npos) << e.what();
    }
    EXPECT_EQ(save.channo, (tintarr{-1, 3, -2}));
    g->set_text("fixedfsd", "2");
    g->set_text("stereochanno", "1-2");
    EXPECT_THROW(save.apply_form(*g), EProcessError);
    EXPECT_EQ(save.channo, (tintarr{-1, 3, -2}));

    tprependchannel prepend;
    auto a = prepend.settings_form();
    EXPECT_EQ(a->caption, "Save signal to channel");
    EXPECT_EQ(a->field("fsdmode").items.size(), 3u);
    EXPECT_FALSE(a->has("rmsdbfsd"));
    a->set_index("fsdmode", 2);
    EXPECT_TRUE(a->field("fixedfsd").enabled);
    a->set_text("fixedfsd", "0.5");
    a->set_text("channo", "2 0");
    prepend.apply_form(*a);
    EXPECT_EQ(prepend.get_procname(), "Prepend to channels 2 0");
    EXPECT_DOUBLE_EQ(prepend.fixedfsd, 0.5);
    EXPECT_EQ(prepend.fsdmode, 2);

    tloadchannel load;
    auto l = load.settings_form();
    EXPECT_EQ(l->caption, "Load signal from channel");
    l->set_checked("loadlabels", false);
    l->set_text("channo", "");
    load.apply_form(*l);
    EXPECT_TRUE(load.channo.empty());
    EXPECT_FALSE(load.loadlabels);

    tdeletechannel del;
    auto d = del.settings_form();
    EXPECT_EQ(d->caption, "Delete channel number");
    EXPECT_EQ(d->field("channo").caption, "Channel number(s)");
    EXPECT_EQ(d->text("channo"), "0");
    d->set_text("channo", "0 1");
    del.apply_form(*d);
    EXPECT_EQ(del.channo, (tintarr{0, 1}));
}
