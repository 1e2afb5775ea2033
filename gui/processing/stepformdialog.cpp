#include "gui/processing/stepformdialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QGuiApplication>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "gui/widgets/layoutcheck.h"
#include "gui/windows/windowset.h"

namespace tessal {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

// A field's row: its widget after its caption, or across the row without one.
void add_row(QFormLayout* into, const std::string& caption, QWidget* w) {
    if (caption.empty())
        into->addRow(w);
    else
        into->addRow(q(caption), w);
}

}  // namespace

tstepformdialog::tstepformdialog(tprocstep& step, std::unique_ptr<tstepform> form,
                                 tprompter& prompter, QWidget* parent)
    : QDialog(parent), step_(step), form_(std::move(form)), prompter_(prompter) {
    setObjectName("stepformdialog");
    setWindowTitle(q(form_->caption));
    setModal(true);
    build();
    sync();
    size_to_form();
}

void tstepformdialog::build() {
    auto* outer = new QVBoxLayout(this);
    // The fields scroll when the form is taller than the screen (a large
    // scale on a small screen); the message and the buttons stay in sight.
    auto* scroll = new QScrollArea;
    scroll->setObjectName("formscroll");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* body = new QWidget;
    // The containers being filled: the dialog, then each open frame.
    auto* top = new QFormLayout(body);
    top->setContentsMargins(0, 0, 0, 0);
    top->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    scroll->setWidget(body);
    outer->addWidget(scroll, 1);
    std::vector<QFormLayout*> stack{top};
    std::vector<std::string> groupcaptions{""};
    std::map<std::string, QFormLayout*> layouts;

    // Companions are drawn on their check box's row, not on their own.
    std::map<std::string, std::string> companionof;
    for (const tformfield& f : form_->fields)
        if ((f.kind == tfieldkind::check || f.kind == tfieldkind::button) && !f.companion.empty())
            companionof[f.companion] = f.key;

    auto make_edit = [this](const tformfield& f) {
        auto* e = new QLineEdit(q(f.text));
        e->setObjectName(q(f.key));
        const std::string key = f.key;
        connect(e, &QLineEdit::textEdited, this, [this, key](const QString& t) {
            form_->field(key).text = t.toStdString();
            edited(key);
        });
        return e;
    };

    // A check box or button whose field names a companion shares its row
    // with the companion's edit, which may come later in the form, so it is
    // made here when needed. False when the field has no companion.
    auto add_companion_row = [&](const tformfield& f, QWidget* first) {
        if (f.companion.empty() || !form_->has(f.companion)) return false;
        const tformfield& cf = form_->field(f.companion);
        if (!widgets_.count(cf.key)) widgets_[cf.key] = make_edit(cf);
        auto* row = new QWidget;
        auto* h = new QHBoxLayout(row);
        h->setContentsMargins(0, 0, 0, 0);
        h->addWidget(first);
        h->addWidget(widgets_[cf.key], 1);
        stack.back()->addRow(row);
        rows_[f.key] = row;
        layouts[f.key] = stack.back();
        return true;
    };

    for (const tformfield& f : form_->fields) {
        QFormLayout* into = stack.back();
        const std::string key = f.key;
        switch (f.kind) {
            case tfieldkind::group: {
                auto* box = new QGroupBox(q(f.caption));
                box->setObjectName(q(f.key));
                auto* inner = new QFormLayout(box);
                inner->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
                into->addRow(box);
                widgets_[key] = box;
                rows_[key] = box;
                layouts[key] = into;
                stack.push_back(inner);
                groupcaptions.push_back(f.caption);
                continue;
            }
            case tfieldkind::endgroup:
                if (stack.size() > 1) {
                    stack.pop_back();
                    groupcaptions.pop_back();
                }
                continue;
            case tfieldkind::text:
            case tfieldkind::number: {
                if (companionof.count(key)) {
                    if (!widgets_.count(key)) widgets_[key] = make_edit(f);
                    continue;  // placed with its check box
                }
                QLineEdit* e = make_edit(f);
                widgets_[key] = e;
                add_row(into, f.caption, e);
                break;
            }
            case tfieldkind::check: {
                auto* c = new QCheckBox(q(f.caption));
                c->setObjectName(q(key));
                c->setChecked(f.checked);
                connect(c, &QCheckBox::toggled, this, [this, key](bool v) {
                    form_->field(key).checked = v;
                    edited(key);
                });
                widgets_[key] = c;
                if (add_companion_row(f, c)) continue;
                into->addRow(c);
                break;
            }
            case tfieldkind::radio: {
                auto* frame = new QWidget;
                frame->setObjectName(q(key));
                auto* v = new QVBoxLayout(frame);
                v->setContentsMargins(0, 0, 0, 0);
                auto* group = new QButtonGroup(frame);
                for (std::size_t i = 0; i < f.items.size(); ++i) {
                    auto* b = new QRadioButton(q(f.items[i]));
                    b->setObjectName(q(key + ":" + std::to_string(i)));
                    group->addButton(b, static_cast<int>(i));
                    v->addWidget(b);
                }
                connect(group, &QButtonGroup::idClicked, this, [this, key](int id) {
                    form_->field(key).index = id;
                    edited(key);
                });
                widgets_[key] = frame;
                // A radio group inside a frame of the same title needs no label.
                add_row(into, f.caption == groupcaptions.back() ? std::string() : f.caption, frame);
                break;
            }
            case tfieldkind::combo: {
                auto* c = new QComboBox;
                c->setObjectName(q(key));
                for (const std::string& item : f.items) c->addItem(q(item));
                connect(c, &QComboBox::activated, this, [this, key](int i) {
                    form_->field(key).index = i;
                    edited(key);
                });
                widgets_[key] = c;
                add_row(into, f.caption, c);
                break;
            }
            case tfieldkind::button: {
                auto* b = new QPushButton(q(f.caption));
                b->setObjectName(q(key));
                connect(b, &QPushButton::clicked, this, [this, key] { edited(key); });
                widgets_[key] = b;
                if (add_companion_row(f, b)) continue;
                into->addRow(b);
                break;
            }
            case tfieldkind::note: {
                auto* l = new QLabel(q(f.text));
                l->setObjectName(q(key));
                l->setWordWrap(true);
                widgets_[key] = l;
                into->addRow(l);
                break;
            }
        }
        rows_[key] = widgets_[key];
        layouts[key] = into;
    }
    layouts_ = std::move(layouts);

    problem_ = new QLabel;
    problem_->setObjectName("problem");
    problem_->setWordWrap(true);
    problem_->setStyleSheet("color: #b00000");
    outer->addWidget(problem_);
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    outer->addWidget(buttons_);
}

