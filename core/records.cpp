#include "core/records.h"

// The records are header-only plain data; this unit keeps the library non-empty and
// checks the layout assumptions the file formats rely on.
namespace vanta {
static_assert(sizeof(float) == 4, "reals in the files are IEEE single precision");
static_assert(sizeof(int32_t) == 4);
}  // namespace vanta
