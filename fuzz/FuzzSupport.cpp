#include "FuzzSupport.h"

#include "MessageBox.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <cstdio>

namespace vzfuzz {
namespace {

int g_boxes = 0;

void dropMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "qFatal: %s\n", qPrintable(text));
        __builtin_trap();
    }
}

} // namespace

int messageBoxCount() {
    return g_boxes;
}

void resetMessageBoxCount() {
    g_boxes = 0;
}

void require(bool ok, const char* what) {
    if (ok)
        return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

ScratchDir& ScratchDir::instance() {
    static ScratchDir dir;
    return dir;
}

ScratchDir::ScratchDir() : m_dir(QDir::tempPath() + QStringLiteral("/vezaro-fuzz-XXXXXX")) {
    require(m_dir.isValid(), "cannot make the scratch directory");
}

void ScratchDir::clear() const {
    QDir dir(m_dir.path());
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.filePath()).removeRecursively();
        else
            QFile::remove(entry.filePath());
    }
}

void ScratchDir::write(const QString& name, const QByteArray& bytes) const {
    QFile file(filePath(name));
    require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write a scratch file");
    require(file.write(bytes) == bytes.size(), "short write to a scratch file");
}

QByteArray ScratchDir::read(const QString& name) const {
    QFile file(filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

int ScratchDir::entryCount() const {
    return static_cast<int>(
        QDir(m_dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
            .size());
}

uint8_t Input::byte() {
    return m_at < m_size ? m_data[m_at++] : 0;
}

QByteArray Input::bytes(size_t n) {
    if (n > left())
        n = left();
    QByteArray out(reinterpret_cast<const char*>(m_data + m_at), static_cast<qsizetype>(n));
    m_at += n;
    return out;
}

QByteArray Input::rest() {
    return bytes(left());
}

} // namespace vzfuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    using namespace vzfuzz;
    // The instance lives for the whole process, as in the station.
    static int argc = 1;
    static char name[] = "vezaro-fuzz";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    qInstallMessageHandler(dropMessage);
    QLoggingCategory::setFilterRules(QStringLiteral("*=false"));
    vz::setMessageBoxHandler(
        [](QWidget*, const QString&, const QString&, vz::MsgIcon, vz::MsgButtons buttons) {
            ++g_boxes;
            return buttons == vz::MsgButtons::YesNo ? vz::MsgAnswer::Yes : vz::MsgAnswer::Ok;
        });
    ScratchDir::instance();
    return 0;
}
