// quillmar: the desktop program.

#include "acquisition/window/Icons.h"
#include "app/main/AppOptions.h"
#include "app/main/MainForm.h"

#include <QApplication>
#include <QIcon>

#include <clocale>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace quillmar;
    const AppOptions options = ParseAppOptions(std::vector<std::string>(argv + 1, argv + argc));
    // Help and errors need no display.
    if (options.Help) {
        std::fputs(AppHelpText().c_str(), stdout);
        return 0;
    }
    if (options.Version) {
        std::fputs(AppVersionText().c_str(), stdout);
        return 0;
    }
    if (!options.Error.empty()) {
        std::fprintf(stderr, "quillmar: %s\nTry 'quillmar --help'.\n", options.Error.c_str());
        return 2;
    }
    try {
        QApplication app(argc, argv);
        // QApplication takes the user's locale; our numbers never do.
        std::setlocale(LC_NUMERIC, "C");
        QApplication::setApplicationName("Quillmar");
        QApplication::setOrganizationName("Quillmar");
        QApplication::setApplicationVersion(QUILLMAR_VERSION);
        // The installed desktop entry and icon carry this id: Wayland
        // compositors match the window to the entry by it, and the icon
        // theme holds the application's icon once installed.
        QGuiApplication::setDesktopFileName("io.github.quillmar.Quillmar");
        QApplication::setWindowIcon(themedToolIcon(ToolIcon::Application));

        MainFormOptions mainOptions;
        mainOptions.App = options;
        TMainForm window(mainOptions);
        if (window.startStatus() != 0) return window.startStatus();
        window.show();
        if (window.startStatus() != 0) return window.startStatus();
        return app.exec();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillmar: %s\n", e.what());
        return 1;
    }
}
