#include "gui/widgets/layoutcheck.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

namespace tessal {

namespace {

const QChar ellipsis(0x2026);

// A caption as drawn: "&&" is an ampersand, a single "&" marks the
// mnemonic and takes no room.
QString shown(const QString& text) {
    QString out;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

int widest_line(const QFontMetrics& fm, const QString& text) {
    int w = 0;
    for (const QString& line : text.split('\n')) w = std::max(w, fm.horizontalAdvance(line));
    return w;
}

QString who(const QWidget* w) {
    QString s = QString::fromLatin1(w->metaObject()->className());
    if (!w->objectName().isEmpty()) s += " \"" + w->objectName() + "\"";
    return s;
}

QString quoted(const QString& text) {
    QString t = text;
    t.replace('\n', "\\n");
    return "\"" + t + "\"";
}

class tchecker {
public:
    tchecker(QWidget* window) : window_(window) {
        caption_ = window->windowTitle().isEmpty() ? who(window) : window->windowTitle();
    }

    void walk(QWidget* root) {
        check(root);
        for (QWidget* w : root->findChildren<QWidget*>())
            if (w->window() == window_) check(w);
    }

    QStringList findings;

private:
    void report(const QWidget* w, const QString& what) {
        findings << caption_ + ": " + who(w) + ": " + what;
    }

    void too_narrow(const QWidget* w, const QString& text, int need, int room) {
        report(w, quoted(text) + QString(" needs %1 px, has %2").arg(need).arg(room));
    }

    void check(QWidget* w) {
        if (!w->isVisibleTo(window_) || (w != window_ && !w->isVisible())) return;
        if (auto* t = dynamic_cast<const tpaintedtext*>(w)) return painted(w, t->painted_text_fit());
        if (auto* l = qobject_cast<QLabel*>(w)) return label(l);
        if (auto* b = qobject_cast<QToolButton*>(w)) return toolbutton(b);
        if (auto* b = qobject_cast<QAbstractButton*>(w)) return button(b);
        if (auto* t = qobject_cast<QTabBar*>(w)) return tabbar(t);
        if (auto* t = qobject_cast<QToolBar*>(w)) return toolbar(t);
        if (auto* g = qobject_cast<QGroupBox*>(w)) return groupbox(g);
        if (auto* c = qobject_cast<QComboBox*>(w)) return combobox(c);
    }

    void painted(const QWidget* w, const tpaintedtext::tfit& f) {
        if (!f.text.isEmpty() && f.need > f.room) too_narrow(w, f.text, f.need, f.room);
    }

    void label(QLabel* l) {
        const QString text = l->text();
        if (text.isEmpty() || l->wordWrap()) return;
        if (l->textFormat() == Qt::RichText ||
            (l->textFormat() == Qt::AutoText && Qt::mightBeRichText(text)))
            return;
        if (text.contains(ellipsis)) report(l, quoted(text) + " is cut short");
        const QFontMetrics fm = l->fontMetrics();
        const QString s = l->buddy() ? shown(text) : text;
        const QRect room = l->contentsRect().marginsRemoved(QMargins(l->margin(), l->margin(),
                                                                     l->margin(), l->margin()));
        const int need = widest_line(fm, s) + std::max(0, l->indent());
        if (need > room.width()) too_narrow(l, text, need, room.width());
        const int lines = static_cast<int>(s.count('\n')) + 1;
        const int needh = fm.lineSpacing() * (lines - 1) + fm.height();
        // A pixel or two of descent may go; a line cut in half may not.
        if (needh - 2 > room.height())
            report(l, quoted(text) + QString(" needs %1 px high, has %2").arg(needh).arg(room.height()));
    }

    void button(QAbstractButton* b) {
        const QString text = shown(b->text());
        if (text.isEmpty()) return;
        if (text.contains(ellipsis)) report(b, quoted(text) + " is cut short");
        QStyle::SubElement area;
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = b->text();
        opt.icon = b->icon();
        opt.iconSize = b->iconSize();
        if (qobject_cast<QCheckBox*>(b))
            area = QStyle::SE_CheckBoxContents;
        else if (qobject_cast<QRadioButton*>(b))
            area = QStyle::SE_RadioButtonContents;
        else if (qobject_cast<QPushButton*>(b))
            area = QStyle::SE_PushButtonContents;
        else
            return;
        const int room = b->style()->subElementRect(area, &opt, b).width();
        int need = widest_line(b->fontMetrics(), text);
        if (!b->icon().isNull()) need += b->iconSize().width() + 4;
        if (need > room) too_narrow(b, b->text(), need, room);
    }

    void toolbutton(QToolButton* b) {
        const QString text = shown(b->text());
        const bool showstext = b->toolButtonStyle() != Qt::ToolButtonIconOnly &&
                               !(b->toolButtonStyle() == Qt::ToolButtonFollowStyle && !b->icon().isNull());
        if (text.isEmpty() || !showstext || b->objectName() == "qt_toolbar_ext_button") return;
        const int need = b->sizeHint().width();
        if (need > b->width()) too_narrow(b, b->text(), need, b->width());
    }

    void tabbar(QTabBar* t) {
        for (int i = 0; i < t->count(); ++i)
            if (t->tabText(i).contains(ellipsis)) report(t, quoted(t->tabText(i)) + " is cut short");
        // Its natural size is every tab at its whole text; less room than
        // that elides texts or scrolls tabs out of sight.
        const bool across = t->shape() == QTabBar::RoundedNorth || t->shape() == QTabBar::RoundedSouth ||
                            t->shape() == QTabBar::TriangularNorth || t->shape() == QTabBar::TriangularSouth;
        const int need = across ? t->sizeHint().width() : t->sizeHint().height();
        const int room = across ? t->width() : t->height();
        if (need > room) {
            QStringList tabs;
            for (int i = 0; i < t->count(); ++i) tabs << t->tabText(i);
            too_narrow(t, tabs.join(" | "), need, room);
        }
    }

    void toolbar(QToolBar* t) {
        QStringList hidden;
        for (QAction* a : t->actions()) {
            if (a->isSeparator() || !a->isVisible()) continue;
            QWidget* w = t->widgetForAction(a);
            if (w && !w->isVisible()) hidden << shown(a->iconText().isEmpty() ? a->text() : a->iconText());
        }
        if (!hidden.isEmpty()) report(t, "hides " + quoted(hidden.join(", ")) + " behind its arrow");
    }

    void groupbox(QGroupBox* g) {
        const QString text = shown(g->title());
        if (text.isEmpty()) return;
        int need = g->fontMetrics().horizontalAdvance(text) + 16;
        if (g->isCheckable()) need += g->style()->pixelMetric(QStyle::PM_IndicatorWidth) + 4;
        if (need > g->width()) too_narrow(g, g->title(), need, g->width());
    }

    void combobox(QComboBox* c) {
        const QString text = c->currentText();
        if (text.isEmpty()) return;
        QStyleOptionComboBox opt;
        opt.initFrom(c);
        opt.editable = c->isEditable();
        opt.currentText = text;
        const QRect field =
            c->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c);
        int need = c->fontMetrics().horizontalAdvance(text);
        if (!c->itemIcon(c->currentIndex()).isNull()) need += c->iconSize().width() + 4;
        if (need > field.width()) too_narrow(c, text, need, field.width());
    }

    QWidget* window_;
    QString caption_;
};

}  // namespace

int caption_width(const QString& caption) {
    QFont f = QApplication::font();
    f.setBold(true);
    return QFontMetrics(f).horizontalAdvance(caption) + titlebarbuttons;
}

QStringList check_layout(QWidget* window, const QRect& screen) {
    tchecker c(window);
    c.walk(window);
    // The pages behind the front one, each brought forward in turn.
    for (QTabWidget* tabs : window->findChildren<QTabWidget*>()) {
        if (!tabs->isVisible()) continue;
        const int front = tabs->currentIndex();
        for (int i = 0; i < tabs->count(); ++i) {
            if (i == front) continue;
            tabs->setCurrentIndex(i);
            QApplication::processEvents();
            c.walk(tabs->widget(i));
        }
        tabs->setCurrentIndex(front);
    }
    QApplication::processEvents();
    const QString title = window->windowTitle();
    QString caption = title.isEmpty() ? who(window) : title;
    if (!title.isEmpty()) {
        const int need = caption_width(title);
        const int room = window->frameGeometry().width();
        if (need > room)
            c.findings << caption + QString(": the caption needs %1 px of title bar, the window is %2 wide")
                                        .arg(need)
                                        .arg(room);
    }
    if (!screen.isNull() && !screen.contains(window->frameGeometry())) {
        const QRect f = window->frameGeometry();
        c.findings << caption + QString(": the window (%1,%2 %3x%4) reaches past the screen (%5,%6 %7x%8)")
                                    .arg(f.left()).arg(f.top()).arg(f.width()).arg(f.height())
                                    .arg(screen.left()).arg(screen.top()).arg(screen.width()).arg(screen.height());
    }
    c.findings.removeDuplicates();
    return c.findings;
}

}  // namespace tessal
