// main.cpp: the zovagent program; everything but ending the process is zovagent_main's.
#include "zovagent/zovagent.h"

#include <iostream>

int main(int argc, char** argv)
{
    return zovagent_main(argc, argv, std::cout, std::cerr);
}
