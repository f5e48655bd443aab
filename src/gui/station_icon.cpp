#include "gui/station_icon.h"

#include <QApplication>
#include <QStyle>

// The resources live in a static library: registered by hand, since nothing
// else pulls them into the program.
static void RegisterIconResource() { Q_INIT_RESOURCE(skedcast); }

namespace sked {

QIcon StationIcon() {
    static const bool registered = (RegisterIconResource(), true);
    (void)registered;
    QIcon icon(":/skedcast/skedcast.svg");
    // Without Qt's SVG plugin the window still gets an icon of the style's own.
    if (icon.pixmap(32, 32).isNull()) return QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
    return icon;
}

}  // namespace sked
