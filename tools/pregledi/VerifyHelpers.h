#pragma once
// What the checks of the examination log and of the test archive share: the texts their
// findings are made of, the names they give the chain and the key, and how many keyed entries
// decide whether a key fits a chain.
#include "ExamChain.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace vz::verify_parts {

// The examination log's chain and the station's key, as findings name them.
inline const QString kChainName = QString::fromLatin1(kChainFileName);
inline const QString kKeyName = QString::fromLatin1(kStationKeyFileName);

// Keyed entries tried before the key is judged not to be the chain's.
constexpr int kKeyProbeEntries = 8;

// "1 byte", "5 bytes".
QString plural(int64_t count, const char* one, const char* many);

// The error of a StationFile without the path in front: the finding names the file already.
QString withoutPath(const QString& error, const QString& path);

// Every byte zero: a record, or a piece of one, that never reached the disk.
bool allZero(const QByteArray& bytes);

// "examination 5", "examinations 5-7".
QString examinations(int first, int last);

// "Pregledi00000.GPG record 5", "Pregledi00000.GPG records 5-7", or across two files.
QString logPlaces(int first, int last);

} // namespace vz::verify_parts
