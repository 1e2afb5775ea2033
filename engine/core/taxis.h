// TAxis: the value scale of one side of a plot and that plot's mapping
// between values and pixels. Linear, logarithmic (decade) and music-note
// scales; tick placement with label thinning; clamped effective ends; zoom
// and pan by dragging; the limits dialog's validation and apply rules.
//
// This is the model only: the axis widget in gui/widgets paints it and feeds
// it mouse coordinates along the axis. Lengths are in device-independent
// pixels. Errors raise EAxisError with the user-readable text.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/core/subscribers.h"
#include "engine/core/textmetrics.h"

namespace tessal {

class EAxisError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class taxisposition { posleft, posright, posover, posunder };

class TAxis {
public:
    TAxis();

    // Geometry. Vertical axes (posleft/posright) have length = height,
    // horizontal ones length = width.
    void SetWidth(int w);
    void SetHeight(int h);
    int GetWidth() const { return fwidth; }
    int GetHeight() const { return fheight; }
    int length() const;
    bool vertical() const;

    // Ends: stored as set, clamped to the bounds whenever read.
    double GetLoValue() const;
    double GetHiValue() const;
    void SetLoValue(double v);
    void SetHiValue(double v);
    // Stores lo then hi; fires OnScaleChanged at most once.
    void set_hilovalues(double hi, double lo);
    double stored_lovalue() const { return flovalue; }
    double stored_hivalue() const { return fhivalue; }

    double GetMinLoValue() const { return fminlovalue; }
    double GetMaxLoValue() const { return fmaxlovalue; }
    double GetMinHiValue() const { return fminhivalue; }
    double GetMaxHiValue() const { return fmaxhivalue; }
    double GetMinValueDifference() const { return fminvaluedifference; }
    double GetMaxValueDifference() const { return fmaxvaluedifference; }
    void SetMinLoValue(double v);
    void SetMaxLoValue(double v);
    void SetMinHiValue(double v);
    void SetMaxHiValue(double v);
    void SetMinValueDifference(double v);
    void SetMaxValueDifference(double v);

    taxisposition GetPosition() const { return fposition; }
    void SetPosition(taxisposition p);
    bool GetLogarithmic() const { return flogarithmic; }
    void SetLogarithmic(bool v);
    bool GetMusicScale() const { return fMusicScale; }
    void SetMusicScale(bool v);
    bool GetReverse() const { return freverse; }
    void SetReverse(bool v);
    bool GetIsInteger() const { return fisinteger; }
    void SetIsInteger(bool v);
    int GetTickSpaceAim() const { return ftickspaceaim; }
    void SetTickSpaceAim(int v);
    int GetTickMarkSize() const { return ftickmarksize; }
    void SetTickMarkSize(int v);
    bool GetShowTickmarks() const { return fshowtickmarks; }
    void SetShowTickmarks(bool v);
    const std::string& GetAxisText() const { return faxistext; }
    void SetAxisText(const std::string& v);
    unsigned GetBackgroundColor() const { return fbackgroundcolor; }
    void SetBackgroundColor(unsigned c);
    bool GetAutosize() const { return fautosize; }
    void SetAutosize(bool v);

    bool fallowloscroll = true;
    bool fallowhiscroll = true;
    bool fallowmidscroll = false;
    bool fallowdoubleclick = false;
    bool fallowlogarithmicchange = false;

    // Font metrics used for tick spacing, label thinning and auto size; the
    // object is not owned and must outlive the axis.
    void set_textmetrics(const ttextmetrics* m);
    const ttextmetrics& textmetrics() const { return *fmetrics; }

    // Mapping between values and positions along the axis.
    double value_to_notclipped_position(double v) const;
    double value_to_position(double v) const;
    int value_to_notclippedpixel(double v) const;
    int value_to_pixel(double v) const;
    double pixel_to_value(int p) const;

    // Ticks (recomputed first when dirty).
    int nTickMarks();
    double tickvalue(int i);
    int tickposition(int i);
    std::string ticktext(int i);
    bool tickismajor(int i);

    // Marker line across the axis.
    bool GetMarkerVisible() const { return fmarkervisible; }
    void SetMarkerVisible(bool v);
    double GetMarkerValue() const { return fmarkervalue; }
    void SetMarkerValue(double v);
    int GetMarkerPixel() const;
    void SetMarkerPixel(int p);

