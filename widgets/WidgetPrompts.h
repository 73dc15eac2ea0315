#pragma once

// Shows the program's message boxes and pickers as Qt dialogs (German button texts).
void InstallWidgetPrompts();
