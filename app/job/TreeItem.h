// Opaque handle of an item in one of the window's trees. The desktop program
// stores its own item pointers in it; the in-memory tree its node pointers.
#pragma once

namespace job {
using TreeItem = void*;
}
