#include "ProtocolPage.h"

#include "Diagnostics.h"
#include "PrinterService.h"
#include "StationFile.h"
#include "TwoSpeedFormat.h"

#include <QBuffer>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QRawFont>
#include <algorithm>
#include <cmath>

namespace vz {

using namespace twospeed;

// ---------------------------------------------------------------------------------------
// The page
// ---------------------------------------------------------------------------------------

namespace {

// The layout grid: 1200 units across the device, A4 proportions down.
constexpr double kUnitsAcross = 1200;
constexpr double kUnitsDown = kUnitsAcross * 297 / 210;
// Point sizes are meant for this width; a narrower device gets proportionally smaller type.
constexpr double kNominalWidthInches = 210 / 25.4;

constexpr double kLeft = 90;
constexpr double kRight = 1110;
constexpr double kTop = 70;
constexpr double kBottom = kUnitsDown - 60;
constexpr double kLabelWidth = 300;
constexpr double kValueX = kLeft + kLabelWidth;

const QColor kRed(200, 0, 0);
const QString kPassMark = QStringLiteral("✔");
const QString kFailMark = QStringLiteral("✘");

// The phase table's columns: phase, speed, oil, then CO, CO2, HC, O2 and lambda.
struct Column {
    double x;
    double width;
};
constexpr Column kColumns[] = {{kLeft, 200}, {290, 110}, {400, 75},  {475, 130},
                               {605, 120},   {725, 105}, {830, 110}, {940, 170}};
constexpr int kFirstValueColumn = 3;
const QStringList kQuantityNames = {QStringLiteral("CO"), QStringLiteral("CO₂"), QStringLiteral("HC"),
                                    QStringLiteral("O₂"), QStringLiteral("λ")};

enum class Align { Left, Centre };

struct PlacedText {
    QPointF baseline; // layout units
    QFont font;
    QString text;
    bool red = false;
};

// The face of the report page; texts with a character it lacks (the ✔ and ✘ marks,
// "min⁻¹") take a face that has them all, so that each text is drawn in one face.
const QString kFace = QStringLiteral("Arial");
const QString kFallbackFace = QStringLiteral("DejaVu Sans");
constexpr double kFallbackSize = 0.9;

bool faceCovers(const QString& family, bool bold, const QString& text) {
    QFont font(family);
    font.setBold(bold);
    const QRawFont raw = QRawFont::fromFont(font);
    if (!raw.isValid())
        return false;
    for (const char32_t c : text.toUcs4()) {
        if (c != u' ' && !raw.supportsCharacter(c))
            return false;
    }
    return true;
}

// The page as texts and rules in layout units; laid out first, drawn once it fits.
class PageLayout {
public:
    PageLayout(QPaintDevice* device, double shrink)
        : device_(device), scale_(device->width() / kUnitsAcross),
          pointFactor_(shrink * (device->width() / double(std::max(1, device->logicalDpiX()))) /
                       kNominalWidthInches) {}

    QFont font(const QString& text, double points, bool bold) const {
        const bool fallback = !faceCovers(kFace, bold, text) && faceCovers(kFallbackFace, bold, text);
        QFont f(fallback ? kFallbackFace : kFace);
        // The fallback face runs wider and taller: a little smaller, it matches the line.
        f.setPointSizeF(std::max(1.0, points * pointFactor_ * (fallback ? kFallbackSize : 1.0)));
        f.setBold(bold);
        return f;
    }
    double advance(const QFont& f, const QString& text) const {
        return QFontMetricsF(f, device_).horizontalAdvance(text) / scale_;
    }
    double ascent(const QFont& f) const { return QFontMetricsF(f, device_).ascent() / scale_; }
    double lineSpacing(const QFont& f) const { return QFontMetricsF(f, device_).lineSpacing() / scale_; }

    void place(double x, double baseline, const QFont& f, const QString& text, bool red = false) {
        if (!text.isEmpty())
            texts.append({QPointF(x, baseline), f, text, red});
    }
    void rule(double atY, double from = kLeft, double to = kRight) {
        rules.append(QLineF(from, atY, to, atY));
    }
    void space(double units) { y += units; }

