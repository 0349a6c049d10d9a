#pragma once
// The program's picture (resources/mirelo.svg painted in code: the build has no SVG module).

#include <QPixmap>

namespace mirelo {

[[nodiscard]] QPixmap ProgramPicture(int size);

}  // namespace mirelo
