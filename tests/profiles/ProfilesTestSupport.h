// Helpers shared by the profile tests: a window state as at start-up, and choosing an entry.
#pragma once

#include "profiles/Catalogue.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace corvina::profiles::test {

// Boxes as the window holds them after creation: the list filled, item 0 selected, the
// parameter boxes still empty.
inline MainWindowBoxes StartBoxes() {
    MainWindowBoxes boxes;
    FillOutputFormatList(boxes);
    return boxes;
}

// Selects the item with that text and runs the change handler, as a user's choice does.
inline void Choose(MainWindowBoxes& boxes, std::string_view name) {
    ASSERT_TRUE(boxes.ComboOutputFormat.SelectText(name)) << name;
    SelectOutputFormat(boxes);
}

inline std::vector<std::string> Items(std::initializer_list<const char*> items) {
    return {items.begin(), items.end()};
}

} // namespace corvina::profiles::test
