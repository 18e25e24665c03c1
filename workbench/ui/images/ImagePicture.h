#pragma once

#include <QImage>
#include <QPen>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QVector>

#include <array>
#include <memory>

class ImageFeatures;
class ImageSelection;

// The picture an image viewer shows: the decoded photograph and the base
// pixmap the feature overlay paints on in place. A new drawing first undoes
// the marks of the last one from the photograph, so that a redraw touches the
// marked pixels only, not all the megapixels of the picture.
class ImagePicture
{
public:
    ImagePicture();

    // Decodes the file; on failure the picture is empty and error says why.
    bool load(const QString& path, QString* error);
    void clear();

    bool isNull() const { return m_image == nullptr; }
    const QImage* image() const { return m_image.get(); }
    const QPixmap& base() const { return m_base; }

    // Undoes the last drawing and, when asked, draws the overlay of the
    // features and the shared selection for the image named imageName.
    // Nobody else may hold a copy of the base pixmap meanwhile.
    void paint(bool withOverlay, const ImageFeatures& overlay, const ImageSelection& selection,
               const QString& imageName);

private:
    std::unique_ptr<QImage> m_image;
    QPixmap m_base;
    QVector<QRect> m_marks; // where the overlay painted on the base pixmap
    std::array<QPen, 11> m_pens;
};
