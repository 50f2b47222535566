// The tests run inside a QCoreApplication (QTimers need one); it lives on
// main's stack so that it goes before Qt's own statics do.

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
