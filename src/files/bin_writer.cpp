#include "files/firmware_files.h"
#include "files/output_size.h"
#include "files/safe_output.h"
#include "front/console.h"
#include "front/flashbuf.h"

int write_bin_file(const char* name) {
  if (name == nullptr) return FILE_FAILED;
  if (!write_file_whole(name, flashbuf.data(), output_size())) {
    print_message("creating binary file failed!\n");
    return FILE_FAILED;
  }
  return FILE_OK;
}
