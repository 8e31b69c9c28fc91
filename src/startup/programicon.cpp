#include "startup/programicon.h"

static void initIcons() {
    Q_INIT_RESOURCE(icons);
}

QIcon programIcon() {
    // The pictures live in the static library; naming its resource keeps them linked in.
    initIcons();
    QIcon icon;
    for (int size : {16, 32, 48, 128, 256})
        icon.addFile(u":/icons/"_qs + QString::number(size) + u".png"_qs, QSize(size, size));
    return icon;
}
