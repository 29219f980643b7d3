// The "Office2007Blue" look: one style sheet of ours (light blue gradients, rounded buttons, blue
// borders) for the controls that the designer skinned: push buttons, the check list (group box
// with check boxes or a list of checkable items), the read-only edit and the progress bar. Buttons
// and check lists also get the hand cursor. Applying it cannot fail.
#pragma once

#include <QString>

class QWidget;

namespace tv::framework {

inline constexpr const char* kSkinOffice2007Blue = "Office2007Blue";

// The style sheet itself, for widgets that style their own children.
const QString& Office2007BlueStyleSheet();

// Gives widget (and its children) the look; buttons and check boxes get the hand cursor.
void ApplySkin(QWidget* widget);

}  // namespace tv::framework
