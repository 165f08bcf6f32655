#include "front/options.h"

#include <cstring>

namespace {

constexpr char DEFAULT_OUTFILE[] = "FIRMWARE.BIN";
constexpr char DEFAULT_TEAKEY[] = "PaleMoonOverHill";

void rebuild_teakey_msb(Options& settings) {
  for (std::size_t i = 0; i < TEA_KEY_BYTES; ++i) {
    settings.teakey_msb[i] = settings.teakey[(i & ~std::size_t{3}) + 3 - (i & 3)];
  }
}

}  // namespace

Options default_options() {
  Options settings{};
  std::memcpy(settings.outfile.data(), DEFAULT_OUTFILE, sizeof DEFAULT_OUTFILE);
  std::memcpy(settings.teakey.data(), DEFAULT_TEAKEY, sizeof DEFAULT_TEAKEY);
  rebuild_teakey_msb(settings);
  settings.cpu_id = 0x59;
  settings.cpu_size = 0xF400;
  settings.limit = 0xF400;
  return settings;
}

Options options = default_options();

void set_teakey(const char* value) {
  // Bytes behind the copied NUL keep what they held: a short key keeps the
  // tail of the previous one.
  std::size_t i = 0;
  for (; value[i] != '\0' && i + 1 < options.teakey.size(); ++i) {
    options.teakey[i] = static_cast<std::uint8_t>(value[i]);
  }
  options.teakey[i] = 0;
  rebuild_teakey_msb(options);
}
