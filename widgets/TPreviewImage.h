#pragma once
// Picture control of the preview pane: draws its picture stretched to its whole rectangle.
#include <QImage>
#include <QWidget>

class TPreviewImage : public QWidget {
    Q_OBJECT
public:
    explicit TPreviewImage(QWidget* parent = nullptr);
    const QImage& Picture() const { return FPicture; }
    void SetPicture(const QImage& picture);
    void ClearPicture();

signals:
    void DoubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage FPicture;
};
