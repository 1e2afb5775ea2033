// The export dialog of the plot windows: size, resolution, file.
#include "gui/widgets/figureexport.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QMessageBox>
#include <QSpinBox>

namespace tessal {

const char* const figure_file_filters = "PNG image (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)";

tfigurefileask ask_figure_file = [](QWidget* parent, const QString& filters, QString& filter) {
    return QFileDialog::getSaveFileName(parent, "Export", QString(), filters, &filter);
};

namespace {
// The resolution and filter chosen last, offered again within the run.
int lastdpi = 96;
QString lastfilter;
}  // namespace

bool export_figure(const tfigure& f, const QString& path, const QSize& size, int dpi, QString* error) {
    std::string why;
    if (write_figure(f, path.toStdString(), size, dpi, why)) return true;
    if (error) *error = QString::fromStdString(why);
    return false;
}

void export_figure_dialog(QWidget* parent, const std::function<tfigure()>& make, const QSize& size) {
    QDialog dlg(parent);
    dlg.setWindowTitle("Export");
    auto* form = new QFormLayout(&dlg);
    auto* w = new QSpinBox(&dlg);
    auto* h = new QSpinBox(&dlg);
    auto* dpi = new QSpinBox(&dlg);
    for (QSpinBox* s : {w, h}) s->setRange(figure_min_size, figure_max_size);
    dpi->setRange(figure_min_dpi, figure_max_dpi);
    w->setValue(std::clamp(size.width(), figure_min_size, figure_max_size));
    h->setValue(std::clamp(size.height(), figure_min_size, figure_max_size));
    dpi->setValue(lastdpi);
    w->setObjectName("figurewidth");
    h->setObjectName("figureheight");
    dpi->setObjectName("figuredpi");
    auto* info = new QLabel(&dlg);
    info->setObjectName("figureinfo");
    auto show = [=] {
        const double k = dpi->value() / 96.0;
        info->setText(QString("PNG %1 x %2 pixels; SVG and PDF %3 x %4 cm")
                          .arg(qRound(w->value() * k))
                          .arg(qRound(h->value() * k))
                          .arg(w->value() / 96.0 * 2.54, 0, 'f', 1)
                          .arg(h->value() / 96.0 * 2.54, 0, 'f', 1));
    };
    for (QSpinBox* s : {w, h, dpi}) QObject::connect(s, &QSpinBox::valueChanged, &dlg, show);
    show();
    form->addRow("Width [pixels at 96 dpi]", w);
    form->addRow("Height [pixels at 96 dpi]", h);
    form->addRow("Resolution [dpi]", dpi);
    form->addRow(info);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    if (dlg.exec() != QDialog::Accepted) return;
    lastdpi = dpi->value();
    QString filter = lastfilter;
    QString path = ask_figure_file ? ask_figure_file(parent, figure_file_filters, filter) : QString();
    if (path.isEmpty()) return;
    lastfilter = filter;
    if (QFileInfo(path).suffix().isEmpty())
        path += filter.startsWith("SVG") ? ".svg" : filter.startsWith("PDF") ? ".pdf" : ".png";
    QString error;
    if (!export_figure(make(), path, QSize(w->value(), h->value()), dpi->value(), &error))
        QMessageBox::warning(parent, "Export", error);
}

}  // namespace tessal
