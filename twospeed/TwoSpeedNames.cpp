// The names, keys and texts of the two-speed procedure's phases, verdicts, endings and
// quantities, as the window, the record and the protocol use them.
#include "TwoSpeedTest.h"

namespace vz::twospeed {

QString phaseName(PhaseKind kind) {
    return kind == PhaseKind::HighIdle ? QStringLiteral("повишени обороти") : QStringLiteral("празен ход");
}

QString phaseKey(PhaseKind kind) {
    return kind == PhaseKind::HighIdle ? QStringLiteral("high-idle") : QStringLiteral("idle");
}

QString verdictKey(Verdict verdict) {
    switch (verdict) {
    case Verdict::Pending:
        return QStringLiteral("pending");
    case Verdict::Pass:
        return QStringLiteral("pass");
    case Verdict::Fail:
        return QStringLiteral("fail");
    case Verdict::Void:
        return QStringLiteral("void");
    case Verdict::Aborted:
        return QStringLiteral("aborted");
    case Verdict::Interrupted:
        return QStringLiteral("interrupted");
    case Verdict::NotRun:
        return QStringLiteral("not-run");
    }
    return {};
}

QString verdictTitle(Verdict verdict) {
    switch (verdict) {
    case Verdict::Pass:
        return QStringLiteral("СЪОТВЕТСТВА");
    case Verdict::Fail:
        return QStringLiteral("НЕ СЪОТВЕТСТВА");
    case Verdict::Void:
    case Verdict::Aborted:
    case Verdict::Interrupted:
        return QStringLiteral("НЕВАЛИДЕН");
    default:
        return {};
    }
}

QString phaseVerdictText(Verdict verdict) {
    switch (verdict) {
    case Verdict::Pending:
        return QStringLiteral("в ход");
    case Verdict::Pass:
        return QStringLiteral("съответства");
    case Verdict::Fail:
        return QStringLiteral("не съответства");
    case Verdict::Void:
        return QStringLiteral("невалидна");
    case Verdict::Aborted:
        return QStringLiteral("прекратена");
    case Verdict::Interrupted:
        return QStringLiteral("прекъсната");
    case Verdict::NotRun:
        return QStringLiteral("не е проведена");
    }
    return {};
}

QString quantityName(Quantity q) {
    switch (q) {
    case Quantity::Co:
        return QStringLiteral("CO");
    case Quantity::Co2:
        return QStringLiteral("CO₂");
    case Quantity::Hc:
        return QStringLiteral("HC");
    case Quantity::O2:
        return QStringLiteral("O₂");
    case Quantity::Lambda:
        return QStringLiteral("λ");
    }
    return {};
}

QString quantityKey(Quantity q) {
    switch (q) {
    case Quantity::Co:
        return QStringLiteral("co");
    case Quantity::Co2:
        return QStringLiteral("co2");
    case Quantity::Hc:
        return QStringLiteral("hc");
    case Quantity::O2:
        return QStringLiteral("o2");
    case Quantity::Lambda:
        return QStringLiteral("lambda");
    }
    return {};
}

QString quantityUnit(Quantity q) {
    switch (q) {
    case Quantity::Hc:
        return QStringLiteral("ppm");
    case Quantity::Lambda:
        return {};
    default:
        return QStringLiteral("%");
    }
}

QString endingKey(Ending ending) {
    switch (ending) {
    case Ending::Completed:
        return QStringLiteral("completed");
    case Ending::Aborted:
        return QStringLiteral("aborted");
    case Ending::Interrupted:
        return QStringLiteral("interrupted");
    case Ending::TimeLimit:
        return QStringLiteral("time-limit");
    }
    return {};
}

std::optional<Quantity> quantityOfKey(const QString& key) {
    for (const Quantity q : {Quantity::Co, Quantity::Co2, Quantity::Hc, Quantity::O2, Quantity::Lambda})
        if (quantityKey(q) == key)
            return q;
    return std::nullopt;
}

QString failText(const QList<QuantityCheck>& checks) {
    QStringList parts;
    for (const QuantityCheck& c : checks) {
        if (c.pass)
            continue;
        const QString unit = quantityUnit(c.quantity).isEmpty() ? QString() : u' ' + quantityUnit(c.quantity);
        if (c.quantity == Quantity::Lambda)
            parts << QStringLiteral("%1 %2 извън %3").arg(quantityName(c.quantity), c.valueText, c.limitText);
        else
            parts << QStringLiteral("%1 %2%3 %4%3")
                         .arg(quantityName(c.quantity), c.valueText, unit,
                              QString(c.limitText).replace(u'≤', u'>'));
    }
    return parts.join(QStringLiteral("; "));
}

} // namespace vz::twospeed
