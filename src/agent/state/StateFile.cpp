#include "agent/state/StateFile.h"

#include "agent/state/OrdersJson.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kestrava::agent {

namespace {

const QString kFileName = QStringLiteral("state.json");

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool syncPath(const QByteArray& path, int flags) {
    const int fd = ::open(path.constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace

StateFile::StateFile(QString directory)
    : m_directory(std::move(directory)) {}

QString StateFile::path() const {
    return QDir(m_directory).filePath(kFileName);
}

bool StateFile::save(const SavedState& state, QString* error) const {
    if (!QDir().mkpath(m_directory)) {
        *error = QStringLiteral("cannot create %1").arg(m_directory);
        return false;
    }
    QFile::setPermissions(m_directory, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QJsonObject link{{QStringLiteral("connected"), state.link.connected},
                     {QStringLiteral("console"), state.link.console},
                     {QStringLiteral("lastContact"), state.link.lastContact.toString(Qt::ISODate)}};
    const QJsonObject root{{QStringLiteral("version"), 1},
                           {QStringLiteral("orders"), OrdersJson::toJson(state.orders)},
                           {QStringLiteral("link"), link}};
    const QByteArray bytes = QJsonDocument(root).toJson();
    const QByteArray target = QFile::encodeName(path());
    const QByteArray temporary = target + ".new";
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = QStringLiteral("cannot write %1: %2").arg(QFile::decodeName(temporary), systemError());
        return false;
    }
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += n;
    }
    const bool complete = written == bytes.size() && ::fsync(fd) == 0;
    const QString reason = systemError();
    ::close(fd);
    // The last good state stays beside the new one, for a file damaged on disk later.
    const QByteArray previous = target + ".prev";
    ::unlink(previous.constData());
    ::link(target.constData(), previous.constData());
    if (!complete || ::rename(temporary.constData(), target.constData()) != 0) {
        *error = QStringLiteral("cannot write %1: %2").arg(path(), complete ? systemError() : reason);
        ::unlink(temporary.constData());
        return false;
    }
    syncPath(QFile::encodeName(m_directory), O_RDONLY | O_DIRECTORY);
    return true;
}

std::optional<SavedState> StateFile::load(QString* error) const {
    auto state = loadFile(path(), error);
    if (!state && !error->isEmpty()) {
        QString ignored;
        state = loadFile(path() + QStringLiteral(".prev"), &ignored);
    }
    return state;
}

std::optional<SavedState> StateFile::loadFile(const QString& filePath, QString* error) {
    QFile file(filePath);
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(filePath, file.errorString());
        return std::nullopt;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    const QJsonObject root = document.object();
    const auto orders = OrdersJson::fromJson(root.value(QStringLiteral("orders")).toObject());
    if (parseError.error != QJsonParseError::NoError || !orders) {
        *error = QStringLiteral("%1 is damaged (%2)")
                     .arg(filePath, parseError.error != QJsonParseError::NoError
                                        ? parseError.errorString()
                                        : QStringLiteral("no readable policy"));
        return std::nullopt;
    }
    SavedState state;
    state.orders = *orders;
    const QJsonObject link = root.value(QStringLiteral("link")).toObject();
    state.link.connected = link.value(QStringLiteral("connected")).toBool();
    state.link.console = link.value(QStringLiteral("console")).toString();
    state.link.lastContact =
        QDateTime::fromString(link.value(QStringLiteral("lastContact")).toString(), Qt::ISODate);
    return state;
}

bool StateFile::removeAll() const {
    return QDir(m_directory).removeRecursively();
}

} // namespace kestrava::agent
