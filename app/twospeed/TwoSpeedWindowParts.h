#pragma once
// What the two-speed window's files share: its caption, the cycle's constants it reads, the
// emission classes of the vehicle step, and the small helpers that make its labels.
#include "TwoSpeedLimits.h"
#include "TwoSpeedTest.h"

#include <QLabel>
#include <QString>
#include <algorithm>
#include <cstdint>

namespace vz::twospeed_window {

inline const QString kCaption = QStringLiteral("ИЗПИТВАНЕ НА ДВЕ СКОРОСТИ / TWO-SPEED TEST");
// The running state's tick of the cycle timer.
inline constexpr int kRunTickMs = 250;
inline constexpr int kVacuumMode = 4;
inline constexpr uint32_t kSelfSendingRate = 1200;

// The emission classes of the vehicle step's box, in its order.
inline constexpr twospeed::TypeApproval kApprovalItems[] = {
    twospeed::TypeApproval::Unknown,     twospeed::TypeApproval::BeforeEuro1,
    twospeed::TypeApproval::Euro1,       twospeed::TypeApproval::Euro2,
    twospeed::TypeApproval::BeforeEuro3, twospeed::TypeApproval::Euro3OrLater};

inline QString wholeSeconds(int64_t ms) {
    return QString::number((std::max<int64_t>(0, ms) + 999) / 1000);
}

inline QString windowText(const twospeed::SpeedWindow& w) {
    return QStringLiteral("%1–%2 min⁻¹").arg(w.min).arg(w.max);
}

inline QString withUnit(const QString& text, twospeed::Quantity q) {
    const QString unit = twospeed::quantityUnit(q);
    return unit.isEmpty() ? text : text + u' ' + unit;
}

inline QLabel* wrappedLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    return label;
}

inline void setColour(QLabel* label, const char* colour) {
    label->setStyleSheet(colour ? QStringLiteral("color: %1;").arg(QLatin1String(colour)) : QString());
}

inline bool phaseOver(twospeed::Verdict v) {
    return v != twospeed::Verdict::Pending && v != twospeed::Verdict::NotRun;
}

} // namespace vz::twospeed_window
