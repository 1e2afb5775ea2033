// The form a step's dialog is drawn from: values as typed, ranges refused
// with the field's own sentence, and the change hook that dialogs rely on.
#include <gtest/gtest.h>

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
