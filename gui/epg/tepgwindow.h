// The "EPG" window: the tongue-palate contact of the channel's
// electropalatograph frames, averaged over the main window's selection (or
// the single frame under the play cursor while sound plays), drawn on a
// schematic palate or on a photograph of the palate with its electrode
// grid. The user drags electrodes on the photograph to fit the grid and
// keeps it with "Save grid" beside the picture. "Make channels!" turns the
// ticked contact indices into channels. All numbers come from
// engine/tools/epg.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <vector>

#include "engine/core/tviewlistener.h"
#include "engine/jobs/jobline.h"
#include "engine/tools/epg.h"
#include "gui/widgets/tplotpanel.h"
#include "gui/windows/windowtools.h"

class QAction;
class QCheckBox;
class QListWidget;
class QSpinBox;
class QTabWidget;

namespace tessal {

class tappcontext;
class tpalatecanvas;

class tepgwindow : public QWidget, public tviewlistener {
    Q_OBJECT

public:
    tepgwindow(tappcontext& ctx, QWidget* owner);
    ~tepgwindow() override;
    QSize sizeHint() const override { return {760, 520}; }

    QAction* action(const QString& objectname) const;
    // The channel shown, followed even while the window is hidden (-1
    // without channels), and whether it has EPG data.
    int channel() const;
    bool epgis() const { return epgis_; }
    bool colormode() const;
    const tepgrange& range() const { return range_; }
    const tepgmatrix& averagepalate() const { return averagepalate_; }
    std::vector<TExtractionMethod>& methods() { return methods_; }
    void set_method_checked(int m, bool on);
    bool method_checked(int m) const;
    tpalategrid& grid() { return grid_; }
    const QString& picturefilename() const { return picturefilename_; }
    bool picture_shown() const;
    void set_picture_shown(bool on);
    QWidget* canvas() const;
    // Where electrode (r, c) is drawn on the canvas now.
    QPointF electrode_pixel(int r, int c) const;
    TStatusPanels* status() const { return status_; }
    // The palate as a figure (title, drawing, contact colour scale) and
    // its export (PNG, SVG or PDF by the extension).
    tfigure figure();
    bool export_file(const QString& path, const QSize& size, QString* error = nullptr, int dpi = 96);

    // Takes the channel, range and title at once; the average palate of
    // the range follows as a job on the window's line.
    void refresh();
    // An average under way (its result not yet handed back).
    bool computing() const { return line_.busy(); }
    // Runs the event loop until the newest average is handed back.
    void finish_jobs();
    void makechannelsactionExecute();
    // Loads a palate picture (BMP, PNG, JPEG) and the grid file beside it.
    // False with the message shown when the picture cannot be read; a grid
    // file that cannot be used is reported and the grid stays as it was.
    bool open_picture(const QString& path);
    // Writes the grid file beside the picture; false with the message shown.
    bool save_grid();

    void save_settings_to(const QString& path) const;
    void load_settings_from(const QString& path);
    std::function<void(const tepgwindow&)> persist;
    // Told after every refresh (the contact evolution window follows).
    std::function<void()> changed;

    void main_cursor_changed(bool sel2) override;
    void fix_things() override;
    void channels_changed() override;
    void invalidate_paintboxes(bool makebmps) override;
    void channel_changed(const tchannelchange& change) override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    friend class tpalatecanvas;
    void rebuild_methods_list();

    tappcontext& ctx_;
    twindowtools tools_;
    TChannelLock lock_;
    int fchanno_ = -1;
    bool epgis_ = false;
    tepgrange range_;
    tepgmatrix averagepalate_{};
    std::vector<TExtractionMethod> methods_;
    std::vector<bool> checked_;
    tpalategrid grid_;
    QImage palatebmp_;
    QString picturefilename_;
    tpalatecanvas* canvas_ = nullptr;
    TStatusPanels* status_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QListWidget* methodlist_ = nullptr;
    QCheckBox* showpicture_ = nullptr;
    QCheckBox* showgrid_ = nullptr;
    QCheckBox* showelectrodes_ = nullptr;
    QCheckBox* showsurface_ = nullptr;
    QSpinBox* electrodesize_ = nullptr;
    class QTimer* progresstimer_ = nullptr;
    // Last: goes first, cancelling and waiting for its jobs.
    tjobline line_;
    tjobline makeline_;
};

}  // namespace tessal
