// Choosing an item of a drop-down as a user does: a click on the box opens
// its list, a click on the item chooses it.
#pragma once

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QTest>

#include <gtest/gtest.h>

namespace tessal::testing {

inline void click_combo_item(QComboBox* box, int index) {
    QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
    QAbstractItemView* list = box->view();
    for (int i = 0; i < 50 && !list->isVisible(); ++i) QApplication::processEvents();
    ASSERT_TRUE(list->isVisible()) << "the list did not open";
    const QRect r = list->visualRect(list->model()->index(index, box->modelColumn()));
    ASSERT_TRUE(r.isValid());
    list->scrollTo(list->model()->index(index, box->modelColumn()));
    const QPoint at = list->visualRect(list->model()->index(index, box->modelColumn())).center();
    QTest::mouseMove(list->viewport(), at);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

}  // namespace tessal::testing
