#include "MessageBox.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QWidget>

namespace vz {
namespace {
MessageBoxHandler& handler() {
    static MessageBoxHandler h;
    return h;
}

bool& shutdownFlag() {
    static bool down = false;
    return down;
}

MsgAnswer escapeAnswer(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::Ok:
        return MsgAnswer::Ok;
    case MsgButtons::OkCancel:
        return MsgAnswer::Cancel;
    case MsgButtons::YesNo:
        return MsgAnswer::No;
    }
    return MsgAnswer::Cancel;
}

MsgAnswer realMessageBox(QWidget* parent, const QString& caption, const QString& text, MsgIcon icon,
                         MsgButtons buttons) {
    // A box shown while its window is not on screen yet (start-up) is centred on the screen
    // rather than over the hidden window's corner.
    QMessageBox box(parent && parent->isVisible() ? parent : nullptr);
    box.setWindowTitle(caption);
    box.setText(text);
    switch (icon) {
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
    case MsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return MsgAnswer::Ok;
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    default:
        return MsgAnswer::Cancel;
    }
}
} // namespace

MsgAnswer showMessage(QWidget* parent, const QString& caption, const QString& text, MsgIcon icon,
                      MsgButtons buttons) {
    if (shutdownFlag())
        return escapeAnswer(buttons);
    if (handler())
        return handler()(parent, caption, text, icon, buttons);
    return realMessageBox(parent, caption, text, icon, buttons);
}

void setMessageBoxHandler(MessageBoxHandler h) {
    handler() = std::move(h);
}

void setShuttingDown(bool down) {
    shutdownFlag() = down;
}

bool shuttingDown() {
    return shutdownFlag();
}

QString conversionErrorText(const QString& offendingText) {
    return QStringLiteral("'%1' is not a valid integer value").arg(offendingText);
}

void showConversionError(QWidget* parent, const QString& offendingText) {
    showMessage(parent, QCoreApplication::applicationName(), conversionErrorText(offendingText),
                MsgIcon::Error);
}

} // namespace vz
