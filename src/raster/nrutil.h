// Allocation of matrices and vectors of numbers.
//
// A matrix is a table of NbLig row pointers, each row a zero-filled block of NbCol elements of
// its own, indexed [line][column]. The allocators take the number of columns first and the
// number of lines second. They return null when a block cannot be had, having released what
// they had already obtained. Sizes are computed in 64-bit arithmetic; a dimension below 1 gives
// null.
#pragma once

#include <cstddef>

namespace scab {

float** fmatrice(int NbCol, int NbLig);
unsigned char** ucmatrice(int NbCol, int NbLig);
unsigned short** usmatrice(int NbCol, int NbLig);
short** smatrice(int NbCol, int NbLig);
int** imatrice(int NbCol, int NbLig);
double** dmatrice(int NbCol, int NbLig);
long double** ldmatrice(int NbCol, int NbLig);

void frfmatrice(float** Mat, int NbLig);
void frucmatrice(unsigned char** Mat, int NbLig);
void frusmatrice(unsigned short** Mat, int NbLig);
void frsmatrice(short** Mat, int NbLig);
void frimatrice(int** Mat, int NbLig);
void frdmatrice(double** Mat, int NbLig);
void frldmatrice(long double** Mat, int NbLig);

unsigned char* ucvecteur(int NbCol);
unsigned short* usvecteur(int NbCol);
short* svecteur(int NbCol);
int* ivecteur(int NbCol);
double* dvecteur(int NbCol);
float* fvecteur(int NbCol);

void frucvecteur(unsigned char* Mat);
void frusvecteur(unsigned short* Mat);
void frsvecteur(short* Mat);
void frivecteur(int* Mat);
void frdvecteur(double* Mat);
void frfvecteur(float* Mat);

// The zero-filling allocation and the release behind the family, calloc and free by default.
// Tests replace them to make a chosen allocation fail; passing nulls restores the defaults.
using ZeroAllocator = void* (*)(size_t count, size_t size);

// One zero-filled block of count x size bytes from the family's allocator, or null; and its
// release.
void* zero_block(size_t count, size_t size);
void release_block(void* block);
using Release = void (*)(void* block);
void set_allocator(ZeroAllocator allocator, Release release);

}  // namespace scab
