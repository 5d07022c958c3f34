#pragma once
// Which opening of the program's one port is held now (0 when none). A new connection gives a new
// number, so what a window learnt of the apparatus before it can be told from what holds now.

#include <cstdint>

namespace kvt {

std::uint64_t SharedPortGeneration();

}  // namespace kvt
