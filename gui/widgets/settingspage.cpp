#include "gui/widgets/settingspage.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

#include "engine/analysis/spectrum.h"

namespace tessal {

QWidget* scrolled_page(QWidget* page, Qt::ScrollBarPolicy horizontal) {
    auto* area = new QScrollArea;
    area->setWidget(page);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(horizontal);
    // Not scrolled across: never narrower than the page's controls (check
    // boxes and labels would be cut), with room for the bar that scrolls
    // it up and down.
    if (horizontal == Qt::ScrollBarAlwaysOff)
        area->setMinimumWidth(page->minimumSizeHint().width() +
                              area->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    return area;
}

QGroupBox* add_radio_box(QVBoxLayout* into, const QString& title, QButtonGroup*& group,
                         const QStringList& items, QObject* owner) {
    auto* box = new QGroupBox(title);
    auto* l = new QVBoxLayout(box);
    group = new QButtonGroup(owner ? owner : box);
    for (int i = 0; i < items.size(); ++i) {
        auto* r = new QRadioButton(items[i]);
        group->addButton(r, i);
        l->addWidget(r);
    }
    into->addWidget(box);
    return box;
}

tfftbox add_fft_box(QVBoxLayout* into, const QString& bandwidth) {
    tfftbox f;
    f.box = new QGroupBox("FFT");
    auto* l = new QVBoxLayout(f.box);
    l->addWidget(new QLabel("Window"));
    f.window = new QComboBox;
    for (int i = 0; i < 5; ++i) f.window->addItem(spectrum_window_name(static_cast<TFFTWindow>(i)));
    l->addWidget(f.window);
    l->addWidget(new QLabel("Bandwidth [Hz]"));
    f.bandwidth = new QLineEdit(bandwidth);
    f.bandwidth->setObjectName("bandwidthedit");
    l->addWidget(f.bandwidth);
    f.length = new QLabel;
    l->addWidget(f.length);
    f.problem = new QLabel;
    f.problem->setObjectName("bandwidthproblem");
    f.problem->setWordWrap(true);
    f.problem->setStyleSheet("color: red");
    f.problem->hide();
    l->addWidget(f.problem);
    into->addWidget(f.box);
    return f;
}

void show_field_problem(QLabel* label, const std::string& problem) {
    label->setText(problem.empty() ? QString() : QString::fromStdString(problem) + ".");
    label->setVisible(!problem.empty());
}

}  // namespace tessal
