#pragma once
// What every fuzz target shares: a quiet Qt core application, a message-box handler that
// answers at once, a scratch directory made once per process, and a reader that takes the
// target's control values from the front of the input.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

namespace vzfuzz {

// FuzzSupport.cpp defines every target's LLVMFuzzerInitialize: it creates the process's
// QCoreApplication, silences Qt's diagnostic lines so the fuzzer's own output stays
// readable, and installs a message-box handler that answers OK (or Yes) at once.

// Message boxes asked for since the last reset.
int messageBoxCount();
void resetMessageBoxCount();

// Ends the process through __builtin_trap() when `ok` is false, after printing `what`: the
// fuzzer records the input as a crash. Used for the targets' own invariants.
void require(bool ok, const char* what);

// A directory of its own under $TMPDIR (or /tmp), made on first use and removed with
// everything in it when the process exits normally.
class ScratchDir {
public:
    static ScratchDir& instance();
    // The directory emptied, for the next input.
    static const ScratchDir& fresh() {
        instance().clear();
        return instance();
    }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    // Writes a whole file inside the directory.
    void write(const QString& name, const QByteArray& bytes) const;
    // Reads a whole file; empty when missing.
    QByteArray read(const QString& name) const;
    // The number of entries inside the directory.
    int entryCount() const;

    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

private:
    ScratchDir();
    // Removes every file and folder inside the directory, so each input starts empty.
    void clear() const;
    QTemporaryDir m_dir;
};

// Takes control values from the front of the input; the rest is the data.
class Input {
public:
    Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    // The next byte, or 0 once the input is used up.
    uint8_t byte();
    // The next `n` bytes (fewer at the end).
    QByteArray bytes(size_t n);
    // One length byte, then that many bytes.
    QByteArray chunk() { return bytes(byte()); }
    // Everything not taken yet.
    QByteArray rest();
    bool empty() const { return m_at >= m_size; }
    size_t left() const { return m_size - m_at; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

} // namespace vzfuzz
