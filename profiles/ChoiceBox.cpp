#include "profiles/ChoiceBox.h"

namespace corvina::profiles {

ChoiceBox ChoiceBox::WithItems(std::initializer_list<std::string_view> items, int selected) {
    ChoiceBox box;
    for (std::string_view item : items)
        box.Add(item);
    box.Select(selected);
    return box;
}

std::string ChoiceBox::Text() const {
    return selected_ >= 0 ? items_[static_cast<std::size_t>(selected_)] : std::string{};
}

void ChoiceBox::Clear() {
    items_.clear();
    selected_ = -1;
}

void ChoiceBox::Add(std::string_view item) {
    items_.emplace_back(item);
}

void ChoiceBox::SetItems(std::span<const std::string_view> items) {
    Clear();
    for (std::string_view item : items)
        Add(item);
}

void ChoiceBox::Select(int index) {
    selected_ = (index >= 0 && index < Count()) ? index : -1;
}

bool ChoiceBox::SelectText(std::string_view text) {
    bool found = false;
    for (int i = 0; i < Count(); ++i) {
        if (items_[static_cast<std::size_t>(i)] == text) {
            selected_ = i;
            found = true;
        }
    }
    return found;
}

int ChoiceBox::IndexOf(std::string_view text) const {
    for (int i = 0; i < Count(); ++i)
        if (items_[static_cast<std::size_t>(i)] == text)
            return i;
    return -1;
}

} // namespace corvina::profiles
