#pragma once

#include "controls/form_colours.h"

#include <QString>

class QWidget;

namespace quillmere {

class Dialogs;
class FileSystem;

// Loads the skin from the program folder's "x/o.cjs" (a Qt style sheet) onto the window, after
// giving the window and its option buttons, check boxes, frames and labels the button-face
// colour. A relative url() in the sheet names a file in that folder "x". Without an ordinary
// file there, the window keeps its designed colours.
void ApplySkin(QWidget& form, FileSystem& files, const QString& programFolder);

// The product name, cut at its last blank while longer than 40 characters.
QString ApplicationTitle(const QString& productName);
// Makes that the caption of every message box and prompt that names none of its own.
void SetApplicationTitle(Dialogs& dialogs, const QString& productName);

}  // namespace quillmere
