#include "PrintServer.h"

#include "E2eHarness.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace e2e {
namespace {

const QStringList kSbinDirs{QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/usr/bin"),
                            QStringLiteral("/bin")};

QString findProgram(const QString& name) {
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name, kSbinDirs);
    return path;
}

// A unix socket's path must stay well under 108 bytes, so the scratch directory goes to /tmp
// when the temporary directory's own path is long.
QString scratchTemplate() {
    const QString base = QDir::tempPath().size() < 60 ? QDir::tempPath() : QStringLiteral("/tmp");
    return base + QStringLiteral("/vz-cups-XXXXXX");
}

QString userName(uid_t uid) {
    const passwd* pw = ::getpwuid(uid);
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QString::number(uid);
}

QString groupName(gid_t gid) {
    const group* gr = ::getgrgid(gid);
    return gr ? QString::fromLocal8Bit(gr->gr_name) : QString::number(gid);
}

bool writeText(const QString& path, const QString& text, QFileDevice::Permissions permissions) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = text.toLocal8Bit();
    return f.write(bytes) == bytes.size() && f.setPermissions(permissions);
}

// Single quotes for the shell.
QString shellQuoted(const QString& text) {
    QString quoted = text;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}

} // namespace

QString PrintServer::missingPrograms() {
    QStringList missing;
    for (const QString& name :
         {QStringLiteral("cupsd"), QStringLiteral("lpadmin"), QStringLiteral("lpstat")}) {
        if (findProgram(name).isEmpty())
            missing.append(name);
    }
    return missing.join(QStringLiteral(", "));
}

PrintServer::PrintServer(const QString& queueName) : m_dir(scratchTemplate()), m_queue(queueName) {
    m_ok = start();
}

PrintServer::~PrintServer() {
    if (m_proc.state() == QProcess::NotRunning)
        return;
    m_proc.terminate(); // SIGTERM to cupsd's own process id
    if (!m_proc.waitForFinished(5000)) {
        m_proc.kill();
        m_proc.waitForFinished(3000);
    }
}

bool PrintServer::start() {
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no scratch directory: ") + m_dir.errorString();
        return false;
    }
    const QString missing = missingPrograms();
    if (!missing.isEmpty()) {
        m_error = QStringLiteral("not installed: ") + missing;
        return false;
    }
    if (!writeConfiguration())
        return false;

    const QString conf = m_dir.filePath(QStringLiteral("cupsd.conf"));
    const QString files = m_dir.filePath(QStringLiteral("cups-files.conf"));
    m_proc.setProcessChannelMode(QProcess::MergedChannels);
    m_proc.setStandardOutputFile(m_dir.filePath(QStringLiteral("log/cupsd.out")));
    m_proc.start(findProgram(QStringLiteral("cupsd")),
                 {QStringLiteral("-f"), QStringLiteral("-c"), conf, QStringLiteral("-s"), files});
    if (!m_proc.waitForStarted(5000)) {
        m_error = QStringLiteral("cupsd did not start: ") + m_proc.errorString();
        return false;
    }
    // Listening once the socket is there and the scheduler answers a request on it.
    const bool answering = waitFor(
        [&] {
            if (m_proc.state() == QProcess::NotRunning || !QFileInfo::exists(socketPath()))
                return m_proc.state() == QProcess::NotRunning;
            QProcess lpstat;
            lpstat.start(findProgram(QStringLiteral("lpstat")),
                         {QStringLiteral("-h"), socketPath(), QStringLiteral("-r")});
            return lpstat.waitForFinished(5000) && lpstat.readAllStandardOutput().contains("is running");
        },
        15000);
    if (!answering || m_proc.state() == QProcess::NotRunning) {
        m_error = QStringLiteral("cupsd is not answering on %1\n%2").arg(socketPath(), logTail());
        return false;
    }
    // A raw queue: the scheduler hands the job's document to the backend unchanged.
    if (!admin({QStringLiteral("-p"), m_queue, QStringLiteral("-E"), QStringLiteral("-v"),
                QStringLiteral("vezaro-pdf:/"), QStringLiteral("-D"), QStringLiteral("Test PDF printer")}))
        return false;
    return admin({QStringLiteral("-d"), m_queue});
}

