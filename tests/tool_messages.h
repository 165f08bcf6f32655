// The tool's fixed messages on standard output, byte for byte as users see
// them; shared by the tests that expect them.
#pragma once

#include <string>

inline const std::string BANNER = "qrv auto hex tools \n";
inline const std::string FILL = "  ... buffer filled with 0xFF\n";
inline const std::string RANDOM_FILL = "  ... buffer filled with random data\n";
inline const std::string TOO_LARGE = "Warning:  HexFile too large for the selected CPU\n";
inline const std::string AUTOFLASH = "Warning:  Autoflash option ignored at this time\n";
inline const std::string DONE = "done\n";
inline const std::string PARAMS_WRONG = "one or more params wrong!\n";
// The reader's errors; the two that quote a record go on with the line as read.
inline const std::string NOT_HEX = "Error:  not a Intel Hex file\n";
inline const std::string TOO_LONG = "Error:  line too long\n";
inline const std::string CHECKSUM_WRONG = "Error:  Checksum wrong ";
inline const std::string BAD_RECORD = "Error:  bad record ";
// Not a message: the fixed last line of every HEX output.
inline const std::string END_RECORD = ":00000001FF\r\n";

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
