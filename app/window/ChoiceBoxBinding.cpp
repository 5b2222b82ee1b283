#include "app/window/ChoiceBoxBinding.h"

#include <QSignalBlocker>
#include <QStringList>
#include <algorithm>

namespace corvina::window {

void DropDownComboBox::showPopup() {
    if (aboutToDropDown)
        aboutToDropDown();
    QComboBox::showPopup();
}

ChoiceBoxBinding::ChoiceBoxBinding(QComboBox* combo, const profiles::ChoiceBox& model,
                                   std::function<void(int)> picked)
    : combo_(combo), model_(model) {
    QObject::connect(combo, &QComboBox::activated, combo, std::move(picked));
    Refresh();
}

void ChoiceBoxBinding::Refresh() {
    const QSignalBlocker block(combo_);
    bool same = combo_->count() == model_.Count();
    for (int i = 0; same && i < model_.Count(); i++)
        same = combo_->itemText(i).toStdString() == model_.Items()[i];
    if (!same) {
        QStringList items;
        for (const std::string& item : model_.Items())
            items << QString::fromStdString(item);
        combo_->clear();
        combo_->addItems(items);
    }
    combo_->setCurrentIndex(model_.ItemIndex());
    combo_->setEnabled(model_.enabled);
    combo_->setToolTip(QString::fromStdString(model_.hint));
    combo_->setMaxVisibleItems(std::max(1, model_.dropDownCount));
}

} // namespace corvina::window
