// Every file the station writes in its data folder (the schedule, its
// working copy, the texts saved from the display and the editor's pane)
// replaces the old file whole or not at all: the new text goes to a hidden
// file in the same folder, reaches the disk, and is renamed over the old one.
// A crash, a power cut or a full disk leaves the old file as it was.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace sked {

// Replaces the file at `path` by `content`. False, with `problem` saying why
// ("No space left on device"), when it could not; the old file is then
// untouched. `beforeRename` runs once the new text is on disk, before it
// takes the old file's place (tests stop the writer there).
bool ReplaceFile(const std::string& path, std::string_view content, std::string& problem,
                 const std::function<void()>& beforeRename = {});

// The same for `name` inside `folder`, resolved there as OpenBeneath does:
// a link is followed to the file it names, which must lie inside the folder
// too; a name that leads out of it is refused ("it lies outside data/").
bool ReplaceFileBeneath(const std::string& folder, const std::string& name, std::string_view content,
                        std::string& problem, const std::function<void()>& beforeRename = {});

}  // namespace sked
