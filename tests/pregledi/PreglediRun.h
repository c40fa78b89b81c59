#pragma once
// Running the real pregledi binary from a test, and reading back the CSV it writes.
#include <QProcess>
#include <QString>
#include <QStringList>

namespace vz::test {

inline QString binDir() {
    const QByteArray fromEnv = qgetenv("VZ_BIN_DIR");
    return fromEnv.isEmpty() ? QStringLiteral(VZ_DEFAULT_BIN_DIR) : QString::fromLocal8Bit(fromEnv);
}

struct ProgramRun {
    int status = -1;
    QString out;
    QString err;
    QByteArray outBytes; // standard output as written
    QByteArray errBytes;

    // The program's own messages, without what the libraries under it print (a reprint starts
    // a GUI application, which warns of a missing XDG_RUNTIME_DIR, for one).
    QString messages() const {
        QString own;
        for (const QString& line : err.split(u'\n', Qt::SkipEmptyParts)) {
            if (line.startsWith(QStringLiteral("pregledi: ")))
                own += line + u'\n';
        }
        return own;
    }
};

// Runs pregledi with `args`; a run that has not finished in 30 s is ended and told so.
inline ProgramRun pregledi(const QStringList& args) {
    QProcess process;
    process.start(binDir() + QStringLiteral("/pregledi"), args);
    ProgramRun run;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("did not finish");
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.outBytes = process.readAllStandardOutput();
    run.errBytes = process.readAllStandardError();
    run.out = QString::fromUtf8(run.outBytes);
    run.err = QString::fromUtf8(run.errBytes);
    return run;
}

// RFC 4180 as the export writes it: quoted fields, "" for a quote, CR LF between records.
inline QList<QStringList> parseCsv(const QString& text) {
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (quoted) {
            if (ch == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (ch == u'"') {
                quoted = false;
            } else {
                field += ch;
            }
        } else if (ch == u'"') {
            quoted = true;
        } else if (ch == u',') {
            row.append(field);
            field.clear();
        } else if (ch == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            row.append(field);
            rows.append(row);
            row.clear();
            field.clear();
            ++i;
        } else {
            field += ch;
        }
    }
    return rows;
}

} // namespace vz::test
