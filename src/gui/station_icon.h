// The program's icon: a teleprinter under an antenna, drawn in the
// resource skedcast.svg.
#pragma once

#include <QIcon>

namespace sked {

QIcon StationIcon();

}  // namespace sked
