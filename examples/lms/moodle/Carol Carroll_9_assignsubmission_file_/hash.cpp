#include <iostream>
#include <vector>

// Linear probing: the next free slot after the key's home, wrapping around.
int main() {
  int cases = 0;
  std::cin >> cases;
  std::vector<int> table;
  return 0;
}
