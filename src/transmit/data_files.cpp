#include "transmit/data_files.h"

#include <sys/stat.h>

#include "transmit/air_text.h"

namespace sked {

std::FILE* OpenForReading(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return nullptr;
    // A folder opens on Linux but holds no text.
    struct stat st {};
    if (::fstat(::fileno(file), &st) != 0 || S_ISDIR(st.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

bool ReadText(const std::string& path, std::string& text) {
    std::FILE* file = OpenForReading(path);
    if (!file) return false;
    std::string bytes;
    char chunk[8192];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
    const bool readWhole = !std::ferror(file);
    std::fclose(file);
    // UTF-8 or Windows-1252 in, the ASCII that goes on the air out (up to a
    // zero byte): the display, the count and the running line follow it.
    text = AirText(bytes);
    return readWhole;
}

}  // namespace sked
