#include "dialogs/UnitAria2.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "core/HarvestSettings.h"
#include "dialogs/DialogTools.h"
#include "platform/TRegistry.h"

namespace {
const QString UrlsValue = QStringLiteral("Aria2Url");
const QString SecretValue = QStringLiteral("Aria2Secret");
// What a daemon started with "aria2c --enable-rpc" listens on.
const QString DefaultUrl = QStringLiteral("http://127.0.0.1:6800/jsonrpc");
}  // namespace

TFormAria2::TFormAria2(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormAria2"));
    setWindowTitle(QStringLiteral("Kelvorn - Send to aria2"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    EditUrls = new QLineEdit(this);
    EditUrls->setObjectName(QStringLiteral("EditUrls"));
    EditUrls->setMinimumWidth(320);
    EditSecret = new QLineEdit(this);
    EditSecret->setObjectName(QStringLiteral("EditSecret"));
    EditSecret->setEchoMode(QLineEdit::Password);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("RPC address:"), EditUrls);
    form->addRow(QStringLiteral("Secret:"), EditSecret);
    auto* note = new QLabel(QStringLiteral("Several addresses, separated by spaces, share the files."), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(TitleBarWidth(windowTitle()));
}

QStringList TFormAria2::SplitUrls(const QString& text)
{
    static const QRegularExpression Separators(QStringLiteral("[\\s,]+"));
    return text.split(Separators, Qt::SkipEmptyParts);
}

std::optional<TAria2Target> TFormAria2::AskTarget()
{
    TRegistry registry;
    if (registry.OpenKey(HarvestSettingsKey(), false)) {
        const QString urls = registry.ReadString(UrlsValue);
        EditUrls->setText(urls.isEmpty() ? DefaultUrl : urls);
        EditSecret->setText(registry.ReadString(SecretValue));
    } else {
        EditUrls->setText(DefaultUrl);
    }
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    TAria2Target target{SplitUrls(EditUrls->text()), EditSecret->text()};
    if (target.Urls.isEmpty())
        return std::nullopt;
    if (registry.OpenKey(HarvestSettingsKey(), true)) {
        registry.WriteString(UrlsValue, target.Urls.join(QLatin1Char(' ')));
        registry.WriteString(SecretValue, target.Secret);
        registry.CloseKey();
    }
    return target;
}
