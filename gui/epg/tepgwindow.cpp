// The EPG window: controls, following the channel and the selection,
// painting the palate (schematic or photograph), dragging electrodes of the
// grid, making index channels and the settings kept between runs.
#include "gui/epg/tepgwindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QCoreApplication>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/dsp/numformat.h"
#include "engine/settings/tsetting.h"
#include "gui/commands/commandguard.h"
#include "gui/widgets/figureexport.h"
#include "gui/context/appcontext.h"
#include "gui/windows/windowjobs.h"
#include "gui/windows/windowsettings.h"

namespace tessal {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }
QColor qcolor(trgb c) { return QColor(c.r, c.g, c.b); }

// Electrode positions of the schematic palate as fractions of its box:
// the back row at the bottom, the rows narrowing towards the front.
const tpalategrid& schematic_grid() {
    static const tpalategrid g = [] {
        tpalategrid s;
        for (int r = 0; r < epg_rows; ++r) {
            const double half = 0.40 - 0.022 * r;
            for (int c = 0; c < epg_cols; ++c) {
                s.x[r][c] = 0.5 + (c - 3.5) / 3.5 * half;
                s.y[r][c] = 0.88 - r * 0.107;
            }
        }
        return s;
    }();
    return g;
}

}  // namespace

// The palate drawing and the dragging of electrodes on the photograph.
class tpalatecanvas : public QWidget {
public:
    explicit tpalatecanvas(tepgwindow* w) : QWidget(w), w_(w) {
        setMinimumSize(200, 200);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    bool photo() const { return w_->picture_shown() && !w_->palatebmp_.isNull(); }
    const tpalategrid& grid() const { return photo() ? w_->grid_ : schematic_grid(); }
    // The box the grid's fractions refer to.
    QRectF area() const { return area(rect()); }
    // The box within `box` (the canvas, or a figure's plot area).
    QRectF area(const QRect& box) const {
        const QRectF all = QRectF(box).adjusted(8, 8, -8, -8);
        const QSizeF want = photo() ? QSizeF(w_->palatebmp_.size()) : QSizeF(0.85, 1.0);
        QSizeF s = want.scaled(all.size(), Qt::KeepAspectRatio);
        return QRectF(all.center() - QPointF(s.width() / 2, s.height() / 2), s);
    }
    QPointF at(const QRectF& a, tpointf p) const {
        return {a.left() + p.x * a.width(), a.top() + p.y * a.height()};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        paint_guarded(this, tpaintstep::plot, w_->fchanno_, [&] { paint(p, rect()); });
    }
    void mousePressEvent(QMouseEvent* e) override {
        dragging_ = -1;
        if (e->button() != Qt::LeftButton || !photo()) return;
        const QRectF a = area();
        const double px = (e->position().x() - a.left()) / a.width();
        const double py = (e->position().y() - a.top()) / a.height();
        // Within 10 pixels, measured along the shorter side.
        dragging_ = nearest_electrode(w_->grid_, px, py, 10.0 / std::min(a.width(), a.height()));
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (dragging_ < 0 || !(e->buttons() & Qt::LeftButton) || !photo()) return;
        const QRectF a = area();
        const int r = dragging_ / 8, c = dragging_ % 8;
        w_->grid_.x[r][c] = std::clamp((e->position().x() - a.left()) / a.width(), 0.0, 1.0);
        w_->grid_.y[r][c] = std::clamp((e->position().y() - a.top()) / a.height(), 0.0, 1.0);
        update();
    }
    void mouseReleaseEvent(QMouseEvent*) override { dragging_ = -1; }

public:
    // The palate drawn within `box`.
    void paint(QPainter& p, const QRect& box) {
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF a = area(box);
        const tpalategrid& g = grid();
        const bool color = w_->colormode();
        const tepgmatrix& pal = w_->averagepalate_;
        if (photo()) {
            p.drawImage(a, w_->palatebmp_);
        } else {
            // The palate outline: open at the back (bottom), round at the front.
            QPainterPath outline;
            outline.moveTo(at(a, {0.03, 0.98}));
            outline.cubicTo(at(a, {0.0, 0.55}), at(a, {0.05, 0.12}), at(a, {0.5, 0.03}));
            outline.cubicTo(at(a, {0.95, 0.12}), at(a, {1.0, 0.55}), at(a, {0.97, 0.98}));
            p.setPen(QPen(QColor(150, 90, 90), 2));
            p.setBrush(QColor(255, 235, 230));
            p.drawPath(outline);
        }
        if (w_->showsurface_->isChecked()) {
            const tpalatemidpos m = palate_midpos(g);
            for (int r = 0; r < epg_rows; ++r)
                for (int c = 0; c < epg_cols; ++c) {
                    if (!epg_is_electrode(r, c) || !(pal[r][c] > 0)) continue;
                    QColor col = qcolor(electrode_color(pal[r][c], c, color));
                    if (photo()) col.setAlpha(170);
                    p.setBrush(col);
                    p.setPen(QPen(col, 1));  // no seams between neighbours
                    const QPointF q[4] = {at(a, m[r][c]), at(a, m[r + 1][c]), at(a, m[r + 1][c + 1]),
                                          at(a, m[r][c + 1])};
                    p.drawPolygon(q, 4);
                }
        }
        if (w_->showgrid_->isChecked()) {
            p.setPen(QPen(photo() ? QColor(0, 160, 255) : QColor(170, 170, 170), 1));
            for (int r = 0; r < epg_rows; ++r)
                for (int c = 0; c < epg_cols; ++c) {
                    const QPointF e = at(a, {g.x[r][c], g.y[r][c]});
                    if (r + 1 < epg_rows) p.drawLine(e, at(a, {g.x[r + 1][c], g.y[r + 1][c]}));
                    if (c + 1 < epg_cols) p.drawLine(e, at(a, {g.x[r][c + 1], g.y[r][c + 1]}));
                }
        }
        if (w_->showelectrodes_->isChecked()) {
            const double rad = w_->electrodesize_->value();
            for (int r = 0; r < epg_rows; ++r)
                for (int c = 0; c < epg_cols; ++c) {
                    const QPointF e = at(a, {g.x[r][c], g.y[r][c]});
                    // A mid grey rim shows on black and white alike.
                    p.setPen(QPen(QColor(128, 128, 128), 1.5));
                    p.setBrush(qcolor(electrode_color(pal[r][c], c, color)));
                    if (epg_is_electrode(r, c))
                        p.drawEllipse(e, rad, rad);
                    else  // the sync marks
                        p.drawRect(QRectF(e.x() - rad / 2, e.y() - rad / 2, rad, rad));
                }
        }
        if (w_->action("showcogaction")->isChecked()) {
            const tepgcog cg = palate_cog(pal);
            if (cg.any) {
                const QPointF e = at(a, grid_point_at(g, cg.row - 0.5, cg.col - 0.5));
                p.setPen(QPen(Qt::red, 2));
                p.setBrush(Qt::NoBrush);
                p.drawEllipse(e, 7, 7);
                p.drawLine(e - QPointF(11, 0), e + QPointF(11, 0));
                p.drawLine(e - QPointF(0, 11), e + QPointF(0, 11));
            }
        }
        if (!w_->epgis_) {
            p.setPen(Qt::darkGray);
            p.drawText(box, Qt::AlignCenter, w_->fchanno_ < 0 ? "No channels" : "No EPG available");
        }
    }

private:
    tepgwindow* w_;
    int dragging_ = -1;
};

tepgwindow::tepgwindow(tappcontext& ctx, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::Tool),
      ctx_(ctx),
      tools_(this, nullptr),
      line_(deliver_to(this)),
      makeline_(deliver_to(this)) {
    setWindowTitle("EPG");
    methods_ = make_extraction_methods();
    if (methods_.size() != 11) ctx_.prompter.error("Ajajaj!", "Felprogrammering!");
    checked_.assign(methods_.size(), false);
    if (!checked_.empty()) checked_[0] = true;
    grid_ = default_palate_grid();

    // Making channels guards its own work.
    tools_.add({.id = "makechannelsaction", .caption = "Make channels!",
                .handler = [this] { makechannelsactionExecute(); }, .toolorder = 10,
                .hint = "Make new channels"});
    tools_.add_check({.id = "lockaction", .caption = "Lock channel", .toolorder = 11}, [this](bool on) {
        lock_.set_locked(on, ctx_.doc);
        refresh();
    });
    tools_.add({.id = "rowogramaction", .caption = "Contact evolution",
                .handler = [this] { ctx_.windows.show("contactevolution"); }, .toolorder = 12,
                .hint = "Show contact evolution"});
    tools_.add_check({.id = "showcogaction", .caption = "Show COG", .toolorder = 13},
                     [this](bool) { canvas_->update(); });
    tools_.add_check({.id = "coloraction", .caption = "Color", .toolorder = 14}, [this](bool) {
        canvas_->update();
        if (changed) changed();
    });
    tools_.add({.id = "copyimageaction", .caption = "Copy as image", .handler = [this] {
                    QApplication::clipboard()->setImage(figure_image(figure(), QSize(520, 560),
                                                                     static_cast<int>(96 * devicePixelRatioF())));
                }, .toolorder = 20});
    tools_.add({.id = "exportaction", .caption = "Export...",
                .handler = [this] { export_figure_dialog(this, [this] { return figure(); }, QSize(520, 560)); },
                .toolorder = 21});
    tools_.add_check({.id = "Photoaction", .caption = "Palate picture", .toolorder = 15}, [this](bool on) {
        set_picture_shown(on);
        if (on) tabs_->setCurrentIndex(0);
    });
    auto* outer = tools_.build_layout();
    tools_.action("showcogaction")->setChecked(true);

    auto* split = new QSplitter(Qt::Horizontal, this);
    outer->addWidget(split, 1);
    canvas_ = new tpalatecanvas(this);
    split->addWidget(canvas_);
    tabs_ = new QTabWidget(split);
    auto* page = new QWidget;
    auto* pl = new QVBoxLayout(page);
    showpicture_ = new QCheckBox("Show picture");
    showgrid_ = new QCheckBox("Show grid");
    showelectrodes_ = new QCheckBox("Show electrodes");
    showsurface_ = new QCheckBox("Show surface");
    showgrid_->setChecked(true);
    showelectrodes_->setChecked(true);
    showsurface_->setChecked(true);
    for (QCheckBox* b : {showpicture_, showgrid_, showelectrodes_, showsurface_}) {
        pl->addWidget(b);
        connect(b, &QCheckBox::toggled, this, [this] { canvas_->update(); });
    }
    connect(showpicture_, &QCheckBox::toggled, tools_.action("Photoaction"), &QAction::setChecked);
    pl->addWidget(new QLabel("Electrode size"));
    electrodesize_ = new QSpinBox;
    electrodesize_->setObjectName("electrodesizespin");
    electrodesize_->setRange(1, 40);
    electrodesize_->setValue(6);
    pl->addWidget(electrodesize_);
    connect(electrodesize_, &QSpinBox::valueChanged, this, [this] { canvas_->update(); });
    auto* openbutton = new QPushButton("Open palate picture...");
    openbutton->setObjectName("openpicturebutton");
    pl->addWidget(openbutton);
    connect(openbutton, &QPushButton::clicked, this, [this] {
        const QString f = QFileDialog::getOpenFileName(
            this, "Open palate picture", QFileInfo(picturefilename_).absolutePath(),
            "Bitmap image (*.bmp);;Pictures (*.bmp *.png *.jpg *.jpeg);;All files (*)");
        if (!f.isEmpty()) open_picture(f);
    });
    auto* savebutton = new QPushButton("Save grid");
    savebutton->setObjectName("savegridbutton");
    pl->addWidget(savebutton);
    connect(savebutton, &QPushButton::clicked, this, [this] { save_grid(); });
    pl->addStretch(1);
    tabs_->addTab(page, "Palate picture");
    auto* makepage = new QWidget;
    auto* ml = new QVBoxLayout(makepage);
    methodlist_ = new QListWidget;
    methodlist_->setObjectName("methodlist");
    ml->addWidget(methodlist_);
    tabs_->addTab(makepage, "Make channels");
    connect(methodlist_, &QListWidget::itemChanged, this, [this](QListWidgetItem* it) {
        const int m = methodlist_->row(it);
        if (m >= 0 && m < static_cast<int>(checked_.size())) checked_[static_cast<std::size_t>(m)] = it->checkState() == Qt::Checked;
    });
    rebuild_methods_list();
    split->setStretchFactor(0, 1);
    split->setSizes({480, 280});
    status_ = new TStatusPanels({260, 240}, this);
    outer->addWidget(status_);
    progresstimer_ = new QTimer(this);
    progresstimer_->setInterval(100);
    connect(progresstimer_, &QTimer::timeout, this, [this] {
        if (line_.busy()) status_->set_text(0, progress_text("Calculating average palate", line_.progress()));
        else progresstimer_->stop();
    });
    ctx_.doc.theglobal.add_listener(this);
}

tepgwindow::~tepgwindow() {
    if (persist) run_guarded(nullptr, [&] { persist(*this); });
    ctx_.doc.theglobal.remove_listener(this);
}

QAction* tepgwindow::action(const QString& name) const { return findChild<QAction*>(name); }

tfigure tepgwindow::figure() {
    tfigure f;
    f.axes = false;  // the palate has no value axes: rows and columns are drawn
    // The file, the channel and the times of the first and last frame
    // averaged.
    f.title = figure_title_of(ctx_.doc.filename(), -1, "", 0, -1);
    if (fchanno_ >= 0 && fchanno_ < ctx_.doc.totnchans()) {
        const tchannel& ch = ctx_.doc.channel(fchanno_);
        const double fs = ch.epgsampfreq;
        const bool frames = ch.epgexists && range_.lastframe >= 0 && fs > 0;
        f.title = figure_title_of(ctx_.doc.filename(), fchanno_, ch.name(), frames ? range_.startindex / fs : 0,
                                  frames ? range_.endindex / fs : -1);
    }
    f.paint = [this](QPainter& p, const QSize& size, TAxis&, TAxis&) {
        p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
        canvas_->paint(p, QRect(QPoint(0, 0), size));
    };
    // Contact over the span, as the middle columns show it (the outer ones
    // are tinted in colour mode).
    const bool color = colormode();
    f.scale = tfigurescale{0, 100, "Contact [%]", [color](double v) {
                               const trgb c = electrode_color(v, 3, color);
                               return qRgb(c.r, c.g, c.b);
                           }};
    return f;
}

bool tepgwindow::export_file(const QString& path, const QSize& size, QString* error, int dpi) {
    return export_figure(figure(), path, size, dpi, error);
}
QWidget* tepgwindow::canvas() const { return canvas_; }
QPointF tepgwindow::electrode_pixel(int r, int c) const {
    const tpalategrid& g = canvas_->grid();
    return canvas_->at(canvas_->area(), {g.x[r][c], g.y[r][c]});
}
int tepgwindow::channel() const {
    return ctx_.doc.totnchans() > 0 ? lock_.channel(ctx_.doc) : -1;
}
bool tepgwindow::colormode() const { return action("coloraction")->isChecked(); }
bool tepgwindow::picture_shown() const { return showpicture_->isChecked(); }
void tepgwindow::set_picture_shown(bool on) { showpicture_->setChecked(on); }

void tepgwindow::rebuild_methods_list() {
    // Items tell of every flag set while they are made: not a user's tick.
    const QSignalBlocker quiet(methodlist_);
    methodlist_->clear();
    for (std::size_t m = 0; m < methods_.size(); ++m) {
        auto* it = new QListWidgetItem(qs(methods_[m].methodname), methodlist_);
        it->setFlags(it->flags() | Qt::ItemIsUserCheckable);
        it->setCheckState(checked_[m] ? Qt::Checked : Qt::Unchecked);
    }
}

void tepgwindow::set_method_checked(int m, bool on) {
    if (m < 0 || m >= methodlist_->count()) return;
    methodlist_->item(m)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

bool tepgwindow::method_checked(int m) const {
    return m >= 0 && m < static_cast<int>(checked_.size()) && checked_[static_cast<std::size_t>(m)];
}

void tepgwindow::refresh() {
    tdocument& doc = ctx_.doc;
    if (doc.totnchans() == 0) {
        line_.cancel();
        fchanno_ = -1;
        epgis_ = false;
        range_ = {};
        averagepalate_ = {};
        setWindowTitle("EPG");
        status_->set_text(0, {});
        status_->set_text(1, {});
    } else {
        fchanno_ = lock_.channel(doc);
        const tchannel& ch = doc.channel(fchanno_);
        epgis_ = ch.epgexists && !ch.epg.empty();
        range_ = {};
        if (epgis_) {
            const tglobal& g = doc.theglobal;
            double t1 = g.sel1cursor(), t2 = g.sel2cursor();
            // While sound plays the palate follows the play cursor.
            if (ctx_.view.playing && ctx_.view.showcursors[0]) t1 = t2 = ch.cursors[0];
            range_ = epg_frame_range(ch, t1, t2);
            // The average of the range's frames as a job, from a copy of
            // them; the palate shows the last finished average meanwhile.
            const long long last = static_cast<long long>(ch.epg.size()) - 1;
            const long long a = std::clamp<long long>(range_.startindex, 0, last);
            const long long b = std::clamp<long long>(range_.endindex, 0, last);
            auto frames = std::make_shared<std::vector<std::uint64_t>>();
            if (b >= a) frames->assign(ch.epg.begin() + a, ch.epg.begin() + b + 1);
            const int nd = doc.prefs.nSignificantDigits;
            line_.start(
                [frames](tjobcontext& c) {
                    return average_palate(*frames, 0, static_cast<int>(frames->size()) - 1, &c);
                },
                [this, nd](tepgmatrix p) {
                    averagepalate_ = p;
                    progresstimer_->stop();
                    status_->set_text(0, epgis_ ? qs(epg_cog_text(palate_cog(averagepalate_), nd)) : QString());
                    canvas_->update();
                },
                [this](const std::string& why) {
                    progresstimer_->stop();
                    status_->set_text(0, qs(why));
                });
            if (!progresstimer_->isActive()) progresstimer_->start();
        } else {
            line_.cancel();
            averagepalate_ = {};
            status_->set_text(0, QString());
        }
        setWindowTitle(qs(epg_title(ch, range_)));
        status_->set_text(1, epgis_ ? qs(float_to_text(ch.epgsampfreq)) + " frames/s, " +
                                          QString::number(range_.endindex - range_.startindex + 1) +
                                          " averaged"
                                    : QString());
    }
    action("makechannelsaction")->setEnabled(epgis_);
    action("lockaction")->setToolTip((lock_.locked() ? "Locked to channel " : "Lock channel ") +
                                     QString::number(std::max(fchanno_, 0)));
    canvas_->update();
    if (changed) changed();
}

void tepgwindow::finish_jobs() {
    while (line_.busy()) {
        line_.wait();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

void tepgwindow::makechannelsactionExecute() {
    if (!epgis_ || fchanno_ < 0 || fchanno_ >= ctx_.doc.totnchans()) return;
    // The indices from a copy of the frames on a worker, with progress and
    // "Cancel" (which leaves the document as it was); then, as one change
    // of the document named by make_epg_channels_caption, the channels.
    const tchannel& src = ctx_.doc.channel(fchanno_);
    auto frames = std::make_shared<const std::vector<std::uint64_t>>(src.epg);
    const double fs = src.epgsampfreq;
    if (!(fs > 0)) {
        show_error("Channel " + std::to_string(fchanno_) + " has no EPG data");
        return;
    }
    auto data = std::make_shared<tepgmakedata>();
    auto failure = std::make_shared<std::string>();
    makeline_.start(
        [frames, fs, methods = methods_, checked = checked_](tjobcontext& c) {
            return compute_epg_channels(*frames, fs, methods, checked, &c);
        },
        [data](tepgmakedata d) { *data = std::move(d); },
        [failure](const std::string& why) { *failure = why.empty() ? "Make channels failed" : why; });
    if (!wait_with_progress(this, makeline_, "Making EPG channels")) return;
    if (!failure->empty()) {
        show_error(*failure);
        return;
    }
    run_guarded(&ctx_.doc, [&] { apply_epg_channels(ctx_.doc, methods_, std::move(*data)); }, true,
                QString::fromUtf8(make_epg_channels_caption));
    refresh();
}

bool tepgwindow::open_picture(const QString& path) {
    QImage img(path);
    if (img.isNull()) {
        show_error("Cannot read the palate picture " + path.toStdString() +
                   ": it is missing or not a picture this program reads (BMP, PNG, JPEG)");
        return false;
    }
    palatebmp_ = img.convertToFormat(QImage::Format_RGB32);
    picturefilename_ = path;
    const std::string gridpath = palate_grid_filename(path.toStdString());
    if (QFileInfo::exists(QString::fromStdString(gridpath))) {
        run_guarded(nullptr, [&] { grid_ = load_palate_grid(gridpath); }, false);
    }
    set_picture_shown(true);
    canvas_->update();
    return true;
}

bool tepgwindow::save_grid() {
    if (picturefilename_.isEmpty()) {
        show_error("Open a palate picture first: the grid is saved beside it");
        return false;
    }
    return run_guarded(nullptr, [&] {
        save_palate_grid(palate_grid_filename(picturefilename_.toStdString()), grid_);
    }, false);
}

void tepgwindow::showEvent(QShowEvent* e) {
    refresh();
    QWidget::showEvent(e);
}

void tepgwindow::main_cursor_changed(bool) {
    if (isVisible()) refresh();
}

void tepgwindow::fix_things() {
    if (isVisible()) refresh();
}

void tepgwindow::channels_changed() {
    if (isVisible()) refresh();
}

void tepgwindow::invalidate_paintboxes(bool) {
    // The play cursor moves by repaints.
    if (isVisible() && ctx_.view.playing) refresh();
}

void tepgwindow::channel_changed(const tchannelchange&) {
    if (isVisible()) refresh();
}

void tepgwindow::save_settings_to(const QString& path) const {
    TSetting ini;
    open_settings_file(ini, path);
    ini.WriteString("EPG", "Picture", picturefilename_.toStdString());
    ini.WriteBool("EPG", "ShowPicture", showpicture_->isChecked());
    ini.WriteBool("EPG", "ShowGrid", showgrid_->isChecked());
    ini.WriteBool("EPG", "ShowElectrodes", showelectrodes_->isChecked());
    ini.WriteBool("EPG", "ShowSurface", showsurface_->isChecked());
    ini.WriteBool("EPG", "ShowCOG", action("showcogaction")->isChecked());
    ini.WriteBool("EPG", "Color", action("coloraction")->isChecked());
    ini.WriteInteger("EPG", "ElectrodeSize", electrodesize_->value());
    ini.IniClose();
}

void tepgwindow::load_settings_from(const QString& path) {
    TSetting ini;
    if (!read_settings_file(ini, path, "EPG", "ShowGrid")) return;
    showgrid_->setChecked(ini.ReadBool("EPG", "ShowGrid", true));
    showelectrodes_->setChecked(ini.ReadBool("EPG", "ShowElectrodes", true));
    showsurface_->setChecked(ini.ReadBool("EPG", "ShowSurface", true));
    action("showcogaction")->setChecked(ini.ReadBool("EPG", "ShowCOG", true));
    action("coloraction")->setChecked(ini.ReadBool("EPG", "Color", false));
    const auto size = ini.ReadInteger("EPG", "ElectrodeSize", 6);
    electrodesize_->setValue(static_cast<int>(std::clamp<std::int64_t>(size, 1, 40)));
    const QString pic = QString::fromStdString(ini.ReadString("EPG", "Picture", ""));
    // A picture that went away since is simply not shown.
    if (!pic.isEmpty() && QFileInfo::exists(pic)) open_picture(pic);
    set_picture_shown(ini.ReadBool("EPG", "ShowPicture", false) && !palatebmp_.isNull());
}

}  // namespace tessal
