// Every step type that declares its parameters is checked from its list:
// its defaults and a set of values away from them survive a save and an
// open, its form holds every parameter and gives back what it shows, and a
// number outside its range (or not a number) is refused naming the field,
// leaving the step as it was.
#include <cmath>
#include <fstream>
#include <sstream>

#include "engine/process/processfile.h"
#include "engine/process/stepparams.h"
#include "processfixture.h"

namespace tessal::testing {
namespace {

class tstepparams_test : public ttempdirtest {
protected:
    std::string saved(const tprocstep& step, const std::string& name) {
        tprocsteps list;
        list.push_back(create_step(step.procnum, &step));
        list[0]->enabled = step.enabled;
        save_process_file(path(name), list);
        std::ifstream in(path(name));
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::unique_ptr<tprocstep> reopened(const tprocstep& step) {
        saved(step, "roundtrip.tessalproc");
        tprocsteps list;
        open_process_file(path("roundtrip.tessalproc"), list, 44100);
        EXPECT_EQ(list.size(), 1u);
        return std::move(list[0]);
    }
};

// A value of the parameter away from the step's own, inside its range.
void change(const tparam& p, tprocstep& s) {
    switch (p.kind) {
    case tparamkind::real: {
        // The range is the form's, which may show the value scaled.
        const double v = p.real_of(s) * p.scale, lo = p.range->lo, hi = p.range->hi;
        p.set_real(s, (v < hi ? v + std::min(1.25, 0.5 * (hi - v)) : (v + lo) / 2) / p.scale);
        break;
    }
    case tparamkind::whole: {
        int& v = p.int_of(s);
        v = v + 1 <= p.range->hi ? v + 1 : v - 1;
        break;
    }
    case tparamkind::choice: {
        const int i = (p.index_of(s) + 1) % static_cast<int>(p.items.size());
        p.int_of(s) = p.codes.empty() ? i : p.codes[static_cast<std::size_t>(i)];
        break;
    }
    case tparamkind::flag: p.set_flag(s, !p.flag_of(s)); break;
    case tparamkind::text: p.text_of(s) += "x re 1"; break;
    case tparamkind::channels: p.channels_of(s).push_back(3); break;
    case tparamkind::reals:
        for (double& v : p.reals_of(s)) v += 1.25;
        p.reals_of(s).push_back(-0.5);
        break;
    }
}

// How the parameter's key begins a line of the saved section.
std::string stored_as(const tparam& p) {
    if (p.kind == tparamkind::channels && !p.listastext) return "\nnChans=";
    if (p.kind == tparamkind::reals) return "\n" + p.key + "0=";
    return "\n" + p.key + "=";
}

// Equal; a number shown scaled (ms for s), or one whose changed value
// needs all 17 digits (0.14 + 1.25), may come back from the form's 15
// digits a rounding away.
bool same(const tparam& p, const tprocstep& a, const tprocstep& b) {
    switch (p.kind) {
    case tparamkind::real:
        return std::fabs(p.real_of(a) - p.real_of(b)) <= 1e-14 * std::fabs(p.real_of(a));
    case tparamkind::whole:
    case tparamkind::choice: return p.int_of(a) == p.int_of(b);
    case tparamkind::flag: return p.flag_of(a) == p.flag_of(b);
    case tparamkind::text: return p.text_of(a) == p.text_of(b);
    case tparamkind::channels: return p.channels_of(a) == p.channels_of(b);
    case tparamkind::reals: return p.reals_of(a) == p.reals_of(b);
    }
    return false;
}

// A step with a dialog takes it from its list: no step type keeps a form,
// a file section and their checks of its own.
TEST(tstepparams, EveryStepWithADialogDeclaresItsParameters) {
    for (int i = 0; i < static_cast<int>(procinfo().size()); ++i) {
        auto step = create_step(i);
        if (!step) continue;
        SCOPED_TRACE(procinfo()[i].procid);
        EXPECT_EQ(step->settings_form() != nullptr, step->params() != nullptr);
    }
}

TEST_F(tstepparams_test, EveryDeclaredStepRoundTripsAndRefusesOutOfRange) {
    int declared = 0;
    for (int i = 0; i < static_cast<int>(procinfo().size()); ++i) {
        auto step = create_step(i);
        if (!step || !step->params()) continue;
        ++declared;
        const tparamlist& list = *step->params();
        SCOPED_TRACE(procinfo()[i].procid);

        // Defaults: save, open, save again gives the same file.
        const std::string first = saved(*step, "a.tessalproc");
        auto back = reopened(*step);
        for (const tparam& p : list.params) {
            if (p.in(*step) && p.stored()) {
                EXPECT_TRUE(same(p, *step, *back)) << p.key;
            }
        }
        EXPECT_EQ(saved(*back, "b.tessalproc"), first);

        // Every parameter away from its default, each stored under its key.
        for (const tparam& p : list.params)
            if (p.in(*step)) change(p, *step);
        const std::string changed = saved(*step, "c.tessalproc");
        EXPECT_NE(changed, first);
        back = reopened(*step);
        for (const tparam& p : list.params) {
            // A parameter written only under a condition (the F0 step's
            // path tracker numbers) is left out while it does not hold.
            if (!p.in(*step) || !p.stored() || (p.savedif && !p.savedif(*step))) continue;
            EXPECT_TRUE(same(p, *step, *back)) << p.key;
            EXPECT_NE(changed.find(stored_as(p)), std::string::npos) << p.key;
        }

        // The form shows every parameter and gives back what it shows.
        auto form = step->settings_form();
        ASSERT_TRUE(form);
        for (tformfield& f : form->fields) f.enabled = f.visible = true;
        auto fresh = create_step(i);
        fresh->apply_form(*form);
        for (const tparam& p : list.params) {
            if (!p.in(*step)) continue;
            EXPECT_TRUE(form->has(p.field)) << p.field;
            EXPECT_TRUE(same(p, *step, *fresh)) << p.key;
        }

        // A number outside its range, or not a number, is refused naming
        // the field, and the step keeps its values.
        for (const tparam& p : list.params) {
            if (!p.in(*step) || !p.range) continue;
            const tnumberfield& r = *p.range;
            for (const char* bad : {r.hi < 1e300 ? "1e301" : "-1e301", "x1"}) {
                auto f = step->settings_form();
                for (tformfield& ff : f->fields) ff.enabled = ff.visible = true;
                f->field(p.field).text = bad;
                auto target = create_step(i, step.get());
                const std::string before = saved(*target, "d.tessalproc");
                try {
                    target->apply_form(*f);
                    ADD_FAILURE() << p.field << " took " << bad;
                } catch (const EProcessError& e) {
                    EXPECT_NE(std::string(e.what()).find(r.caption), std::string::npos)
                        << e.what();
                }
                EXPECT_EQ(saved(*target, "e.tessalproc"), before) << p.field;
            }
        }
    }
    EXPECT_GE(declared, 33);
}

}  // namespace
}  // namespace tessal::testing
