#include "editor/EditorLayout.h"

#include <algorithm>

namespace orlix
{

EditorLayout makeEditorLayout(int brandTextWidth)
{
    EditorLayout l;
    l.helpButton = {32 + brandTextWidth + 14, 30, 16, 16};
    for (int i = 0; i < 4; ++i)
    {
        l.characterChips[(size_t)i] = {372 + 55 * i, 382, 51, 22};
        l.driveTypeChips[(size_t)i] = {758 + 86 * (i % 2), 132 + 32 * (i / 2), 80, 26};
    }

    // The bottom card's contents follow from the card itself.
    const auto b = l.bottomPanel;
    l.historyArea = {b.getX() + 20, b.getY() + 14, std::max(0, std::max(0, b.getWidth() - 40) - 70),
                     std::max(0, b.getHeight() - 28)};
    l.rangeBadgeArea = {b.getX() + 26, b.getY() + 20, 52, 20};
    const int inX = b.getRight() - 58, outX = b.getRight() - 30;
    l.inBarArea = {inX, b.getY() + 14, 10, b.getHeight() - 46};
    l.outBarArea = {outX, b.getY() + 14, 10, b.getHeight() - 46};
    l.inClipArea = {inX, b.getY() + 5, 10, 4};
    l.outClipArea = {outX, b.getY() + 5, 10, 4};
    l.inLabel = {inX + 5, b.getBottom() - 12};
    l.outLabel = {outX + 5, b.getBottom() - 12};
    return l;
}

} // namespace orlix
