// tessal: the GUI program.
//
//   tessal [files...]
//   tessal --screenshot OUT.png [--window CAPTION] [--menu NAME] [files...]
//
// With --screenshot the main window (or the secondary window with that
// caption) is laid out at 1280x800, rendered to a PNG, and the program ends.
// Without a display it then runs on the offscreen platform.
#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mainwindow/mainwindow.h"
#include "mainwindow/screenshot.h"

int main(int argc, char** argv) {
    QString screenshot, windowcaption, menu;
    bool wantscreenshot = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--screenshot") == 0) wantscreenshot = true;
    if (wantscreenshot && !std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") &&
        !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    QApplication app(argc, argv);
    QApplication::setApplicationName("Tessal");
    QStringList files;
    QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString& out) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "tessal: %s needs a value\n", qPrintable(a));
                std::exit(2);
            }
            out = args[++i];
        };
        if (a == "--screenshot")
            value(screenshot);
        else if (a == "--window")
            value(windowcaption);
        else if (a == "--menu")
            value(menu);
        else
            files << a;
    }

    tessal::TMainWindow w;
    if (!screenshot.isEmpty()) w.resize(1280, 800);
    w.first_activation(files);
    if (screenshot.isEmpty()) {
        w.show();
        return app.exec();
    }

    QWidget* target = &w;
    if (!windowcaption.isEmpty()) {
        w.show();
        target = w.windows().find(windowcaption);
        if (!target) {
            std::fprintf(stderr, "tessal: no window with the caption \"%s\"\n",
                         qPrintable(windowcaption));
            return 1;
        }
        target->resize(target->sizeHint());
    }
    return tessal::render_window_png(target, screenshot, menu) ? 0 : 1;
}
