// The heads `pregledi seal` prints, read back from `verify --expect-head`.
#include "Verify.h"

#include "ExamChain.h"
#include "LogFiles.h"

#include <QRegularExpression>

namespace vz {

std::optional<ExpectedHead> parseExpectedHead(const QString& text) {
    QString trimmed = text.trimmed();
    if (trimmed.startsWith(u'E') || trimmed.startsWith(u'e'))
        trimmed.remove(0, 1);
    qsizetype split = trimmed.indexOf(u':');
    if (split < 0)
        split = trimmed.indexOf(u' ');
    if (split <= 0)
        return std::nullopt;
    bool ok = false;
    const int number = trimmed.left(split).toInt(&ok);
    const QByteArray hex = trimmed.mid(split + 1).trimmed().toLatin1().toLower();
    if (!ok || number < 1 || number > kLastExamNumber || hex.size() < kMinHeadHexDigits ||
        hex.size() > 2 * kChainHashSize)
        return std::nullopt;
    for (char c : hex) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return std::nullopt;
    }
    return ExpectedHead{number, hex};
}

std::optional<ProtocolHead> parseProtocolHead(const QString& text) {
    const QString trimmed = text.trimmed();
    if (!trimmed.startsWith(u'P') && !trimmed.startsWith(u'p'))
        return std::nullopt;
    // P2026-12/45: the month of the file, then the same form as an examination's head.
    QString rest = trimmed.mid(1);
    QDate month;
    static const QRegularExpression monthPrefix(QStringLiteral("^([0-9]{4})-([0-9]{2})/"));
    if (const QRegularExpressionMatch match = monthPrefix.match(rest); match.hasMatch()) {
        month = QDate(match.captured(1).toInt(), match.captured(2).toInt(), 1);
        if (!month.isValid())
            return std::nullopt;
        rest = rest.mid(match.capturedLength());
    }
    const std::optional<ExpectedHead> head = parseExpectedHead(rest);
    if (!head || rest.startsWith(u'E') || rest.startsWith(u'e'))
        return std::nullopt;
    return ProtocolHead{head->examNumber, head->hexPrefix, month};
}

QString ProtocolHead::text() const {
    return QStringLiteral("P%1%2 %3")
        .arg(month.isValid() ? month.toString(QStringLiteral("yyyy-MM/")) : QString())
        .arg(testNumber)
        .arg(QString::fromLatin1(hexPrefix));
}

} // namespace vz
