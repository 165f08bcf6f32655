// The usage text, byte for byte as users see it; shared by the tests that
// expect it.
#pragma once

#include <string>

inline const std::string USAGE =
    "\noptions :\n"
    "   -i<INFILE>  : Intel Hex Input file[s]    mantory \n"
    "   -o<OUTFILE> : Binary outputfile          default: FIRMWARE.BIN\n"
    "   -c<CPU>     : QRV cpu typ (CPU id)       default: 0x59 for CH559\n"
    "   -l<LIMIT>   : Limit size of output       default: 0xF400 for a CH559 depending on CPU\n"
    "   -k<TEAKEY>  : TEA Encryption Key         default: \"PaleMoonOverHill\"\n"
    "   -e<+|->     : TEA Encryption     on|off  default: e- encrypt off -e+ implies -x-\n"
    "   -x<+|->     : XTEA Encryption    on|off  default: x- encrypt off -x+ implies -e-\n"
    "   -s<+|->     : Strong encryption  on|off  default: s- fast encryption\n"
    "   -m<+|->     : Msb first (Keil)   on|off  default: m- lsb first \n"
    "   -f<+|->     : Random fill        on|off  default: f- fill with 0xFF\n"
    "   -a<+|->     : Automatic Flashing on|off  default: a- Autoflash off\n"
    "\nexample:\n"
    "   qrv_tools -iBlablub.hex,test.hex,main.hex -f+ -c0x52 -e+\n";
