#include "ui/images/ImagePicture.h"

#include <QImageReader>
#include <QPainter>

#include "ui/images/FeatureOverlay.h"
#include "ui/images/ImageFeatures.h"

ImagePicture::ImagePicture()
    : m_pens{QPen(Qt::red, 4),
             QPen(Qt::blue, 3),
             QPen(Qt::white, 2),
             QPen(Qt::yellow, 1),
             QPen(Qt::yellow, 8),
             QPen(Qt::yellow, 1),
             QPen(Qt::green, 1),
             QPen(Qt::blue, 4),
             QPen(Qt::black, 4),
             QPen(),
             QPen()}
{
}

bool ImagePicture::load(const QString& path, QString* error)
{
    QImageReader reader(path);
    QImage image = reader.read();
    m_marks.clear();
    if (image.isNull()) {
        clear();
        if (error)
            *error = reader.errorString();
        return false;
    }
    m_image = std::make_unique<QImage>(std::move(image));
    // A picture of its own, not one sharing the image's pixels: the overlays
    // paint on it in place.
    m_base = QPixmap::fromImage(m_image->copy());
    return true;
}

void ImagePicture::clear()
{
    m_image.reset();
    m_base = QPixmap();
    m_marks.clear();
}

void ImagePicture::paint(bool withOverlay, const ImageFeatures& overlay, const ImageSelection& selection,
                         const QString& imageName)
{
    if (!m_image)
        return;
    QPainter painter(&m_base);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QRect& mark : qAsConst(m_marks))
        painter.drawImage(mark.topLeft(), *m_image, mark);
    m_marks.clear();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (withOverlay) {
        const FeatureOverlay::Pens pens{m_pens[0], m_pens[2], m_pens[7], m_pens[6], m_pens[3], m_pens[8]};
        FeatureOverlay::draw(painter, overlay.features, overlay.usedFeatures, selection, imageName, pens,
                             false, &m_marks);
    }
}
