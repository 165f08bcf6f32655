#include "front/usage.h"

#include <cstdio>

void print_banner() { std::printf("qrv auto hex tools \n"); }

void print_usage() {
  std::printf("\noptions :\n");
  std::printf("   -i<INFILE>  : Intel Hex Input file[s]    mantory \n");
  std::printf("   -o<OUTFILE> : Binary outputfile          default: FIRMWARE.BIN\n");
  std::printf("   -c<CPU>     : QRV cpu typ (CPU id)       default: 0x59 for CH559\n");
  std::printf("   -l<LIMIT>   : Limit size of output       default: 0xF400 for a CH559 depending on CPU\n");
  // Always the built-in key, whatever -k said.
  std::printf("   -k<TEAKEY>  : TEA Encryption Key         default: \"PaleMoonOverHill\"\n");
  std::printf("   -e<+|->     : TEA Encryption     on|off  default: e- encrypt off -e+ implies -x-\n");
  std::printf("   -x<+|->     : XTEA Encryption    on|off  default: x- encrypt off -x+ implies -e-\n");
  std::printf("   -s<+|->     : Strong encryption  on|off  default: s- fast encryption\n");
  std::printf("   -m<+|->     : Msb first (Keil)   on|off  default: m- lsb first \n");
  std::printf("   -f<+|->     : Random fill        on|off  default: f- fill with 0xFF\n");
  std::printf("   -a<+|->     : Automatic Flashing on|off  default: a- Autoflash off\n");
  std::printf("\nexample:\n");
  std::printf("   qrv_tools -iBlablub.hex,test.hex,main.hex -f+ -c0x52 -e+\n");
}
