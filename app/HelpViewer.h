#pragma once
// The help viewer: the program's help text, compiled into its resources, opened at a topic.
#include <QString>

class QWidget;

// The resource that stands for the application's help file "Fumio.HLP".
QString helpFileResource();
// Opens the help text at the named topic (an anchor), modeless, owned by `owner`.
void showHelpTopic(QWidget* owner, const QString& topic);