bool PrintServer::writeConfiguration() {
    QDir root(m_dir.path());
    // Other users (cupsd's own User when it runs as root) pass through to its directories.
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                            QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                            QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                            QFileDevice::ExeOther);
    for (const QString& sub : {QStringLiteral("etc"), QStringLiteral("spool"), QStringLiteral("cache"),
                               QStringLiteral("state"), QStringLiteral("tmp"), QStringLiteral("log"),
                               QStringLiteral("out"), QStringLiteral("bin/backend")}) {
        if (!root.mkpath(sub)) {
            m_error = QStringLiteral("cannot make ") + root.filePath(sub);
            return false;
        }
    }
    // The server's programs are the system's, except for the backends: only ours is offered.
    for (const QString& sub :
         {QStringLiteral("filter"), QStringLiteral("daemon"), QStringLiteral("notifier"),
          QStringLiteral("monitor"), QStringLiteral("driver"), QStringLiteral("cgi-bin")}) {
        const QString system = QStringLiteral("/usr/lib/cups/") + sub;
        if (QFileInfo::exists(system))
            QFile::link(system, root.filePath(QStringLiteral("bin/") + sub));
    }

    // The backend: without arguments it lists its device; with a job it copies the document
    // (the file in its sixth argument, else standard input) to out/job-<id>.pdf, whole files
    // only. Readable, writable and runnable only by its owner, so a cupsd running as root runs
    // it as root, and it can write into this root-owned directory.
    const QString out = shellQuoted(outputDir());
    const QString backend = QStringLiteral("#!/bin/sh\n"
                                           "if [ $# -eq 0 ]; then\n"
                                           "    echo 'direct vezaro-pdf \"Unknown\" \"Test PDF printer\"'\n"
                                           "    exit 0\n"
                                           "fi\n"
                                           "dest=%1/job-$1.pdf\n"
                                           "if [ $# -ge 6 ]; then cat \"$6\" > \"$dest.part\" || exit 1\n"
                                           "else cat > \"$dest.part\" || exit 1\n"
                                           "fi\n"
                                           "mv \"$dest.part\" \"$dest\" || exit 1\n"
                                           "echo \"INFO: saved $dest\" >&2\n")
                                .arg(out);
    if (!writeText(root.filePath(QStringLiteral("bin/backend/vezaro-pdf")), backend,
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner)) {
        m_error = QStringLiteral("cannot write the backend");
        return false;
    }

    // As root cupsd runs its helpers as an unprivileged User/Group, and the admin group
    // (SystemGroup) must be another one; as an ordinary user it stays that user.
    QString user, groupLine, systemGroup;
    if (::geteuid() == 0) {
        user = ::getpwnam("lp") ? QStringLiteral("lp") : QStringLiteral("nobody");
        groupLine = ::getgrnam("lp") ? QStringLiteral("lp") : QStringLiteral("nogroup");
        systemGroup = QStringLiteral("root");
    } else {
        user = userName(::geteuid());
        groupLine = groupName(::getegid());
        systemGroup = groupLine;
    }
    const QString d = m_dir.path();
    const QString files = QStringLiteral("User %1\nGroup %2\nSystemGroup %3\n"
                                         "ServerRoot %4/etc\nRequestRoot %4/spool\nCacheDir %4/cache\n"
                                         "StateDir %4/state\nTempDir %4/tmp\nServerBin %4/bin\n"
                                         "DataDir /usr/share/cups\nDocumentRoot /usr/share/cups/doc-root\n"
                                         "AccessLog %4/log/access_log\nErrorLog %4/log/error_log\n"
                                         "PageLog %4/log/page_log\nFileDevice No\n")
                              .arg(user, groupLine, systemGroup, d);
    // Only the socket; no network, no browsing, no authentication: anyone who can reach the
    // socket in this private directory may administer the server.
    const QString conf =
        QStringLiteral("LogLevel debug\nListen %1\nBrowsing No\nBrowseLocalProtocols none\n"
                       "WebInterface No\nDefaultAuthType None\nMaxJobs 0\nPreserveJobFiles No\n"
                       "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                       "<Policy default>\n  JobPrivateAccess all\n  JobPrivateValues none\n"
                       "  SubscriptionPrivateAccess all\n  SubscriptionPrivateValues none\n"
                       "  <Limit All>\n    Order deny,allow\n    Allow all\n  </Limit>\n"
                       "</Policy>\n")
            .arg(socketPath());
    const auto readable =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    if (!writeText(root.filePath(QStringLiteral("cups-files.conf")), files, readable) ||
        !writeText(root.filePath(QStringLiteral("cupsd.conf")), conf, readable)) {
        m_error = QStringLiteral("cannot write the configuration");
        return false;
    }
    return true;
}

bool PrintServer::admin(const QStringList& args) {
    QProcess lpadmin;
    lpadmin.setProcessChannelMode(QProcess::MergedChannels);
    lpadmin.start(findProgram(QStringLiteral("lpadmin")),
                  QStringList{QStringLiteral("-h"), socketPath()} + args);
    if (!lpadmin.waitForFinished(15000) || lpadmin.exitStatus() != QProcess::NormalExit ||
        lpadmin.exitCode() != 0) {
        m_error = QStringLiteral("lpadmin %1 failed: %2\n%3")
                      .arg(args.join(u' '), QString::fromLocal8Bit(lpadmin.readAll()), logTail());
        return false;
    }
    return true;
}

QStringList PrintServer::finishedJobs() const {
    const QDir out(outputDir());
    QStringList names = out.entryList({QStringLiteral("job-*.pdf")}, QDir::Files);
    static const QRegularExpression number(QStringLiteral("^job-(\\d+)\\.pdf$"));
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return number.match(a).captured(1).toInt() < number.match(b).captured(1).toInt();
    });
    QStringList paths;
    for (const QString& name : names)
        paths.append(out.filePath(name));
    return paths;
}

QString PrintServer::logTail(int lines) const {
    QFile f(m_dir.filePath(QStringLiteral("log/error_log")));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("(no error log)");
    const QStringList all = QString::fromLocal8Bit(f.readAll()).split(u'\n');
    return all.mid(std::max<qsizetype>(0, all.size() - lines)).join(u'\n');
}

} // namespace e2e
