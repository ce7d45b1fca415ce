#pragma once
#include <QDialog>

class TFormKeyword : public QDialog {
    Q_OBJECT
public:
    explicit TFormKeyword(QWidget* parent = nullptr);
};

extern TFormKeyword* FormKeyword;
