// Schedule entries whose name begins with "$": commands that change mode,
// speed, tones, port, options and the scheduler itself at their time. The
// interpreter reads the command; its target carries it out.
#pragma once

#include <string>
#include <vector>

#include "scheduler/command_target.h"

namespace sked {

class CommandInterpreter {
public:
    explicit CommandInterpreter(CommandTarget& target) : target_(target) {}

    // `text` is the entry's name without its "$".
    void Run(std::string text);

    // The 36 help lines; line 13 carries the identification text of `idText`.
    static std::vector<std::string> HelpTable(const std::string& idText);

private:
    CommandTarget& target_;
};

}  // namespace sked
