#include "SettingsTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>

QApplication& testApp() {
    static int argc = 1;
    static char name[] = "settings_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

ScratchDir::ScratchDir() : previous(QDir::currentPath()) {
    QDir::setCurrent(dir.path());
}

ScratchDir::~ScratchDir() {
    QDir::setCurrent(previous);
}

void ScratchDir::writeFile(const QString& name, const QByteArray& bytes) const {
    QFile f(QDir(dir.path()).filePath(name));
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

QByteArray ScratchDir::readFile(const QString& name) const {
    QFile f(QDir(dir.path()).filePath(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

MessageRecorder::MessageRecorder(vz::MsgAnswer answer) {
    vz::setMessageBoxHandler([this, answer](QWidget*, const QString& caption, const QString& text,
                                            vz::MsgIcon icon, vz::MsgButtons buttons) {
        messages.push_back({caption, text, icon, buttons});
        return answer;
    });
}

MessageRecorder::~MessageRecorder() {
    vz::setMessageBoxHandler({});
}
