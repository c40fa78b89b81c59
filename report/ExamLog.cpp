#include "ExamLog.h"

#include "Diagnostics.h"
#include "ExamChain.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vz {
namespace {

QString systemError(const QString& fileName, int code) {
    return QStringLiteral("%1: %2").arg(fileName, QString::fromLocal8Bit(std::strerror(code)));
}

// Closes the descriptor when the append is done, whatever the path out.
struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor() {
        if (fd >= 0)
            ::close(fd);
    }
    int release() {
        const int kept = fd;
        fd = -1;
        return kept;
    }
};

} // namespace

QString examLogFileName(uint16_t logFileIndex) {
    return QStringLiteral("Pregledi%1.GPG").arg(logFileIndex, 5, 10, QLatin1Char('0'));
}

int64_t nextRecordNumber(int64_t sizeBytes) {
    const int64_t whole = sizeBytes / 160 + 1;
    const int64_t rest = sizeBytes % 160;
    if (rest > 80 || (rest == 80 && whole % 2 == 1))
        return whole + 1;
    return whole;
}

namespace {
// The append itself; appendExamRecord adds the diagnostic line.
LogAppendResult appendToLog(uint16_t& logFileIndex, const QByteArray& record) {
    LogAppendResult result;
    for (;;) {
        const QString name = examLogFileName(logFileIndex);
        const QByteArray path = QFile::encodeName(name);
        struct stat before {};
        const bool existed = ::stat(path.constData(), &before) == 0;
        FileDescriptor file{::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)};
        if (file.fd < 0) {
            result.error = systemError(name, errno);
            return result;
        }
        struct stat info {};
        if (::fstat(file.fd, &info) != 0) {
            result.error = systemError(name, errno);
            return result;
        }
        if (!S_ISREG(info.st_mode)) {
            result.error = systemError(name, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
            return result;
        }
        const int64_t oldSize = info.st_size;
        const int64_t number = nextRecordNumber(oldSize);
        if (number > kRecordsPerLogFile) {
            if (logFileIndex == UINT16_MAX) {
                result.error = QStringLiteral("%1: the examination log is full").arg(name);
                return result;
            }
            ++logFileIndex;
            continue;
        }

        // The chain entry goes with the record: both are written and made durable, or
        // neither stays.
        const int examNumber = kRecordsPerLogFile * logFileIndex + static_cast<int>(number);
        ExamChainAppend chain;
        QString chainError;
        if (!chain.open(&chainError)) {
            if (!existed)
                ::unlink(path.constData());
            result.error = chainError;
            return result;
        }

        // One write at the end, then make it durable. Any failure cuts the file back.
        int failure = 0;
        if (::lseek(file.fd, 0, SEEK_END) < 0) {
            failure = errno;
        } else {
            const ssize_t written = ::write(file.fd, record.constData(), static_cast<size_t>(record.size()));
            if (written < 0)
                failure = errno;
            else if (written != record.size())
                failure = ENOSPC;
            else if (::fsync(file.fd) != 0)
                failure = errno;
        }
        bool chained = failure == 0 && chain.append(examNumber, record, &chainError);
        if (failure == 0 && ::close(file.release()) != 0)
            failure = errno;
        if (failure == 0 && chained)
            chained = chain.close(&chainError);
        if (failure != 0 || !chained) {
            chain.rollback();
            if (!existed) {
                ::unlink(path.constData()); // the failed append created it: leave no empty file
            } else {
                if (file.fd < 0)
                    file.fd = ::open(path.constData(), O_RDWR | O_CLOEXEC);
                if (file.fd >= 0 && ::ftruncate(file.fd, oldSize) == 0)
                    ::fsync(file.fd);
            }
            result.error = failure != 0 ? systemError(name, failure) : chainError;
            return result;
        }
        result.ok = true;
        result.examNumber = examNumber;
        return result;
    }
}

} // namespace

LogAppendResult appendExamRecord(uint16_t& logFileIndex, const QByteArray& record) {
    const LogAppendResult result = appendToLog(logFileIndex, record);
    if (result.ok)
        qCInfo(lcLog, "examination %d logged in %s", result.examNumber,
               qUtf8Printable(examLogFileName(logFileIndex)));
    else
        qCWarning(lcLog, "examination not logged: %s", qUtf8Printable(result.error));
    return result;
}

} // namespace vz
