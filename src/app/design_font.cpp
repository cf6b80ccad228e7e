#include "app/design_font.h"

#include <QStringList>

namespace fm {

QFont DesignFont() {
    QFont f;
    f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                   QStringLiteral("Helvetica"), QStringLiteral("Nimbus Sans"),
                   QStringLiteral("Sans Serif")});
    f.setPointSize(8);
    return f;
}

} // namespace fm
