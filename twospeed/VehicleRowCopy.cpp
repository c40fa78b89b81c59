#include "VehicleRowCopy.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace vz::twospeed {

namespace {

bool sameText(const QString& a, const QString& b) {
    return a.simplified().compare(b.simplified(), Qt::CaseInsensitive) == 0;
}

} // namespace

VehicleRowCopy::VehicleRowCopy(const SelectedVehicle& offered, const QString& tableChecksum)
    : m_row(offered), m_tableChecksum(tableChecksum), m_offered(offered.LimitCO2mx != 0) {}

void VehicleRowCopy::edited(const QString& make, const QString& model) {
    if (applies() && !(sameText(make, m_row.Make) && sameText(model, m_row.Model)))
        m_dropped = true;
}

void VehicleRowCopy::forget() {
    *this = VehicleRowCopy();
}

void VehicleRowCopy::applyTo(VehicleFacts& vehicle) const {
    vehicle.row.reset();
    vehicle.rowRpm.reset();
    vehicle.tableChecksum.clear();
    if (!applies())
        return;
    vehicle.row = m_row;
    if (m_row.Rpm > 0)
        vehicle.rowRpm = m_row.Rpm;
    vehicle.tableChecksum = m_tableChecksum;
}

QString VehicleRowCopy::droppedText() const {
    if (!dropped())
        return {};
    return QStringLiteral("Редът „%1“ от F1 не се прилага: марката или моделът са сменени.")
        .arg(m_row.VehicleText);
}

QString tableChecksum(const QByteArray& content) {
    return QString::fromLatin1(
        QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex().left(16));
}

QString tableChecksumOfFile(const QString& path) {
    // A regular file only: a FIFO named like the table would never end.
    if (!QFileInfo(path).isFile())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return QString::fromLatin1(hash.result().toHex().left(16));
}

} // namespace vz::twospeed
