#include "ContactSheet.h"

#include "IconPainter.h"

#include <QBuffer>
#include <QPainter>

namespace {

// Show a .jpg icon as the program will see it, after the lossy round trip.
QImage asShipped(const QString& name)
{
    QImage img = IconPainter::draw(name, 32);
    if (!name.endsWith(".jpg", Qt::CaseInsensitive))
        return img;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "JPG", 95);
    return QImage::fromData(buffer.data(), "JPG");
}

} // namespace

QImage ContactSheet::compose(const QStringList& names)
{
    const int columns = 6, cellW = 170, cellH = 104, margin = 8;
    const int rows = (names.size() + columns - 1) / columns;
    QImage sheet(columns * cellW + 2 * margin, rows * cellH + 2 * margin, QImage::Format_ARGB32);
    sheet.fill(QColor(0xe4, 0xe6, 0xe9));
    QPainter p(&sheet);
    QFont f = p.font();
    f.setPixelSize(11);
    p.setFont(f);
    for (int i = 0; i < names.size(); ++i) {
        const QPoint cell(margin + (i % columns) * cellW, margin + (i / columns) * cellH);
        const QImage icon = asShipped(names[i]);
        p.fillRect(QRect(cell + QPoint(2, 2), QSize(cellW - 4, cellH - 4)), QColor(0xf6, 0xf7, 0xf8));
        // Doubled with nearest-neighbour scaling so the real pixels stay visible.
        p.drawImage(cell + QPoint(24, 8), icon.scaled(64, 64, Qt::IgnoreAspectRatio, Qt::FastTransformation));
        p.drawImage(cell + QPoint(114, 24), icon);
        p.setPen(IconPainter::knows(names[i]) ? Qt::black : Qt::red);
        p.drawText(QRect(cell.x() + 4, cell.y() + 76, cellW - 8, 20), Qt::AlignCenter, names[i]);
    }
    return sheet;
}
