#include "TrailLock.h"

#include <QDateTime>
#include <QDir>
#include <QSysInfo>
#include <cerrno>
#include <sys/file.h>
#include <unistd.h>

namespace vz {

TrailLock::Outcome TrailLock::acquire(const QString& dir) {
    release();
    const QString path = stationPath(dir, QString::fromLatin1(kLockFileName));
    if (!file_.open(path, StationFile::Access::ReadWriteCreate, 4096)) {
        error_ = file_.error();
        return Outcome::Unusable;
    }
    if (::flock(file_.fd(), LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        if (code != EWOULDBLOCK) {
            error_ = systemErrorText(path, code);
            file_.close();
            return Outcome::Unusable;
        }
        QByteArray text;
        file_.readAt(0, 4096, text);
        holder_ = QString::fromUtf8(text).trimmed();
        if (holder_.isEmpty())
            holder_ = QStringLiteral("another station");
        file_.close();
        return Outcome::Busy;
    }
    const QString me = QStringLiteral("PID %1 on %2 since %3\n")
                           .arg(::getpid())
                           .arg(QSysInfo::machineHostName(),
                                QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    // Who holds it is for messages only: a failure to write it does not give the lock up.
    if (!file_.truncate(0) || !file_.writeAt(0, me.toUtf8()))
        error_ = file_.error();
    holder_ = me.trimmed();
    return Outcome::Held;
}

void TrailLock::release() {
    file_.close();
    holder_.clear();
}

} // namespace vz
