#include "SettingsTestSupport.h"

#include "../TestApplication.h"

#include <QApplication>
#include <QDir>
#include <QFile>

QApplication& testApp() {
    return vz::test::testApplication();
}

void ScratchDir::writeFile(const QString& name, const QByteArray& bytes) const {
    QFile f(filePath(name));
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

QByteArray ScratchDir::readFile(const QString& name) const {
    QFile f(filePath(name));
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
