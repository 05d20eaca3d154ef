#include "app/YumekazuApp.h"

int main(int argc, char *argv[])
{
    return YumekazuApp::main(argc, argv);
}
