#include "dialogs/UnitFilter.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include "dialogs/DialogTools.h"
#include "platform/TRegistry.h"

namespace {
// Kinds in the order of the boxes; Other comes last though it is the enum's first.
constexpr std::array<TFileKind, 6> BoxKinds{TFileKind::Picture, TFileKind::Video,    TFileKind::Audio,
                                            TFileKind::Archive, TFileKind::Document, TFileKind::Other};
const char* const KindCaptions[] = {"Pictures", "Video", "Audio", "Archives", "Documents", "Other files"};

// Two digits short of a 32-bit count of kilobytes: files up to about 95 GB.
constexpr int MaxKBytesValue = 99'999'999;
constexpr int MaxPixelsValue = 100'000;

QSpinBox* Bound(QWidget* parent, const char* name, int maximum)
{
    auto* box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(0, maximum);
    box->setSpecialValueText(QStringLiteral("any"));  // 0: no bound
    box->setAccelerated(true);
    return box;
}

QWidget* Range(QWidget* parent, QSpinBox* from, QSpinBox* to)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(from);
    layout->addWidget(new QLabel(QStringLiteral("to"), row));
    layout->addWidget(to);
    return row;
}

const QString Key = QStringLiteral("\\SoftWare\\Kelvorn");
}  // namespace

TFormFilter::TFormFilter(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormFilter"));
    setWindowTitle(QStringLiteral("Kelvorn - Filter files"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* kinds = new QGridLayout;
    for (int i = 0; i < int(KindBoxes.size()); ++i) {
        KindBoxes[i] = new QCheckBox(QLatin1String(KindCaptions[i]), this);
        KindBoxes[i]->setObjectName(QStringLiteral("KindBox%1").arg(i + 1));
        kinds->addWidget(KindBoxes[i], i / 3, i % 3);
    }
    MinWidth = Bound(this, "MinWidth", MaxPixelsValue);
    MaxWidth = Bound(this, "MaxWidth", MaxPixelsValue);
    MinHeight = Bound(this, "MinHeight", MaxPixelsValue);
    MaxHeight = Bound(this, "MaxHeight", MaxPixelsValue);
    MinKBytes = Bound(this, "MinKBytes", MaxKBytesValue);
    MaxKBytes = Bound(this, "MaxKBytes", MaxKBytesValue);
    EditHost = new QLineEdit(this);
    EditHost->setObjectName(QStringLiteral("EditHost"));
    EditKeyword = new QLineEdit(this);
    EditKeyword->setObjectName(QStringLiteral("EditKeyword"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Width (pixels):"), Range(this, MinWidth, MaxWidth));
    form->addRow(QStringLiteral("Height (pixels):"), Range(this, MinHeight, MaxHeight));
    form->addRow(QStringLiteral("Size (KB):"), Range(this, MinKBytes, MaxKBytes));
    form->addRow(QStringLiteral("Host:"), EditHost);
    form->addRow(QStringLiteral("Keyword:"), EditKeyword);
    auto* note = new QLabel(QStringLiteral("Files whose size is not known yet are kept."), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(kinds);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(TitleBarWidth(windowTitle()));
}

void TFormFilter::SetFilter(const TFileFilter& filter)
{
    for (size_t i = 0; i < BoxKinds.size(); ++i)
        KindBoxes[i]->setChecked((filter.kinds & KindBit(BoxKinds[i])) != 0);
    MinWidth->setValue(filter.minWidth);
    MaxWidth->setValue(filter.maxWidth);
    MinHeight->setValue(filter.minHeight);
    MaxHeight->setValue(filter.maxHeight);
    MinKBytes->setValue(int(std::min<qint64>(filter.minBytes / 1024, MaxKBytesValue)));
    MaxKBytes->setValue(int(std::min<qint64>((filter.maxBytes + 1023) / 1024, MaxKBytesValue)));
    EditHost->setText(QString::fromLatin1(filter.host));
    EditKeyword->setText(QString::fromLatin1(filter.keyword));
}

TFileFilter TFormFilter::Filter() const
{
    TFileFilter filter;
    filter.kinds = 0;
    for (size_t i = 0; i < BoxKinds.size(); ++i)
        if (KindBoxes[i]->isChecked())
            filter.kinds |= KindBit(BoxKinds[i]);
    filter.minWidth = MinWidth->value();
    filter.maxWidth = MaxWidth->value();
    filter.minHeight = MinHeight->value();
    filter.maxHeight = MaxHeight->value();
    filter.minBytes = qint64(MinKBytes->value()) * 1024;
    filter.maxBytes = qint64(MaxKBytes->value()) * 1024;
    // Latin-1 keeps the bytes the addresses are made of.
    filter.host = EditHost->text().trimmed().toLatin1();
    filter.keyword = EditKeyword->text().toLatin1();
    return filter;
}

std::optional<TFileFilter> TFormFilter::AskFilter()
{
    TRegistry registry;
    SetFilter(LoadFilter(registry));
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    const TFileFilter filter = Filter();
    SaveFilter(registry, filter);
    return filter;
}

TFileFilter TFormFilter::LoadFilter(TRegistry& registry)
{
    TFileFilter filter;
    if (!registry.OpenKey(Key, false))
        return filter;
    const auto number = [&registry](const char* name, int fallback) {
        const std::optional<int32_t> value = registry.ReadInteger(QLatin1String(name));
        return value && *value >= 0 ? int(*value) : fallback;
    };
    filter.kinds = unsigned(number("FilterKinds", int(AllFileKinds))) & AllFileKinds;
    filter.minWidth = number("FilterMinWidth", 0);
    filter.maxWidth = number("FilterMaxWidth", 0);
    filter.minHeight = number("FilterMinHeight", 0);
    filter.maxHeight = number("FilterMaxHeight", 0);
    filter.minBytes = qint64(number("FilterMinKBytes", 0)) * 1024;
    filter.maxBytes = qint64(number("FilterMaxKBytes", 0)) * 1024;
    filter.host = registry.ReadString(QStringLiteral("FilterHost")).toLatin1();
    filter.keyword = registry.ReadString(QStringLiteral("FilterKeyword")).toLatin1();
    registry.CloseKey();
    return filter;
}

void TFormFilter::SaveFilter(TRegistry& registry, const TFileFilter& filter)
{
    if (!registry.OpenKey(Key, true))
        return;
    registry.WriteInteger(QStringLiteral("FilterKinds"), int32_t(filter.kinds));
    registry.WriteInteger(QStringLiteral("FilterMinWidth"), filter.minWidth);
    registry.WriteInteger(QStringLiteral("FilterMaxWidth"), filter.maxWidth);
    registry.WriteInteger(QStringLiteral("FilterMinHeight"), filter.minHeight);
    registry.WriteInteger(QStringLiteral("FilterMaxHeight"), filter.maxHeight);
    registry.WriteInteger(QStringLiteral("FilterMinKBytes"), int32_t(filter.minBytes / 1024));
    registry.WriteInteger(QStringLiteral("FilterMaxKBytes"), int32_t(filter.maxBytes / 1024));
    registry.WriteString(QStringLiteral("FilterHost"), QString::fromLatin1(filter.host));
    registry.WriteString(QStringLiteral("FilterKeyword"), QString::fromLatin1(filter.keyword));
    registry.CloseKey();
}
