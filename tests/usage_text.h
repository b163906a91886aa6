// The usage text, byte for byte, as every build must print it.
#pragma once

inline const char kUsage[] =
    "\nGet the Voltally\n"
    "Voltally [drive:] [b|k|m|g|d] d is debug print out\n"
    "output Disk-Capacity Disk-FreeSpace Disk-UsedSpace Directory-Size \n"
    "      separate by space\n";
