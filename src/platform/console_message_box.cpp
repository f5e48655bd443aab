#include <cstdio>

#include "platform/message_box.h"

namespace sked {

void ConsoleMessageBox::Show(const std::string& caption, const std::string& text, BoxIcon) {
    std::fprintf(stderr, "[%s]\n%s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
}

void ConsoleMessageBox::Beep() {
    std::fputc('\a', stderr);
    std::fflush(stderr);
}

}  // namespace sked
