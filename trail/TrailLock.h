#pragma once
// The station directory's lock, Pregledi.lock: one station at a time appends to a log. The
// lock is an flock() on the file, held for as long as the station runs, so that a crashed
// station leaves nothing stuck: the kernel drops the lock with the process. The file says
// which station holds it (PID, host, since when) for the message a second one shows.
#include "StationFile.h"

#include <QString>

namespace vz {

inline constexpr char kLockFileName[] = "Pregledi.lock";

class TrailLock {
public:
    enum class Outcome {
        Held,     // this process holds the lock
        Busy,     // another station holds it: `holder()` says which
        Unusable, // the lock file cannot be made or used (a read-only directory, a link, ...)
    };
    Outcome acquire(const QString& dir);
    const QString& holder() const { return holder_; } // "PID 1234 on host since 2026-12-09 08:00:01"
    const QString& error() const { return error_; }
    void release();

private:
    StationFile file_;
    QString holder_;
    QString error_;
};

} // namespace vz
