// Widget tests run inside a QApplication on the offscreen platform (also when
// CTest lists them, which it does without the tests' environment); it lives
// on main's stack so that it goes before Qt's own statics do.

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
