// A pick-only choice box as the profile routines see it: items, the selected item, whether
// it is enabled. The window binds its drop-down lists to these; the headless front end
// drives them directly.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvina::profiles {

class ChoiceBox {
public:
    // A box holding `items` with the item at `selected` chosen.
    static ChoiceBox WithItems(std::initializer_list<std::string_view> items, int selected);

    const std::vector<std::string>& Items() const { return items_; }
    int Count() const { return static_cast<int>(items_.size()); }
    int ItemIndex() const { return selected_; }
    // The selected item, or the empty text when nothing is selected.
    std::string Text() const;

    void Clear();
    void Add(std::string_view item);
    // Clear, then add the given items in order; nothing is selected.
    void SetItems(std::span<const std::string_view> items);
    // Select by position; an index outside the items (-1 included) clears the selection.
    void Select(int index);
    // Select every item whose text equals `text` byte for byte, first to last, so the last
    // equal item ends selected. Returns false, leaving the selection, when none is equal.
    bool SelectText(std::string_view text);
    // Position of the first item equal to `text`, or -1.
    int IndexOf(std::string_view text) const;

    bool enabled = true;
    std::string hint;      // shown when the pointer rests on the box
    int dropDownCount = 8; // rows the open list shows

private:
    std::vector<std::string> items_;
    int selected_ = -1;
};

} // namespace corvina::profiles
