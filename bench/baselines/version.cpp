// The least a C++ program that prints its version does; it is built as colvane-cli is.
#include <iostream>

int main()
{
    std::cout << "colvane-cli " COLVANE_VERSION "\n";
    return 0;
}
