// Tests of the axis widget and its limits dialog: real mouse events reach
// the model along the right coordinate, the painted ticks and inverted
// marker land on the model's pixels, and the dialog's OK follows the input.
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "gui/widgets/taxislimitform.h"
#include "gui/widgets/taxiswidget.h"

using namespace tessal;

TEST(TAxisWidget, DragOnTheWidgetZoomsTheModel) {
    TAxis model;  // vertical, 0 .. 1
    int changed = 0;
    model.OnScaleChanged.subscribe([&](TAxis&) { ++changed; });
    {
        TAxisWidget w(&model);
        w.resize(40, 200);
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        EXPECT_EQ(model.GetHeight(), 200);

        QTest::mouseMove(&w, QPoint(20, 20));
        EXPECT_EQ(w.cursor_name(), "VUPPER");
        QTest::mouseMove(&w, QPoint(20, 170));
        EXPECT_EQ(w.cursor_name(), "VLOWER");

        // Lower half: drag the low end from y 150 to 180; the value that was
        // under the pointer (1 - 150/200) is under it again at 180.
        QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(20, 150));
        QTest::mouseMove(&w, QPoint(20, 180));
        QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(20, 180));
        const double lo = model.GetLoValue();
        EXPECT_NEAR(1 - 180.0 / 200 * (1 - lo), 0.25, 1e-12);
        EXPECT_EQ(model.GetHiValue(), 1);
        EXPECT_EQ(changed, 1);
    }
    // The widget is gone; the model no longer calls into it.
    model.SetHiValue(2);
    EXPECT_EQ(model.nTickMarks() > 0, true);
}

TEST(TAxisWidget, PaintsTicksAndInvertedMarkerAtModelPixels) {
    TAxisWidget w;
    TAxis& a = w.axis();
    a.SetBackgroundColor(0xF0F0F0);
    w.resize(40, 200);
    a.SetMarkerVisible(true);
    a.SetMarkerValue(0.5);
    QImage img = w.grab().toImage();
    ASSERT_EQ(img.width(), 40);
    ASSERT_GT(a.nTickMarks(), 2);
    const int y = a.tickposition(1);
    EXPECT_EQ(img.pixel(39, y) & 0xFFFFFF, 0x000000u);
    EXPECT_EQ(img.pixel(39, y - 1) & 0xFFFFFF, 0xF0F0F0u);
    EXPECT_EQ(img.pixel(0, a.GetMarkerPixel()) & 0xFFFFFF, 0x0F0F0Fu);

    TAxisWidget h;
    h.axis().SetPosition(taxisposition::posunder);
    h.resize(300, 30);
    QImage himg = h.grab().toImage();
    const int x = h.axis().tickposition(2);
    EXPECT_EQ(himg.pixel(x, 0) & 0xFFFFFF, 0x000000u);
    EXPECT_EQ(himg.pixel(x + 1, 0) & 0xFFFFFF, 0xF0F0F0u);
}

TEST(TAxisWidget, CancelledLimitsDialogStillReportsScaleChange) {
    TAxisWidget w;
    w.axis().fallowdoubleclick = true;
    int changed = 0;
    w.axis().OnScaleChanged.subscribe([&](TAxis&) { ++changed; });
    w.resize(40, 200);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QTimer::singleShot(0, [] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
    });
    QTest::mouseDClick(&w, Qt::LeftButton, {}, QPoint(20, 100));
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(w.axis().GetHiValue(), 1);
}

TEST(TAxisLimitForm, OkOnlyForValidLimits) {
    TAxisLimitForm f;
    EXPECT_EQ(f.windowTitle(), "Axis limits");
    f.SetAxisText("[Hz]");
    EXPECT_EQ(f.Label1->text(), "High value [Hz]");
    EXPECT_EQ(f.Label2->text(), "Low value [Hz]");
    f.set_values(0, 1, false, false);
    EXPECT_TRUE(f.logarithmiccheck->isHidden());
    EXPECT_TRUE(f.Button1->isEnabled());
    EXPECT_TRUE(f.Button1->isDefault());

    f.Edit1->setText("abc");
    EXPECT_FALSE(f.Button1->isEnabled());
    EXPECT_EQ(f.hivalue(), 1);  // unparsable: the value it was opened with
    f.Edit1->setText("5");
    f.Edit2->setText("6");
    EXPECT_FALSE(f.Button1->isEnabled());
    f.Edit2->setText("-1");
    EXPECT_TRUE(f.Button1->isEnabled());
    EXPECT_EQ(f.lovalue(), -1);

    f.set_values(20, 20000, true, true);
    EXPECT_FALSE(f.logarithmiccheck->isHidden());
    EXPECT_TRUE(f.Button1->isEnabled());
    f.Edit2->setText("0");
    EXPECT_FALSE(f.Button1->isEnabled());  // not on a logarithmic scale
    f.logarithmiccheck->setChecked(false);
    EXPECT_TRUE(f.Button1->isEnabled());
}
