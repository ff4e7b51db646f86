// main.cpp: the zovagent program; everything but ending the process is zovagent_main's.
#include "mss/mss_fast_load.h"
#include "zovagent/zovagent.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

int main(int argc, char** argv)
{
    const int code = zovagent_main(argc, argv, std::cout, std::cerr);
    if (mss_fast_load::left_behind())
    {
        // A load given up on a silent server left its thread in the driver, which may come out
        // at any moment: the program ends without destroying what that thread may still use.
        std::cout.flush();
        std::cerr.flush();
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
