#include <algorithm>
#include <cstdio>

#include "files/firmware_files.h"
#include "files/safe_output.h"
#include "front/flashbuf.h"
#include "front/options.h"

int write_bin_file(const char* name) {
  if (name == nullptr) return FILE_FAILED;
  // A limit of 0 or below writes an empty file; none reaches past the image.
  const std::size_t size =
      options.limit > 0 ? std::min(static_cast<std::size_t>(options.limit), FLASHBUF_SIZE) : 0;
  if (!write_file_whole(name, flashbuf.data(), size)) {
    std::printf("creating binary file failed!\n");
    return FILE_FAILED;
  }
  return FILE_OK;
}
