// RestWin: the main window's resize handler. It keeps the window at 4:3 and places and sizes
// every control from the width of a 4:3 area, in one of two views: chart view (the bar chart
// with the readings in a row beneath it) or numbers view (the readings in very large type).
// The formulas are in LayoutMetrics.h; the order of the steps matters, because some steps
// read back sizes that earlier steps produced (the chart's size, Button1's top and height,
// and the auto-sized labels' sizes after their fonts are set).
//
// The area is the window itself when the window is 4:3. A window that cannot be 4:3 (maximized,
// full screen, or tiled by a window manager that keeps its own size) is laid out in the widest
// 4:3 area that fits, centred, with the window's background round it (vz::stageIn). The
// controls are placed in the area's coordinates and then moved by its corner, so every
// formula below reads the area's W and H and knows nothing of the margins.
#include "LayoutMetrics.h"
#include "TChart.h"
#include "TLabel.h"
#include "VEZAro.h"

#include <QComboBox>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <initializer_list>

namespace {

void setLeft(QWidget* w, int left) {
    w->move(left, w->y());
}
void setTop(QWidget* w, int top) {
    w->move(w->x(), top);
}
void setWidth(QWidget* w, int width) {
    w->resize(width, w->height());
}
void setHeight(QWidget* w, int height) {
    w->resize(w->width(), height);
}

void setFontSize(QWidget* w, int points) {
    QFont f = w->font();
    f.setPointSize(points > 0 ? points : 1);
    w->setFont(f);
}

// Scale labels of one bar: the labels first..first+count−1 stand at k = count..1 of n steps,
// in the column (sixteenths × c) div 16 of the chart's width c, just right of the bar's middle.
struct Scale {
    int first;
    int count;
    int n;
    int sixteenths;
};
constexpr int kCOColumn = 3, kCO2Column = 7, kHCColumn = 11, kO2Column = 15;
constexpr Scale kScales[] = {
    {16, 5, 6, kCOColumn}, {21, 6, 7, kCO2Column}, {27, 5, 6, kO2Column}, {32, 5, 6, kHCColumn}};

// A window in one of these states keeps the size the state gives it: resizing it would drop
// the state under a window manager.
constexpr Qt::WindowStates kStatesWithTheirOwnSize =
    Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized;

// How long after asking for the snapped size the native window is compared with it.
constexpr int kSnapCheckMs = 300;

// VZ_LAYOUT_DUMP=path: after every layout, the file lists the window, its 4:3 area and every
// visible control, for checks from outside the process. Off when unset.
void dumpLayout(const QWidget& window, const vz::Stage& stage) {
    static const QString path = qEnvironmentVariable("VZ_LAYOUT_DUMP");
    if (path.isEmpty())
        return;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    const Qt::WindowStates state = window.windowState();
    const QString stateName = state & Qt::WindowMaximized    ? QStringLiteral("maximized")
                              : state & Qt::WindowFullScreen ? QStringLiteral("fullscreen")
                                                             : QStringLiteral("normal");
    QByteArray out = QStringLiteral("window %1 %2 %3\nstage %4 %5 %6 %7\n")
                         .arg(window.width())
                         .arg(window.height())
                         .arg(stateName)
                         .arg(stage.x)
                         .arg(stage.y)
                         .arg(stage.W)
                         .arg(stage.H)
                         .toLatin1();
    // One line a control: its name, its parent's, its rectangle in the window and the width
    // of its caption in its font (0 for a control without one).
    for (const QWidget* w : window.findChildren<QWidget*>()) {
        if (w->objectName().isEmpty() || w->isWindow() || !w->isVisibleTo(&window))
            continue;
        QString caption;
        if (const auto* label = qobject_cast<const QLabel*>(w))
            caption = label->text();
        else if (const auto* button = qobject_cast<const QPushButton*>(w))
            caption = button->text();
        else if (const auto* box = qobject_cast<const QComboBox*>(w))
            caption = box->currentText();
        const QRect r(w->mapTo(&window, QPoint(0, 0)), w->size());
        out += QStringLiteral("%1 %2 %3 %4 %5 %6 %7\n")
                   .arg(w->objectName(), w->parentWidget() == &window ? QStringLiteral("window")
                                                                      : w->parentWidget()->objectName())
                   .arg(r.x())
                   .arg(r.y())
                   .arg(r.width())
                   .arg(r.height())
                   .arg(caption.isEmpty() ? 0 : w->fontMetrics().horizontalAdvance(caption))
                   .toLatin1();
    }
    f.write(out);
}

} // namespace

