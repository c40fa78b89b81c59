#pragma once
// Catches the station's diagnostic lines (categories vezaro.*) for the life of the object,
// as the default message pattern writes them to stderr ("category: message"). Other
// messages go on to the handler installed before.
#include <QLoggingCategory>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>

namespace vz::test {

class DiagnosticsCapture {
public:
    struct Line {
        QtMsgType type;
        QString text; // "vezaro.port: opened COM1 -> /dev/pts/3 at 9600 baud"
    };

    DiagnosticsCapture() {
        current() = this;
        previous = qInstallMessageHandler(&DiagnosticsCapture::handle);
    }
    ~DiagnosticsCapture() {
        qInstallMessageHandler(previous);
        current() = nullptr;
    }
    DiagnosticsCapture(const DiagnosticsCapture&) = delete;
    DiagnosticsCapture& operator=(const DiagnosticsCapture&) = delete;

    const QList<Line>& lines() const { return caught; }
    // Every line's text, one per entry, for failure messages.
    QString all() const {
        QStringList texts;
        for (const Line& line : caught)
            texts << line.text;
        return texts.join(u'\n');
    }
    // The lines that start with `prefix` (for example "vezaro.port: opened ").
    QList<Line> startingWith(const QString& prefix) const {
        QList<Line> found;
        for (const Line& line : caught)
            if (line.text.startsWith(prefix))
                found << line;
        return found;
    }
    bool has(const QString& text) const {
        return std::any_of(caught.begin(), caught.end(), [&](const Line& line) { return line.text == text; });
    }
    void clear() { caught.clear(); }

private:
    static DiagnosticsCapture*& current() {
        static DiagnosticsCapture* capture = nullptr;
        return capture;
    }
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        DiagnosticsCapture* self = current();
        const QString category = QString::fromLatin1(context.category ? context.category : "");
        if (self && category.startsWith(QStringLiteral("vezaro."))) {
            // The default message pattern, which is what the station writes to stderr.
            self->caught.append({type, category + QStringLiteral(": ") + message});
            return;
        }
        if (self && self->previous)
            self->previous(type, context, message);
    }

    QtMessageHandler previous = nullptr;
    QList<Line> caught;
};

// Silences the station's categories for the life of the object, as
// QT_LOGGING_RULES="vezaro.*=false" does for the program.
class DiagnosticsSilenced {
public:
    DiagnosticsSilenced() { QLoggingCategory::setFilterRules(QStringLiteral("vezaro.*=false")); }
    ~DiagnosticsSilenced() { QLoggingCategory::setFilterRules(QString()); }
};

} // namespace vz::test
