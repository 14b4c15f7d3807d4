// SPDX-License-Identifier: MIT
#pragma once

#include "TestSupport.h"
#include "WidgetWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColor>
#include <QMessageBox>
#include <QStackedWidget>
#include <QTimer>

#include <algorithm>
#include <cmath>

/// The main of a test program that shows widgets.
#define PADDOCK_WIDGETS_TEST_MAIN(TestObject) PADDOCK_TEST_MAIN_WITH(QApplication, TestObject)

namespace paddock::test {

/// Answers the next modal question called name, once it is up, with the button whose text
/// (its mnemonic's "&" removed) is button, or closes it when it has no such button (so the
/// test fails rather than waits for ever); records that it was asked in *asked, and what it
/// asked in *text when given.
inline void answerNextQuestion(const QString &name, const QString &button, bool *asked,
                               QString *text = nullptr)
{
    QTimer::singleShot(10, [name, button, asked, text] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box->objectName() != name)
            return answerNextQuestion(name, button, asked, text);
        *asked = true;
        if (text)
            *text = box->text();
        for (QAbstractButton *each : box->buttons())
            if (each->text().remove(u'&') == button)
                return each->click();
        box->reject();
    });
}

/// Turns every stack of pages control lies in to the page that holds it, as a user turns to
/// a control's page before acting on it.
inline void showPageOf(QWidget *control)
{
    for (QWidget *page = control; page && page->parentWidget(); page = page->parentWidget())
        if (auto *pages = qobject_cast<QStackedWidget *>(page->parentWidget()))
            pages->setCurrentWidget(page);
}

/// How well text in one colour reads on the other: 1 (not at all) to 21 (black on white).
inline double contrastRatio(const QColor &one, const QColor &other)
{
    const auto luminance = [](const QColor &colour) {
        const auto linear = [](double c) {
            return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
               0.0722 * linear(colour.blueF());
    };
    const double first = luminance(one), second = luminance(other);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

} // namespace paddock::test
