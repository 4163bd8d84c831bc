// iconpng SVG SIZE OUT: renders an icon at one of the sizes the icon theme or the program wants,
// so that no rendition drifts from its SVG. OUT is a PNG file, or with the suffix .rgba the
// bare pixels (premultiplied RGBA, a byte each, row after row), which the program turns into a
// picture without any image decoder.
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: iconpng SVG SIZE OUT.png|OUT.rgba\n", stderr);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    const int size = std::atoi(argv[2]);
    if (!svg.isValid() || size <= 0)
        return 1;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter);
    painter.end();
    const QString out = QString::fromLocal8Bit(argv[3]);
    if (!out.endsWith(QLatin1String(".rgba")))
        return image.save(out, "PNG") ? 0 : 1;
    const QImage pixels = image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    QFile file(out);
    const qint64 bytes = qint64(pixels.width()) * pixels.height() * 4;
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    for (int y = 0; y < pixels.height(); ++y)
        file.write(reinterpret_cast<const char*>(pixels.constScanLine(y)), pixels.width() * 4);
    return file.size() == bytes && file.flush() ? 0 : 1;
}
