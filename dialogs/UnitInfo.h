#pragma once
#include <QDialog>

class TFormInfo : public QDialog {
    Q_OBJECT
public:
    explicit TFormInfo(QWidget* parent = nullptr);
};

extern TFormInfo* FormInfo;
