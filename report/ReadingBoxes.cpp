#include "ReadingBoxes.h"

#include "Conversions.h"
#include "Lambda.h"

namespace vz {

QString reportLambdaText(const ReadingTexts& texts, int gasBoxIndex) {
    const auto co = strToFloat(texts.edCOmn);
    const auto co2 = strToFloat(texts.edCO2mx);
    const auto hc = strToFloat(texts.edCHmx);
    const auto o2 = strToFloat(texts.edO2mx);
    if (!co || !co2 || !hc || !o2)
        return {};
    const auto lambda = lambdaFactor(*co, *co2, *hc, *o2, fuelConstant(gasBoxIndex));
    if (!lambda)
        return {};
    return QString::number(*lambda, 'f', 3).left(5);
}

QString tidyPercentText(const QString& text, std::initializer_list<int> positions) {
    // Only a second point is removed: "12.34" (CO from 10 %) keeps its point, where
    // deleting every point at these positions would log 1234 %.
    QString tidy = text.left(5);
    for (int position : positions) {
        const qsizetype index = position - 1;
        if (index < tidy.size() && tidy[index] == u'.' && tidy.left(index).contains(u'.'))
            tidy.remove(index, 1);
    }
    return tidy;
}

ReadingTexts afterReadingChange(ReadingTexts texts, int gasBoxIndex) {
    // Each write-back that changes a box runs the handler once more; removing points
    // only shortens the texts, so this settles within a few rounds.
    for (;;) {
        const QString lambda = reportLambdaText(texts, gasBoxIndex);
        if (!lambda.isEmpty())
            texts.EdLam = lambda;
        const QString co = tidyPercentText(texts.edCOmn, {3, 4, 5});
        const QString co2 = tidyPercentText(texts.edCO2mx, {4, 5});
        const QString o2 = tidyPercentText(texts.edO2mx, {4, 5});
        if (co == texts.edCOmn && co2 == texts.edCO2mx && o2 == texts.edO2mx)
            return texts;
        texts.edCOmn = co;
        texts.edCO2mx = co2;
        texts.edO2mx = o2;
    }
}

bool percentKeyAccepted(QChar key) {
    return (key >= u'0' && key <= u'9') || key == u'.' || key.unicode() == 8;
}

bool wholeNumberKeyAccepted(QChar key) {
    return (key >= u'0' && key <= u'9') || key.unicode() == 8;
}

} // namespace vz
