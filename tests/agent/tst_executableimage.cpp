#include "agent/procs/ExecutableImage.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <unistd.h>

using kestrava::agent::ExecutableImage;
using Problem = ExecutableImage::Problem;

Q_DECLARE_METATYPE(Problem)

namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The digest of data written to a file, or the reason there is none.
QByteArray digestOf(const QString& path, const QByteArray& data, Problem& problem, qint64 limit) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
        return {};
    file.close();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    const std::optional<ExecutableImage> image = ExecutableImage::read(fd, problem, limit);
    const QByteArray digest = image ? image->sha256(fd) : QByteArray();
    ::close(fd);
    return digest;
}

} // namespace

class tst_ExecutableImage : public QObject {
    Q_OBJECT

private slots:
    void digest_data() {
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<QByteArray>("changed");
        QTest::addColumn<bool>("same");
        QTest::addColumn<Problem>("problem");
        QTest::addColumn<qint64>("limit");
        const QByteArray elf = contents(QStringLiteral("/bin/true"));
        QVERIFY(elf.startsWith("\x7f"
                               "ELF"));
        QByteArray inSegment = elf;
        inSegment[int(elf.size() / 2)] = char(inSegment.at(elf.size() / 2) ^ 1);
        const QByteArray script("#!/bin/sh\necho quiz\n");
        const qint64 big = ExecutableImage::kSizeLimit;
        QTest::newRow("byte changed in a segment") << elf << inSegment << false << Problem::None << big;
        QTest::newRow("truncated ELF")
            << elf << elf.left(elf.size() / 2) << false << Problem::Malformed << big;
        QTest::newRow("ELF header cut short") << elf << elf.left(20) << false << Problem::Malformed << big;
        QTest::newRow("no program headers") << elf << elf.left(64) << false << Problem::Malformed << big;
        QTest::newRow("script with a line more") << script << script + "ls\n"
                                                 << false << Problem::None << big;
        QTest::newRow("segments over the limit") << elf << elf << false << Problem::TooLarge << qint64(1024);
        QTest::newRow("script over the limit") << script << script << false << Problem::TooLarge << qint64(8);
    }
    void digest() {
        QFETCH(QByteArray, original);
        QFETCH(QByteArray, changed);
        QFETCH(bool, same);
        QFETCH(Problem, problem);
        QFETCH(qint64, limit);
        QTemporaryDir dir;
        Problem originalProblem = Problem::None;
        const QByteArray first = digestOf(dir.filePath(QStringLiteral("game")), original, originalProblem,
                                          ExecutableImage::kSizeLimit);
        QCOMPARE(first.size(), 32);
        Problem changedProblem = Problem::None;
        const QByteArray second =
            digestOf(dir.filePath(QStringLiteral("homework")), changed, changedProblem, limit);
        QCOMPARE(changedProblem, problem);
        QCOMPARE(second.isEmpty(), problem != Problem::None);
        QCOMPARE(first == second, same);
    }
};

QTEST_APPLESS_MAIN(tst_ExecutableImage)
#include "tst_executableimage.moc"
