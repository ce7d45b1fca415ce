#include "widgets/SvgIcon.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>
#include <memory>

namespace {
QPixmap Render(QSvgRenderer& renderer, const QSize& logicalSize, qreal ratio)
{
    if (!renderer.isValid() || logicalSize.isEmpty())
        return {};
    const QSize device = (QSizeF(logicalSize) * ratio).toSize();
    QImage image(device, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(device)));
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

class TSvgIconEngine final : public QIconEngine {
public:
    explicit TSvgIconEngine(const QString& path) : FRenderer(std::make_shared<QSvgRenderer>(path)) {}

    QIconEngine* clone() const override { return new TSvgIconEngine(*this); }
    QString key() const override { return QStringLiteral("kelvorn-svg"); }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, Picture(rect.size(), ratio, mode));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override { return Picture(size, 1.0, mode); }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
        // Until Qt 6.8 the icon asks with the size already multiplied by the ratio.
        const QSize logical = scale > 0 ? (QSizeF(size) / scale).toSize() : size;
#else
        const QSize logical = size;
#endif
        return Picture(logical, scale, mode);
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    bool isNull() override { return !FRenderer->isValid(); }

private:
    QPixmap Picture(const QSize& logicalSize, qreal ratio, QIcon::Mode mode) const
    {
        QPixmap picture = Render(*FRenderer, logicalSize, ratio);
        if (picture.isNull() || mode == QIcon::Normal || mode == QIcon::Active || !qApp)
            return picture;
        QStyleOption option;
        option.palette = QApplication::palette();
        QPixmap generated = QApplication::style()->generatedIconPixmap(mode, picture, &option);
        generated.setDevicePixelRatio(ratio);
        return generated;
    }

    std::shared_ptr<QSvgRenderer> FRenderer;  // shared by copies; used on the window's thread only
};
}  // namespace

QString SvgPath(const QString& name) { return QStringLiteral(":/resources/src/") + name + QStringLiteral(".svg"); }

QIcon SvgIcon(const QString& name) { return QIcon(new TSvgIconEngine(SvgPath(name))); }

QPixmap SvgPixmap(const QString& name, const QSize& logicalSize, qreal devicePixelRatio)
{
    QSvgRenderer renderer(SvgPath(name));
    return Render(renderer, logicalSize, devicePixelRatio);
}