void TMnGASForm::SnapAnswered(QSize given) {
    // A window manager that keeps its own size answers by putting the window back to the size
    // it had when the snapped size was asked for: that size stays, and is not asked again.
    // Any other size is a new one (the operator is still dragging the frame) and is snapped.
    if (!SnapAsked.isValid())
        return;
    if (given != SnapAsked && given == SnapAskedFrom)
        WmSize = given;
    SnapAsked = SnapAskedFrom = QSize();
}

void TMnGASForm::CheckSnapAnswer() {
    // Qt on X11 gives the window manager's refusal (a configure notice of the unchanged size)
    // to the native window but not to the widget, which keeps the size it asked for: the
    // widget then takes the native window's size, and RestWin lays out that size as the
    // window manager's.
    if (!SnapAsked.isValid() || !windowHandle())
        return;
    const QSize native = windowHandle()->size();
    SnapAsked = SnapAskedFrom = QSize();
    if (native == size() || (windowState() & kStatesWithTheirOwnSize))
        return;
    WmSize = native;
    resize(native);
}

void TMnGASForm::RestWin() {
    // Snapping the height below resizes the window, which calls back in here.
    if (InRestWin)
        return;
    InRestWin = true;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{InRestWin};

    // Common part. 1: keep 4:3 at no less than the minimum width, which is applied first so
    // that the smallest window is 400 × 300. A size given from outside (a window system
    // without a window manager enforces no minimum) is corrected the same way. A maximized,
    // full-screen or minimised window keeps the size its state gives it, and so does a window
    // whose window manager refused the snapped size (a tiled window: Qt reports no state for
    // it). One pass asks for one resize at most, and a size the window manager kept is not
    // asked to change again, so a refusing window manager cannot start a resize loop.
    if (!(windowState() & kStatesWithTheirOwnSize)) {
        const int w = std::max(width(), minimumWidth());
        const QSize snapped(w, vz::snappedHeight(w));
        if (size() == snapped) {
            WmSize = QSize();
        } else if (size() != WmSize) {
            // A hidden window takes the size at once; a shown one waits for the window system.
            const QSize from = size();
            resize(snapped);
            if (isVisible() && windowHandle()) {
                SnapAsked = snapped;
                SnapAskedFrom = from;
                if (!SnapCheck) {
                    SnapCheck = new QTimer(this);
                    SnapCheck->setSingleShot(true);
                    SnapCheck->setInterval(kSnapCheckMs);
                    connect(SnapCheck, &QTimer::timeout, this, &TMnGASForm::CheckSnapAnswer);
                }
                SnapCheck->start();
            }
        }
    }

    // The 4:3 area: the controls go back to its coordinates for the steps below and are moved
    // to its place in the window at the end.
    const vz::Stage stage = vz::stageIn(width(), height());
    const QPoint origin(stage.x, stage.y);
    QList<QWidget*> placed;
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!w->isWindow())
            placed.append(w);
    if (!StageOrigin.isNull())
        for (QWidget* w : placed)
            w->move(w->pos() - StageOrigin);

    vz::LayoutMetrics M = vz::layoutMetrics(stage.W, stage.H);
    const int W = M.W, H = M.H, d = M.d, e = M.e, U = M.U, b = M.b, A = M.A;
    auto L = [this](int n) { return Labels[n]; };

    // 2: the chart, then its actual size.
    Chart1->resize(M.wantedChartWidth(), M.wantedChartHeight());
    M.setChartSize(Chart1->width(), Chart1->height());
    const int c = M.c, ch = M.ch;

    // 3.
    setTop(RPMGroup, H - 115);

    // 4: the column of buttons and the fuel box.
    for (QWidget* w : std::initializer_list<QWidget*>{Button1, Button2, Button3, Button4, GASBox}) {
        setFontSize(w, e);
        w->resize(b, H / 12);
    }

    // 5: Button1 sets the rhythm T (gap) and B (height) of the column.
    setTop(Button1, H / 64);
    const int T = Button1->y();
    const int B = Button1->height();
    setTop(Button2, T + B + T);
    setTop(Button3, Button2->y() + B + T);
    setTop(GASBox, Button3->y() + B + T);

    // 6.
    setTop(ViewButton, ch - H / 20);
    setTop(AboutButton, ch - H / 20);

    // 7.
    setTop(ProgressBar1, GASBox->y() + B + T);
    setHeight(ProgressBar1, H / 30);
    setTop(L(45), ProgressBar1->y() + ProgressBar1->height() + T);

    // 8: fonts; the labels resize themselves to them.
    L(45)->setFontSize(d / 3);
    setFontSize(ViewButton, d / 3);
    setFontSize(AboutButton, d / 3);
    for (int n = 1; n <= 5; ++n)
        L(n)->setFontSize(d);
    L(6)->setFontSize(e);
    L(7)->setFontSize(d);
    L(8)->setFontSize(e);
    L(9)->setFontSize(d);
    L(10)->setFontSize(e);

    // 9.
    setWidth(ProgressBar1, b);
    setWidth(ViewButton, b / 2);
    setWidth(AboutButton, b / 2);

    // 10: the speed mode group only shows on a click on the speed label.
    RPMGroup->hide();
    St.Display.RPMGroupVisible = false;

    // 11.
    setHeight(ViewButton, H / 20);
    setHeight(AboutButton, H / 20);

    // 12: the right-hand column; the two small buttons side by side at the chart's foot.
    for (QWidget* w : std::initializer_list<QWidget*>{ProgressBar1, Button1, Button2, Button3, Button4,
                                                      SettingsButton, HelpButton, GASBox, ViewButton})
        setLeft(w, M.m);
    setWidth(SettingsButton, b);
    setWidth(HelpButton, b);
    setLeft(AboutButton, ViewButton->x() + ViewButton->width());

    // Headings: the small labels follow the one before them.
    auto followHeadings = [&] {
        setLeft(L(6), L(2)->x() + L(2)->width());
        setLeft(L(7), L(6)->x() + L(6)->width());
        setLeft(L(8), L(4)->x() + L(4)->width());
        setLeft(L(9), L(8)->x() + L(8)->width());
        setLeft(L(10), L(3)->x() + L(3)->width());
    };

    // 13.
    if (!Chart1->isHidden()) {
        // Chart view. 1.
        for (QWidget* w :
             std::initializer_list<QWidget*>{SettingsButton, HelpButton, Button4, L(42), L(43), L(44)})
            w->hide();

        // 2: the readings row under the chart.
        for (int n : {1, 2, 3, 4, 5, 7, 9})
            setTop(L(n), A - U + 4);
        for (int n : {6, 8, 10})
            setTop(L(n), A - U + d);
        for (int n = 11; n <= 15; ++n)
            setTop(L(n), A);
        setTop(L(42), A + 52);

        // 3: scale labels, centred on their marks.
        for (const Scale& s : kScales)
            for (int i = 0; i < s.count; ++i)
                setTop(L(s.first + i), vz::scaleLabelTop(ch, s.count - i, s.n, e));

        // 4: limit markers; limits off the scale put them outside the chart, as they are.
        const vz::SelectedVehicle& v = St.Vehicle;
        setTop(L(39), vz::limitMarkerTop(int(v.LimitCO2mx) - 90, 70, ch, e));
        setTop(L(38), vz::limitMarkerTop(v.LimitCOmx, 600, ch, e));
        setTop(L(37), vz::limitMarkerTop(v.LimitCOmn, 600, ch, e));
        setTop(L(40), vz::limitMarkerTop(v.LimitCHmx, 1200, ch, e));
        setTop(L(41), vz::limitMarkerTop(v.LimitO2mx, 600, ch, e));

        // 5: lambda under the status label, its caption under the value.
        L(46)->setFontSize(d);
        L(47)->setFontSize(d / 3);
        setTop(L(46), L(45)->y() + L(45)->height() + T);
        setTop(L(47), L(46)->y() + L(46)->height());

        // 6.
        for (int n = 11; n <= 15; ++n)
            L(n)->setFontSize(d);
        for (int n = 16; n <= 41; ++n)
            L(n)->setFontSize(d / 3);

        // 7.
        setLeft(RPMGroup, W - RPMGroup->width() - 10);

        // 8: five columns for the readings row.
        for (int i = 0; i < 5; ++i)
            setLeft(L(1 + i), (i * W) / 5 + 4);
        followHeadings();
        setLeft(L(11), 4);
        for (int i = 1; i < 5; ++i)
            setLeft(L(11 + i), (i * (W - 4)) / 5);

        // 9: one column a gas on the chart, just right of the middle of its bar.
        auto column = [c](int sixteenths) { return (sixteenths * c) / 16; };
        for (const Scale& s : kScales)
            for (int i = 0; i < s.count; ++i)
                setLeft(L(s.first + i), column(s.sixteenths));
        setLeft(L(37), column(kCOColumn));
        setLeft(L(38), column(kCOColumn));
        setLeft(L(39), column(kCO2Column));
        setLeft(L(40), column(kHCColumn));
        setLeft(L(41), column(kO2Column));

        // 10.
        for (int n : {45, 46, 47})
            setLeft(L(n), M.m);
    } else {
        // Numbers view. 1.
        for (QWidget* w :
             std::initializer_list<QWidget*>{SettingsButton, Button4, HelpButton, L(44), L(43), L(42)})
            w->show();

        // 2: rows of the big values on a grid of U.
        setTop(L(1), -(d / 4));
        setTop(L(3), -(d / 4));
        setTop(L(5), 6 * U - U / 4);
        setTop(L(10), d - d / 2);
        setTop(L(11), U - U / 3);
        setTop(L(13), U - U / 3);
        setTop(L(12), 3 * U + U / 4);
        setTop(L(14), 3 * U + U / 4);
        setTop(L(15), 6 * U - U / 4);
        setTop(L(43), 7 * U - U / 3 - 3);
        setTop(L(42), 7 * U);
        setTop(L(44), 7 * U);
        setTop(L(47), U / 3 + 5 * U);
        setTop(L(46), 6 * U - U / 4);
        setTop(Button4, L(45)->y() + L(45)->height() + T);
        setTop(SettingsButton, A - U + 4);
        setHeight(SettingsButton, H / 12);
        setFontSize(SettingsButton, e);
        setTop(HelpButton, H / 12 + SettingsButton->y() + 4);
        setHeight(HelpButton, H / 12);
        setFontSize(HelpButton, e);

        // 3.
        for (int n = 11; n <= 14; ++n)
            L(n)->setFontSize(2 * d);
        L(15)->setFontSize(d);
        L(42)->setFontSize(d);
        L(42)->setCaption(QStringLiteral("\u00B0C"));
        L(43)->setFontSize(e);
        L(44)->setFontSize(d);
        L(45)->setFontSize(d / 3);
        L(46)->setFontSize(2 * d);
        L(47)->setFontSize(e);

        // 4: the CO2 and O2 headings between the first and second row of values.
        const int row1Foot = L(11)->y() + L(11)->height();
        for (int n : {2, 4, 7, 9})
            setTop(L(n), row1Foot - 4);
        setTop(L(6), row1Foot + e + 4);
        setTop(L(8), row1Foot + e + 4);

        // 5.
        const int Q = M.Q;
        setLeft(RPMGroup, Q);
        setLeft(L(1), U);
        setLeft(L(2), U);
        setLeft(L(3), 3 * (W / 6) + 4);
        setLeft(L(4), 3 * (W / 6) + 4);
        setLeft(L(5), 5 * (W / 24));
        followHeadings();
        for (int n : {11, 12, 15})
            setLeft(L(n), Q);
        for (int n : {13, 14, 46})
            setLeft(L(n), 11 * Q);
        setLeft(L(45), 4 * ((W - 4) / 5));
        setLeft(L(42), 5 * Q);
        setLeft(L(43), Q + 4);
        setLeft(L(44), Q);
        setLeft(L(47), 12 * Q);
    }

    // The area in its place.
    if (!origin.isNull())
        for (QWidget* w : placed)
            w->move(w->pos() + origin);
    StageOrigin = origin;
    dumpLayout(*this, stage);
}
