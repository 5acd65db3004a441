#include "raster/nrutil.h"

#include <cstdint>
#include <cstdlib>

namespace scab {
namespace {

ZeroAllocator zero_allocator = std::calloc;
Release release = std::free;

// Null when the block cannot be had or its size does not fit the address space.
void* obtain(long long count, size_t element_size) {
  if (count < 1) return nullptr;
  if (static_cast<unsigned long long>(count) > SIZE_MAX / element_size) return nullptr;
  return zero_allocator(static_cast<size_t>(count), element_size);
}

template <typename T>
T** matrix(int NbCol, int NbLig) {
  if (NbCol < 1) return nullptr;
  T** table = static_cast<T**>(obtain(NbLig, sizeof(T*)));
  if (!table) return nullptr;
  for (int i = 0; i < NbLig; i++) {
    table[i] = static_cast<T*>(obtain(NbCol, sizeof(T)));
    if (!table[i]) {
      for (int k = 0; k < i; k++)
        release(table[k]);
      release(table);
      return nullptr;
    }
  }
  return table;
}

template <typename T>
void release_matrix(T** Mat, int NbLig) {
  if (!Mat) return;
  for (int i = 0; i < NbLig; i++)
    release(Mat[i]);
  release(Mat);
}

template <typename T>
T* vector(int NbCol) {
  return static_cast<T*>(obtain(NbCol, sizeof(T)));
}

}  // namespace

void* zero_block(size_t count, size_t size) {
  if (count == 0 || size == 0 || count > SIZE_MAX / size) return nullptr;
  return zero_allocator(count, size);
}

void release_block(void* block) {
  release(block);
}

void set_allocator(ZeroAllocator allocator, Release releaser) {
  zero_allocator = allocator ? allocator : std::calloc;
  release = releaser ? releaser : std::free;
}

float** fmatrice(int NbCol, int NbLig) {
  return matrix<float>(NbCol, NbLig);
}
unsigned char** ucmatrice(int NbCol, int NbLig) {
  return matrix<unsigned char>(NbCol, NbLig);
}
unsigned short** usmatrice(int NbCol, int NbLig) {
  return matrix<unsigned short>(NbCol, NbLig);
}
short** smatrice(int NbCol, int NbLig) {
  return matrix<short>(NbCol, NbLig);
}
int** imatrice(int NbCol, int NbLig) {
  return matrix<int>(NbCol, NbLig);
}
double** dmatrice(int NbCol, int NbLig) {
  return matrix<double>(NbCol, NbLig);
}
long double** ldmatrice(int NbCol, int NbLig) {
  return matrix<long double>(NbCol, NbLig);
}

void frfmatrice(float** Mat, int NbLig) {
  release_matrix(Mat, NbLig);
}
void frucmatrice(unsigned char** Mat, int NbLig) {
  release_matrix(Mat, NbLig);
}
void frusmatrice(unsigned short** Mat, int NbLig) {
  release_matrix(Mat, NbLig);
}
void frsmatrice(short** Mat, int NbLig) {
  release_matrix(Mat, NbLig);
}
void frimatrice(int** Mat, int NbLig) {
  release_matrix(Mat, NbLig);
}
void frdmatrice(double** Mat, int NbLig) {
  release_matrix(Mat, NbLig);
}
void frldmatrice(long double** Mat, int NbLig) {
  release_matrix(Mat, NbLig);
}

unsigned char* ucvecteur(int NbCol) {
  return vector<unsigned char>(NbCol);
}
unsigned short* usvecteur(int NbCol) {
  return vector<unsigned short>(NbCol);
}
short* svecteur(int NbCol) {
  return vector<short>(NbCol);
}
int* ivecteur(int NbCol) {
  return vector<int>(NbCol);
}
double* dvecteur(int NbCol) {
  return vector<double>(NbCol);
}
float* fvecteur(int NbCol) {
  return vector<float>(NbCol);
}

void frucvecteur(unsigned char* Mat) {
  release(Mat);
}
void frusvecteur(unsigned short* Mat) {
  release(Mat);
}
void frsvecteur(short* Mat) {
  release(Mat);
}
void frivecteur(int* Mat) {
  release(Mat);
}
void frdvecteur(double* Mat) {
  release(Mat);
}
void frfvecteur(float* Mat) {
  release(Mat);
}

}  // namespace scab
