// The window tests run inside a QApplication (offscreen); it lives on main's
// stack so that it goes before Qt's own statics do.

#include <QApplication>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char** argv) {
    // Offscreen also when CTest lists the tests, which sets no environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Two screens: a desk one the default frame fits on, and a small one
    // beside it (the frame must be fitted onto it).
    QTemporaryFile screens;
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && screens.open()) {
        screens.write(R"({"screens": [
            {"name": "Desk", "x": 0, "y": 0, "width": 1920, "height": 1080, "logicalDpi": 96},
            {"name": "Small", "x": 1920, "y": 0, "width": 800, "height": 600, "logicalDpi": 96}]})");
        screens.flush();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toLocal8Bit());
    }
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
