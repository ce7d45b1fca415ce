#pragma once
#include <QDialog>

class TFormDirectory : public QDialog {
    Q_OBJECT
public:
    explicit TFormDirectory(QWidget* parent = nullptr);
};

extern TFormDirectory* FormDirectory;
