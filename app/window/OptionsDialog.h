// TForm4, "Additional Options": whether outputs are overwritten, the rows of the open format
// list, the video zoom and the aspect ratio. Not modal; lives as long as the program. Its
// two boxes mirror the main window's hidden boxes of the same name and set them.
#pragma once

#include "app/core/Settings.h"
#include "app/core/Workflow.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QPushButton;
class QSpinBox;

namespace corvina::window {

class OptionsDialog : public QDialog {
public:
    // FormCreate: the font rule, Load (errors ignored), the two boxes filled, then the main
    // window's selections copied into them.
    OptionsDialog(app::ConversionWorkflow& workflow, app::ISettingsStore& store, QWidget* parent);

    // Shows the dialog centred on the main window, without making it modal.
    void ShowOptions();

private:
    // The handlers.
    void ComboLetterBoxChange();
    void ComboAspectRatioChange();
    void SpinEdit1Change(const QString& text);

    app::ConversionWorkflow& workflow_;
    QCheckBox* CheckBoxOverWrite = nullptr;
    QSpinBox* SpinEdit1 = nullptr;
    QComboBox* ComboLetterBox = nullptr;
    QComboBox* ComboAspectRatio = nullptr;
    QPushButton* Button1 = nullptr;
};

// The index of the item whose text equals `text` exactly, -1 when none does (a typed text).
int TypedItemIndex(const QComboBox* box, const QString& text);

} // namespace corvina::window
