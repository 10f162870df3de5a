#pragma once

// What the screen tests need beyond GoogleTest: waiting for Qt's event loop, and QString output.

#include <gtest/gtest.h>
#include <QString>
#include <QTest>
#include <QWidget>
#include <ostream>
#include <stdexcept>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

// Lets the event loop run until the condition holds (5 s at most), then asserts it.
#define QM_WAIT_TRUE(condition)                                 \
    do {                                                        \
        (void)QTest::qWaitFor([&] { return bool(condition); }); \
        ASSERT_TRUE(condition);                                 \
    } while (false)

#define QM_WAIT_EQ(actual, expected)                                   \
    do {                                                               \
        (void)QTest::qWaitFor([&] { return (actual) == (expected); }); \
        ASSERT_EQ(actual, expected);                                   \
    } while (false)

// A screen's control, found by the name the screen gives it (txtFile, cmdNext ...).
template <typename Control = QWidget>
Control& control(const QWidget& screen, const char* name) {
    auto* found = screen.findChild<Control*>(QString::fromLatin1(name));
    if (found == nullptr) {
        throw std::logic_error(std::string("no control ") + name);
    }
    return *found;
}

// Clicks a screen's button or option as a person does.
inline void press(const QWidget& screen, const char* name) {
    QTest::mouseClick(&control(screen, name), Qt::LeftButton);
}
