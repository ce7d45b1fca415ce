#pragma once
// Picture control of the preview pane: draws its picture stretched to its whole rectangle, or a
// short notice in place of a picture that is not shown.
#include <QImage>
#include <QWidget>

class TPreviewImage : public QWidget {
    Q_OBJECT
public:
    explicit TPreviewImage(QWidget* parent = nullptr);
    const QImage& Picture() const { return FPicture; }
    void SetPicture(const QImage& picture);
    void ClearPicture();
    // Clears the picture and shows the text centred instead; a new picture or a clear ends it.
    void SetNotice(const QString& text);
    const QString& Notice() const { return FNotice; }

signals:
    void DoubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage FPicture;
    QString FNotice;
};
