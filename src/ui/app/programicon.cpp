#include "ui/app/programicon.h"

#include "ui/widgets/ui.h"

#include <QPixmap>

static void initIcons() {
    Q_INIT_RESOURCE(icons);
}

QIcon programIcon() {
    // The pictures live in the static library; naming its resource keeps them linked in.
    initIcons();
    return ui::lazyIcon({16, 32, 48, 128, 256}, [](int side) {
        QPixmap picture;
        picture.load(u":/icons/"_qs + QString::number(side) + u".png"_qs, "PNG");
        return picture;
    });
}
