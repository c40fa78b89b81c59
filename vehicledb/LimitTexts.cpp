#include "LimitTexts.h"

#include "CarModelTable.h"
#include "Conversions.h"

#include <cstdint>

namespace vz {

LimitRow currentLimitRow(const CarModelTable& table) {
    return LimitRow{table.field(QStringLiteral("Mark")),  table.field(QStringLiteral("Model")),
                    table.field(QStringLiteral("COmx")),  table.field(QStringLiteral("COmn")),
                    table.field(QStringLiteral("CO2mx")), table.field(QStringLiteral("O2mx")),
                    table.field(QStringLiteral("CHmx")),  table.field(QStringLiteral("RPM"))};
}

QString pointedLimitText(const QString& digits, int pointBefore) {
    QString text = digits;
    if (text.size() < 4)
        text.prepend(QString(4 - text.size(), u'0'));
    text.insert(pointBefore - 1, u'.');
    return text;
}

RowTexts showValTexts(const LimitRow& row) {
    RowTexts t;
    t.Label1 = row.Mark + QStringLiteral("  ") + row.Model;
    t.Label2 = pointedLimitText(row.COmx, 3);
    t.Label3 = pointedLimitText(row.COmn, 3);
    t.Label4 = pointedLimitText(row.CO2mx, 4);
    QString hc = row.CHmx;
    if (hc.size() < 4)
        hc.prepend(QString(4 - hc.size(), u'0'));
    t.Label5 = u' ' + hc;
    t.Label6 = pointedLimitText(row.O2mx, 3);
    t.Label7 = row.RPM;
    return t;
}

std::optional<QString> applySelection(const LimitRow& row, SelectedVehicle& record) {
    const struct {
        const QString& text;
        uint16_t& limit;
    } limits[] = {{row.COmx, record.LimitCOmx},
                  {row.COmn, record.LimitCOmn},
                  {row.CO2mx, record.LimitCO2mx},
                  {row.O2mx, record.LimitO2mx},
                  {row.CHmx, record.LimitCHmx}};
    for (const auto& l : limits) {
        const std::optional<int32_t> value = strToInt(l.text);
        if (!value)
            return l.text;
        l.limit = static_cast<uint16_t>(static_cast<uint32_t>(*value) & 0xFFFFu);
    }
    const std::optional<int32_t> rpm = strToInt(row.RPM);
    if (!rpm)
        return row.RPM;
    record.VehicleText = row.Mark + u' ' + row.Model;
    record.Make = row.Mark;
    record.Model = row.Model;
    record.Rpm = *rpm;
    return std::nullopt;
}

} // namespace vz
