// Renders the program's SVG icon as PNG files for the icon theme's fixed sizes.
//   corvina-render-icon ICON.svg OUTPUT_FOLDER SIZE...   (writes OUTPUT_FOLDER/NxN/corvina.png)
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: corvina-render-icon ICON.svg OUTPUT_FOLDER SIZE...\n");
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "corvina-render-icon: cannot read %s\n", argv[1]);
        return 1;
    }
    for (int i = 3; i < argc; i++) {
        const int size = QString(argv[i]).toInt();
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
        painter.end();
        const QString folder = QString("%1/%2x%2").arg(argv[2]).arg(size);
        if (!QDir().mkpath(folder) || !image.save(folder + "/corvina.png")) {
            std::fprintf(stderr, "corvina-render-icon: cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
