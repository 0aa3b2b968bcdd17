#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
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
    document.setMarkdown(QString::fromUtf8(source.readAll()));
    // Printing works on a copy of the document, which keeps added resources but loads no files.
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (!format.isImageFormat())
                continue;
            const QString name = format.toImageFormat().name();
            const QImage image(args.at(2) + QLatin1Char('/') + name);
            if (image.isNull()) {
                std::fprintf(stderr, "no image %s\n", qPrintable(name));
                return 1;
            }
            document.addResource(QTextDocument::ImageResource, QUrl(name), image);
        }
    }
    QPdfWriter writer(args.at(3));
    writer.setTitle(QStringLiteral("Kestrava User Guide"));
    writer.setCreator(QStringLiteral("Kestrava"));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
    document.print(&writer);
    return 0;
}