    // Mouse handling, with coordinates along the axis (y for vertical, x for
    // horizontal axes) in pixels of the control.
    // Drag mode at a position: 0 none, 1 low end, 2 pan, 3 high end.
    int drag_mode_at(int pos) const;
    void mouse_down(int pos);
    void mouse_move(int pos);
    void mouse_up(int pos);
    bool dragging() const { return mousescroll != 0; }

    // Limits dialog rules: OK is allowed when both texts parse, hi > lo and,
    // with the logarithmic box checked, both are > 0.
    static bool limits_acceptable(const std::string& hitext, const std::string& lotext,
                                  bool logarithmic);
    // Applies the dialog's values (after OK) in the order the scale needs,
    // then fires OnScaleChanged whichever way the dialog closed.
    void apply_limits(bool ok, double hi, double lo, bool logarithmic);

    // Wanted size when Autosize is set: width for vertical axes, height for
    // horizontal ones.
    int autosize_extent() const;
    // With Autosize: takes autosize_extent() as width (vertical) or height
    // (horizontal) and tells OnResize.
    void auto_resize();

    // The label font changed (the text metrics now measure differently).
    void font_changed();
    // After the properties were read from a description: recompute ticks.
    void Loaded();

    // The scale as stored (ends, bounds, kinds), to put back after a
    // command that failed half way. Restoring never throws and fires
    // OnScaleChanged when the visible ends change.
    struct tscalestate {
        double lo = 0, hi = 1;
        double minlo = -1e300, maxlo = 1e300, minhi = -1e300, maxhi = 1e300;
        double mindiff = 0, maxdiff = 1e300;
        bool logarithmic = false, music = false, reverse = false, isinteger = false;
        friend bool operator==(const tscalestate&, const tscalestate&) = default;
    };
    tscalestate scale_state() const;
    void restore_scale_state(const tscalestate& s);

    // Rounds x to 1, 2 or 5 times a power of ten (0 for 0).
    static double nice(double x);

    // Where the axis text begins along the axis, set by the painting code;
    // tick labels keep clear of it.
    int axistextposition = 0;

    // Who is told of changes: each is a list that any number of plots and
    // widgets subscribe to and unsubscribe from with the token they got.
    // The scale is about to change / has changed (a handler that changes
    // the scale again is not told of that change).
    tsubscribers<TAxis&> OnScaleChanging;
    tsubscribers<TAxis&> OnScaleChanged;
    // For the widget that shows the axis: something visible changed (ticks,
    // marker, colours, texts) / Autosize changed the control's size.
    tsubscribers<TAxis&> OnInvalidate;
    tsubscribers<TAxis&> OnResize;

private:
    void compute_ticks();
    void compute_linear_ticks(int L, double lo, double hi);
    void compute_log_ticks(int L, double lo, double hi);
    void ensure_ticks();
    void check_tick_index(int i) const;
    void invalidate();
    void changed_ends(double oldlo, double oldhi);
    void store_lo(double v);
    void store_hi(double v);
    void pull_marker();
    double effective_lo(double stored) const;
    double effective_hi(double storedhi, double lo) const;
    double from_low_end(int pos) const;
    void fire_scale_changed();
    void fire_scale_changing();

    taxisposition fposition = taxisposition::posleft;
    bool flogarithmic = false;
    bool fMusicScale = false;
    std::vector<bool> ftickismajor;
    double flovalue = 0;
    double fhivalue = 1;
    bool fshowtickmarks = true;
    int fntickmarks = 0;
    std::vector<double> ftickmarks;
    std::vector<int> ftickmarkpositions;
    std::vector<std::string> ftickmarktext;
    int ftickmarksize = 5;
    int ftickspaceaim = 40;
    unsigned fbackgroundcolor = 0xF0F0F0;
    std::string faxistext;
    double fminlovalue = -1e300;
    double fmaxlovalue = 1e300;
    double fminhivalue = -1e300;
    double fmaxhivalue = 1e300;
    double fminvaluedifference = 0;
    double fmaxvaluedifference = 1e300;
    bool freverse = false;
    bool fautosize = false;
    bool ticksdirty = true;
    int downpos = 0;
    int rawdownpos = 0;
    int mousescroll = 0;
    double downlovalue = 0;
    double downhivalue = 0;
    bool scalechangecalled = false;
    bool fmarkervisible = false;
    double fmarkervalue = 0;
    bool fisinteger = false;
    std::vector<bool> occupied;
    int fwidth = 200;
    int fheight = 200;
    const ttextmetrics* fmetrics;
};

}  // namespace tessal
