#pragma once
// Registration numbers as the attempt count compares them. Bulgarian plates use the Cyrillic
// letters that look like Latin ones, and operators type either; spaces and hyphens come and go.
#include <QString>

namespace vz::twospeed {

// Drops white space and hyphens (the hyphen-minus and the Unicode hyphens and dashes),
// upper-cases, and maps the Latin look-alikes A B E K M H O P C T Y X to their Cyrillic
// letters А В Е К М Н О Р С Т У Х. "ca 1234 bx" and "СА-1234-ВХ" both give "СА1234ВХ".
QString normaliseRegistration(const QString& registration);

} // namespace vz::twospeed
