// The modern-font rule every window applies when it is created: a window whose font is not
// "Segoe UI" takes that font, one point larger, when it is installed; otherwise nothing
// changes. (The rule's version test always holds here.)
#pragma once

#include <QFont>
#include <QStringList>

class QWidget;

namespace corvina::window {

// The font the rule gives a window that has `current`, with `installed` font families.
QFont ModernFont(const QFont& current, const QStringList& installed);
// Applies the rule to the window with the installed fonts.
void ApplyModernFont(QWidget* window);

} // namespace corvina::window
