#pragma once

#include <QIcon>

// The toolbar's pictures: the desktop's icon theme where it has them, the program's own
// drawings where it does not.
namespace ToolbarPictures {
QIcon BankNew();
QIcon BankOpen();
QIcon BankSave();
} // namespace ToolbarPictures
