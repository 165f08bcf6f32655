#include "front/usage.h"

#include "front/console.h"

void hold_banner() { hold_first_line("qrv auto hex tools \n"); }

void print_usage() {
  print_message("\noptions :\n");
  print_message("   -i<INFILE>  : Intel Hex Input file[s]    mantory \n");
  print_message("   -o<OUTFILE> : Binary outputfile          default: FIRMWARE.BIN\n");
  print_message("   -c<CPU>     : QRV cpu typ (CPU id)       default: 0x59 for CH559\n");
  print_message("   -l<LIMIT>   : Limit size of output       default: 0xF400 for a CH559 depending on CPU\n");
  // Always the built-in key, whatever -k said.
  print_message("   -k<TEAKEY>  : TEA Encryption Key         default: \"PaleMoonOverHill\"\n");
  print_message("   -e<+|->     : TEA Encryption     on|off  default: e- encrypt off -e+ implies -x-\n");
  print_message("   -x<+|->     : XTEA Encryption    on|off  default: x- encrypt off -x+ implies -e-\n");
  print_message("   -s<+|->     : Strong encryption  on|off  default: s- fast encryption\n");
  print_message("   -m<+|->     : Msb first (Keil)   on|off  default: m- lsb first \n");
  print_message("   -f<+|->     : Random fill        on|off  default: f- fill with 0xFF\n");
  print_message("   -a<+|->     : Automatic Flashing on|off  default: a- Autoflash off\n");
  print_message("\nexample:\n");
  print_message("   qrv_tools -iBlablub.hex,test.hex,main.hex -f+ -c0x52 -e+\n");
}
