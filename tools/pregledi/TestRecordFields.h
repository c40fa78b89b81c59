#pragma once
// What the commands over recorded tests share (the list, JSON, CSV and show-test): the fields
// of a test's lines as text and as JSON, the phases as the record keeps them, and the reason an
// unfinished test is given.
#include "TestArchive.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

namespace vz::test_fields {

inline const QString kUnfinishedReason =
    QStringLiteral("no result line: the test is under way, or the station stopped during it and has not "
                   "recorded it since");

// The string at `key`; empty when there is none.
QString str(const QJsonObject& o, const char* key);

// The value at `key`; null when there is none.
QJsonValue orNull(const QJsonObject& o, const char* key);

// A JSON scalar as the show text and the CSV write it: numbers as JSON writes them.
QString scalarText(const QJsonValue& v);

// The keys of each phase that the tests' JSON and CSV give.
inline constexpr const char* kPhaseKeys[] = {"name", "window", "rpm",    "co",      "co2",
                                             "hc",   "o2",     "lambda", "verdict", "reason"};

// The phases as the record keeps them: the result line's, or for an unfinished test those its
// journal saw end.
QJsonArray sourcePhases(const RecordedTest& test);

// The same with the keys of kPhaseKeys only, each null when the record has none.
QJsonArray phasesOf(const RecordedTest& test);

} // namespace vz::test_fields
