// Renders the program's SVG icon to PNG files of the usual sizes for the
// hicolor icon theme. Run by the build: iconrender SVG OUTDIR SIZE...
// writes OUTDIR/<size>/tessal.png.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: iconrender SVG OUTDIR SIZE...\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "iconrender: cannot read %s\n", argv[1]);
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0) return 2;
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        svg.render(&p);
        p.end();
        const QString dir = QString::fromLocal8Bit(argv[2]) + "/" + QString::number(size);
        QDir().mkpath(dir);
        if (!image.save(dir + "/tessal.png")) {
            std::fprintf(stderr, "iconrender: cannot write %s\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
