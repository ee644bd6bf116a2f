// dw-about-picture OUT.jpg: draws the About window's picture (a disc with its
// light reflections over the product's colours; no text, so it suits every language) and writes it as a JPEG, so
// the repository holds the drawing, not a binary.

#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: dw-about-picture OUT.jpg\n");
        return 2;
    }
    QImage image(120, 120, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 120, 120);
    sky.setColorAt(0, QColor(0x1d, 0x3b, 0x6e));
    sky.setColorAt(1, QColor(0x4a, 0x8f, 0xc9));
    p.fillRect(image.rect(), sky);

    const QPointF centre(60, 60);
    QRadialGradient disc(centre, 50);
    disc.setColorAt(0.0, QColor(0xf4, 0xf6, 0xf8));
    disc.setColorAt(0.6, QColor(0xc9, 0xd3, 0xdd));
    disc.setColorAt(1.0, QColor(0x9a, 0xa8, 0xb8));
    p.setPen(QPen(QColor(0x2b, 0x2f, 0x36), 1.5));
    p.setBrush(disc);
    p.drawEllipse(centre, 50, 50);
    QConicalGradient shine(centre, 30);
    shine.setColorAt(0.0, QColor(255, 255, 255, 0));
    shine.setColorAt(0.1, QColor(255, 255, 255, 150));
    shine.setColorAt(0.2, QColor(255, 255, 255, 0));
    shine.setColorAt(0.6, QColor(255, 255, 255, 0));
    shine.setColorAt(0.7, QColor(255, 255, 255, 120));
    shine.setColorAt(0.8, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shine);
    p.drawEllipse(centre, 49, 49);
    p.setBrush(QColor(0x1d, 0x3b, 0x6e));
    p.drawEllipse(centre, 9, 9);

    p.end();
    if (!image.save(QString::fromLocal8Bit(argv[1]), "JPG", 90)) {
        std::fprintf(stderr, "dw-about-picture: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
