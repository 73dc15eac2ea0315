#pragma once

class QWidget;

// Forms are laid out in pixels at their designed size, as the layouts describe them.
// These keep a control where it belongs when its parent is resized: at its distance from
// the parent's right edge, or stretched with the parent's width. Call them once the parent
// has its designed size.
void AnchorRight(QWidget* widget);
void StretchWidth(QWidget* widget);
