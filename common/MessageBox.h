#pragma once
// The one path by which the program shows a modal message box. Tests install a recorder
// that answers at once, so no test ever blocks in a nested loop.
#include <QString>
#include <functional>

class QWidget;

namespace vz {

enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgAnswer { Ok, Cancel, Yes, No };

using MessageBoxHandler = std::function<MsgAnswer(QWidget* parent, const QString& caption,
                                                  const QString& text, MsgIcon icon, MsgButtons buttons)>;

// Shows a message box (or hands it to the installed handler) and returns the answer.
MsgAnswer showMessage(QWidget* parent, const QString& caption, const QString& text, MsgIcon icon,
                      MsgButtons buttons = MsgButtons::Ok);

// Installs a replacement; an empty handler restores the real QMessageBox.
void setMessageBoxHandler(MessageBoxHandler handler);

// Once the station shuts down (a termination signal, or the main window has closed), no
// handler may open a new modal loop: a box asked for then is not shown, and showMessage
// answers at once with the box's escape answer (Ok, Cancel or No), so the handler that asked
// takes its "not confirmed" path and returns. Nobody is there to read it, and a nested loop
// would keep the process waiting for a person after its window is gone.
void setShuttingDown(bool shuttingDown);
bool shuttingDown();

// The runtime's standard box for a failed strict integer conversion:
// "'<text>' is not a valid integer value", captioned with the application's name.
void showConversionError(QWidget* parent, const QString& offendingText);
QString conversionErrorText(const QString& offendingText);

} // namespace vz
