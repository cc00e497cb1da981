#pragma once

#include <QIcon>

// The toolbar's pictures: the desktop's icon theme where it has them, the program's own
// drawings where it does not.
namespace ToolbarPictures {
QIcon bankNew();
QIcon bankOpen();
QIcon bankSave();
} // namespace ToolbarPictures
