#pragma once
// The list's row images, drawn here at 16 x 16: 0 an item, 1 an item being
// refreshed, 2 an item with a note (also 3 and 4, which no row shows).

#include <QIcon>
#include <QList>

namespace bexora {

QIcon ItemIcon();
QIcon UpdatingIcon();
QIcon NoteIcon();
// The list's image list, in image order.
QList<QIcon> ItemListImages();

}  // namespace bexora
