#pragma once
// The logic behind the report window's reading boxes: the lambda factor recomputed from
// the four gas texts, the tidying of the percentage texts and the key filters.
#include <QChar>
#include <QString>

namespace vz {

struct ReadingTexts {
    QString edCOmn;  // CO %
    QString edCO2mx; // CO2 %
    QString edCHmx;  // HC ppm
    QString edO2mx;  // O2 %
    QString EdLam;   // lambda factor
};

// The lambda factor with three decimals, cut to five characters; empty when a gas text is
// not a decimal number or the equation does not apply (CO2 = 0).
QString reportLambdaText(const ReadingTexts& texts, int gasBoxIndex);

// The first five characters of a percentage text with a second decimal point removed
// from any of the given 1-based positions, scanned in order ("0.0.0" becomes "0.00").
QString tidyPercentText(const QString& text, std::initializer_list<int> positions);

// The boxes as the change handler leaves them: the lambda factor recomputed and the CO,
// CO2 and O2 texts tidied. A tidied text that differs runs the handler again, so the
// lambda factor always belongs to the tidied texts.
ReadingTexts afterReadingChange(ReadingTexts texts, int gasBoxIndex);

// Key filters of the reading boxes (they matter only if a box is made editable):
// percentages take digits, '.' and backspace; HC and engine speed digits and backspace.
bool percentKeyAccepted(QChar key);
bool wholeNumberKeyAccepted(QChar key);

} // namespace vz
