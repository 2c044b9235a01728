// A small program that stands in for the flasher fw-pack copies: it only says
// that it runs, with or without project data behind it.
#include <cstdio>

int main() {
  std::puts("template program runs");
  return 0;
}