    // Lines of `text` no wider than `width`, broken at spaces (a word wider than the line
    // is broken where it must).
    QStringList wrap(const QString& text, const QFont& f, double width) const {
        QStringList lines;
        QString line;
        for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
            const QString candidate = line.isEmpty() ? word : line + u' ' + word;
            if (advance(f, candidate) <= width) {
                line = candidate;
                continue;
            }
            if (!line.isEmpty())
                lines.append(line);
            line = word;
            while (advance(f, line) > width && line.size() > 1) {
                qsizetype fits = line.size() - 1;
                while (fits > 1 && advance(f, line.left(fits)) > width)
                    --fits;
                lines.append(line.left(fits));
                line = line.mid(fits);
            }
        }
        if (!line.isEmpty())
            lines.append(line);
        return lines;
    }

    // A paragraph from the current line down, wrapped inside [x, x + width].
    void paragraph(const QString& text, double points, bool bold, double x = kLeft,
                   double width = kRight - kLeft, Align align = Align::Left, bool red = false) {
        const QFont f = font(text, points, bold);
        for (const QString& line : wrap(text, f, width)) {
            const double left = align == Align::Centre ? x + (width - advance(f, line)) / 2 : x;
            place(left, y + ascent(f), f, line, red);
            y += lineSpacing(f);
        }
    }

    // One line of cells on a common baseline; a cell too wide for its width gets smaller type.
    struct Cell {
        double x;
        double width;
        QString text;
        double points;
        bool bold = false;
        bool red = false;
        QString mark; // drawn after the text, in the text's colour
    };
    void row(const QList<Cell>& cells) {
        struct Fitted {
            QFont font;
            QFont markFont;
        };
        QList<Fitted> fitted;
        double top = 0;
        double spacing = 0;
        for (const Cell& c : cells) {
            double points = c.points;
            QFont f = font(c.text, points, c.bold);
            QFont m = font(c.mark, points, c.bold);
            while (points > 4 && width(c, f, m) > c.width) {
                points *= 0.94;
                f = font(c.text, points, c.bold);
                m = font(c.mark, points, c.bold);
            }
            fitted.append({f, m});
            top = std::max({top, ascent(f), c.mark.isEmpty() ? 0.0 : ascent(m)});
            spacing = std::max({spacing, lineSpacing(f), c.mark.isEmpty() ? 0.0 : lineSpacing(m)});
        }
        const double baseline = y + top;
        for (qsizetype i = 0; i < cells.size(); ++i) {
            const Cell& c = cells[i];
            place(c.x, baseline, fitted[i].font, c.text, c.red);
            if (!c.mark.isEmpty())
                place(c.x + advance(fitted[i].font, c.text) + markGap(), baseline, fitted[i].markFont, c.mark,
                      c.red);
        }
        y += spacing;
    }

    // A label and its value; the value wraps in its own column.
    void field(const QString& label, const QString& value, double points = 10) {
        const double top = y;
        row({{kLeft, kLabelWidth - 15, label, points}});
        const double afterLabel = y;
        y = top;
        paragraph(value, points, true, kValueX, kRight - kValueX);
        y = std::max(y, afterLabel);
    }

    QList<PlacedText> texts;
    QList<QLineF> rules;
    double y = kTop;

private:
    double markGap() const { return 6; }
    double width(const Cell& c, const QFont& f, const QFont& m) const {
        return advance(f, c.text) + (c.mark.isEmpty() ? 0 : markGap() + advance(m, c.mark));
    }

