// Draws the console's icons as PNG files. Run once after changing a drawing and commit the output:
//   QT_QPA_PLATFORM=offscreen kestrava-icongen resources/icons
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>
#include <functional>
#include <vector>

namespace {

// Every drawing works on a 32 by 32 canvas and is scaled to the size asked for.
using Drawing = std::function<void(QPainter&)>;

const QColor kOutline(0x3a, 0x3f, 0x47);

void monitor(QPainter& p, const QRectF& frame, const QColor& screen) {
    p.setPen(QPen(kOutline, 1.2));
    p.setBrush(QColor(0xd9, 0xdd, 0xe3));
    p.drawRoundedRect(frame, 2, 2);
    p.setBrush(screen);
    p.drawRect(frame.adjusted(2.5, 2.5, -2.5, -2.5));
    const qreal cx = frame.center().x();
    p.setBrush(QColor(0x9a, 0xa1, 0xab));
    p.drawRect(QRectF(cx - 2, frame.bottom(), 4, 3));
    p.drawRoundedRect(QRectF(cx - 7, frame.bottom() + 3, 14, 2.5), 1, 1);
}

void folder(QPainter& p, bool open) {
    p.setPen(QPen(QColor(0x9c, 0x6a, 0x12), 1.2));
    p.setBrush(QColor(0xe8, 0xb0, 0x3a));
    QPainterPath back;
    back.moveTo(3, 8);
    back.lineTo(12, 8);
    back.lineTo(14.5, 10.5);
    back.lineTo(29, 10.5);
    back.lineTo(29, 26);
    back.lineTo(3, 26);
    back.closeSubpath();
    p.drawPath(back);
    p.setBrush(QColor(0xf7, 0xcf, 0x5f));
    if (open) {
        QPainterPath front;
        front.moveTo(7, 14);
        front.lineTo(31, 14);
        front.lineTo(27, 26);
        front.lineTo(3, 26);
        front.closeSubpath();
        p.drawPath(front);
    } else {
        p.drawRect(QRectF(3, 13, 26, 13));
    }
}

void badge(QPainter& p, const QColor& colour, const QPointF& centre = {25, 25}) {
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(colour);
    p.drawEllipse(centre, 5, 5);
}

void plus(QPainter& p, const QPointF& c) {
    badge(p, QColor(0x2e, 0x9e, 0x45), c);
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(c.x() - 3, c.y()), QPointF(c.x() + 3, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - 3), QPointF(c.x(), c.y() + 3));
}

void page(QPainter& p) {
    p.setPen(QPen(kOutline, 1.2));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(6, 3, 20, 26));
    p.setPen(QPen(QColor(0x8a, 0x93, 0x9e), 1.5));
    for (qreal y = 9; y < 25; y += 4)
        p.drawLine(QPointF(10, y), QPointF(22, y));
}

void globe(QPainter& p, const QRectF& r) {
    p.setPen(QPen(QColor(0x1d, 0x5f, 0xa8), 1.4));
    p.setBrush(QColor(0x6f, 0xb4, 0xee));
    p.drawEllipse(r);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(r.adjusted(r.width() * 0.3, 0, -r.width() * 0.3, 0));
    p.drawLine(QPointF(r.center().x(), r.top()), QPointF(r.center().x(), r.bottom()));
    p.drawLine(QPointF(r.left(), r.center().y()), QPointF(r.right(), r.center().y()));
}

struct Icon {
    const char* name;
    Drawing draw;
};

