// The main of every test that shows widgets: Qt wants its application object before any widget.

#include <gtest/gtest.h>
#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
