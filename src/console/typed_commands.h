// The operator's typed commands, one line each, one for every control of the
// main window: the console reads them from standard input and the control
// socket from its clients. A command acts through the station's command
// surface and answers with what a person would read, or why it was refused.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/station.h"

namespace sked {

struct CommandReply {
    bool ok = true;
    std::string text;   // the listing or the fields, for a person; "" when the command shows nothing
    std::string error;  // why the command was refused
    // `status`: the main window's fields by name, in the window's order.
    std::vector<std::pair<std::string, std::string>> fields;
};

class TypedCommands {
public:
    explicit TypedCommands(Station& station);

    // Runs one command line; an empty line does nothing.
    CommandReply Run(const std::string& line);

    static std::string HelpText();

private:
    static CommandReply Refused(const std::string& message);
    void StatusInto(CommandReply& reply) const;
    std::string QueueText() const;
    std::string FileListText() const;
    std::string DisplayText(bool fromFirstVisibleLine) const;

    Station& station_;
};

}  // namespace sked
