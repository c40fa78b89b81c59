#pragma once
// Whole-file helpers for tests that work in a scratch directory.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <gtest/gtest.h>

namespace vz::test {

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
