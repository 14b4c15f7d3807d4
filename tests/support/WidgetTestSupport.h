// SPDX-License-Identifier: MIT
#pragma once

#include "TestSupport.h"
#include "WidgetWindow.h"

#include <QApplication>

/// The main of a test program that shows widgets.
#define PADDOCK_WIDGETS_TEST_MAIN(TestObject) PADDOCK_TEST_MAIN_WITH(QApplication, TestObject)
