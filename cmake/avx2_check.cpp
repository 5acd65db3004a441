// Exits 0 when the processor running it has AVX2 and FMA.
int main() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? 0 : 1;
}
