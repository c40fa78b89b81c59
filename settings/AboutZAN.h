#pragma once
// TAboutBoxForm: a small borderless window with a picture of the analyser, the program's
// line and the maker's wordmark. Any key (a modifier alone included) or a click on any part
// of it closes it.
#include <QDialog>

class QFrame;
class QLabel;
class QPixmap;

class TAboutBoxForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBoxForm(QWidget* owner);

    // The click handler of every part of the window: closes it with Ok.
    void Panel1Click();
    // The key handler: closes the window whatever the key.
    void FormKeyDown();

    QFrame* Panel1;
    QFrame* Panel2;
    QLabel* Image2;
    QLabel* Label4;
    QLabel* Image1;
    QLabel* Label5;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
};

namespace vz {

// The analyser unit as the box shows it, 287 x 129.
QPixmap analyserPicture();
// The maker's wordmark, 264 x 27.
QPixmap makerWordmark();

// The main window's About command: the box is created with `owner` as its parent, shown
// modally and freed when it closes; its result is not examined.
void runAboutCommand(QWidget* owner);

} // namespace vz