std::vector<Icon> icons() {
    const QColor offScreen(0x7d, 0x86, 0x91);
    const QColor onScreen(0x2f, 0x8f, 0xe0);
    return {
        {"root",
         [=](QPainter& p) {
             monitor(p, QRectF(2, 3, 18, 13), onScreen);
             monitor(p, QRectF(12, 11, 18, 13), onScreen);
         }},
        {"group", [](QPainter& p) { folder(p, false); }},
        {"group-selected", [](QPainter& p) { folder(p, true); }},
        {"system-offline",
         [=](QPainter& p) {
             monitor(p, QRectF(3, 4, 26, 18), offScreen);
             badge(p, QColor(0xc6, 0x2b, 0x2b), {25, 24});
         }},
        {"system-online",
         [=](QPainter& p) {
             monitor(p, QRectF(3, 4, 26, 18), onScreen);
             badge(p, QColor(0x2e, 0x9e, 0x45), {25, 24});
         }},
        {"add-group",
         [](QPainter& p) {
             folder(p, false);
             plus(p, {24, 22});
         }},
        {"delete",
         [](QPainter& p) {
             p.setPen(QPen(QColor(0xc6, 0x2b, 0x2b), 5, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(QPointF(8, 8), QPointF(24, 24));
             p.drawLine(QPointF(24, 8), QPointF(8, 24));
         }},
        {"rename",
         [](QPainter& p) {
             p.setPen(QPen(kOutline, 1.2));
             p.setBrush(Qt::white);
             p.drawRect(QRectF(2, 10, 28, 12));
             p.setPen(QPen(QColor(0x1d, 0x5f, 0xa8), 2));
             p.drawLine(QPointF(6, 16), QPointF(16, 16));
             p.setPen(QPen(kOutline, 1.5));
             p.drawLine(QPointF(20, 7), QPointF(20, 25));
             p.drawLine(QPointF(17, 7), QPointF(23, 7));
             p.drawLine(QPointF(17, 25), QPointF(23, 25));
         }},
        {"properties",
         [](QPainter& p) {
             page(p);
             badge(p, QColor(0x1d, 0x5f, 0xa8), {24, 24});
             p.setPen(QPen(Qt::white, 2));
             p.drawLine(QPointF(24, 23), QPointF(24, 27));
             p.drawPoint(QPointF(24, 21));
         }},
        {"refresh",
         [](QPainter& p) {
             p.setPen(QPen(QColor(0x2e, 0x9e, 0x45), 3.5, Qt::SolidLine, Qt::FlatCap));
             p.setBrush(Qt::NoBrush);
             p.drawArc(QRectF(6, 6, 20, 20), 30 * 16, 280 * 16);
             p.setPen(Qt::NoPen);
             p.setBrush(QColor(0x2e, 0x9e, 0x45));
             p.drawPolygon(QPolygonF({QPointF(20, 3), QPointF(29, 9), QPointF(19, 13)}));
         }},
        {"internet", [](QPainter& p) { globe(p, QRectF(3, 3, 26, 26)); }},
        {"scheduler",
         [](QPainter& p) {
             p.setPen(QPen(kOutline, 1.2));
             p.setBrush(Qt::white);
             p.drawRect(QRectF(3, 6, 26, 23));
             p.setBrush(QColor(0xc6, 0x2b, 0x2b));
             p.drawRect(QRectF(3, 6, 26, 6));
             p.setPen(Qt::NoPen);
             p.setBrush(QColor(0x8a, 0x93, 0x9e));
             for (int row = 0; row < 3; ++row) {
                 for (int col = 0; col < 4; ++col)
                     p.drawRect(QRectF(6 + col * 6, 15 + row * 4.5, 3.5, 3));
             }
             p.setPen(QPen(kOutline, 2));
             p.drawLine(QPointF(9, 3), QPointF(9, 8));
             p.drawLine(QPointF(23, 3), QPointF(23, 8));
         }},
        {"timer",
         [](QPainter& p) {
             p.setPen(QPen(kOutline, 1.5));
             p.setBrush(Qt::white);
             p.drawEllipse(QRectF(3, 4, 26, 26));
             p.drawRect(QRectF(13, 1, 6, 3));
             p.setPen(QPen(QColor(0xc6, 0x2b, 0x2b), 2, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(QPointF(16, 17), QPointF(16, 8));
             p.setPen(QPen(kOutline, 2, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(QPointF(16, 17), QPointF(22, 20));
         }},
        {"whitelist",
         [](QPainter& p) {
             page(p);
             badge(p, QColor(0x2e, 0x9e, 0x45), {24, 24});
             p.setPen(QPen(Qt::white, 2));
             p.drawPolyline(QPolygonF({QPointF(21.5, 24), QPointF(23.5, 26), QPointF(27, 22)}));
         }},
        {"appblocker",
         [](QPainter& p) {
             p.setPen(QPen(kOutline, 1.2));
             p.setBrush(Qt::white);
             p.drawRect(QRectF(2, 4, 24, 20));
             p.setBrush(QColor(0x1d, 0x5f, 0xa8));
             p.drawRect(QRectF(2, 4, 24, 5));
             p.setPen(QPen(QColor(0xc6, 0x2b, 0x2b), 3));
             p.setBrush(Qt::white);
             p.drawEllipse(QPointF(23, 23), 6.5, 6.5);
             p.drawLine(QPointF(18.5, 18.5), QPointF(27.5, 27.5));
         }},
        {"views",
         [](QPainter& p) {
             p.setPen(QPen(kOutline, 1.2));
             p.setBrush(QColor(0x6f, 0xb4, 0xee));
             for (qreal x : {4.0, 18.0}) {
                 for (qreal y : {4.0, 18.0})
                     p.drawRect(QRectF(x, y, 10, 10));
             }
         }},
        {"tools",
         [](QPainter& p) {
             p.setPen(QPen(kOutline, 1.2));
             p.setBrush(QColor(0x9a, 0xa1, 0xab));
             for (int i = 0; i < 8; ++i) {
                 p.save();
                 p.translate(16, 16);
                 p.rotate(i * 45);
                 p.drawRect(QRectF(-2.5, -14, 5, 6));
                 p.restore();
             }
             p.drawEllipse(QPointF(16, 16), 10, 10);
             p.setBrush(Qt::white);
             p.drawEllipse(QPointF(16, 16), 4, 4);
         }},
    };
}

QImage render(const Drawing& draw, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    draw(painter);
    return image;
}

} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: kestrava-icongen <folder>\n";
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    for (const Icon& icon : icons()) {
        for (int size : {16, 32}) {
            const QString file =
                out.filePath(QStringLiteral("%1-%2.png").arg(QLatin1String(icon.name)).arg(size));
            if (!render(icon.draw, size).save(file)) {
                err << "cannot write " << file << '\n';
                return 1;
            }
        }
    }
    // The application's icon for the desktop's menu (resources/desktop/kestrava.svg is the same drawing).
    for (int size : {48, 256}) {
        const QString file = out.filePath(QStringLiteral("kestrava-%1.png").arg(size));
        if (!render(icons().front().draw, size).save(file)) {
            err << "cannot write " << file << '\n';
            return 1;
        }
    }
    return 0;
}
