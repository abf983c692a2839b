#include <cstdio>

#include "app/app.h"
#include "render/atomic_file.h"

int main(int argc, char** argv) {
  reserve_standard_streams();
  remove_temporary_files_on_signals();
  stop_on_out_of_memory();
  return run_checker(argc, argv, stdout, stdin);
}
