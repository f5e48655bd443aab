// The graphical front end: the Qt application, its event loop, message boxes
// as windows, and the main window over the station. Qt stays behind this
// header, so the program's start-up code needs none of it.
#pragma once

#include <memory>

#include "platform/event_loop.h"
#include "platform/message_box.h"

namespace sked {

class Station;

class WindowFrontEnd {
public:
    // `argc` and `argv` must outlive the front end (Qt keeps them).
    WindowFrontEnd(int& argc, char** argv);
    ~WindowFrontEnd();
    WindowFrontEnd(const WindowFrontEnd&) = delete;
    WindowFrontEnd& operator=(const WindowFrontEnd&) = delete;

    EventLoop& Loop();
    MessageBoxService& Boxes();

    // Before start-up: the window watches the station's fields.
    void Attach(Station& station);
    // After start-up: the window shows with the station's title.
    void Started();
    // After a start-up that ended at once: runs the loop until the windows it
    // left open (the editor alone, a box saying why) are closed, or until a
    // signal ends the program, which closes them unsaved.
    void Linger();
    // The loop has returned: the window may close.
    void Finished();
    // After shut-down, before the station goes: the window goes.
    void Detach();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace sked
