// Pieces of the raster store that tests and other front ends call directly.
#pragma once

namespace scab {

// A stored height in metres: `hypso_scale` 0 metres, 1 decimetres, 2 centimetres, 3 millimetres.
double metres_from_height(int height, int hypso_scale);

}  // namespace scab