void tstepformdialog::size_to_form() {
    // Never narrower than the form (no sideways scrolling) nor than the
    // caption; as tall as the whole form where the screen holds it.
    auto* scroll = findChild<QScrollArea*>("formscroll");
    QWidget* body = scroll->widget();
    auto* outer = layout();
    const int bar = scroll->verticalScrollBar()->sizeHint().width();
    scroll->setMinimumWidth(body->minimumSizeHint().width() + bar);
    const QMargins m = outer->contentsMargins();
    setMinimumWidth(std::max(caption_width(windowTitle()), body->minimumSizeHint().width() + bar + m.left() + m.right()));
    QSize want(std::max(body->sizeHint().width() + bar, buttons_->sizeHint().width()) + m.left() + m.right(),
               body->sizeHint().height() + buttons_->sizeHint().height() + outer->spacing() +
                   (problem_->isHidden() ? 0 : problem_->sizeHint().height() + outer->spacing()) + m.top() +
                   m.bottom());
    want.setWidth(std::max(want.width(), minimumWidth()));
    const QScreen* s = parentWidget() && parentWidget()->screen() ? parentWidget()->screen()
                                                                  : QGuiApplication::primaryScreen();
    if (s) {
        // Room for a title bar and a thin frame on the available screen.
        const QSize room = s->availableGeometry().size() - QSize(8, windowtitleheight + 8);
        want = want.boundedTo(room);
    }
    resize(want);
}

void tstepformdialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    // Centred over the processing window, then wholly on the screen with
    // room for its title bar.
    setProperty("tessal_placed", true);
    fit_window_on_screen(this, parentWidget());
}

QWidget* tstepformdialog::widget(const std::string& key) const {
    auto it = widgets_.find(key);
    return it == widgets_.end() ? nullptr : it->second;
}

void tstepformdialog::edited(const std::string& key) {
    if (syncing_) return;
    form_->changed(key);
    sync();
}

void tstepformdialog::sync() {
    syncing_ = true;
    QStringList problems;
    for (const tformfield& f : form_->fields) {
        auto it = widgets_.find(f.key);
        if (it == widgets_.end()) continue;
        QWidget* w = it->second;
        switch (f.kind) {
            case tfieldkind::text:
            case tfieldkind::number: {
                auto* e = static_cast<QLineEdit*>(w);
                if (e->text() != q(f.text)) e->setText(q(f.text));
                bool bad = false;
                if (f.kind == tfieldkind::number && f.visible && f.enabled) {
                    const std::string p = form_->number_problem(f.key);
                    if (!p.empty()) {
                        problems << q(p);
                        bad = true;
                    }
                }
                e->setStyleSheet(bad ? "QLineEdit { background: #ffe0e0; }" : QString());
                e->setToolTip(bad ? problems.back() : QString());
                break;
            }
            case tfieldkind::check:
                static_cast<QCheckBox*>(w)->setChecked(f.checked);
                break;
            case tfieldkind::radio: {
                const auto buttons = w->findChildren<QRadioButton*>();
                for (QRadioButton* b : buttons)
                    b->setChecked(b->objectName() ==
                                  q(f.key + ":" + std::to_string(f.index)));
                break;
            }
            case tfieldkind::combo:
                static_cast<QComboBox*>(w)->setCurrentIndex(f.index);
                break;
            case tfieldkind::note:
                static_cast<QLabel*>(w)->setText(q(f.text));
                break;
            default: break;
        }
        w->setEnabled(f.enabled);
        auto row = rows_.find(f.key);
        auto lay = layouts_.find(f.key);
        if (row != rows_.end() && lay != layouts_.end())
            lay->second->setRowVisible(row->second, f.visible);
        else
            w->setVisible(f.visible);  // a companion: it goes with its own field
    }
    problem_->setText(problems.join("\n"));
    problem_->setVisible(!problems.isEmpty());
    syncing_ = false;
}

QString tstepformdialog::problem_text() const { return problem_->text(); }

bool tstepformdialog::try_accept() {
    try {
        step_.apply_form(*form_);
        return true;
    } catch (const std::exception& e) {
        prompter_.ask(e.what(), form_->caption, tbuttons::ok, ticon::error);
        return false;
    }
}

void tstepformdialog::done(int r) {
    if (r == QDialog::Accepted && !try_accept()) return;
    QDialog::done(r);
}

}  // namespace tessal
