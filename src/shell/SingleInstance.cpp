#include "SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCryptographicHash>

QString SingleInstance::lockPath(const QString& name) {
    const QByteArray hash =
        QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("/tmp/velmora-%1-%2.lock")
        .arg(QString::fromLatin1(hash))
        .arg(static_cast<qulonglong>(getuid()));
}

SingleInstance::SingleInstance(const QString& name) {
    const QByteArray path = lockPath(name).toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        // Without a lock file the program still runs; it just cannot refuse a second start.
        return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        m_first = false;
        return;
    }
    m_fd = fd;
}

SingleInstance::~SingleInstance() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}
