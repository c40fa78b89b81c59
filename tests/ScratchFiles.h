#pragma once
// Tests that work in a scratch directory: the directory made current, and whole-file helpers.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vz::test {

// A fresh temporary directory made current for the life of the object. When it ends, the
// previous current directory comes back and the scratch directory is removed.
class ScratchCurrentDir {
public:
    ScratchCurrentDir() : m_previous(QDir::currentPath()) {
        EXPECT_TRUE(m_dir.isValid());
        QDir::setCurrent(m_dir.path());
    }
    ~ScratchCurrentDir() { QDir::setCurrent(m_previous); }
    ScratchCurrentDir(const ScratchCurrentDir&) = delete;
    ScratchCurrentDir& operator=(const ScratchCurrentDir&) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

struct ScratchFiles {
    static void writeFile(const QString& name, const QByteArray& bytes) {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    static QByteArray readFile(const QString& name) {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return file.readAll();
    }
};

} // namespace vz::test
