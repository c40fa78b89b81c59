// Texts of the protocol that the page, the test's builder and the record's builder share: the
// number with its series, the ending and a failing average.
#include "ProtocolPage.h"

#include <QStringList>

namespace vz {

QString protocolNumberText(int number, bool training) {
    // A training protocol's series is told apart on the paper itself, not only by the mark.
    return training ? QStringLiteral("О-%1").arg(number) : QString::number(number);
}

QString protocolEndingText(const QString& endingKey, bool withFailingAverage) {
    if (endingKey == u"aborted")
        return QStringLiteral("Изпитването е прекратено от оператора");
    if (endingKey == u"interrupted")
        return withFailingAverage ? QStringLiteral("Изпитването е прекъснато след неуспешна средна стойност")
                                  : QStringLiteral("Изпитването е прекъснато");
    if (endingKey == u"time-limit")
        return QStringLiteral("Фаза не завърши в определеното време");
    return {};
}

QString failingAverageText(const QString& phase, const QString& rpm, const QList<ProtocolValue>& values) {
    QStringList parts;
    for (const ProtocolValue& v : values) {
        QString part = v.name + u' ' + v.value;
        if (!v.unit.isEmpty())
            part += u' ' + v.unit;
        if (!v.pass)
            part += QStringLiteral(" ✘");
        parts.append(part);
    }
    QString head = phase;
    if (!rpm.isEmpty())
        head += QStringLiteral(", %1 min⁻¹").arg(rpm);
    return head + QStringLiteral(": ") + parts.join(QStringLiteral(", "));
}

} // namespace vz
