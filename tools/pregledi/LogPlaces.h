#pragma once
// The examination log as verify sees it: which examination numbers have a whole record, each
// record read on demand from a few log files kept at hand. What is wrong with the files
// themselves (unreadable, too large, torn) is told through the sink as it is found.
#include "Verify.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace vz::verify_parts {

// A log file is read no further than this; what a station writes is at most 32000 bytes.
constexpr int64_t kLargestLogFileOpened = 64 * 1024 * 1024;

class LogPlaces {
public:
    using Add = std::function<void(int key, VerifyFinding)>;
    LogPlaces(const QString& dir, Add add) : dir_(dir), add_(std::move(add)) {}

    void load();

    enum class State { None, Unusable, Record };
    State at(int number) const;
    // The record of a place in State::Record; false when it cannot be read (then a finding).
    bool read(int number, QByteArray& record);

    int lastNumber() const { return last_; }
    int fileCount() const { return static_cast<int>(files_.size()); }
    int64_t recordCount() const { return records_; }

private:
    struct File {
        int index = 0;
        int64_t size = 0;
        int records = 0; // whole records counted as places
        bool usable = false;
    };
    File* fileOf(int index);
    const File* fileOf(int index) const;
    bool readFile(File& file, QByteArray& bytes);

    QString dir_;
    Add add_;
    std::vector<File> files_; // by index
    int last_ = 0;
    int64_t records_ = 0;
    struct Cached {
        int index = -1;
        QByteArray bytes;
    };
    std::array<Cached, 3> cache_;
    size_t nextSlot_ = 0;
};

} // namespace vz::verify_parts
