#include "widgets/TPreviewImage.h"

#include <QMouseEvent>
#include <QPainter>

TPreviewImage::TPreviewImage(QWidget* parent) : QWidget(parent) {}

void TPreviewImage::SetPicture(const QImage& picture)
{
    FPicture = picture;
    FNotice.clear();
    update();
}

void TPreviewImage::ClearPicture()
{
    FPicture = QImage();
    FNotice.clear();
    update();
}

void TPreviewImage::SetNotice(const QString& text)
{
    FPicture = QImage();
    FNotice = text;
    update();
}

void TPreviewImage::paintEvent(QPaintEvent*)
{
    if (FPicture.isNull()) {
        if (!FNotice.isEmpty()) {
            QPainter p(this);
            p.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, FNotice);
        }
        return;
    }
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(rect(), FPicture);
}

void TPreviewImage::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
    emit DoubleClicked();
}
