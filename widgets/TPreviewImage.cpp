#include "widgets/TPreviewImage.h"

#include <QMouseEvent>
#include <QPainter>

TPreviewImage::TPreviewImage(QWidget* parent) : QWidget(parent) {}

void TPreviewImage::SetPicture(const QImage& picture)
{
    FPicture = picture;
    update();
}

void TPreviewImage::ClearPicture()
{
    FPicture = QImage();
    update();
}

void TPreviewImage::paintEvent(QPaintEvent*)
{
    if (FPicture.isNull())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(rect(), FPicture);
}

void TPreviewImage::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
    emit DoubleClicked();
}
