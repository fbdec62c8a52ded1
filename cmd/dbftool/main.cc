#include <cstdio>

int main() {
  std::puts("dbftool: not built yet");
  return 0;
}
