// kestrava-bench-plot: draws identification-storm time against N from the JSON lines of kestrava-bench.
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cstdio>
#include <map>

namespace {

struct Point {
    double n;
    double fresh;
    double known;
};

QString niceNumber(double value) {
    return value >= 1000 ? QStringLiteral("%1k").arg(value / 1000.0, 0, 'g', 3) : QString::number(value);
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 3) {
        std::fputs("usage: kestrava-bench-plot <results.jsonl> <plot.png>\n", stderr);
        return 2;
    }
    QFile input(args[1]);
    if (!input.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    std::map<double, Point> byN;
    for (const QByteArray& line : input.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.value(QStringLiteral("scenario")).toString() != QLatin1String("identification_storm"))
            continue;
        const double n = o.value(QStringLiteral("n")).toDouble();
        byN[n] = {n, o.value(QStringLiteral("new_s")).toDouble(),
                  o.value(QStringLiteral("known_s")).toDouble()};
    }
    if (byN.empty()) {
        std::fputs("no identification_storm lines\n", stderr);
        return 1;
    }

    const int width = 900, height = 560, left = 80, right = 30, top = 50, bottom = 70;
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double maxN = std::max(20000.0, byN.rbegin()->first);
    double maxS = 10.5;
    for (const auto& [n, point] : byN)
        maxS = std::max({maxS, point.fresh * 1.1, point.known * 1.1});
    auto x = [&](double n) { return left + (width - left - right) * n / maxN; };
    auto y = [&](double s) { return height - bottom - (height - top - bottom) * s / maxS; };

    p.setPen(QPen(QColor(220, 220, 220), 1));
    QFont font = p.font();
    font.setPixelSize(13);
    p.setFont(font);
    for (int i = 0; i <= 8; ++i) {
        const double n = maxN * i / 8;
        p.setPen(QColor(225, 225, 225));
        p.drawLine(QPointF(x(n), top), QPointF(x(n), height - bottom));
        p.setPen(Qt::black);
        p.drawText(QRectF(x(n) - 40, height - bottom + 6, 80, 20), Qt::AlignCenter, niceNumber(n));
    }
    const double step = maxS > 20 ? 5 : 1;
    for (double s = 0; s <= maxS; s += step) {
        p.setPen(QColor(225, 225, 225));
        p.drawLine(QPointF(left, y(s)), QPointF(width - right, y(s)));
        p.setPen(Qt::black);
        p.drawText(QRectF(0, y(s) - 10, left - 8, 20), Qt::AlignRight | Qt::AlignVCenter, QString::number(s));
    }
    p.drawLine(QPointF(left, top), QPointF(left, height - bottom));
    p.drawLine(QPointF(left, height - bottom), QPointF(width - right, height - bottom));
    p.drawText(QRectF(left, height - 30, width - left - right, 20), Qt::AlignCenter,
               QStringLiteral("client services identifying at once (N)"));
    p.save();
    p.translate(18, (top + height - bottom) / 2.0);
    p.rotate(-90);
    p.drawText(QRectF(-150, -10, 300, 20), Qt::AlignCenter,
               QStringLiteral("seconds until the last \"S...\""));
    p.restore();
    font.setPixelSize(16);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRectF(0, 10, width, 24), Qt::AlignCenter,
               QStringLiteral("Identification storm against the console"));
    font.setPixelSize(13);
    font.setBold(false);
    p.setFont(font);

    // The targets at 19,000: new systems within 10 s, known ones within 5 s.
    p.setPen(QPen(QColor(200, 60, 60), 1, Qt::DashLine));
    p.drawLine(QPointF(x(19000), y(0)), QPointF(x(19000), y(10)));
    p.drawLine(QPointF(x(0), y(10)), QPointF(x(19000), y(10)));
    p.drawText(QPointF(x(0) + 6, y(10) - 4), QStringLiteral("target for 19,000 new: 10 s"));
    p.drawLine(QPointF(x(0), y(5)), QPointF(x(19000), y(5)));
    p.drawText(QPointF(x(0) + 6, y(5) - 4), QStringLiteral("target for 19,000 known: 5 s"));

    auto series = [&](auto value, const QColor& colour, const QString& label, int row) {
        QPainterPath path;
        bool first = true;
        for (const auto& [n, point] : byN) {
            const QPointF at(x(n), y(value(point)));
            first ? path.moveTo(at) : path.lineTo(at);
            first = false;
        }
        p.setPen(QPen(colour, 2));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        p.setBrush(colour);
        for (const auto& [n, point] : byN)
            p.drawEllipse(QPointF(x(n), y(value(point))), 4, 4);
        p.drawLine(QPointF(width - 250, top + 10 + row * 20), QPointF(width - 220, top + 10 + row * 20));
        p.setPen(Qt::black);
        p.drawText(QPointF(width - 212, top + 15 + row * 20), label);
    };
    series([](const Point& point) { return point.fresh; }, QColor(30, 90, 180),
           QStringLiteral("never seen before"), 0);
    series([](const Point& point) { return point.known; }, QColor(40, 150, 70),
           QStringLiteral("known systems"), 1);
    p.end();
    return image.save(args[2]) ? 0 : 1;
}
