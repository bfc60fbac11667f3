// A control's room in a layout: the form's size at the usual font, what the text
// needs at a larger one, and the room a layout gives to what stretches.
#include "widgets/form_item.hpp"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace {

struct Control {
    const char* what;
    std::function<QWidget*(QWidget*)> make;
    QSize form;
    bool follows_text; // a caption or a button: as wide as its text
};

const Control controls[] = {
    {"button", [](QWidget* p) { return new QPushButton(QString::fromUtf8("下载"), p); }, {40, 24}, true},
    {"caption", [](QWidget* p) { return new QLabel(QString::fromUtf8("网址："), p); }, {32, 24}, true},
    {"empty caption", [](QWidget* p) { return new QLabel(p); }, {48, 24}, false},
    {"edit box", [](QWidget* p) { return new QLineEdit(QStringLiteral("35"), p); }, {104, 24}, false},
};

TEST(FormItem, TheFormsSizeAtTheUsualFontAndWhatTheTextNeedsAtALargerOne) {
    for (const int points : {0, 15, 26}) {
        for (const Control& c : controls) {
            SCOPED_TRACE(std::string(c.what) + " at " + std::to_string(points));
            QWidget window;
            if (points) {
                QFont large = window.font();
                large.setPointSize(points);
                window.setFont(large);
            }
            QWidget* widget = c.make(&window);
            FormItem item(widget, c.form);
            const QSize hint = item.sizeHint();
            if (points == 0) {
                EXPECT_EQ(hint, c.form);
            } else {
                EXPECT_GE(hint.width(), c.form.width());
                EXPECT_GE(hint.height(), widget->fontMetrics().height());
                if (!qobject_cast<QLabel*>(widget)) {
                    EXPECT_GE(hint.height(), widget->sizeHint().height());
                }
            }
            if (c.follows_text) {
                const QString text = qobject_cast<QLabel*>(widget)
                                         ? static_cast<QLabel*>(widget)->text()
                                         : static_cast<QPushButton*>(widget)->text();
                EXPECT_GE(hint.width(), widget->fontMetrics().boundingRect(text).width());
            }
            if (points == 26) {
                EXPECT_GT(hint.height(), c.form.height()); // far above the form's font
            }
            // It keeps the size it asks for.
            EXPECT_EQ(item.minimumSize(), hint);
            EXPECT_EQ(item.maximumSize(), hint);
            // A picture or a block of text keeps the form's size at any font.
            FormItem kept(widget, c.form, FormItem::KeepsSize);
            EXPECT_EQ(kept.sizeHint(), c.form);
            EXPECT_EQ(kept.maximumSize(), c.form);
        }
    }
}

// In a row, what stretches takes the room beyond the form and gives it up down
// to its smallest size; the rest stay as the form has them.
TEST(FormItem, WhatStretchesTakesAndGivesUpTheRoom) {
    QWidget window;
    auto* row = new QHBoxLayout(&window);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    auto* caption = new QLabel(QString::fromUtf8("网址："), &window);
    auto* box = new QLineEdit(&window);
    auto* button = new QPushButton(QString::fromUtf8("查询"), &window);
    row->addItem(new FormItem(caption, {32, 24}));
    row->addItem(new FormItem(box, {300, 24}, FormItem::Wide | FormItem::Tall, {100, 20}));
    row->addItem(new FormItem(button, {64, 24}));
    EXPECT_EQ(row->sizeHint(), QSize(396, 24));
    EXPECT_EQ(row->minimumSize(), QSize(196, 24));
    const struct {
        QSize window;
        QRect caption, box, button;
    } cases[] = {
        {{396, 24}, {0, 0, 32, 24}, {32, 0, 300, 24}, {332, 0, 64, 24}},
        {{596, 40}, {0, 0, 32, 24}, {32, 0, 500, 40}, {532, 0, 64, 24}},
        {{196, 24}, {0, 0, 32, 24}, {32, 0, 100, 24}, {132, 0, 64, 24}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.window.width());
        row->setGeometry(QRect(QPoint(0, 0), c.window));
        EXPECT_EQ(caption->geometry(), c.caption);
        EXPECT_EQ(box->geometry(), c.box);
        EXPECT_EQ(button->geometry(), c.button);
    }
}

} // namespace
