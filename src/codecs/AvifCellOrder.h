// libavif before 1.0 places a grid's cells in the order the file first
// names the items, not in the order the grid lists them (its 'dimg'
// references): a file whose cells are listed in another order comes out
// scrambled. This puts the item entries that name the cells first (in
// 'iloc' or 'iinf') into the grid's order, which changes nothing else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorix {

// The file with its cells named in their grid's order; empty when nothing
// needs to change or the boxes cannot be read.
std::vector<uint8_t> AvifCellsInGridOrder(const uint8_t* data, size_t size);

}  // namespace quorix