    QPaintDevice* device_;
    double scale_;
    double pointFactor_;
};

QString capitalised(QString text) {
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

// Every reason a test is training, as one text.
QString trainingReasonsText(const ProtocolData& d) {
    return d.trainingReasons.isEmpty() ? d.trainingReason : d.trainingReasons.join(QStringLiteral("; "));
}

void layOutHeader(PageLayout& page, const ProtocolData& d) {
    // A page whose result is not in the archive does not call itself a protocol.
    const QString title =
        d.unrecorded && d.title == kProtocolTitle ? QStringLiteral("ИЗПИТВАНЕ НА ДВЕ СКОРОСТИ") : d.title;
    page.paragraph(title, 15, true, kLeft, kRight - kLeft, Align::Centre);
    page.paragraph(QStringLiteral("Измерване на отработилите газове на двигател с принудително запалване"), 9,
                   false, kLeft, kRight - kLeft, Align::Centre);
    page.space(8);
    if (!d.stationLine.isEmpty())
        page.paragraph(d.stationLine, 12, true, kLeft, kRight - kLeft, Align::Centre);
    if (d.training) {
        page.space(6);
        page.paragraph(kTrainingMark, 15, true, kLeft, kRight - kLeft, Align::Centre);
        const QString reasons = trainingReasonsText(d);
        if (!reasons.isEmpty())
            page.paragraph(reasons, 9, false, kLeft, kRight - kLeft, Align::Centre);
    }
    page.space(14);

    QList<PageLayout::Cell> first;
    if (d.unrecorded) {
        // No number: the mark stands where an official page has it.
        first.append({kLeft, 590, kUnrecordedMark, 14, true});
    } else {
        const QString number = QStringLiteral("Протокол № ") + protocolNumberText(d.number, d.training);
        const double numberEnd = kLeft + page.advance(page.font(number, 14, true), number);
        first.append({kLeft, 480, number, 14, true});
        if (d.attempt > 1)
            first.append({numberEnd + 25, kLeft + 560 - numberEnd - 25,
                          QStringLiteral("опит %1").arg(d.attempt), 12, true});
    }
    first.append({700, kRight - 700, QStringLiteral("Дата: ") + d.date, 11});
    page.row(first);
    QList<PageLayout::Cell> times = {{700, 200, QStringLiteral("Начало: ") + d.startTime, 10}};
    if (!d.endTime.isEmpty())
        times.append({910, kRight - 910, QStringLiteral("Край: ") + d.endTime, 10});
    page.row(times);
}

void layOutFacts(PageLayout& page, const ProtocolData& d) {
    page.space(12);
    page.paragraph(QStringLiteral("Превозно средство"), 11, true);
    page.space(2);
    page.field(QStringLiteral("Регистрационен №"), d.registration);
    page.field(QStringLiteral("Марка и модел"), d.makeModel.isEmpty() ? kNoValue : d.makeModel);
    page.field(QStringLiteral("Първа регистрация"), d.firstRegistration);
    page.field(QStringLiteral("Гориво"), d.fuel);
    page.field(QStringLiteral("Контрол на емисиите"), d.emissionControl);
    if (!d.typeApproval.isEmpty())
        page.field(QStringLiteral("Одобрение на типа"), d.typeApproval);
    if (!d.declaration.isEmpty())
        page.field(QStringLiteral("Декларация на оператора"), d.declaration);

    page.space(12);
    page.paragraph(QStringLiteral("Гранични стойности"), 11, true);
    page.space(2);
    page.paragraph(d.limitExplanation, 10, false);
    page.paragraph(QStringLiteral("Основание: ") + d.limitSource, 9, false);
    for (const QString& line : d.limitSources)
        page.paragraph(line, 9, false);
    if (!d.rowInformation.isEmpty())
        page.paragraph(QStringLiteral("Стойности от ред F1 (за информация): ") + d.rowInformation, 9, false);

    page.space(12);
    page.field(QStringLiteral("Анализатор, сериен №"),
               d.analyserSerial.isEmpty() ? QStringLiteral("не е посочен") : d.analyserSerial);
    page.field(QStringLiteral("Проверка на анализатора до"),
               d.verificationExpires.isEmpty() ? QStringLiteral("не е посочена") : d.verificationExpires);
    QString oil;
    if (d.oilConfirmed) {
        oil = QStringLiteral("потвърдена от оператора, не е измерена");
    } else {
        oil = d.oilAtStart.isEmpty() ? kNoValue : d.oilAtStart;
        if (!d.oilMinimum.isEmpty())
            oil += QStringLiteral(" (най-малко %1)").arg(d.oilMinimum);
    }
    page.field(QStringLiteral("Температура на маслото"), oil);
}

void layOutPhases(PageLayout& page, const ProtocolData& d) {
    page.space(14);
    page.paragraph(QStringLiteral("Резултати по фази (средни стойности)"), 11, true);
    page.space(4);
    const QStringList heads = {QStringLiteral("Фаза"), QStringLiteral("Обороти"), QStringLiteral("Масло")};
    const QStringList units = {
        QString(),           QStringLiteral("min⁻¹"), QStringLiteral("°C"), QStringLiteral("%"),
        QStringLiteral("%"), QStringLiteral("ppm"),   QStringLiteral("%"),  QString()};
    QList<PageLayout::Cell> headRow, unitRow;
    for (int i = 0; i < 8; ++i) {
        const Column& col = kColumns[i];
        headRow.append({col.x, col.width - 8,
                        i < kFirstValueColumn ? heads[i] : kQuantityNames[i - kFirstValueColumn], 9, true});
        if (!units[i].isEmpty())
            unitRow.append({col.x, col.width - 8, units[i], 8.5});
    }
    page.rule(page.y);
    page.space(4);
    page.row(headRow);
    page.row(unitRow);
    page.space(2);
    page.rule(page.y);
    page.space(5);

    for (const ProtocolPhase& phase : d.phases) {
        QList<PageLayout::Cell> values = {
            {kColumns[0].x, kColumns[0].width - 8, capitalised(phase.name), 10, true},
            {kColumns[1].x, kColumns[1].width - 8, phase.rpm, 10},
            {kColumns[2].x, kColumns[2].width - 8, phase.oil, 10}};
        QList<PageLayout::Cell> limitRow = {
            {kColumns[0].x, kColumns[0].width - 8, QStringLiteral("граници"), 8.5},
            {kColumns[1].x, kColumns[1].width - 8, phase.window, 8.5}};
        for (const ProtocolValue& v : phase.values) {
            const qsizetype index = kQuantityNames.indexOf(v.name);
            if (index < 0)
                continue;
            const Column& col = kColumns[kFirstValueColumn + index];
            const bool judged = !v.limit.isEmpty() && v.value != kNoValue;
            values.append({col.x, col.width - 8, v.value, 10, !v.pass, !v.pass,
                           judged ? (v.pass ? kPassMark : kFailMark) : QString()});
            if (!v.limit.isEmpty())
                limitRow.append({col.x, col.width - 8, v.limit, 8.5});
        }
        page.row(values);
        page.row(limitRow);
        page.space(2);
        page.row(
            {{kLeft, kRight - kLeft, QStringLiteral("Резултат: ") + phase.verdict, 10, true, phase.failed}});
        if (!phase.reason.isEmpty())
            page.paragraph(phase.reason, 9, false, kLeft + 20, kRight - kLeft - 20);
        page.space(4);
        page.rule(page.y);
        page.space(5);
    }
    page.paragraph(QStringLiteral("✔ в границата, ✘ извън нея; стойностите без граница са за информация"), 8,
                   false);
}

// The verdict in the page's largest letters; a training test's mark beside it, on its line
// where both fit, else right under it.
void layOutVerdictLine(PageLayout& page, const ProtocolData& d) {
    const bool red = d.outcome == ProtocolOutcome::Fail;
    const QFont verdictFont = page.font(d.verdict, 28, true);
    const QFont markFont = page.font(kTrainingMark, 12, true);
    const double gap = 30;
    const double verdictWidth = page.advance(verdictFont, d.verdict);
    const double markWidth = page.advance(markFont, kTrainingMark);
    if (!d.training || verdictWidth + gap + markWidth > kRight - kLeft) {
        page.paragraph(d.verdict, 28, true, kLeft, kRight - kLeft, Align::Centre, red);
        if (d.training)
            page.paragraph(kTrainingMark, 12, true, kLeft, kRight - kLeft, Align::Centre);
        return;
    }
    const double left = kLeft + (kRight - kLeft - verdictWidth - gap - markWidth) / 2;
    const double baseline = page.y + page.ascent(verdictFont);
    page.place(left, baseline, verdictFont, d.verdict, red);
    page.place(left + verdictWidth + gap, baseline, markFont, kTrainingMark);
    page.y += page.lineSpacing(verdictFont);
}

void layOutVerdict(PageLayout& page, const ProtocolData& d) {
    page.space(16);
    page.paragraph(QStringLiteral("Заключение"), 11, true, kLeft, kRight - kLeft, Align::Centre);
    layOutVerdictLine(page, d);
    if (!d.ending.isEmpty())
        page.paragraph(d.ending, 12, true, kLeft, kRight - kLeft, Align::Centre);
    if (!d.failingAverage.isEmpty())
        page.paragraph(QStringLiteral("Неуспешна средна стойност при ") + d.failingAverage, 10, false, kLeft,
                       kRight - kLeft, Align::Centre);
    if (!d.verdictReason.isEmpty())
        page.paragraph(d.verdictReason, 10, false, kLeft, kRight - kLeft, Align::Centre);
    page.space(18);
    const double top = page.y;
    page.paragraph(QStringLiteral("Изпитването извърши: ") + d.operatorName, 11, false, kLeft, 560);
    const double after = page.y;
    page.y = top;
    page.row({{720, kRight - 720, QStringLiteral("Подпис: ....................."), 11}});
    page.y = std::max(page.y, after);

    if (!d.setupDifferences.isEmpty()) {
        page.space(14);
        page.paragraph(QStringLiteral("Настройки, различни от подразбиращите се:"), 9, true);
        for (const QString& text : d.setupDifferences)
            page.paragraph(text, 8.5, false, kLeft + 20, kRight - kLeft - 20);
    }
    if (d.copy) {
        page.space(18);
        page.paragraph(QStringLiteral("КОПИЕ / COPY"), 20, true, kLeft, kRight - kLeft, Align::Centre);
        page.paragraph(QStringLiteral("от архива на протоколите / from the protocol archive"), 9, false,
                       kLeft, kRight - kLeft, Align::Centre);
    }
}

// The foot goes at the bottom of the page; returns where it begins. It says what the paper
// is: a training test's mark with every reason, the mark of a result not in the archive, and
// the seal or why there is none. A missing seal never keeps the page from printing.
double layOutFoot(PageLayout& page, const ProtocolData& d) {
    struct Line {
        QString text;
        bool bold;
    };
    QList<Line> lines;
    if (d.training) {
        const QString reasons = trainingReasonsText(d);
        lines.append(
            {reasons.isEmpty() ? kTrainingMark : kTrainingMark + QStringLiteral(": ") + reasons, true});
    }
    if (d.unrecorded) {
        lines.append({kUnrecordedMark, true});
        lines.append({QStringLiteral("резултатът не е записан в архива") +
                          (d.sealTrouble.isEmpty() ? QString() : QStringLiteral(": ") + d.sealTrouble),
                      false});
    } else if (!d.seal.isEmpty()) {
        lines.append({QStringLiteral("Печат на записа в архива: ") + d.seal, false});
    } else {
        lines.append({d.sealTrouble.isEmpty() ? QStringLiteral("без печат")
                                              : QStringLiteral("без печат: ") + d.sealTrouble,
                      false});
    }
    double height = 0;
    for (const Line& line : lines) {
        const QFont f = page.font(line.text, 9, line.bold);
        height += page.wrap(line.text, f, kRight - kLeft).size() * page.lineSpacing(f);
    }
    const double top = kBottom - height;
    const double flowEnd = page.y;
    page.y = top;
    for (const Line& line : lines)
        page.paragraph(line.text, 9, line.bold);
    page.rule(top - 8);
    page.y = flowEnd;
    return top - 16;
}

// The page laid out with the largest type that lets everything fit above the foot.
PageLayout layOut(QPaintDevice* device, const ProtocolData& d) {
    double shrink = 1.0;
    for (;;) {
        PageLayout page(device, shrink);
        layOutHeader(page, d);
        layOutFacts(page, d);
        layOutPhases(page, d);
        layOutVerdict(page, d);
        const double footTop = layOutFoot(page, d);
        if (page.y <= footTop || shrink < 0.5)
            return page;
        shrink *= 0.93;
    }
}

// Red only where it prints as red: not on a grey printer or a grey image.
bool hasColour(const QPaintDevice* device) {
    if (const auto* printer = dynamic_cast<const QPrinter*>(device))
        return printer->colorMode() == QPrinter::Color;
    if (const auto* image = dynamic_cast<const QImage*>(device)) {
        switch (image->format()) {
        case QImage::Format_Mono:
        case QImage::Format_MonoLSB:
        case QImage::Format_Grayscale8:
        case QImage::Format_Grayscale16:
        case QImage::Format_Alpha8:
            return false;
        default:
            break;
        }
    }
    return device->depth() > 1;
}

// A mark across the face of the page: light letters along one diagonal of the sheet (rising
// from bottom left to top right, or falling), as long as three quarters of it.
const QColor kTrainingGrey(205, 205, 205);
const QColor kUnrecordedGrey(180, 180, 180);

void drawAcrossThePage(QPainter& painter, const PageLayout& page, const QString& text, bool rising,
                       const QColor& grey) {
    QPaintDevice* device = painter.device();
    const double width = device->width();
    const double height = std::min<double>(device->height(), kUnitsDown * width / kUnitsAcross);
    const double diagonal = std::hypot(width, height);
    QFont font = page.font(text, 40, true);
    const double advance = QFontMetricsF(font, device).horizontalAdvance(text);
    if (advance <= 0)
        return;
    font.setPointSizeF(font.pointSizeF() * 0.75 * diagonal / advance);
    const QFontMetricsF metrics(font, device);
    const double angle = std::atan2(height, width) * 180 / M_PI;
    painter.save();
    painter.translate(width / 2, height / 2);
    painter.rotate(rising ? -angle : angle);
    painter.setFont(font);
    painter.setPen(grey);
    painter.drawText(
        QPointF(-metrics.horizontalAdvance(text) / 2, (metrics.ascent() - metrics.descent()) / 2), text);
    painter.restore();
}

} // namespace

void drawProtocolPage(QPainter& painter, const ProtocolData& data) {
    QPaintDevice* device = painter.device();
    const PageLayout page = layOut(device, data);
    const double scale = device->width() / kUnitsAcross;
    const bool colour = hasColour(device);
    painter.save();
    // The marks across the face first, so that every text stays readable over them.
    if (data.unrecorded)
        drawAcrossThePage(painter, page, kUnrecordedMark, true, kUnrecordedGrey);
    if (data.training)
        drawAcrossThePage(painter, page, kTrainingMark, !data.unrecorded, kTrainingGrey);
    // Rules are a black pixel stretched over their place: every engine draws an image, even
    // one that draws no shapes (a recording page).
    QImage black(1, 1, QImage::Format_RGB32);
    black.fill(Qt::black);
    const double thickness = std::max(1.0, 1.2 * scale);
    for (const QLineF& line : page.rules)
        painter.drawImage(QRectF(line.x1() * scale, line.y1() * scale - thickness / 2,
                                 (line.x2() - line.x1()) * scale, thickness),
                          black);
    for (const PlacedText& t : page.texts) {
        painter.setFont(t.font);
        painter.setPen(t.red && colour ? kRed : QColor(Qt::black));
        painter.drawText(t.baseline * scale, t.text);
    }
    painter.restore();
}

} // namespace vz
