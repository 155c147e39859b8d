#include "csendtool.h"

#include <string>
#include <vector>

int main(int argc, char** argv)
{
    return TC::CSendTool().run(std::vector<std::string>(argv, argv + argc));
}
