#include "gui/window_front_end.h"

#include <algorithm>
#include <chrono>
#include <clocale>

#include <QApplication>
#include <QWindow>

#include "app/station.h"
#include "gui/main_window_view.h"
#include "gui/qt_event_loop.h"
#include "gui/qt_message_box.h"
#include "gui/station_icon.h"

namespace sked {

namespace {
// Smallest screens the window is laid out for (a small station PC, a remote desktop).
constexpr int kStartWidth = 1024;
constexpr int kStartHeight = 600;
constexpr std::chrono::milliseconds kLingerLook{200};

// While a bulletin goes out the window repaints a few small fields once a
// second. Through X's shared memory each repaint costs a round trip to the
// server and a completion event that wakes the station again; an image that
// small sent on the X connection costs neither. Read by Qt's X connection as
// it opens; an operator who set the variable keeps it.
bool SendImagesOnTheConnection() {
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
    return true;
}
}  // namespace

struct WindowFrontEnd::Parts {
    Parts(int& argc, char** argv) : imagesOnTheConnection(SendImagesOnTheConnection()), app(argc, argv) {}
    bool imagesOnTheConnection;
    QApplication app;
    QtEventLoop loop;
    QtMessageBox boxes;
    std::unique_ptr<MainWindowView> view;
};

WindowFrontEnd::WindowFrontEnd(int& argc, char** argv) : parts_(std::make_unique<Parts>(argc, argv)) {
    // Qt takes the operator's whole locale; the station's numbers keep the
    // decimal point its fields are written with, its dates the local names.
    std::setlocale(LC_ALL, "C");
    std::setlocale(LC_TIME, "");
    QApplication::setApplicationName("Skedcast");
    QApplication::setWindowIcon(StationIcon());
    // The loop ends the program, through the station's shut-down, not Qt.
    QApplication::setQuitOnLastWindowClosed(false);
}

WindowFrontEnd::~WindowFrontEnd() { Detach(); }

EventLoop& WindowFrontEnd::Loop() { return parts_->loop; }

MessageBoxService& WindowFrontEnd::Boxes() { return parts_->boxes; }

void WindowFrontEnd::Attach(Station& station) {
    parts_->view = std::make_unique<MainWindowView>(station);
    parts_->boxes.SetParent(parts_->view.get());
}

void WindowFrontEnd::Started() {
    MainWindowView& view = *parts_->view;
    view.ShowTitle();
    view.resize(kStartWidth, kStartHeight);
    view.show();
}

void WindowFrontEnd::Linger() {
    // The station did not start (the editor alone, or a box saying why): the
    // program ends once the last of its windows is closed, or on a signal.
    auto shown = [] {
        const QWindowList windows = QGuiApplication::topLevelWindows();
        return std::any_of(windows.begin(), windows.end(), [](QWindow* w) { return w->isVisible(); });
    };
    QtEventLoop& loop = parts_->loop;
    if (!shown()) return;
    // A closed dialog may only hide: look a few times a second whether any window is left.
    Timer look(loop, [&] {
        if (!shown()) loop.Quit();
    });
    look.Every(kLingerLook);
    loop.Run();
    // Ended by a signal: what is still open closes as its close box would
    // close it (the editor cancels: nothing is saved).
    QApplication::closeAllWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void WindowFrontEnd::Finished() {
    if (parts_->view) parts_->view->AllowClose();
}

void WindowFrontEnd::Detach() {
    if (!parts_ || !parts_->view) return;
    parts_->boxes.SetParent(nullptr);
    parts_->view->hide();
    parts_->view.reset();
}

}  // namespace sked
