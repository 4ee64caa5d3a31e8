// Unit choice: the host names a unit entry of a field by its index.
#pragma once

#include <string>
#include <string_view>

namespace convert {

// Entry `unitIndex` of the "|"-separated `units`: past the end gives the last
// entry, a negative index the empty text.
std::u16string PickUnit(std::string_view units, int unitIndex);

}  // namespace convert
