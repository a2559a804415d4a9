// Renders the program's SVG icon into the PNG sizes of the hicolor icon theme:
//   vellumet_render_icons ICON.svg OUTDIR SIZE...
// writes OUTDIR/SIZExSIZE/apps/<name>.png for each size.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("usage: vellumet_render_icons ICON.svg OUTDIR SIZE...\n", stderr);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString svgPath = QString::fromLocal8Bit(argv[1]);
    QSvgRenderer renderer(svgPath);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "vellumet_render_icons: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString name = QFileInfo(svgPath).completeBaseName();
    const QDir out(QString::fromLocal8Bit(argv[2]));
    for (int i = 3; i < argc; ++i) {
        const int size = QString::fromLatin1(argv[i]).toInt();
        if (size <= 0 || size > 1024) {
            std::fprintf(stderr, "vellumet_render_icons: bad size %s\n", argv[i]);
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        const QString dir = QStringLiteral("%1x%1/apps").arg(size);
        const QString file = out.filePath(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
        if (!out.mkpath(dir) || !image.save(file, "PNG")) {
            std::fprintf(stderr, "vellumet_render_icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
