// Pieces of the raster store that tests and other front ends call directly.
#pragma once

namespace scab {

// The smallest and the largest value of a matrix, starting from its first cell so that they
// are the true extremes of any data.
template <typename T>
void value_range(T** matrix, int nb_lig, int nb_col, int& Min, int& Max) {
  Min = matrix[0][0];
  Max = matrix[0][0];
  for (int i = 0; i < nb_lig; i++) {
    for (int j = 0; j < nb_col; j++) {
      const int value = matrix[i][j];
      if (value < Min) Min = value;
      if (value > Max) Max = value;
    }
  }
}

// A stored height in metres: `hypso_scale` 0 metres, 1 decimetres, 2 centimetres, 3 millimetres.
double metres_from_height(int height, int hypso_scale);

}  // namespace scab
