// How the serial line is set: the KESTRA's is 9600 baud, 8 data bits, no
// parity, one stop bit (the defaults); its boot loader's the same at 115200.
#pragma once

namespace comm {

struct LineSettings {
    int baudRate = 9600;
    int dataBits = 8;
    int parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int stopBits = 0;  // 0 one, 1 one and a half, 2 two

    static LineSettings At(int baud)
    {
        LineSettings line;
        line.baudRate = baud;
        return line;
    }
};

}  // namespace comm
