// Linked without -static on purpose: it needs the MinGW C++ runtime DLL, which the
// import check must refuse.
#include <iostream>
#include <string>

int main(int argc, char**) {
  std::cout << std::string(static_cast<size_t>(argc), 'x') << '\n';
  return 0;
}
