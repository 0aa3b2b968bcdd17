#include "agent/procs/InterpreterArguments.h"

#include <QTest>

using kestrava::agent::InterpreterArguments;

class tst_InterpreterArguments : public QObject {
    Q_OBJECT

private slots:
    void program_data() {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("commandLine"); // arguments separated by '|'
        QTest::addColumn<QString>("program");     // empty: none
        const auto row = [](const char* executable, const char* commandLine, const char* program) {
            QTest::addRow("%s: %s", executable, commandLine)
                << QString::fromUtf8(executable) << QString::fromUtf8(commandLine)
                << QString::fromUtf8(program);
        };
        row("python3.11", "python3|quiz", "quiz");
        row("python3", "python3|-u|-W|ignore|-X|dev|./quiz|--help", "./quiz");
        row("python3", "python3|-uWignore|quiz", "quiz");
        row("python3", "python3|-Bc|import quiz", "");
        row("python3", "python3|-m|quiz", "");
        row("python3", "python3|-", "");
        row("python3", "python3|--|-quiz", "-quiz");
        row("python3", "python3", "");
        row("perl", "perl|-I|lib|-Mstrict|-w|quiz.pl", "quiz.pl");
        row("perl", "perl|-ne|print|quiz.pl", "");
        row("ruby3.1", "ruby|-r|json|-I|lib|quiz.rb", "quiz.rb");
        row("node", "node|--require|x|--title=t|--eval|quiz", "");
        row("node", "node|--require|x|--title=t|quiz.js", "quiz.js");
        row("bash", "bash|-x|-o|pipefail|+o|posix|quiz", "quiz");
        row("dash", "sh|-ec|quiz", "");
        row("zsh", "zsh|-s|quiz", "");
        row("bash", "bash|--rcfile|rc|quiz", "quiz");
        row("java", "java|-cp|lib|-Xmx1g|-jar|quiz.jar|-jar", "quiz.jar");
        row("java", "java|-cp|lib|Quiz|-jar|quiz.jar", "");
        row("ld-linux-x86-64.so.2", "/lib64/ld-linux-x86-64.so.2|--preload|x.so|--inhibit-cache|./game|-v",
            "./game");
        row("ld-linux-x86-64.so.2", "/lib64/ld-linux-x86-64.so.2|--list|./game", "");
        row("game", "game|quiz", "");
        row("pythonic", "pythonic|quiz", "");
    }
    void program() {
        QFETCH(QString, executable);
        QFETCH(QString, commandLine);
        QFETCH(QString, program);
        const QStringList arguments = commandLine.split(u'|');
        const std::optional<qsizetype> index = InterpreterArguments::programIndex(executable, arguments);
        QCOMPARE(index ? arguments.at(*index) : QString(), program);
    }
};

QTEST_APPLESS_MAIN(tst_InterpreterArguments)
#include "tst_interpreterarguments.moc"
