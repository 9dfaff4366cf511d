// The help viewer: a window that shows a help file (our own HTML) at its contents.
#pragma once

#include <QString>

class QWidget;

namespace pebrio::ui {

// Opens the help file in the viewer window, creating the window on first use. A missing or
// unreadable file is reported inside the viewer.
void ShowHelpContents(const QString& helpFile, QWidget* owner);

}  // namespace pebrio::ui
