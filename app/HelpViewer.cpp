#include "HelpViewer.h"

#include <QDialog>
#include <QTextBrowser>
#include <QVBoxLayout>

// The help text lives in this library's resources; a static library must register them itself.
static void initHelpResources() {
    Q_INIT_RESOURCE(resources);
}

QString helpFileResource() {
    return QStringLiteral("qrc:/help/Fumio.html");
}

void showHelpTopic(QWidget* owner, const QString& topic) {
    auto* dialog = new QDialog(owner);
    dialog->setObjectName(QStringLiteral("HelpViewer"));
    dialog->setWindowTitle(QStringLiteral("ZAN GAS ANALISER Help - ") + topic);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    initHelpResources();
    auto* browser = new QTextBrowser(dialog);
    browser->setObjectName(QStringLiteral("HelpBrowser"));
    browser->setOpenExternalLinks(false);
    browser->setSource(QUrl(helpFileResource()));
    browser->scrollToAnchor(topic);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(browser);
    dialog->resize(560, 480);
    dialog->show();
}
