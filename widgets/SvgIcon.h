#pragma once
// The program's pictures are drawn from their SVG sources (resources/src) at the size and device
// pixel ratio they are shown at, so they stay sharp on a scaled screen.
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

// The resource path of a picture's drawing, for example ":/resources/src/state-done.svg".
QString SvgPath(const QString& name);
// An icon that renders the drawing anew for each size and pixel ratio it is asked for; the
// disabled look is the style's, made from the rendered picture.
QIcon SvgIcon(const QString& name);
// The drawing rendered to a pixmap of the given logical size at the given pixel ratio; a null
// pixmap when there is no such drawing.
QPixmap SvgPixmap(const QString& name, const QSize& logicalSize, qreal devicePixelRatio);
