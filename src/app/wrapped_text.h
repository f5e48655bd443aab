// The text panes a save breaks where they wrap (the main window's display,
// the schedule editor's text pane): 80 columns of 8 pixels, narrowed by the
// pane's margins, and the text as saved with a hard break at every wrap.
#pragma once

#include <string>

#include "app/controls.h"

namespace sked {

// The pane's text area without margins.
inline constexpr int kPaneColumns = 80;
inline constexpr int kPaneCharPixels = 8;

// Characters per line of `pane` at its present margins.
int WrapColumns(const EditControl& pane);

// `text` as the pane hands it out with soft breaks marked: the operator's
// line ends CR LF, every wrap at `columns` CR CR LF.
std::string WithLineBreaks(const std::string& text, int columns);

}  // namespace sked
