#include "arith/chain.h"

#include "arith/running_sum.h"

namespace scab::fast {

double running_sum(double total, const double* values, long count) {
  return sum_of<Signs::any>(total, count, [values](long k) { return values[k]; });
}

double running_sum_of_products(double total, const double* x, const double* y, long count) {
  return sum_of_products<Signs::any>(total, count, [x, y](long k) { return Product{x[k], y[k]}; });
}

namespace {

void advance_all(Chain* sums, int count_of_sums, Chain* products, int count_of_products,
                 long steps) {
  for (int c = 0; c < count_of_sums; c++)
    sums[c].total = running_sum(sums[c].total, sums[c].x, steps);
  for (int c = 0; c < count_of_products; c++)
    products[c].total =
        running_sum_of_products(products[c].total, products[c].x, products[c].y, steps);
}

}  // namespace

void running_sums(Chain (&sums)[2], long steps) {
  advance_all(sums, 2, nullptr, 0, steps);
}

void running_sums(Chain (&sums)[1], Chain (&products)[1], long steps) {
  advance_all(sums, 1, products, 1, steps);
}

void running_sums(Chain (&sums)[2], Chain (&products)[2], long steps) {
  advance_all(sums, 2, products, 2, steps);
}

void running_sums(Chain (&sums)[3], Chain (&products)[1], long steps) {
  advance_all(sums, 3, products, 1, steps);
}

}  // namespace scab::fast
