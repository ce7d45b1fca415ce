#pragma once
// "Kelvorn - Filter files": the kinds, pixel sizes, byte sizes, host and keyword by which the
// window ticks and unticks file items. The last values chosen are kept in the settings.
#include <QDialog>
#include <array>
#include <optional>

#include "rules/FileFilter.h"

class QCheckBox;
class QLineEdit;
class QSpinBox;
class TRegistry;

class TFormFilter : public QDialog {
    Q_OBJECT
public:
    explicit TFormFilter(QWidget* parent = nullptr);

    // Pictures, Video, Audio, Archives, Documents, Other files (in TFileKind order, Other last).
    std::array<QCheckBox*, 6> KindBoxes{};
    QSpinBox* MinWidth = nullptr;
    QSpinBox* MaxWidth = nullptr;
    QSpinBox* MinHeight = nullptr;
    QSpinBox* MaxHeight = nullptr;
    QSpinBox* MinKBytes = nullptr;  // kilobytes: a byte count is too fine for a person to type
    QSpinBox* MaxKBytes = nullptr;
    QLineEdit* EditHost = nullptr;
    QLineEdit* EditKeyword = nullptr;

    void SetFilter(const TFileFilter& filter);
    TFileFilter Filter() const;

    // Shows the dialog with the last filter from the settings; on "OK" keeps the new one there
    // and returns it, nothing when cancelled.
    std::optional<TFileFilter> AskFilter();

    // The filter kept in the settings (absent values: no bound, every kind).
    static TFileFilter LoadFilter(TRegistry& registry);
    static void SaveFilter(TRegistry& registry, const TFileFilter& filter);
};
