#pragma once
// "Kelvorn - Send to aria2": the address of one or more aria2 daemons' JSON-RPC interface and
// their secret, for handing the ticked files over. The last values are kept in the settings.
#include <QDialog>
#include <QString>
#include <QStringList>
#include <optional>

class QLineEdit;

struct TAria2Target {
    QStringList Urls;  // one or more daemons, sharing the files
    QString Secret;
};

class TFormAria2 : public QDialog {
    Q_OBJECT
public:
    explicit TFormAria2(QWidget* parent = nullptr);

    QLineEdit* EditUrls = nullptr;
    QLineEdit* EditSecret = nullptr;

    // Shows the dialog with the last values from the settings; on "OK" keeps the new ones there
    // and returns them, nothing when cancelled or no address was given.
    std::optional<TAria2Target> AskTarget();

    // Addresses separated by spaces or commas.
    static QStringList SplitUrls(const QString& text);
};
