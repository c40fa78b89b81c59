#include "Clock.h"

#include <QDateTime>
#include <QElapsedTimer>

namespace vz {
namespace {
std::function<uint32_t()>& tickSource() {
    static std::function<uint32_t()> s;
    return s;
}
std::function<QString()>& dateSource() {
    static std::function<QString()> s;
    return s;
}
std::function<QString()>& timeSource() {
    static std::function<QString()> s;
    return s;
}
} // namespace

uint32_t GetTickCount() {
    if (tickSource())
        return tickSource()();
    static QElapsedTimer since;
    if (!since.isValid())
        since.start();
    return static_cast<uint32_t>(since.elapsed());
}

// The station's date and time formats are fixed rather than taken from the locale, so
// the log and the printed page read the same on every machine.
QString shortDateText() {
    if (dateSource())
        return dateSource()();
    return QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
}

QString longTimeText() {
    if (timeSource())
        return timeSource()();
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
}

void setTickCountSource(std::function<uint32_t()> s) {
    tickSource() = std::move(s);
}
void setShortDateSource(std::function<QString()> s) {
    dateSource() = std::move(s);
}
void setLongTimeSource(std::function<QString()> s) {
    timeSource() = std::move(s);
}

} // namespace vz
