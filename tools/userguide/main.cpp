#include <QFile>
#include <QGuiApplication>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <QUrl>
#include <cstdio>

// Turns the user guide's Markdown, with its images from the image folder, into the PDF that ships beside
// the program.
int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4) {
        std::fputs("usage: kestrava-userguide <guide.md> <image folder> <guide.pdf>\n", stderr);
        return 2;
    }
    QFile source(args.at(1));
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(args.at(1)), qPrintable(source.errorString()));
        return 1;
    }
    QTextDocument document;
    document.setBaseUrl(QUrl::fromLocalFile(args.at(2) + QLatin1Char('/')));
    document.setMarkdown(QString::fromUtf8(source.readAll()));
    QPdfWriter writer(args.at(3));
    writer.setTitle(QStringLiteral("Kestrava User Guide"));
    writer.setCreator(QStringLiteral("Kestrava"));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
    document.print(&writer);
    return 0;
}
