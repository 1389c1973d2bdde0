#pragma once

// The Windows program's string: its own small one (platform/SmallString.h), so that the
// library's string template is not compiled into the setup program. CMake puts this folder
// on the include path of the Windows build; the host build finds platform/posix/string/.
#include "platform/SmallString.h"

using String = SmallString;

template <class Number>
String ToString(Number value) {
    return SmallToString(value);
}
