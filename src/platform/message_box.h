// What the station asks of message boxes. The GUI shows a real modal box;
// headless and simulated runs print the box and answer OK at once, so an
// unattended station never waits for somebody to click.
#pragma once

#include <string>

namespace sked {

enum class BoxIcon { None, Stop, Warning, Information };

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    // Shows the box and returns at once; nothing waits for an answer.
    virtual void Show(const std::string& caption, const std::string& text, BoxIcon icon = BoxIcon::None) = 0;
    // The warning beep.
    virtual void Beep() {}
};

// Prints caption and text to standard error and answers OK.
class ConsoleMessageBox : public MessageBoxService {
public:
    void Show(const std::string& caption, const std::string& text, BoxIcon icon) override;
    void Beep() override;
};

}  // namespace sked
