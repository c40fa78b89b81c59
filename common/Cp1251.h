#pragma once
// Cyrillic code page 1251, used by the station file, the examination log and the report.
// Characters that the code page cannot hold are written as '?'.
#include <QByteArray>
#include <QString>

namespace vz {
QByteArray toCp1251(const QString& text);
QString fromCp1251(const QByteArray& bytes);
} // namespace vz
