#pragma once
#include <QDialog>

class TFormHelp : public QDialog {
    Q_OBJECT
public:
    explicit TFormHelp(QWidget* parent = nullptr);
};

extern TFormHelp* FormHelp;
