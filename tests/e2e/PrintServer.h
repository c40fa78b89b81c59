#pragma once
// A print server of the test's own: a private cupsd listening on a unix socket in a scratch
// directory, with its own configuration, spool, cache, state and logs, and one raw queue,
// the server's default, whose backend copies every job's document into the scratch
// directory. The station reaches it through CUPS_SERVER=socketPath(); the machine's own
// print server (if any) is never used or changed. cupsd is stopped by its process id when
// the object goes.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace e2e {

class PrintServer {
public:
    explicit PrintServer(const QString& queueName = QStringLiteral("VezaroPDF"));
    ~PrintServer();
    PrintServer(const PrintServer&) = delete;
    PrintServer& operator=(const PrintServer&) = delete;

    // Empty when cupsd and lpadmin are installed, otherwise what is missing.
    static QString missingPrograms();

    bool ok() const { return m_ok; }
    QString error() const { return m_error; } // why it did not start
    QString socketPath() const { return m_dir.filePath(QStringLiteral("cups.sock")); }
    QString queueName() const { return m_queue; }
    QString outputDir() const { return m_dir.filePath(QStringLiteral("out")); }
    // The documents of the finished jobs, in the order of their job ids.
    QStringList finishedJobs() const;
    // The end of the scheduler's error log, for failure messages.
    QString logTail(int lines = 40) const;

private:
    bool start();
    bool writeConfiguration();
    bool admin(const QStringList& args);

    QTemporaryDir m_dir;
    QString m_queue;
    QProcess m_proc;
    bool m_ok = false;
    QString m_error;
};

} // namespace e2e
