#pragma once
// The test's own copy of the F1 row. The main window keeps the row chosen with F1 for as
// long as the operator likes (its record, caption and markers need it); a two-speed test
// takes it only for the vehicle it was chosen for. The vehicle step fills make and model
// from the copy; once either is changed, the row is dropped for the rest of this test (even
// if the old text is typed back: the operator has said it is another vehicle), and when the
// test ends the copy is forgotten. Whitespace and letter case are no change of vehicle.
#include "SelectedVehicle.h"
#include "TwoSpeedLimits.h"

#include <QString>

namespace vz::twospeed {

class VehicleRowCopy {
public:
    VehicleRowCopy() = default;
    // `offered` is the main window's F1 row (LimitCO2mx == 0: none) and `tableChecksum` the
    // checksum of the limits table it was read from (tableChecksumOfFile()).
    VehicleRowCopy(const SelectedVehicle& offered, const QString& tableChecksum);

    bool offered() const { return m_offered; }
    bool applies() const { return m_offered && !m_dropped; }
    bool dropped() const { return m_offered && m_dropped; }
    // The row's make and model, for the vehicle step to start from.
    QString make() const { return m_row.Make; }
    QString model() const { return m_row.Model; }

    // The make and model as the vehicle step holds them now.
    void edited(const QString& make, const QString& model);
    // The test has ended: nothing of the row is left.
    void forget();

    // Puts the row into the vehicle's facts while it applies (row, rowRpm, tableChecksum),
    // and takes them out when it does not.
    void applyTo(VehicleFacts& vehicle) const;

    // For the vehicle step once the row is dropped, e.g. "Редът „VW GOLF“ от F1 не се прилага:
    // марката или моделът са сменени."; empty otherwise.
    QString droppedText() const;

private:
    SelectedVehicle m_row;
    QString m_tableChecksum;
    bool m_offered = false;
    bool m_dropped = false;
};

// The limits table's checksum as the record keeps it: the first 16 hex digits, lower case,
// of the SHA-256 of its bytes. Empty when the file cannot be read.
QString tableChecksum(const QByteArray& content);
QString tableChecksumOfFile(const QString& path);

} // namespace vz::twospeed
