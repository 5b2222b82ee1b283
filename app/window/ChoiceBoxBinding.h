// A QComboBox showing a ChoiceBox of the workflow core: items, selection, enabled state,
// hint and drop-down rows come from the model on every Refresh; the user's pick goes to a
// command of the core, which changes the model and asks for a refresh.
#pragma once

#include "profiles/ChoiceBox.h"

#include <QComboBox>

#include <functional>

namespace corvina::window {

// A combo box that says when its list is about to drop down (the format list takes its
// row count from the options at that moment).
class DropDownComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> aboutToDropDown;
    void showPopup() override;
};

class ChoiceBoxBinding {
public:
    // `picked` receives the item index the user chose.
    ChoiceBoxBinding(QComboBox* combo, const profiles::ChoiceBox& model,
                     std::function<void(int)> picked);

    void Refresh();
    QComboBox* Combo() const { return combo_; }

private:
    QComboBox* combo_;
    const profiles::ChoiceBox& model_;
};

} // namespace corvina::window
