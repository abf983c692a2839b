#include <cstdio>

#include "checker/run.h"

int main(int argc, char** argv) {
  stop_on_out_of_memory();
  return run_checker(argc, argv, stdout, stdin);
}
